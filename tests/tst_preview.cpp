#include "filelistbox.h"
#include "fitting.h"
#include "flashplayer.h"
#include "frm_picfullscreen.h"
#include "mediaplayer.h"
#include "pictureholder.h"
#include "previewwidgets.h"
#include "resultlistcontrol.h"
#include "samplecache.h"
#include "swfview.h"
#include "swfwriter.h"
#include "testsupport.h"

#include <QApplication>
#include <QImageReader>
#include <QLabel>
#include <QMediaPlayer>
#include <QRadioButton>
#include <QtTest>
#include <ctime>
#include <fcntl.h>
#include <httplib.h>
#include <unistd.h>

using namespace vellomar;
using namespace vellomar::test;

namespace {

// A window over one folder holding one file of each kind the preview tells apart.
struct PreviewWindow {
    CacheFixture f;
    Window w;
    QString folder() const { return f.sub("AAAAAAAA"); }
    PreviewWindow()
    {
        const QString d = folder() + "/";
        QDir().mkpath(d);
        sample::writejpeg(d + "photo.jpg", 640, 480);
        sample::writejpeg(d + "square.jpg", 100, 100);
        sample::writejpeg(d + "wide.jpg", 3000, 200);
        writecontent(d + "fake.jpg",
                     QByteArray("<html><body>not a picture</body></html>").repeated(400));
        sample::writepng(d + "icon.png", 64, 64);
        sample::writeswf(d + "movie.swf");
        sample::writewithffmpeg(d + "anim.gif");
        sample::writewithffmpeg(d + "song.mp3");
        for (const char *n : {"icon.png", "movie.swf", "square.jpg"})
            sample::padto(d + n, 12 * 1024);
        w.load(f.cacheroot(), f.download());
        w.browser().Opt_filetype_Click(0);
        w.form().resize(749, 443);
    }
    int row(const QString &name) const { return rownames(w).indexOf(name); }
    void preview(const QString &name) const
    {
        const int r = row(name);
        QVERIFY2(r >= 0, qPrintable(name));
        w.preview().dofilelist(r);
    }
};

// A looping GIF of one-pixel frames, 20 ms each, at `pixels` on a `screen` (0 leaves the side to
// the first frame): a few bytes per frame, while the decoder draws each on a whole screen.
QByteArray pixelgif(const QSize &screen, const QList<QPoint> &pixels)
{
    const auto le16 = [](QByteArray &b, int v) {
        b.append(char(v & 0xff));
        b.append(char((v >> 8) & 0xff));
    };
    QByteArray g("GIF89a");
    le16(g, screen.width());
    le16(g, screen.height());
    g += QByteArray::fromHex("800000000000ffffff"); // two global colours: black, white
    g += QByteArray::fromHex("21ff0b") + "NETSCAPE2.0" + QByteArray::fromHex("0301000000");
    for (const QPoint &p : pixels) {
        g += QByteArray::fromHex("21f9040002000000");
        g += char(0x2c);
        le16(g, p.x());
        le16(g, p.y());
        le16(g, 1);
        le16(g, 1);
        g += char(0);
        g += QByteArray::fromHex("0202440100"); // LZW: clear, colour 0, end
    }
    g += char(0x3b);
    return g;
}

// `frames` pixels spread over a square screen.
QByteArray spreadgif(int side, int frames)
{
    QList<QPoint> pixels;
    for (int i = 0; i < frames; ++i)
        pixels << QPoint((i * 5) % side, (i * 7) % side);
    return pixelgif(QSize(side, side), pixels);
}

QByteArray jpegof(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 50);
    return bytes;
}

qint64 statusbytes(const QByteArray &key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(key + ':'))
            return line.mid(key.size() + 1).trimmed().split(' ').first().toLongLong() * 1024;
    return -1;
}

