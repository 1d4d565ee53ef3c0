#include "frm_picfullscreen.h"
#include "picturecache.h"
#include "pictureholder.h"
#include "picturesurface.h"
#include "previewwidgets.h"
#include "resultlistcontrol.h"
#include "samplecache.h"
#include "testsupport.h"
#include "xcbpicturesurface.h"

#include <QBuffer>
#include <QComboBox>
#include <QImageReader>
#include <QMutex>
#include <QSet>
#include <QtGui/qguiapplication_platform.h>
#include <QtTest>
#include <cstdlib>
#include <functional>
#include <xcb/xcb.h>

using namespace vellomar;
using namespace vellomar::test;

namespace {

// Shared memory in the program's own heap: it knows what it gave, and keeps what was put.
class MemorySurface : public PictureSurface
{
  public:
    bool refuse = false;    // nothing to give
    bool refuseput = false; // the display turns every put down
    int puts = 0;
    int trims = 0;
    QImage lastput;
    QWidget *lastwindow = nullptr;

    ~MemorySurface() override { lastput = QImage(); } // gives its memory back while it can
    QImage allocate(const QSize &size) override
    {
        if (refuse)
            return {};
        auto *memory = new uchar[size_t(size.width()) * size.height() * 4];
        {
            const QMutexLocker lock(&m_mutex);
            m_live.insert(memory);
        }
        auto *given = new Given{this, memory};
        return QImage(
            memory, size.width(), size.height(), size.width() * 4, QImage::Format_RGB32,
            [](void *info) {
                auto *g = static_cast<Given *>(info);
                {
                    const QMutexLocker lock(&g->surface->m_mutex);
                    g->surface->m_live.remove(g->memory);
                }
                delete[] g->memory;
                delete g;
            },
            given);
    }
    bool shares(const QImage &image) const override
    {
        const QMutexLocker lock(&m_mutex);
        return m_live.contains(image.constBits());
    }
    bool put(QWidget *window, const QImage &image, const QRect &) override
    {
        if (refuseput || !shares(image))
            return false;
        ++puts;
        lastput = image;
        lastwindow = window;
        return true;
    }
    void trim() override { ++trims; }

  private:
    struct Given {
        MemorySurface *surface;
        uchar *memory;
    };
    mutable QMutex m_mutex;
    QSet<const uchar *> m_live;
};

// What the X server shows in a window, read back from it.
QImage onscreen(QWidget *window)
{
    xcb_connection_t *c =
        qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
    xcb_get_image_reply_t *reply = xcb_get_image_reply(
        c,
        xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, xcb_window_t(window->winId()), 0, 0,
                      quint16(window->width()), quint16(window->height()), ~0u),
        nullptr);
    if (!reply)
        return {};
    const QImage image = QImage(xcb_get_image_data(reply), window->width(), window->height(),
                                window->width() * 4, QImage::Format_RGB32)
                             .copy();
    std::free(reply);
    return image;
}

// Four JPEGs of 320 x 240 and an animated GIF, in a window whose pictures go through `surface`.
struct SharedWindow {
    CacheFixture f;
    MemorySurface surface; // outlives the window's pictures
    std::unique_ptr<XcbPictureSurface> x11 = XcbPictureSurface::create();
    Window w;
    QString path(const QString &name) const { return f.sub("AAAAAAAA") + "/" + name; }
    explicit SharedWindow(bool real = false)
    {
        QDir().mkpath(f.sub("AAAAAAAA"));
        for (const char *n : {"a.jpg", "b.jpg", "c.jpg", "d.jpg"}) {
            sample::writejpeg(path(n), 320, 240);
            sample::padto(path(n), 40000);
        }
        sample::writewithffmpeg(path("e.gif"));
        sample::padto(path("e.gif"), 12 * 1024);
        w.load(f.cacheroot(), f.download());
        w.form().setpicturesurface(real ? static_cast<PictureSurface *>(x11.get()) : &surface);
        w.browser().Opt_filetype_Click(0);
    }
    frm_picfullscreen *v() const { return w.viewer(); }
    const PictureCache &ahead() const { return w.preview().ahead(); }
    void open(const QString &name) const { w.openrow(rownames(w).indexOf(name)); }
    void key(Qt::Key k) const { QTest::keyClick(v()->Cbo_scrollpic, k); }
};

} // namespace

