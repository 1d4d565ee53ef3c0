// Previewing a big photo, and stepping through pictures full screen, against decoding alone.
#include "bench.h"

#include "desktopseams.h"
#include "frm_main.h"
#include "frm_picfullscreen.h"
#include "previewarea.h"
#include "previewwidgets.h"
#include "resultlistcontrol.h"
#include "samplecache.h"
#include "xcbpicturesurface.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QImageReader>
#include <QTemporaryDir>
#include <QtTest/QTest>
#include <cstdio>

namespace vellomar::bench {

namespace {

// Sees the paint events of a control and of the views it puts pictures through. Painting runs
// inside the processEvents() that flushes the window, so once that returns after a paint event
// the picture is painted and handed to the display.
class PaintWatch : public QObject
{
  public:
    explicit PaintWatch(QWidget *w)
    {
        w->installEventFilter(this);
        for (QWidget *view : w->findChildren<QWidget *>())
            view->installEventFilter(this);
    }
    void reset() { m_seen = false; }
    bool seen() const { return m_seen; }

  protected:
    bool eventFilter(QObject *o, QEvent *e) override
    {
        if (e->type() == QEvent::ChildAdded) {
            if (auto *w = qobject_cast<QWidget *>(static_cast<QChildEvent *>(e)->child()))
                w->installEventFilter(this);
        }
        if (e->type() == QEvent::Paint && o->isWidgetType())
            m_seen = true;
        return false;
    }

  private:
    bool m_seen = false;
};

} // namespace

int benchview(const QStringList &args)
{
    QTemporaryDir dir;
    const QString root = dir.path() + "/cache";
    const QString folder = root + "/Content.IE5/AAAAAAAA";
    QDir().mkpath(folder);
    const bool stepping = args.value(1) == QLatin1String("stepping");
    const int count = stepping ? 200 : 1;
    for (int i = 0; i < count; ++i) {
        const QString name =
            QStringLiteral("%1/pic%2[1].jpg").arg(folder).arg(i, 3, 10, QLatin1Char('0'));
        if (stepping)
            sample::writejpeg(name, 1920, 1080, 85);
        else
            sample::writejpeg(name, 6000, 4000, 90);
    }
    qputenv("VELLOMAR_CACHE", root.toUtf8());
    // The display's own size, as the program sees it: the viewer fills the real screen.
    PrimaryScreen screen;
    // As the program has it: on an X server, pictures decoded ahead are put from shared memory.
    const std::unique_ptr<PictureSurface> surface = XcbPictureSurface::create();
    frm_main w{Seams(nullptr, nullptr, &screen, nullptr)};
    w.setpicturesurface(surface.get());
    w.Form_Load();
    w.show();
    QApplication::processEvents();
    const QStringList files = QDir(folder).entryList(QDir::Files, QDir::Name);
    const auto decode = [&](int n) {
        for (int i = 0; i < n; ++i) {
            QImageReader r(folder + "/" + files[i]);
            r.read();
        }
    };
    if (!stepping) {
        compare(
            QStringLiteral("preview of a 6000 x 4000 JPEG"), 1.2, 5, {}, [&] { decode(1); },
            [&] { w.findChild<PreviewArea *>()->dofilelist(0); });
        return 0;
    }
    const auto open = [&] {
        w.findChild<ResultListControl *>()->setCurrentRow(0);
        w.viewcurrentfile();
        QApplication::processEvents();
    };
    open();
    frm_picfullscreen *viewer = w.findChild<frm_picfullscreen *>();
    PaintWatch painted(viewer->img_fullscreen);
    // One Down, until the picture it brings has been painted and the window flushed; then what
    // the step left queued, as a repeating key's next press would find it. Gives the seconds
    // from the key to the picture on the screen.
    const auto down = [&] {
        painted.reset();
        QElapsedTimer clock;
        clock.start();
        QTest::keyClick(viewer->Cbo_scrollpic, Qt::Key_Down);
        while (!painted.seen() && clock.elapsed() < 2000)
            QApplication::processEvents();
        const double shown = clock.nsecsElapsed() / 1e9;
        QApplication::processEvents();
        return shown;
    };

    // A Down every 150 ms: the time between leaves the worker time to decode ahead.
    std::vector<double> single, key;
    const auto decodeeach = [&] {
        for (int i = 0; i < 200; ++i)
            single.push_back(seconds([&] {
                QImageReader r(folder + "/" + files[i]);
                r.read();
            }));
    };
    decodeeach();
    int direct = 0;
    for (int i = 1; i < 200; ++i) {
        key.push_back(down());
        direct += viewer->img_fullscreen->direct() ? 1 : 0;
        QTest::qWait(150);
    }
    viewer->exitfullscreen();
    decodeeach();
    report(QStringLiteral("full-screen stepping, a Down every 150 ms: key to picture painted"), 0.3,
           median(key), median(single),
           QStringLiteral("199 steps on a %1 x %2 screen, %3 put from shared memory, 400 "
                          "single decodes")
               .arg(screen.size().width())
               .arg(screen.size().height())
               .arg(direct));

    // Down held: each picture painted before the next Down, no time between.
    std::vector<double> base, prog;
    int heldirect = 0;
    for (int round = 0; round < 5; ++round) {
        base.push_back(seconds([&] { decode(200); }));
        open();
        prog.push_back(seconds([&] {
            for (int i = 1; i < 200; ++i) {
                down();
                heldirect += viewer->img_fullscreen->direct() ? 1 : 0;
            }
        }));
        viewer->exitfullscreen();
    }
    report(QStringLiteral("full-screen stepping, Down held: the whole pass"), 1.1, median(prog),
           median(base), QStringLiteral("5 rounds, %1 put from shared memory").arg(heldirect));
    return 0;
}

} // namespace vellomar::bench