// How far the process's resident memory peaked above what it held when this was made.
class PeakGrowth
{
  public:
    PeakGrowth()
    {
        // Writing 5 resets the peak (VmHWM) to what is resident now.
        const int fd = ::open("/proc/self/clear_refs", O_WRONLY | O_CLOEXEC);
        m_reset = fd >= 0 && ::write(fd, "5", 1) == 1;
        if (fd >= 0)
            ::close(fd);
        m_start = statusbytes("VmRSS");
    }
    bool valid() const { return m_reset && m_start > 0; }
    qint64 mb() const { return (statusbytes("VmHWM") - m_start) >> 20; }

  private:
    bool m_reset = false;
    qint64 m_start = 0;
};

// AddressSanitizer keeps freed blocks resident in its quarantine (256 MB unless told otherwise).
#if defined(__SANITIZE_ADDRESS__)
constexpr qint64 quarantinemb = 256;
#else
constexpr qint64 quarantinemb = 0;
#endif

// Share of one core the process uses while the event loop runs for `ms`.
double busy(int ms)
{
    QElapsedTimer wall;
    const std::clock_t start = std::clock();
    wall.start();
    QTest::qWait(ms);
    return double(std::clock() - start) / CLOCKS_PER_SEC / (double(wall.elapsed()) / 1000.0);
}

} // namespace

