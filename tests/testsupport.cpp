#include "testsupport.h"

#include "cache/resultlistcontrol.h"
#include "common/texts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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
    w = std::make_unique<frm_main>(Seams{&dialogs, &launcher, &screen, &settings});
    w->Form_Load();
}

QStringList rownames(const frm_main &w)
{
    QStringList names;
    for (int r = 0; r < w.Rlt_iecachesubdir->RowCount(); ++r)
        names << w.Rlt_iecachesubdir->CellText(r, 2);
    return names;
}

} // namespace vellomar::test
