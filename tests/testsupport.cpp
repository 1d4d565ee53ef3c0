#include "testsupport.h"

#include "cache/resultlistcontrol.h"
#include "common/texts.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTest>

namespace vellomar::test {

bool writefile(const QString &path, qint64 bytes, char fill)
{
    return writecontent(path, QByteArray(bytes, fill));
}

bool writecontent(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(content) == content.size();
}

QByteArray readcontent(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

CacheFixture::CacheFixture()
{
    QDir().mkpath(ie5());
    QDir().mkpath(download());
}

void Window::load(const QString &cacheroot, const QString &downloaddir)
{
    qputenv("VELLOMAR_CACHE", cacheroot.toUtf8());
    if (!downloaddir.isNull())
        settings.values[texts::settingsgroup + QStringLiteral("/") + texts::settingskey] =
            downloaddir;
    w = std::make_unique<frm_main>(Seams{&dialogs, opener, &screen, &settings});
    w->Form_Load();
}

SwfView::State swfstate(const FlashPlayer &player)
{
    SwfView::State result;
    if (!player.swfview())
        return result;
    bool answered = false;
    player.swfview()->querystate([&](const SwfView::State &s) {
        result = s;
        answered = true;
    });
    QElapsedTimer t;
    t.start();
    while (!answered && t.elapsed() < 10000)
        QTest::qWait(20);
    return result;
}

QStringList rownames(const frm_main &w)
{
    QStringList names;
    for (int r = 0; r < w.Rlt_iecachesubdir->RowCount(); ++r)
        names << w.Rlt_iecachesubdir->CellText(r, 2);
    return names;
}

} // namespace vellomar::test
