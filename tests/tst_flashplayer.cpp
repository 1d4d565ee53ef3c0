#include "preview/flashplayer.h"
#include "preview/mediaplayer.h"
#include "preview/swfserver.h"
#include "preview/swfview.h"
#include "samplecache.h"
#include "testsupport.h"

#include <QApplication>
#include <QAudioOutput>
#include <QMediaPlayer>
#include <QtTest>
#include <httplib.h>

using namespace vellomar;
using namespace vellomar::test;

class TestFlashPlayer : public QObject
{
    Q_OBJECT
  private slots:
    void serverAnswersOnlyItsOwnFiles()
    {
        QTemporaryDir dir;
        const QString movie = dir.path() + "/m.swf";
        QVERIFY(sample::writeswf(movie));
        QVERIFY(writecontent(dir.path() + "/secret.txt", "secret"));
        SwfServer server;
        QVERIFY(!rufflefolder().isEmpty());
        QVERIFY(server.start(rufflefolder()));
        const int serial = server.addmovie(movie);
        httplib::Client client("127.0.0.1", server.port());
        const std::string t = "/" + server.token().toStdString();

        struct Probe {
            const char *what;
            std::string path;
            int status;
        };
        const Probe probes[] = {
            {"page", t + "/player.html", 200},
            {"player", t + "/ruffle.js", 200},
            {"movie", t + "/movie.swf?n=" + std::to_string(serial), 200},
            {"unknown movie", t + "/movie.swf?n=" + std::to_string(serial + 5), 404},
            {"wrong token", "/0123456789abcdef0123456789abcdef/player.html", 404},
            {"no token", "/player.html", 404},
            {"dot dot", t + "/../secret.txt", 404},
            {"encoded dot dot", t + "/%2e%2e%2fsecret.txt", 404},
            {"absolute", "/etc/passwd", 404},
            {"outside the set", t + "/secret.txt", 404},
            {"token only", t + "/", 404},
        };
        for (const Probe &p : probes) {
            const auto res = client.Get(p.path.c_str());
            QVERIFY2(res, p.what);
            QVERIFY2(res->status == p.status, p.what);
            if (p.status == 404)
                QVERIFY2(res->body.empty(), p.what);
        }
        const auto js = client.Get((t + "/ruffle.js").c_str());
        QCOMPARE(QByteArray::fromStdString(js->get_header_value("Content-Type")),
                 QByteArray("text/javascript"));
        const auto swf = client.Get((t + "/movie.swf?n=" + std::to_string(serial)).c_str());
        QCOMPARE(QByteArray::fromStdString(swf->body), readcontent(movie));

        // Only GET is served, and a big request body is refused.
        const auto post = client.Post((t + "/player.html").c_str(), "x", "text/plain");
        QVERIFY(!post || post->status != 200);
        const auto big =
            client.Post((t + "/player.html").c_str(), std::string(100000, 'x'), "text/plain");
        QVERIFY(!big || big->status != 200);
        const auto del = client.Delete((t + "/player.html").c_str());
        QVERIFY(!del || del->status != 200);

        QVERIFY(server.allows(server.pageurl()));
        QVERIFY(server.allows(server.movieurl(serial)));
        QVERIFY(!server.allows(QUrl("http://127.0.0.1:1/" + server.token() + "/player.html")));
        QVERIFY(!server.allows(QUrl("https://example.com/")));
        QVERIFY(
            !server.allows(QUrl(QStringLiteral("http://127.0.0.1:%1/other/").arg(server.port()))));
        QVERIFY(!server.allows(QUrl("file:///etc/passwd")));
        server.stop();
        QVERIFY(!server.allows(server.pageurl()));
    }

    void sniffsTheMovieKind()
    {
        QTemporaryDir dir;
        QVERIFY(sample::writeswf(dir.path() + "/a.swf"));
        QVERIFY(writecontent(dir.path() + "/b.fl", "FLV\x01rest"));
        QVERIFY(writecontent(dir.path() + "/c.swf", "CWS\x09rest"));
        QVERIFY(writecontent(dir.path() + "/d.flv", "junk"));
        QCOMPARE(FlashPlayer::sniffmovie(dir.path() + "/a.swf"), FlashPlayer::Kind::Swf);
        QCOMPARE(FlashPlayer::sniffmovie(dir.path() + "/b.fl"), FlashPlayer::Kind::Video);
        QCOMPARE(FlashPlayer::sniffmovie(dir.path() + "/c.swf"), FlashPlayer::Kind::Swf);
        QCOMPARE(FlashPlayer::sniffmovie(dir.path() + "/d.flv"), FlashPlayer::Kind::None);
        QCOMPARE(FlashPlayer::sniffmovie(dir.path() + "/abc"), FlashPlayer::Kind::None);
    }