class TestPreview : public QObject
{
    Q_OBJECT
  private slots:
    void groups_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("group");
        QTest::addColumn<bool>("viewer");
        const int picture = int(PreviewGroup::picture), flash = int(PreviewGroup::flash),
                  audio = int(PreviewGroup::audio), other = int(PreviewGroup::other);
        QTest::newRow("jpg") << "/c/a.jpg" << picture << true;
        QTest::newRow("PHOTO.JPEG") << "/c/PHOTO.JPEG" << picture << true;
        QTest::newRow("gif") << "/c/a.gif" << picture << true;
        QTest::newRow("ends .gi") << "/c/a.gi" << picture << true;
        QTest::newRow("ends g.g") << "/c/ag.g" << picture << true;
        QTest::newRow("png") << "/c/image.png" << other << false;
        QTest::newRow("swf") << "/c/a.SWF" << flash << true;
        QTest::newRow("flv") << "/c/a.flv" << flash << true;
        QTest::newRow("ends .fl") << "/c/a.fl" << flash << true;
        QTest::newRow("mp3") << "/c/a.mp3" << audio << false;
        QTest::newRow("ends .wm") << "/c/a.wm" << audio << false;
        QTest::newRow("htm") << "/c/a.htm" << other << false;
        QTest::newRow("short") << "pg" << picture << true;
        QTest::newRow("text") << "/c/abc.txt" << other << false;
    }
    void groups()
    {
        QFETCH(QString, path);
        QFETCH(int, group);
        QFETCH(bool, viewer);
        QCOMPARE(int(previewgroup(path)), group);
        QCOMPARE(opensinviewer(path), viewer);
    }

    void fitting_data()
    {
        QTest::addColumn<float>("w");
        QTest::addColumn<float>("h");
        QTest::addColumn<float>("bw");
        QTest::addColumn<float>("bh");
        QTest::addColumn<float>("scale");
        QTest::addColumn<QRectF>("placed");
        QTest::newRow("9600x7200 on the board") << 9600.f << 7200.f << 5535.f << 4815.f
                                                << 0.5765625f << QRectF(0, 331.875, 5535, 4151.25);
        QTest::newRow("1500x1500 on the board")
            << 1500.f << 1500.f << 5535.f << 4815.f << 3.21f << QRectF(360, 0, 4815, 4815);
        QTest::newRow("tie goes to height")
            << 1000.f << 1000.f << 2000.f << 2000.f << 2.0f << QRectF(0, 0, 2000, 2000);
        QTest::newRow("640x480 on 1024x768")
            << 9600.f << 7200.f << 15360.f << 11520.f << 1.6f << QRectF(0, 0, 15360, 11520);
    }
    void fitting()
    {
        QFETCH(float, w);
        QFETCH(float, h);
        QFETCH(float, bw);
        QFETCH(float, bh);
        QFETCH(float, scale);
        QFETCH(QRectF, placed);
        const float f = fitscale(w, h, bw, bh);
        QVERIFY(qFuzzyCompare(f, scale));
        const Placement p = centred(w, h, f, bw, bh);
        QVERIFY(qAbs(p.left - placed.x()) < 0.01 && qAbs(p.top - placed.y()) < 0.01);
        QVERIFY(qAbs(p.width - placed.width()) < 0.01 && qAbs(p.height - placed.height()) < 0.01);
        // At natural size on 1024 x 768: centred at 2880, 2160.
        const Placement natural = centred(9600, 7200, 1.0f, 15360, 11520);
        QCOMPARE(natural.left, 2880.f);
        QCOMPARE(natural.top, 2160.f);
    }

    void pictureShownFittedAndCentred()
    {
        PreviewWindow x;
        x.w->lbl_digresult->show();
        x.preview("photo.jpg");
        QCOMPARE(x.w.preview().common().picwidth, 9600);
        QCOMPARE(x.w.preview().common().picheight, 7200);
        QVERIFY(qFuzzyCompare(x.w.preview().common().previewscale, 0.5765625f));
        QCOMPARE(x.w.preview().common().fullscreenscale, 1.0f); // natural size is the start option
        QVERIFY(!x.w->Img_largeview->isHidden());
        QCOMPARE(x.w->Img_largeview->geometry(), QRect(0, 22, 369, 277));
        QCOMPARE(x.w->Img_largeview->image().size(), QSize(640, 480));
        QVERIFY(x.w.preview().measuring().isempty());
        QVERIFY(x.w->Flashbox->isHidden());
        QVERIFY(x.w->lbl_digresult->isHidden());
        QCOMPARE(x.w->Flashbox->Movie(), QStringLiteral("abc"));

        x.preview("square.jpg");
        QCOMPARE(x.w->Img_largeview->geometry(), QRect(24, 0, 321, 321));

        // Fit to screen: the factor follows the screen seam.
        x.w->Opt_picorisizemode[1]->click();
        x.preview("photo.jpg");
        QVERIFY(qFuzzyCompare(x.w.preview().common().fullscreenscale, 1.6f));
    }

    void bigPicturesPreview()
    {
        PreviewWindow x;
        x.preview("wide.jpg");
        QCOMPARE(x.w.preview().common().picwidth, 45000);
        QVERIFY(!x.w->Img_largeview->isHidden());
        QCOMPARE(x.w->Img_largeview->width(), 369);
    }

    void failedPictureKeepsTheLastValues_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("html in a .jpg") << QByteArray("<html><body>x</body></html>").repeated(400);
        // Headers that claim 60000 x 60000 pixels: refused by the decoder's memory limit.
        QByteArray png = QByteArray::fromHex("89504e470d0a1a0a0000000d49484452");
        png += QByteArray::fromHex("0000ea600000ea600806000000") + QByteArray(4, '\0') +
               QByteArray(12000, '\0');
        QTest::newRow("huge png header") << png;
        QByteArray gif("GIF89a");
        gif += QByteArray::fromHex("60ea60ea000000") + QByteArray(12000, '\0');
        QTest::newRow("huge gif header") << gif;
        QTest::newRow("truncated jpeg")
            << QByteArray::fromHex("ffd8ffe000104a46494600") + QByteArray(12000, '\0');
        QTest::newRow("empty") << QByteArray();
    }
    void failedPictureKeepsTheLastValues()
    {
        QFETCH(QByteArray, content);
        PreviewWindow x;
        QVERIFY(writecontent(x.folder() + "/bad.jpg", content));
        x.w->SlD_minfilesize->setValue(1);
        x.w.browser().Cmd_refreshfilelist_Click();
        x.preview("photo.jpg");
        const SharedPictureValues before = x.w.preview().common();
        x.preview("bad.jpg");
        QCOMPARE(x.w.preview().common().picwidth, before.picwidth);
        QCOMPARE(x.w.preview().common().picheight, before.picheight);
        QCOMPARE(x.w.preview().common().previewscale, before.previewscale);
        QCOMPARE(x.w.preview().common().fullscreenscale, before.fullscreenscale);
        QVERIFY(x.w->Img_largeview->isHidden());
        QVERIFY(!x.w->Img_largeview->haspicture());
        QVERIFY(x.w.preview().measuring().isempty());
        QVERIFY(x.w->Flashbox->isHidden());
        QVERIFY(x.w->wmp->URL().isEmpty());
        QVERIFY(x.w.dialogs.informs.isEmpty());
    }

    // Pictures that would cost gigabytes: the preview and the viewer either refuse them silently
    // or show them, within a bounded peak of memory and without keeping a core busy.
    void hostilePicturesCostBoundedMemory_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<qint64>("grownto");
        QTest::addColumn<QSize>("natural");
        QTemporaryDir d;
        const QString jpeg = d.path() + "/a.jpg";
        QVERIFY(sample::writejpeg(jpeg, 200, 150) && sample::padto(jpeg, 21 * 1024));
        // Listed at 21 K, then grown (sparsely) before it is clicked.
        QTest::newRow("jpeg grown to 6 GB")
            << "grown[1].jpg" << readcontent(jpeg) << (qint64(6) << 30) << QSize(200, 150);
        QTest::newRow("gif of 2000 pixels on 11000 x 11000")
            << "spread[1].gif" << spreadgif(11000, 2000) << qint64(0) << QSize(11000, 11000);
    }
    void hostilePicturesCostBoundedMemory()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(qint64, grownto);
        QFETCH(QSize, natural);
        PreviewWindow x;
        const QString path = x.folder() + "/" + name;
        QVERIFY(writecontent(path, content));
        x.w.browser().Cmd_refreshfilelist_Click();
        const int row = x.row(name);
        QVERIFY(row >= 0);
        if (grownto > 0)
            QVERIFY(QFile::resize(path, grownto));
        x.preview("photo.jpg");
        const SharedPictureValues before = x.w.preview().common();

        const PeakGrowth peak;
        QVERIFY(peak.valid());
        x.w->Rlt_iecachesubdir->setCurrentRow(row);
        x.w.preview().dofilelist(row);
        QTest::qWait(300); // an animation runs meanwhile
        const qint64 inpreview = peak.mb();
        x.w.form().viewcurrentfile();
        QVERIFY(x.w.form().viewershowing());
        QTest::qWait(300);
        const qint64 inviewer = peak.mb();
        QVERIFY2(inviewer < 600 + quarantinemb,
                 qPrintable(QStringLiteral("peak +%1 MB in the preview, +%2 MB with the viewer")
                                .arg(inpreview)
                                .arg(inviewer)));
        const double load = busy(500);
        QVERIFY2(load < 0.25, qPrintable(QStringLiteral("%1 of a core").arg(load)));

        const ImageControl *preview = x.w->Img_largeview;
        const ImageControl *viewer = x.w.viewer()->img_fullscreen;
        if (preview->isHidden()) {
            // The silent failure path, as for any picture that cannot be read.
            QVERIFY(!preview->haspicture() && !preview->animating());
            QVERIFY(!viewer->haspicture() && !viewer->animating());
            QVERIFY(x.w.preview().measuring().isempty());
            QVERIFY(x.w.dialogs.informs.isEmpty());
            QCOMPARE(x.w.preview().common().picwidth, before.picwidth);
            QCOMPARE(x.w.preview().common().picheight, before.picheight);
            QCOMPARE(x.w.preview().common().previewscale, before.previewscale);
            QCOMPARE(x.w.preview().common().fullscreenscale, before.fullscreenscale);
        } else {
            QCOMPARE(preview->image().size(), natural);
            QCOMPARE(viewer->image().size(), natural);
            QCOMPARE(x.w.preview().common().picwidth, natural.width() * 15);
        }
    }

    // The budget is checked from the headers, before the decoder is given anything (Qt warns
    // when its own allocation limit has to step in), and binds the viewer's control too.
    void pictureDecodeBudget_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<qint64>("filesize"); // 0: as it is; else padded with a hole
        QTest::addColumn<QSize>("natural");   // empty: refused
        QTest::addColumn<bool>("animated");
        QTest::newRow("6000 x 4000 jpeg")
            << jpegof(6000, 4000) << qint64(0) << QSize(6000, 4000) << false;
        QTest::newRow("6000 x 6000 jpeg") << jpegof(6000, 6000) << qint64(0) << QSize() << false;
        QTest::newRow("gif on 4000 x 4000")
            << spreadgif(4000, 40) << qint64(0) << QSize(4000, 4000) << true;
        QTest::newRow("gif on 6000 x 6000") << spreadgif(6000, 3) << qint64(0) << QSize() << false;
        QTest::newRow("gif screen set by its frame")
            << pixelgif(QSize(0, 0), {QPoint(5999, 5999), QPoint(0, 0)}) << qint64(0) << QSize()
            << false;
        QTest::newRow("gif screen half set by its frame")
            << pixelgif(QSize(6000, 0), {QPoint(0, 5999), QPoint(0, 0)}) << qint64(0) << QSize()
            << false;
        QTest::newRow("jpeg at the read cap")
            << jpegof(64, 48) << maxpicturefilebytes << QSize(64, 48) << false;
        QTest::newRow("jpeg past the read cap")
            << jpegof(64, 48) << maxpicturefilebytes + 1 << QSize() << false;
    }
    void pictureDecodeBudget()
    {
        QFETCH(QByteArray, content);
        QFETCH(qint64, filesize);
        QFETCH(QSize, natural);
        QFETCH(bool, animated);
        QTest::failOnWarning(QRegularExpression("allocation limit"));
        QTemporaryDir d;
        const QString path = d.path() + "/p[1].jpg";
        QVERIFY(writecontent(path, content));
        if (filesize > 0)
            QVERIFY(QFile::resize(path, filesize));
        QImageReader::setAllocationLimit(1024); // what some other part of the process chose
        PictureHolder holder;
        QCOMPARE(holder.load(path), !natural.isEmpty());
        QCOMPARE(holder.naturalsize(), natural.isEmpty() ? QSize(0, 0) : natural);
        QCOMPARE(holder.animated(), animated);
        QCOMPARE(holder.data().isEmpty(), !animated);
        if (!natural.isEmpty()) // what QMovie decodes with as well
            QCOMPARE(QImageReader::allocationLimit(), decodebudgetmb);

        if (content.startsWith("GIF")) {
            // The viewer's control, handed the bytes of an animation, plays it only within the
            // budget, holding no more than a couple of frames; beyond it the picture it was
            // given stands still.
            ImageControl viewer;
            viewer.resize(320, 240);
            QImage still(32, 24, QImage::Format_RGB32);
            still.fill(Qt::white);
            const PeakGrowth peak;
            QVERIFY(peak.valid());
            viewer.setpicture(still, content);
            QCOMPARE(viewer.animating(), animated);
            QVERIFY(viewer.haspicture());
            QTest::qWait(animated ? 600 : 0);
            const qint64 frames = qint64(natural.width()) * natural.height() * 4 >> 20;
            QVERIFY2(peak.mb() <= 4 * frames + 16 + quarantinemb,
                     qPrintable(QString::number(peak.mb())));
        }
    }

    void animatedGifAnimates()
    {
        PreviewWindow x;
        x.preview("anim.gif");
        QVERIFY(!x.w->Img_largeview->isHidden());
        QVERIFY(x.w->Img_largeview->animating());
        QCOMPARE(x.w->Img_largeview->image().size(), QSize(160, 120)); // the first frame's size
        QCOMPARE(x.w.preview().common().picwidth, 160 * 15);
    }

    void flashAudioAndOther()
    {
        PreviewWindow x;
        x.preview("photo.jpg");
        x.preview("movie.swf");
        QVERIFY(!x.w->Flashbox->isHidden());
        QCOMPARE(x.w->Flashbox->kind(), FlashPlayer::Kind::Swf);
        QVERIFY(x.w->Flashbox->playing());
        QVERIFY(x.w->Img_largeview->isHidden() && !x.w->Img_largeview->haspicture());
        QVERIFY(x.w->wmp->URL().isEmpty());

        x.preview("song.mp3");
        QCOMPARE(x.w->wmp->URL(), x.folder() + "/song.mp3");
        QTRY_COMPARE_WITH_TIMEOUT(x.w->wmp->player()->playbackState(), QMediaPlayer::PlayingState,
                                  10000);
        QVERIFY(x.w->Flashbox->isHidden());
        QCOMPARE(x.w->Flashbox->kind(), FlashPlayer::Kind::None);
        QVERIFY(x.w->Img_largeview->isHidden());

        // A picture stops the music.
        x.preview("photo.jpg");
        QCOMPARE(x.w->wmp->player()->playbackState(), QMediaPlayer::StoppedState);

        x.preview("song.mp3");
        x.preview("icon.png");
        QVERIFY(x.w->wmp->URL().isEmpty());
        QVERIFY(x.w->Flashbox->isHidden() && x.w->Img_largeview->isHidden());
    }

    void clickingARowPreviewsIt()
    {
        PreviewWindow x;
        x.w.form().show();
        QVERIFY(QTest::qWaitForWindowExposed(x.w.w.get()));
        ResultListControl *list = x.w->Rlt_iecachesubdir;
        const QRect cell = list->visualRect(list->model()->index(x.row("photo.jpg"), 2));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
        QVERIFY(!x.w->Img_largeview->isHidden());
        QCOMPARE(x.w.preview().common().picwidth, 9600);
    }

    void webEngineOnlyWithTheFirstSwf()
    {
        PreviewWindow x;
        x.preview("photo.jpg");
        QVERIFY(!x.w->Flashbox->swfview());
        x.preview("movie.swf");
        QVERIFY(x.w->Flashbox->swfview());
    }

    void anSwfGetsNothingOut()
    {
        httplib::Server probe;
        std::atomic<int> requests{0};
        probe.Get(".*", [&](const httplib::Request &, httplib::Response &res) {
            ++requests;
            res.set_content("a=1", "text/plain");
        });
        probe.Post(".*", [&](const httplib::Request &, httplib::Response &res) {
            ++requests;
            res.set_content("a=1", "text/plain");
        });
        const int port = probe.bind_to_any_port("127.0.0.1");
        QVERIFY(port > 0);
        std::thread serving([&] { probe.listen_after_bind(); });

        // The probe answers when asked directly.
        {
            httplib::Client c("127.0.0.1", port);
            QVERIFY(c.Get("/check"));
            QCOMPARE(requests.load(), 1);
        }

        QTemporaryDir dir;
        const QString movie = dir.path() + "/reach[1].swf";
        QVERIFY(writecontent(movie, sample::makeswf(200, 150, 24,
                                                    QByteArray("http://127.0.0.1:") +
                                                        QByteArray::number(port) + "/probe")));
        FlashPlayer player;
        player.resize(369, 321);
        player.show();
        player.setMovie(movie);
        bool playing = false;
        for (int i = 0; i < 600 && !playing; ++i) {
            bool answered = false;
            player.swfview()->querystate([&](const SwfView::State &s) {
                playing = s.playing;
                answered = true;
            });
            while (!answered)
                QTest::qWait(10);
            QTest::qWait(100);
        }
        QVERIFY(playing);
        QTest::qWait(3000); // several loops of the movie
        probe.stop();
        serving.join();
        QCOMPARE(requests.load(), 1);
    }
};

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    TestPreview t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_preview.moc"
