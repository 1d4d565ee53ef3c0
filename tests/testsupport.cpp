#include "testsupport.h"

#include <QProcess>

#include "busyanimation.h"
#include "columns.h"
#include "filelistbox.h"
#include "mediaplayer.h"
#include "picturecache.h"
#include "previewwidgets.h"
#include "resultlistcontrol.h"
#include "texts.h"

#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QToolButton>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QTest>
#include <utime.h>

namespace vellomar::test {

bool writefile(const QString &path, qint64 bytes, char fill)
{
    return writecontent(path, QByteArray(bytes, fill));
}

CacheFixture::CacheFixture()
{
    QDir().mkpath(ie5());
    QDir().mkpath(download());
}

DiskFixture::DiskFixture() : root(dir.path() + QStringLiteral("/disk"))
{
    const QString win = QStringLiteral("/AppData/Local/Microsoft/Windows/");
    const auto put = [this](const QString &rel, qint64 size, qint64 when) {
        const QString path = root + QLatin1Char('/') + rel;
        writefile(path, size);
        const struct utimbuf t = {time_t(when), time_t(when)};
        ::utime(QFile::encodeName(path).constData(), &t);
    };
    const QString xp = QStringLiteral(
        "documents and settings/alice/LOCAL SETTINGS/Temporary Internet Files/Content.IE5/");
    put(xp + QStringLiteral("AAAA0001/a.jpg"), 11000, newest - 900);
    writefile(root + QLatin1Char('/') + xp + QStringLiteral("index.dat"), 100);
    const QString seven =
        QStringLiteral("Users/bob") + win + QStringLiteral("Temporary Internet Files/");
    put(seven + QStringLiteral("Content.IE5/BBBB0001/b.gif"), 11000, newest - 800);
    put(seven + QStringLiteral("Content.IE5/BBBB0001/c.gif"), 11000, newest - 700);
    put(seven + QStringLiteral("Content.IE5/BBBB0002/d.swf"), 11000, newest - 600);
    put(seven + QStringLiteral("Content.IE5/BBBB0002/.hidden"), 20, newest - 600);
    put(seven + QStringLiteral("Low/Content.IE5/LLLL0001/e.jpg"), 11000, newest - 500);
    const QString ten = QStringLiteral("Users/carol") + win + QStringLiteral("INetCache/");
    put(ten + QStringLiteral("IE/CCCC0001/f.png"), 11000, newest);
    put(ten + QStringLiteral("Low/IE/LOWC0001/g.jpg"), 11000, newest - 100);
}

void Window::load(const QString &cacheroot, const QString &downloaddir)
{
    qputenv("VELLOMAR_CACHE", cacheroot.toUtf8());
    start(QString(), downloaddir);
}

void Window::start(const QString &place, const QString &downloaddir)
{
    begin(place, downloaddir);
    if (!QTest::qWaitFor([this] { return !w->searching(); }, 60000))
        qFatal("the search of %s did not end", qPrintable(place));
    rebuilds = 0;
}

void Window::begin(const QString &place, const QString &downloaddir)
{
    if (!downloaddir.isNull())
        settings.values[texts::settingsgroup + QStringLiteral("/") + texts::settingskey] =
            downloaddir;
    controls.reset();
    w = std::make_unique<frm_main>(Seams{&dialogs, opener, &screen, &settings});
    w->setstartplace(place);
    w->Form_Load();
    controls = std::make_unique<Controls>(*w);
    rebuilds = 0;
    QObject::connect(&browser(), &CacheBrowser::resultlistbuilt, [this] { ++rebuilds; });
}

namespace {

template <typename T> T *found(const QObject &in, const char *name)
{
    T *x = in.findChild<T *>(QString::fromUtf8(name));
    if (!x)
        qFatal("no control named %s", name);
    return x;
}

template <typename T, size_t N>
void foundall(const QObject &in, const char *name, std::array<T *, N> &into)
{
    const QList<T *> all = in.findChildren<T *>(QString::fromUtf8(name));
    if (all.size() != qsizetype(N))
        qFatal("%lld controls named %s", qlonglong(all.size()), name);
    for (size_t i = 0; i < N; ++i)
        into[i] = all[qsizetype(i)];
}

} // namespace

Controls::Controls(const frm_main &f)
    : lst_TmpIntDir(found<QListWidget>(f, "lst_TmpIntDir")),
      flt_iecachesubdir(found<FileListBox>(f, "flt_iecachesubdir")),
      fra_filetype(found<QGroupBox>(f, "fra_filetype")),
      fra_filesize(found<QGroupBox>(f, "fra_filesize")),
      lbl_minfilesize(found<QLabel>(f, "lbl_minfilesize")),
      SlD_minfilesize(found<QSlider>(f, "SlD_minfilesize")),
      lbl_maxfilesize(found<QLabel>(f, "lbl_maxfilesize")),
      SlD_maxfilesize(found<QSlider>(f, "SlD_maxfilesize")),
      Rlt_iecachesubdir(found<ResultListControl>(f, "Rlt_iecachesubdir")),
      cmd_downcurall(found<QPushButton>(f, "cmd_downcurall")),
      cmd_downcurselect(found<QPushButton>(f, "cmd_downcurselect")),
      cmd_selectdowndir(found<QToolButton>(f, "cmd_selectdowndir")),
      cmd_opendowndir(found<QToolButton>(f, "cmd_opendowndir")),
      cmd_killall(found<QToolButton>(f, "cmd_killall")),
      Cmd_cleariecache(found<QToolButton>(f, "Cmd_cleariecache")),
      Cmd_refreshfilelist(found<QToolButton>(f, "Cmd_refreshfilelist")),
      Cmd_autodownall(found<QPushButton>(f, "Cmd_autodownall")), wmp(found<MediaPlayer>(f, "wmp")),
      Pic_imgbox(found<QWidget>(f, "Pic_imgbox")),
      Pic_imgboard(found<PreviewBoard>(f, "Pic_imgboard")),
      Img_largeview(found<ImageControl>(f, "Img_largeview")),
      Flashbox(found<FlashPlayer>(f, "Flashbox")), FlashDown(found<BusyAnimation>(f, "FlashDown")),
      pic_downprocesslblbox(found<QWidget>(f, "pic_downprocesslblbox")),
      lbl_downprocess(found<QLabel>(f, "lbl_downprocess")),
      prg_downprocess(found<QProgressBar>(f, "prg_downprocess")),
      lbl_digresult(found<QLabel>(f, "lbl_digresult")),
      Fra_otheropt(found<QGroupBox>(f, "Fra_otheropt")),
      Fra_picopenmode(found<QGroupBox>(f, "Fra_picopenmode")),
      fra_picorisizemode(found<QGroupBox>(f, "fra_picorisizemode"))
{
    foundall(f, "Opt_filetype", Opt_filetype);
    foundall(f, "opt_picopenmode", opt_picopenmode);
    foundall(f, "Opt_picorisizemode", Opt_picorisizemode);
}

CacheBrowser &Window::browser() const
{
    return *found<CacheBrowser>(*w, "cachebrowser");
}

DigCommands &Window::dig() const
{
    return *found<DigCommands>(*w, "digcommands");
}

PreviewArea &Window::preview() const
{
    return *found<PreviewArea>(*w, "previewarea");
}

frm_picfullscreen *Window::viewer() const
{
    return w->findChild<frm_picfullscreen *>();
}

void Window::openrow(int row) const
{
    ResultListControl *list = controls->Rlt_iecachesubdir;
    list->setRowSelected(list->CurrentRow(), false);
    list->setRowSelected(row, true);
    list->setCurrentRow(row);
    preview().dofilelist(row);
    w->viewcurrentfile();
}

QImage decoded(const QString &path)
{
    QImageReader r(path);
    r.setDecideFormatFromContent(true);
    return r.read();
}

bool settled(const PictureCache &cache)
{
    QCoreApplication::processEvents();
    return QTest::qWaitFor([&] { return !cache.busy(); }, 10000);
}

namespace {

// Labels show a lone carriage return as a line break; turn it back for comparing with the
// texts as they were built (which break lines with carriage returns only).
QString asbuilt(QString shown)
{
    return shown.replace(QLatin1Char('\n'), QLatin1Char('\r'));
}

} // namespace

QString Window::digresultcaption() const
{
    return asbuilt(controls->lbl_digresult->text());
}

QString Window::downprocesscaption() const
{
    return asbuilt(controls->lbl_downprocess->text());
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

QStringList rownames(const Window &w)
{
    QStringList names;
    for (int r = 0; r < w->Rlt_iecachesubdir->RowCount(); ++r)
        names << w->Rlt_iecachesubdir->CellText(r, col::name);
    return names;
}

Run runprogram(const QString &program, const QStringList &args, const QProcessEnvironment &env)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    Run r;
    if (!p.waitForFinished(120000))
        return r;
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

} // namespace vellomar::test
