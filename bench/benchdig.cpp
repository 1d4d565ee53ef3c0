// "挖取全部" through the real window against cp of the same files into eight folders.
#include "bench.h"

#include "cachebrowser.h"
#include "digcommands.h"
#include "frm_main.h"
#include "resultlistcontrol.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <unistd.h>

namespace vellomar::bench {

namespace {

const char *const extensions[] = {"jpg", "gif", "png", "mp3", "wma", "swf", "flv", "htm"};

void writedata(const QString &path, qint64 size, int seed)
{
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    QByteArray block(64 * 1024, char(seed));
    for (int i = 0; i < block.size(); i += 97)
        block[i] = char(seed * 31 + i);
    while (size > 0) {
        const qint64 n = std::min<qint64>(size, block.size());
        f.write(block.constData(), n);
        size -= n;
    }
}

void cpinto(const std::map<QString, QStringList> &byclass, const QString &dest)
{
    for (const auto &[cls, files] : byclass) {
        QDir().mkpath(dest + "/" + cls);
        QProcess cp;
        cp.start(QStringLiteral("cp"),
                 QStringList{QStringLiteral("--")} + files + QStringList{dest + "/" + cls + "/"});
        cp.waitForFinished(600000);
    }
}

// The dig goes where the settings say.
struct Stored : NoSettings {
    QString down;
    QString read(const QString &, const QString &, const QString &) const override { return down; }
};

// The real window on `root`, "所有文件" listed, digging into `down`.
struct DigWindow {
    Stored stored;
    frm_main w;
    DigWindow(const QString &root, const QString &down)
        : stored(withdown(down)), w(seamson(root, stored))
    {
        w.Form_Load();
        w.findChild<CacheBrowser *>()->Opt_filetype_Click(0);
        w.show();
        QApplication::processEvents();
    }
    DigCommands &dig() { return *w.findChild<DigCommands *>(); }
    static Seams seamson(const QString &root, Stored &stored)
    {
        qputenv("VELLOMAR_CACHE", root.toUtf8());
        return Seams(nullptr, nullptr, nullptr, &stored);
    }
    static Stored withdown(const QString &down)
    {
        Stored s;
        s.down = down;
        return s;
    }
};

} // namespace

int benchdig(const QStringList &)
{
    QTemporaryDir dir;
    const QString root = dir.path() + "/cache";
    const QString ie5 = root + "/Content.IE5";
    std::map<QString, QStringList> byclass;
    const char *const folders[] = {"AAAAAAAA", "BBBBBBBB", "CCCCCCCC", "DDDDDDDD"};
    for (const char *f : folders)
        QDir().mkpath(ie5 + "/" + f);
    for (int i = 0; i < 5010; ++i) {
        const char *ext = extensions[i % 8];
        const QString folder = ie5 + "/" + folders[i % 4];
        const QString name = QStringLiteral("file%1[1].%2").arg(i).arg(QLatin1String(ext));
        const qint64 size = i < 5000 ? 1024 + (qint64(i) * 7919) % (99 * 1024) : 20LL * 1024 * 1024;
        writedata(folder + "/" + name, size, i);
        byclass[QString::fromLatin1(i % 8 == 7 ? "others" : ext)] << folder + "/" + name;
    }
    const QString down = dir.path() + "/down/";
    const QString copies = dir.path() + "/cp";
    QDir().mkpath(down);

    DigWindow window(root, down);
    DigCommands &dig = window.dig();
    window.w.findChild<QSlider *>(QStringLiteral("SlD_minfilesize"))->setValue(1);

    // Each timed copy starts with nothing of an earlier one still waiting to be written out.
    const auto emptytrees = [&] {
        QDir(down + QString::fromUtf8("挖到的资源")).removeRecursively();
        QDir(copies).removeRecursively();
        ::sync();
    };
    // Warm the page cache for both.
    emptytrees();
    cpinto(byclass, copies);
    dig.Cmd_autodownall_Click();
    if (dig.counters().totalfiles() != 5010)
        std::fprintf(stderr, "  the dig copied %lld files, not 5010\n",
                     dig.counters().totalfiles());

    compare(
        QStringLiteral("dig all into an empty tree"), 1.3, 5, emptytrees,
        [&] { cpinto(byclass, copies); }, [&] { dig.Cmd_autodownall_Click(); });
    // Every name is now held by an identical file. Each timed run starts, as above, with
    // nothing of the one before still waiting to be written out: the copies' writes would
    // otherwise be flushed during whichever run follows them.
    compare(
        QStringLiteral("dig all again (identical files present)"), 0.5, 5, [] { ::sync(); },
        [&] { cpinto(byclass, copies); }, [&] { dig.Cmd_autodownall_Click(); });
    if (dig.counters().totalfiles() != 5010)
        std::fprintf(stderr, "  the second dig counted %lld files, not 5010\n",
                     dig.counters().totalfiles());

    // The headless command on the same files, into a tree of its own.
    const QString cli = dir.path() + "/cli/";
    const auto clidig = [&] {
        QProcess p;
        p.start(QStringLiteral(VELLOMAR_DIG),
                {QStringLiteral("--quiet"), QStringLiteral("--type"), QStringLiteral("all"),
                 QStringLiteral("--min"), QStringLiteral("0K"), root, cli});
        p.waitForFinished(600000);
        if (p.exitCode() != 0)
            std::fprintf(stderr, "  vellomar-dig ended with %d\n", p.exitCode());
    };
    compare(
        QStringLiteral("vellomar-dig into an empty tree"), 1.1, 5,
        [&] {
            QDir(cli).removeRecursively();
            QDir(copies).removeRecursively();
            ::sync();
        },
        [&] { cpinto(byclass, copies); }, clidig);
    return 0;
}

// The longest the window's event loop stands still while "挖取全部" digs ten files of 90 MB.
int benchpause(const QStringList &)
{
    QTemporaryDir dir;
    const QString root = dir.path() + "/cache";
    const QString folder = root + "/Content.IE5/AAAAAAAA";
    QDir().mkpath(folder);
    for (int i = 0; i < 10; ++i)
        writedata(folder + QStringLiteral("/movie%1[1].flv").arg(i), 90LL * 1024 * 1024, i);
    const QString down = dir.path() + "/down/";
    QDir().mkpath(down);
    DigWindow window(root, down);
    DigCommands &dig = window.dig();
    auto *most = window.w.findChild<QSlider *>(QStringLiteral("SlD_maxfilesize"));
    most->setValue(most->maximum());

    std::vector<double> pauses;
    for (int round = 0; round < 3; ++round) {
        QDir(down + QString::fromUtf8("挖到的资源")).removeRecursively();
        ::sync();
        QElapsedTimer clock;
        qint64 last = 0, longest = 0;
        QTimer probe;
        probe.setTimerType(Qt::PreciseTimer);
        QObject::connect(&probe, &QTimer::timeout, [&] {
            const qint64 now = clock.nsecsElapsed();
            longest = std::max(longest, now - last);
            last = now;
        });
        probe.start(5);
        clock.start();
        dig.Cmd_autodownall_Click();
        longest = std::max(longest, clock.nsecsElapsed() - last);
        probe.stop();
        if (dig.counters().totalfiles() != 10)
            std::fprintf(stderr, "  the dig copied %lld files, not 10\n",
                         dig.counters().totalfiles());
        pauses.push_back(double(longest) / 1e6);
        std::fprintf(stderr, "  longest pause %.1f ms over %.2f s\n", pauses.back(),
                     double(clock.nsecsElapsed()) / 1e9);
    }
    const double worst = *std::max_element(pauses.begin(), pauses.end());
    const QString name = QStringLiteral("longest event-loop pause digging ten 90 MB files");
    printline(name, QStringLiteral("%1 ms").arg(worst, 0, 'f', 0), QStringLiteral("<= 100 ms"));
    judge(name, std::round(worst), 100);
    return 0;
}

} // namespace vellomar::bench
