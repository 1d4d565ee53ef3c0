#include "flashplayer.h"
#include "medianetwork.h"
#include "mediaplayer.h"
#include "mediasignature.h"
#include "resultlistcontrol.h"
#include "samplecache.h"
#include "testsupport.h"

#include <QApplication>
#include <QAudioOutput>
#include <QMediaPlayer>
#include <QTcpServer>
#include <QtTest>

using namespace vellomar;
using namespace vellomar::test;

namespace {

// A loopback listener that only counts who knocks.
struct Probe {
    QTcpServer server;
    int connections = 0;
    Probe()
    {
        server.listen(QHostAddress::LocalHost);
        QObject::connect(&server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket *s = server.nextPendingConnection()) {
                ++connections;
                s->close();
                s->deleteLater();
            }
        });
    }
    QByteArray url(const char *path) const
    {
        return "http://127.0.0.1:" + QByteArray::number(server.serverPort()) + path;
    }
};

} // namespace

class TestMediaNetwork : public QObject
{
    Q_OBJECT
  private slots:
    void signatures_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<int>("signature");
        const QByteArray asf = QByteArray::fromHex("3026B2758E66CF11A6D900AA0062CE6C");
        QTest::newRow("swf") << QByteArray("FWS\x09") << int(MediaSignature::swf);
        QTest::newRow("compressed swf") << QByteArray("CWS\x0a") << int(MediaSignature::swf);
        QTest::newRow("flv") << QByteArray("FLV\x01\x05") << int(MediaSignature::flv);
        QTest::newRow("id3") << QByteArray("ID3\x03\x00") << int(MediaSignature::mp3);
        QTest::newRow("mpeg frame") << QByteArray::fromHex("FFFB9064") << int(MediaSignature::mp3);
        QTest::newRow("bad bitrate")
            << QByteArray::fromHex("FFFBF064") << int(MediaSignature::none);
        QTest::newRow("reserved layer")
            << QByteArray::fromHex("FFF99064") << int(MediaSignature::none);
        QTest::newRow("asf") << asf + "rest" << int(MediaSignature::asf);
        QTest::newRow("asf cut short") << asf.left(15) << int(MediaSignature::none);
        QTest::newRow("hls") << QByteArray("#EXTM3U\n") << int(MediaSignature::none);
        QTest::newRow("dash") << QByteArray("<?xml version") << int(MediaSignature::none);
        QTest::newRow("empty") << QByteArray() << int(MediaSignature::none);
    }
    void signatures()
    {
        QFETCH(QByteArray, head);
        QFETCH(int, signature);
        QCOMPARE(int(mediasignature(reinterpret_cast<const unsigned char *>(head.constData()),
                                    int(head.size()))),
                 signature);
    }

    // Playlists, manifests and a movie of another kind under the media names: previewed and
    // opened in the viewer, nothing knocks on the probe; the real files still play.
    void noMediaFileReachesTheNetwork()
    {
        Probe probe;
        QVERIFY(probe.server.isListening());
        CacheFixture f;
        const QString d = f.sub("AAAAAAAA") + "/";
        const QByteArray pad(12 * 1024, '\n');
        writecontent(d + "hls.flv", "#EXTM3U\n#EXT-X-TARGETDURATION:10\n#EXTINF:10,\n" +
                                        probe.url("/seg.ts") + "\n#EXT-X-ENDLIST\n" + pad);
        writecontent(d + "dash.mp3",
                     "<?xml version=\"1.0\"?><MPD xmlns=\"urn:mpeg:dash:schema:mpd:2011\" "
                     "type=\"dynamic\" minimumUpdatePeriod=\"PT5S\" "
                     "profiles=\"urn:mpeg:dash:profile:isoff-live:2011\"><BaseURL>" +
                         probe.url("/") +
                         "</BaseURL><Period><AdaptationSet mimeType=\"audio/mp4\">"
                         "<Representation id=\"a\" bandwidth=\"64000\"><SegmentTemplate "
                         "media=\"a$Number$.m4s\" duration=\"1\"/></Representation>"
                         "</AdaptationSet></Period></MPD>" +
                         pad);
        writecontent(d + "asx.wma", "<asx version=\"3.0\"><entry><ref href=\"" +
                                        probe.url("/a.wma") + "\"/></entry></asx>" + pad);
        writecontent(d + "m3u.mp3", "#EXTM3U\n#EXTINF:1,a\n" + probe.url("/a.mp3") + "\n" + pad);
        writecontent(d + "pls.wma", "[playlist]\nFile1=" + probe.url("/a.mp3") +
                                        "\nNumberOfEntries=1\nVersion=2\n" + pad);
        QVERIFY(sample::writeswf(d + "swf.flv"));
        sample::padto(d + "swf.flv", 12 * 1024);
        for (const char *real : {"real.flv", "real.mp3", "real.wma"}) {
            QVERIFY(sample::writewithffmpeg(d + real));
            sample::padto(d + real, 12 * 1024);
        }

        Window w;
        w.load(f.cacheroot(), f.download());
        w.browser().Opt_filetype_Click(0);
        const QStringList rows = rownames(w);
        QCOMPARE(rows.size(), 9);
        for (int r = 0; r < rows.size(); ++r) {
            if (rows[r].startsWith("real"))
                continue;
            w->Rlt_iecachesubdir->setCurrentRow(r);
            w.browser().Rlt_iecachesubdir_RowClick(r);
            QTest::qWait(300);
            w.form().viewcurrentfile();
            QTest::qWait(300);
            w.viewer()->exitfullscreen();
            QVERIFY2(w->wmp->URL().isEmpty(), qPrintable(rows[r]));
            QVERIFY2(rows[r].startsWith("swf") || w->Flashbox->kind() == FlashPlayer::Kind::None,
                     qPrintable(rows[r]));
        }
        QTest::qWait(1500);
        QCOMPARE(probe.connections, 0);

        // The real ones play.
        w.browser().Rlt_iecachesubdir_RowClick(int(rows.indexOf("real.flv")));
        QTRY_COMPARE_WITH_TIMEOUT(w->Flashbox->videoplayer()->playbackState(),
                                  QMediaPlayer::PlayingState, 10000);
        for (const char *real : {"real.mp3", "real.wma"}) {
            w.browser().Rlt_iecachesubdir_RowClick(int(rows.indexOf(real)));
            QTRY_COMPARE_WITH_TIMEOUT(w->wmp->player()->playbackState(), QMediaPlayer::PlayingState,
                                      10000);
            QTRY_VERIFY_WITH_TIMEOUT(w->wmp->player()->position() > 200, 10000);
        }
        QCOMPARE(probe.connections, 0);
    }

    // In depth: whatever reaches a player, the process's media framework has no way out.
    void theMediaFrameworkHasNoNetworkSource()
    {
        Probe probe;
        MediaPlayer wmp; // the first player takes the network sources out
        QMediaPlayer *player = wmp.player();
        QVERIFY(!canreaduri(QString::fromLatin1(probe.url("/a.mp3"))));
        for (const char *uri : {"https://127.0.0.1/a", "rtsp://127.0.0.1/a", "udp://127.0.0.1:9",
                                "tcp://127.0.0.1:9", "rtmp://127.0.0.1/a", "mms://127.0.0.1/a"})
            QVERIFY2(!canreaduri(QString::fromLatin1(uri)), uri);
        QTemporaryDir dir;
        QVERIFY(canreaduri(QUrl::fromLocalFile(dir.path() + "/a.mp3").toString()));
        player->setSource(QUrl(QString::fromLatin1(probe.url("/a.mp3"))));
        player->play();
        QTest::qWait(1500);
        QCOMPARE(probe.connections, 0);
    }
};

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    TestMediaNetwork t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_medianetwork.moc"
