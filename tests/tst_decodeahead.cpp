#include "picturecache.h"
#include "previewwidgets.h"
#include "resultlistcontrol.h"
#include "samplecache.h"
#include "testsupport.h"

#include <QApplication>
#include <QBuffer>
#include <QComboBox>
#include <QImageReader>
#include <QWindow>
#include <QtTest>
#include <fcntl.h>
#include <functional>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vellomar;
using namespace vellomar::test;

namespace {

// A JPEG of one colour, padded with zeros to `bytes` when given.
QByteArray jpegof(QColor colour, QSize size, int bytes = 0)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray out;
    QBuffer b(&out);
    b.open(QIODevice::WriteOnly);
    image.save(&b, "JPEG", 90);
    if (bytes > out.size())
        out.append(QByteArray(bytes - out.size(), '\0'));
    return out;
}

// Which files of a folder are opened, as the kernel reports it. Closes are watched too: the
// kernel folds an event into the same one just before it, never across another.
class OpenWatch
{
  public:
    explicit OpenWatch(const QString &folder)
    {
        m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (m_fd >= 0)
            inotify_add_watch(m_fd, QFile::encodeName(folder).constData(),
                              IN_OPEN | IN_CLOSE_NOWRITE);
    }
    ~OpenWatch()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool valid() const { return m_fd >= 0; }
    // How many times each name was opened since the last call.
    QMap<QString, int> opened()
    {
        QMap<QString, int> names;
        alignas(inotify_event) char buffer[4096];
        ssize_t n;
        while ((n = ::read(m_fd, buffer, sizeof buffer)) > 0) {
            for (char *p = buffer; p < buffer + n;) {
                const auto *e = reinterpret_cast<const inotify_event *>(p);
                if (e->len > 0 && (e->mask & IN_OPEN))
                    ++names[QFile::decodeName(e->name)];
                p += sizeof(inotify_event) + e->len;
            }
        }
        return names;
    }

  private:
    int m_fd = -1;
};

// Waits until a change made now gets a change time after the one `path` has: the kernel's clock
// for file times is coarse, so a file written just after it was made may keep its time. The
// probe is made and removed at `probe`, on the same file system.
bool clockpassed(const QString &path, const QString &probe)
{
    struct stat file, now;
    if (::stat(QFile::encodeName(path).constData(), &file) != 0)
        return false;
    const QByteArray at = QFile::encodeName(probe);
    for (int i = 0; i < 1000; ++i) {
        if (!writecontent(QFile::decodeName(at), "x") || ::stat(at.constData(), &now) != 0)
            return false;
        const bool later = now.st_ctim.tv_sec > file.st_ctim.tv_sec ||
                           (now.st_ctim.tv_sec == file.st_ctim.tv_sec &&
                            now.st_ctim.tv_nsec > file.st_ctim.tv_nsec);
        ::unlink(at.constData());
        if (later)
            return true;
        QThread::msleep(2);
    }
    return false;
}

// Eight rows: five JPEGs, an animated GIF, a PNG (no picture to the preview), and a JPEG's bytes
// under a sound's name. Every file dates from 2020, so that one written in place now is told apart.
struct AheadWindow {
    CacheFixture f;
    Window w;
    QString folder() const { return f.sub("AAAAAAAA"); }
    QString path(const QString &name) const { return folder() + "/" + name; }
    AheadWindow()
    {
        const QString d = folder() + "/";
        QDir().mkpath(d);
        for (const char *n : {"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg"}) {
            sample::writejpeg(d + n, 320, 240);
            sample::padto(d + n, 40000);
        }
        sample::writewithffmpeg(d + "f.gif");
        sample::writepng(d + "g.png", 64, 64);
        for (const char *n : {"f.gif", "g.png"})
            sample::padto(d + n, 12 * 1024);
        writecontent(d + "h.mp3", jpegof(Qt::blue, QSize(320, 240), 40000));
        for (const QString &n : QDir(d).entryList(QDir::Files)) {
            QFile file(d + n);
            file.open(QIODevice::ReadWrite);
            file.setFileTime(QDateTime(QDate(2020, 1, 1), QTime(12, 0)),
                             QFileDevice::FileModificationTime);
        }
        w.load(f.cacheroot(), f.download());
        w.browser().Opt_filetype_Click(0);
    }
    int row(const QString &name) const { return rownames(w).indexOf(name); }
    frm_picfullscreen *v() const { return w.viewer(); }
    const PictureCache &ahead() const { return w.preview().ahead(); }
    void open(const QString &name) const { w.openrow(row(name)); }
    void key(Qt::Key k) const { QTest::keyClick(v()->Cbo_scrollpic, k); }
};

} // namespace

