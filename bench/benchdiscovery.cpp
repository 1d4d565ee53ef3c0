// The program's --find over a disk of many empty profiles: each is read once, so the command
// stays within its time whatever the layouts tried in each.
#include "bench.h"

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cmath>
#include <cstdio>
#include <sys/stat.h>

namespace vellomar::bench {

namespace {
constexpr int profiles = 100000;
constexpr double limitseconds = 2.0;
constexpr int rounds = 5;
} // namespace

int benchdiscovery(const QStringList &)
{
    QTemporaryDir dir;
    const QByteArray users = QFile::encodeName(dir.path() + QStringLiteral("/Users"));
    ::mkdir(users.constData(), 0755);
    for (int i = 0; i < profiles; ++i)
        ::mkdir((users + "/user" + QByteArray::number(i)).constData(), 0755);
    std::vector<double> times;
    for (int r = 0; r < rounds; ++r) {
        times.push_back(seconds([&] {
            QProcess p;
            p.start(QStringLiteral(VELLOMAR_PROGRAM), {QStringLiteral("--find"), dir.path()});
            p.waitForFinished(120000);
        }));
    }
    const double t = median(times);
    const QString name = QStringLiteral("--find over %1 empty profiles").arg(profiles);
    printline(name, QStringLiteral("%1 s").arg(t, 0, 'f', 2),
              QStringLiteral("<= %1 s").arg(limitseconds, 0, 'f', 1));
    judge(name, std::round(t * 100) / 100, limitseconds);
    return allmet() ? 0 : 1;
}

} // namespace vellomar::bench