class TestSharedPictures : public QObject
{
    Q_OBJECT
  private slots:
    // Only a picture that covers its place and stands still is decoded into shared memory, and
    // it decodes there to what the file decodes to anywhere.
    void decodedIntoSharedMemoryWhenOpaqueAndStill_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("refuse");
        QTest::addColumn<bool>("shared");
        QTest::newRow("colour JPEG") << "c.jpg" << false << true;
        QTest::newRow("grey JPEG") << "g.jpg" << false << false;
        QTest::newRow("opaque PNG") << "o.png" << false << true;
        QTest::newRow("PNG with transparency") << "t.png" << false << false;
        QTest::newRow("animated GIF") << "a.gif" << false << false;
        QTest::newRow("no memory to give") << "c.jpg" << true << false;
    }
    void decodedIntoSharedMemoryWhenOpaqueAndStill()
    {
        QFETCH(QString, name);
        QFETCH(bool, refuse);
        QFETCH(bool, shared);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        if (name == "c.jpg") {
            QVERIFY(sample::writejpeg(path, 320, 240));
        } else if (name == "a.gif") {
            QVERIFY(sample::writewithffmpeg(path));
        } else {
            QImage image(64, 48,
                         name == "g.jpg"   ? QImage::Format_Grayscale8
                         : name == "t.png" ? QImage::Format_ARGB32
                                           : QImage::Format_RGB32);
            for (int y = 0; y < image.height(); ++y) {
                for (int x = 0; x < image.width(); ++x)
                    image.setPixelColor(x, y, QColor(x * 4, y * 5, 90, name == "t.png" ? x : 255));
            }
            QVERIFY(image.save(path));
        }
        MemorySurface surface;
        surface.refuse = refuse;
        DecodedPicture picture;
        QVERIFY(readpicture(path, picture, &surface));
        QCOMPARE(surface.shares(picture.image), shared);
        QCOMPARE(picture.image, decoded(path));
    }

    // A step to a picture decoded ahead puts it from shared memory: the viewer's control paints
    // nothing of it, and the memory is let go when the viewer closes.
    void aStepPutsItsPictureFromSharedMemory()
    {
        SharedWindow x;
        x.open("a.jpg");
        QVERIFY(settled(x.ahead()));
        ImageControl *picture = x.v()->img_fullscreen;
        QCOMPARE(picture->size(), QSize(320, 240));
        int paints = 0;
        const EventWatch watch(picture, [&](QEvent *e) { paints += e->type() == QEvent::Paint; });
        x.key(Qt::Key_Down);
        QVERIFY(picture->direct());
        QCOMPARE(picture->image(), decoded(x.path("b.jpg")));
        // The view's window is new: the display lets it paint once it has mapped it.
        QVERIFY(QTest::qWaitFor([&] { return x.surface.puts > 0; }, 5000));
        QCOMPARE(x.surface.lastput.constBits(), picture->image().constBits());
        QVERIFY(x.surface.puts > 0);
        QCOMPARE(paints, 0);
        // The native view it goes through covers the control and says what it shows.
        QWidget *view = x.surface.lastwindow;
        QVERIFY(view && view->parentWidget() == picture);
        QVERIFY(view->testAttribute(Qt::WA_NativeWindow));
        QVERIFY(view->isVisible());
        QCOMPARE(view->geometry(), picture->rect());
        QCOMPARE(view->accessibleName(), picture->accessibleName());
        // The next step puts the next picture, with no other paint of the window in between.
        QVERIFY(settled(x.ahead()));
        const int before = x.surface.puts;
        x.key(Qt::Key_Down);
        QCOMPARE(x.surface.lastput, decoded(x.path("c.jpg")));
        QCOMPARE(x.surface.puts, before + 1);
        QCOMPARE(paints, 0);
        const int trims = x.surface.trims;
        x.key(Qt::Key_Escape);
        QVERIFY(x.surface.trims > trims);
    }

    // On the X server itself: the step's picture is in the window, put there from shared memory
    // that the next pictures reuse.
    void theDisplayShowsThePicturePut()
    {
        SharedWindow x(true);
        QVERIFY(x.x11);
        x.open("a.jpg");
        QVERIFY(settled(x.ahead()));
        ImageControl *picture = x.v()->img_fullscreen;
        for (const char *name : {"b.jpg", "c.jpg"}) {
            x.key(Qt::Key_Down);
            QVERIFY(picture->direct());
            QVERIFY(x.x11->shares(picture->image()));
            QWidget *view = picture->findChild<QWidget *>("directview");
            QVERIFY(view && view->isVisible());
            QTRY_COMPARE(onscreen(view), decoded(x.path(name)));
            QVERIFY(settled(x.ahead()));
        }
        // A picture let go leaves its memory for the next of its size, until trimmed.
        const auto mapped = [] {
            QFile maps(QStringLiteral("/proc/self/maps"));
            maps.open(QIODevice::ReadOnly);
            return int(maps.readAll().count("memfd:vellomar-picture"));
        };
        QImage image = x.x11->allocate(QSize(320, 240));
        const int held = mapped();
        image = QImage();
        QCOMPARE(mapped(), held);
        image = x.x11->allocate(QSize(320, 240));
        QCOMPARE(mapped(), held);
        image = QImage();
        x.x11->trim();
        QVERIFY(mapped() < held);
        // Memory of its own is no picture the display can be given.
        QVERIFY(!x.x11->put(picture, QImage(320, 240, QImage::Format_RGB32), QRect(0, 0, 1, 1)));
    }

    // The view painted between a picture cleared and the next one (an expose, say) has nothing
    // to put; that is no failure of the display, and the next picture goes the direct way.
    void aPaintWithNoPictureIsNoFailure()
    {
        MemorySurface surface;
        ImageControl control;
        control.setsurface(&surface);
        control.resize(64, 48);
        QImage first = surface.allocate(QSize(64, 48));
        first.fill(Qt::red);
        control.setpicture(first);
        control.show();
        QVERIFY(control.direct());
        QTRY_VERIFY(surface.puts > 0);
        control.clearpicture();
        control.findChild<QWidget *>("directview")->repaint();
        QImage next = surface.allocate(QSize(64, 48));
        next.fill(Qt::blue);
        control.setpicture(next);
        QVERIFY(control.direct());
    }

    // What cannot go from shared memory is painted as ever, and the view gets out of its way.
    void aPictureThatCannotGoDirectIsPainted_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("an animation") << "animation";
        QTest::newRow("at another size") << "size";
        QTest::newRow("the display turns the put down") << "refused";
    }
    void aPictureThatCannotGoDirectIsPainted()
    {
        QFETCH(QString, how);
        SharedWindow x;
        x.open(how == "animation" ? "d.jpg" : "a.jpg");
        QVERIFY(settled(x.ahead()));
        ImageControl *picture = x.v()->img_fullscreen;
        x.surface.refuseput = how == "refused";
        x.key(Qt::Key_Down);
        if (how == "size")
            x.key(Qt::Key_Space); // fits the picture to the screen
        QVERIFY(QTest::qWaitFor([&] { return !picture->direct(); }, 2000));
        int paints = 0;
        const EventWatch watch(picture, [&](QEvent *e) { paints += e->type() == QEvent::Paint; });
        QVERIFY(picture->haspicture());
        QTest::qWait(50);
        picture->repaint();
        QVERIFY(paints > 0);
        const QWidget *view = picture->findChild<QWidget *>("directview");
        QVERIFY(!view || view->isHidden());
        QCOMPARE(picture->size() != picture->image().size(), how == "size");
    }
};

QTEST_MAIN(TestSharedPictures)
#include "tst_sharedpictures.moc"