class TestDecodeAhead : public QObject
{
    Q_OBJECT
  private slots:
    // What a step shows from a picture decoded ahead is what decoding its file shows.
    void aStepShowsTheFileAsDecoded_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("to");
        QTest::newRow("down") << "a.jpg" << int(Qt::Key_Down) << "b.jpg";
        QTest::newRow("up, the way not going") << "d.jpg" << int(Qt::Key_Up) << "c.jpg";
        QTest::newRow("animated gif") << "e.jpg" << int(Qt::Key_Down) << "f.gif";
    }
    void aStepShowsTheFileAsDecoded()
    {
        QFETCH(QString, from);
        QFETCH(int, key);
        QFETCH(QString, to);
        AheadWindow x;
        x.open(from);
        QVERIFY(settled(x.ahead()));
        QVERIFY(x.ahead().holds(x.path(to)));
        OpenWatch opens(x.folder());
        QVERIFY(opens.valid());
        x.key(Qt::Key(key));
        QCOMPARE(x.v()->Cbo_scrollpic->currentIndex(), x.row(to));
        // Taken as decoded, not read a second time.
        QCOMPARE(opens.opened().value(to), 0);
        const QImage expected = decoded(x.path(to));
        QVERIFY(!expected.isNull());
        QCOMPARE(x.v()->img_fullscreen->image(), expected);
        QCOMPARE(x.w->Img_largeview->image(), expected);
        QCOMPARE(x.v()->img_fullscreen->toolTip(),
                 QStringLiteral("(%1/8) %2").arg(x.row(to) + 1).arg(to));
        // An animation plays from the file's bytes, as when it is decoded on the spot.
        const bool animated = to.endsWith(".gif");
        QCOMPARE(x.v()->img_fullscreen->animation(),
                 animated ? readcontent(x.path(to)) : QByteArray());
        QCOMPARE(x.v()->img_fullscreen->animating(), animated);
    }

    // The step's picture is painted before the worker is asked for more; then it decodes the
    // next two the way the user goes and the one behind.
    void aStepIsPaintedBeforeTheNextAreDecoded_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<int>("key");
        QTest::addColumn<QStringList>("ahead");
        QTest::newRow("down") << "a.jpg" << int(Qt::Key_Down)
                              << QStringList{"c.jpg", "d.jpg", "a.jpg"};
        QTest::newRow("up") << "d.jpg" << int(Qt::Key_Up) << QStringList{"b.jpg", "a.jpg", "d.jpg"};
    }
    void aStepIsPaintedBeforeTheNextAreDecoded()
    {
        QFETCH(QString, from);
        QFETCH(int, key);
        QFETCH(QStringList, ahead);
        AheadWindow x;
        x.open(from);
        QVERIFY(settled(x.ahead()));
        bool painted = false, askedfirst = false;
        const auto watch = [&](QEvent *e) {
            if (e->type() == QEvent::Paint && !painted) {
                painted = true;
                askedfirst = x.ahead().busy();
            }
        };
        EventWatch paints(x.v()->img_fullscreen, watch);
        x.key(Qt::Key(key));
        QVERIFY(painted);
        QVERIFY(!askedfirst);
        QVERIFY(settled(x.ahead()));
        for (const QString &name : ahead)
            QVERIFY2(x.ahead().holds(x.path(name)), qPrintable(name));
    }

    void aFileChangedSinceItWasDecodedShowsAsItIsNow_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("another file renamed over it") << "rename";
        QTest::newRow("written in place, same size") << "same size";
        QTest::newRow("written in place, other size") << "other size";
        // As `dd conv=notrunc` and `touch -r` leave it: only its change time tells.
        QTest::newRow("written in place, same size, its time put back") << "time put back";
    }
    void aFileChangedSinceItWasDecodedShowsAsItIsNow()
    {
        QFETCH(QString, how);
        AheadWindow x;
        x.open("a.jpg");
        QVERIFY(settled(x.ahead()));
        const QString b = x.path("b.jpg");
        QVERIFY(x.ahead().holds(b));
        const QImage before = decoded(b);
        const QByteArray now =
            jpegof(Qt::red, QSize(320, 240), how == "other size" ? 50000 : 40000);
        if (how == "rename") {
            QVERIFY(writecontent(x.path("new"), now));
            QCOMPARE(::rename(QFile::encodeName(x.path("new")).constData(),
                              QFile::encodeName(b).constData()),
                     0);
        } else {
            if (how == "time put back")
                QVERIFY(clockpassed(b, x.f.dir.path() + "/clock"));
            struct stat was;
            QCOMPARE(::stat(QFile::encodeName(b).constData(), &was), 0);
            QFile file(b);
            QVERIFY(file.open(QIODevice::ReadWrite | QIODevice::Truncate));
            QCOMPARE(file.write(now), now.size());
            file.close();
            if (how == "time put back") {
                const struct timespec times[2] = {was.st_atim, was.st_mtim};
                QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(b).constData(), times, 0), 0);
                struct stat is;
                QCOMPARE(::stat(QFile::encodeName(b).constData(), &is), 0);
                QCOMPARE(is.st_ino, was.st_ino);
                QCOMPARE(is.st_mtim.tv_nsec, was.st_mtim.tv_nsec);
                QCOMPARE(is.st_mtim.tv_sec, was.st_mtim.tv_sec);
            }
        }
        QCOMPARE(QFileInfo(b).size() == 40000, how != "other size");
        x.key(Qt::Key_Down);
        const QImage shown = x.v()->img_fullscreen->image();
        QCOMPARE(shown, decoded(b));
        QVERIFY(shown != before);
        QCOMPARE(shown.pixelColor(160, 120).red() > 200, true);
    }

    // A row swapped for a link or a FIFO, or one that is no picture by its type, is not read
    // ahead: nothing is opened through the link, the FIFO is not opened at all.
    void onlyPlainPicturesAreReadAhead_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("swap");
        QTest::newRow("link to a picture outside") << "a.jpg"
                                                   << "b.jpg"
                                                   << "link";
        QTest::newRow("fifo") << "a.jpg"
                              << "b.jpg"
                              << "fifo";
        QTest::newRow("picture under a sound's name") << "g.png"
                                                      << "h.mp3"
                                                      << "";
    }
    void onlyPlainPicturesAreReadAhead()
    {
        QFETCH(QString, from);
        QFETCH(QString, name);
        QFETCH(QString, swap);
        AheadWindow x;
        const QString outside = x.f.dir.path() + "/outside";
        QVERIFY(QDir().mkpath(outside));
        sample::writejpeg(outside + "/target.jpg", 320, 240);
        const QByteArray at = QFile::encodeName(x.path(name));
        if (!swap.isEmpty())
            QVERIFY(QFile::remove(x.path(name)));
        if (swap == "link")
            QCOMPARE(::symlink(QFile::encodeName(outside + "/target.jpg").constData(), at), 0);
        else if (swap == "fifo")
            QCOMPARE(::mkfifo(at.constData(), 0644), 0);
        OpenWatch inside(x.folder()), beyond(outside);
        QVERIFY(inside.valid() && beyond.valid());
        x.open(from);
        QVERIFY(settled(x.ahead()));
        QVERIFY(!x.ahead().holds(x.path(name)));
        QCOMPARE(inside.opened().value(name), 0);
        QVERIFY(beyond.opened().isEmpty());
        // The row itself: shown as before, as no picture, and still not opened.
        if (!swap.isEmpty()) {
            x.key(Qt::Key_Down);
            QVERIFY(settled(x.ahead()));
            QVERIFY(!x.v()->img_fullscreen->haspicture());
            QCOMPARE(inside.opened().value(name), 0);
            QVERIFY(beyond.opened().isEmpty());
        }
    }

    // The cache alone: what it keeps within its budget, the least wanted going first, and no
    // file read twice.
    void theBudgetDropsTheLeastWanted_data()
    {
        QTest::addColumn<double>("pictures");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("held");
        QTest::newRow("all fit") << 3.0 << QStringList{"want a b c", "wait"} << "abc";
        QTest::newRow("the last wanted dropped")
            << 2.5 << QStringList{"want a b c", "wait"} << "ab";
        QTest::newRow("earlier wants go first")
            << 2.5 << QStringList{"want a b", "wait", "want c", "wait"} << "ac";
        QTest::newRow("a picture taken outranks earlier wants")
            << 2.5 << QStringList{"want a b", "wait", "take b", "want c", "wait"} << "bc";
        QTest::newRow("one in flight is waited for")
            << 3.0 << QStringList{"want a b", "take a", "wait"} << "ab";
        QTest::newRow("one not begun is left to the caller")
            << 3.0 << QStringList{"want a b c", "miss c", "wait"} << "ab";
        // With a core for each, both pictures ahead decode at once.
        if (QThread::idealThreadCount() >= 2)
            QTest::newRow("two in flight")
                << 3.0 << QStringList{"want a b c", "take b", "wait"} << "abc";
        QTest::newRow("all in flight dropped")
            << 3.0 << QStringList{"want a b c", "drop", "wait"} << "";
        QTest::newRow("none fits") << 0.5 << QStringList{"want a b", "wait"} << "";
    }
    void theBudgetDropsTheLeastWanted()
    {
        QFETCH(double, pictures);
        QFETCH(QStringList, steps);
        QFETCH(QString, held);
        QTemporaryDir dir;
        for (const char *n : {"a", "b", "c", "d"})
            QVERIFY(sample::writejpeg(dir.path() + "/" + n + ".jpg", 64, 48));
        const auto path = [&](const QString &n) {
            return dir.path() + "/" + n + ".jpg";
        };
        const qint64 budget = qint64(pictures * 64 * 48 * 4);
        PictureCache cache(budget);
        OpenWatch opens(dir.path());
        QVERIFY(opens.valid());
        QMap<QString, int> opened;
        const auto count = [&] {
            const QMap<QString, int> more = opens.opened();
            for (auto it = more.cbegin(); it != more.cend(); ++it)
                opened[it.key()] += it.value();
        };
        for (const QString &step : steps) {
            QStringList words = step.split(' ');
            const QString verb = words.takeFirst();
            if (verb == "want") {
                QStringList paths;
                for (const QString &n : words)
                    paths << path(n);
                cache.want(paths);
            } else if (verb == "wait") {
                QVERIFY(settled(cache));
            } else if (verb == "drop") {
                cache.drop();
            } else {
                DecodedPicture p;
                const QString at = path(words[0]);
                QCOMPARE(cache.take(at, plainfileidentity(nativepath(at)), p), verb == "take");
                count();
                if (verb == "take")
                    QCOMPARE(p.image, decoded(path(words[0])));
                opens.opened(); // the test's own read
            }
        }
        for (const char *n : {"a", "b", "c", "d"})
            QVERIFY2(cache.holds(path(n)) == held.contains(QLatin1String(n)), n);
        QCOMPARE(cache.count(), held.size());
        QVERIFY(cache.bytes() <= budget);
        count();
        for (auto it = opened.cbegin(); it != opened.cend(); ++it)
            QVERIFY2(it.value() == 1, qPrintable(it.key()));
    }

    // However the viewer goes, the pictures decoded ahead go with it, one still being decoded
    // too, and the window is painted again.
    void closingTheViewerDropsThePictures_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("escape") << "escape";
        QTest::newRow("middle button") << "middle";
        QTest::newRow("hidden") << "hide";
        QTest::newRow("window-manager close") << "wm";
        QTest::newRow("main window closed") << "main";
    }
    void closingTheViewerDropsThePictures()
    {
        QFETCH(QString, how);
        AheadWindow x;
        x.open("a.jpg");
        QVERIFY(settled(x.ahead()));
        QVERIFY(x.ahead().count() > 0);
        QVERIFY(!x.w.form().updatesEnabled());
        x.key(Qt::Key_Down); // c.jpg is being decoded
        if (how == "escape")
            x.key(Qt::Key_Escape);
        else if (how == "middle")
            QTest::mouseClick(x.v()->img_fullscreen, Qt::MiddleButton);
        else if (how == "hide")
            x.v()->hide();
        else if (how == "wm")
            x.v()->windowHandle()->close();
        else
            x.w.form().close();
        QVERIFY(!x.w.form().viewershowing());
        QCOMPARE(x.ahead().count(), 0);
        QCOMPARE(x.ahead().bytes(), qint64(0));
        QVERIFY(settled(x.ahead()));
        QCOMPARE(x.ahead().count(), 0);
        QVERIFY(x.w.form().updatesEnabled());
        QVERIFY(x.w->Pic_imgbox->updatesEnabled());
    }
};

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    TestDecodeAhead t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_decodeahead.moc"