    void swfPlaysInRuffle()
    {
        QTemporaryDir dir;
        const QString movie = dir.path() + "/movie[1].swf";
        QVERIFY(sample::writeswf(movie));
        FlashPlayer player;
        player.resize(369, 321);
        player.show();
        player.setMovie(movie);
        QCOMPARE(player.kind(), FlashPlayer::Kind::Swf);
        QVERIFY(player.swfview()->available());
        QTRY_VERIFY_WITH_TIMEOUT(swfstate(player).playing, 60000);
        player.Stop();
        QTRY_VERIFY_WITH_TIMEOUT(!swfstate(player).playing, 10000);
        QVERIFY(swfstate(player).loaded);
        player.Play();
        QTRY_VERIFY_WITH_TIMEOUT(swfstate(player).playing, 10000);
        player.setMovie(QStringLiteral("abc"));
        QCOMPARE(player.kind(), FlashPlayer::Kind::None);
        QTRY_VERIFY_WITH_TIMEOUT(!swfstate(player).loaded, 10000);
    }

    // A stop given while the page or Ruffle's instance is still loading is kept, and holds
    // against Ruffle's autoplay once the movie is there.
    void aStopBeforeTheMovieIsThereHolds()
    {
        QTemporaryDir dir;
        const QString movie = dir.path() + "/movie[1].swf";
        QVERIFY(sample::writeswf(movie));
        FlashPlayer player;
        player.resize(369, 321);
        player.show();
        for (const char *when : {"page loading", "page ready"}) {
            player.setMovie(movie);
            player.Play();
            player.Stop();
            QTRY_VERIFY2_WITH_TIMEOUT(swfstate(player).loaded, when, 60000);
            QTest::qWait(500); // autoplay would have started by now
            QVERIFY2(!swfstate(player).playing, when);
            player.Play();
            QTRY_VERIFY2_WITH_TIMEOUT(swfstate(player).playing, when, 10000);
        }
    }

    void flvPlaysInQtMultimedia()
    {
        QTemporaryDir dir;
        const QString movie = dir.path() + "/video[1].flv";
        QVERIFY(sample::writewithffmpeg(movie));
        FlashPlayer player;
        player.resize(369, 321);
        player.show();
        player.setMovie(movie);
        QCOMPARE(player.kind(), FlashPlayer::Kind::Video);
        QTRY_COMPARE_WITH_TIMEOUT(player.videoplayer()->playbackState(), QMediaPlayer::PlayingState,
                                  10000);
        QTRY_VERIFY_WITH_TIMEOUT(player.videoplayer()->position() > 300, 10000);
        QVERIFY(player.videoplayer()->hasVideo());
        player.Stop();
        QCOMPARE(player.videoplayer()->playbackState(), QMediaPlayer::PausedState);
        player.setMovie(QStringLiteral("abc"));
        QCOMPARE(player.videoplayer()->playbackState(), QMediaPlayer::StoppedState);
        QVERIFY(player.videoplayer()->source().isEmpty());
    }

    void audioPlaysAndCloseReleasesIt_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("mp3") << "song[1].mp3";
        QTest::newRow("wma") << "voice[1].wma";
    }
    void audioPlaysAndCloseReleasesIt()
    {
        QFETCH(QString, name);
        QTemporaryDir dir;
        const QString file = dir.path() + "/" + name;
        QVERIFY(sample::writewithffmpeg(file));
        MediaPlayer wmp;
        wmp.show();
        QCOMPARE(wmp.volume(), 50);
        wmp.setURL(file);
        QTRY_COMPARE_WITH_TIMEOUT(wmp.player()->playbackState(), QMediaPlayer::PlayingState, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(wmp.player()->position() > 300, 10000);
        QVERIFY(wmp.player()->duration() > 3000);
        wmp.close();
        QCOMPARE(wmp.player()->playbackState(), QMediaPlayer::StoppedState);
        QVERIFY(wmp.player()->source().isEmpty());
        QVERIFY(wmp.URL().isEmpty());
    }
};

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    TestFlashPlayer t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_flashplayer.moc"
