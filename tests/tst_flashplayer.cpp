#include "flashplayer.h"
#include "mediaplayer.h"
#include "openedfile.h"
#include "platform.h"
#include "samplecache.h"
#include "socketowner.h"
#include "swfserver.h"
#include "swfview.h"
#include "testsupport.h"

#include <QApplication>
#include <QAudioOutput>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMediaPlayer>
#include <QNetworkProxy>
#include <QTcpSocket>
#include <QTimer>
#include <QtTest>
#include <algorithm>
#include <memory>
#include <mutex>
#include <optional>
#include <unistd.h>
#include <vector>

using namespace vellomar;
using namespace vellomar::test;

namespace {

// A client of the listener from a loopback address of the test's choosing: any 127.x.y.z
// reaches it, so one test can play several local users.
std::unique_ptr<QTcpSocket> connectfrom(int port, const QString &from = QStringLiteral("127.0.0.1"))
{
    auto s = std::make_unique<QTcpSocket>();
    s->setProxy(QNetworkProxy::NoProxy);
    s->bind(QHostAddress(from));
    s->connectToHost(QHostAddress::LocalHost, quint16(port));
    s->waitForConnected(2000);
    return s;
}

// One request on a connection of its own, as raw bytes so that nothing tidies the path; all
// that comes back until the server closes (it is asked to) or 5 s have passed.
QByteArray request(int port, const QByteArray &method, const QByteArray &path,
                   const QByteArray &headers = {}, const QByteArray &upload = {})
{
    auto s = connectfrom(port);
    s->write(method + ' ' + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" +
             headers + "\r\n" + upload);
    QElapsedTimer clock;
    clock.start();
    QByteArray answer;
    while (s->state() == QAbstractSocket::ConnectedState && clock.elapsed() < 5000) {
        s->waitForReadyRead(50);
        answer += s->readAll();
    }
    return answer + s->readAll();
}

// This process's resident memory in kB.
qint64 residentkb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// Slow clients: each has sent the first byte of a request and adds one more every `interval`
// ms for as long as the server keeps it.
class Trickle
{
  public:
    Trickle(int port, int count, int interval)
    {
        for (int i = 0; i < count; ++i) {
            m_clients.push_back(connectfrom(port));
            m_clients.back()->write("G");
        }
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            for (const auto &c : m_clients) {
                if (c->state() == QAbstractSocket::ConnectedState)
                    c->write("E");
            }
        });
        m_timer.start(interval);
        m_clock.start();
    }
    int open() const
    {
        return int(std::count_if(m_clients.begin(), m_clients.end(), [](const auto &c) {
            return c->state() == QAbstractSocket::ConnectedState;
        }));
    }
    qint64 age() const { return m_clock.elapsed(); }

  private:
    std::vector<std::unique_ptr<QTcpSocket>> m_clients;
    QTimer m_timer;
    QElapsedTimer m_clock;
};

// The owner a test says the other end of every connection has, and the ends it was asked about.
class FixedOwners : public SocketOwners
{
  public:
    explicit FixedOwners(std::optional<unsigned> uid) : m_uid(uid) {}
    std::optional<unsigned> owner(const SocketEnd &local, const SocketEnd &remote) const override
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        m_asked.emplace_back(local, remote);
        return m_uid;
    }
    std::vector<std::pair<SocketEnd, SocketEnd>> asked() const
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        return m_asked;
    }

  private:
    std::optional<unsigned> m_uid;
    mutable std::mutex m_lock;
    mutable std::vector<std::pair<SocketEnd, SocketEnd>> m_asked;
};

// The status and body of a GET of `url` on a connection of its own.
std::pair<int, QByteArray> fetch(const QUrl &url)
{
    const QByteArray answer =
        request(url.port(), "GET", url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority));
    const qsizetype headend = answer.indexOf("\r\n\r\n");
    if (!answer.startsWith("HTTP/1.1 ") || headend < 0)
        return {0, {}};
    return {answer.mid(9, 3).toInt(), answer.mid(headend + 4)};
}

} // namespace

class TestFlashPlayer : public QObject
{
    Q_OBJECT
  private slots:
    void serverAnswersOnlyItsOwnFiles_data()
    {
        // In paths, {t} is the token, {t-} the token less its last digit, {n} the movie's serial.
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QByteArray>("upload");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("type");
        QTest::addColumn<QString>("served"); // whose bytes make the body; none when empty
        const QByteArray html = "text/html; charset=utf-8";
        QTest::newRow("page") << QByteArray("GET") << QByteArray("/{t}/player.html") << QByteArray()
                              << 200 << html << "page";
        QTest::newRow("player") << QByteArray("GET") << QByteArray("/{t}/ruffle.js") << QByteArray()
                                << 200 << QByteArray("text/javascript") << "ruffle.js";
        QTest::newRow("movie") << QByteArray("GET") << QByteArray("/{t}/movie.swf?n={n}")
                               << QByteArray() << 200 << QByteArray("application/octet-stream")
                               << "movie";
        QTest::newRow("page, HEAD") << QByteArray("HEAD") << QByteArray("/{t}/player.html")
                                    << QByteArray() << 200 << html << "";
        const struct {
            const char *name, *method, *path;
            QByteArray upload;
        } refused[] = {
            {"unknown movie", "GET", "/{t}/movie.swf?n=9{n}", {}},
            {"movie without serial", "GET", "/{t}/movie.swf", {}},
            {"wrong token", "GET", "/0123456789abcdef0123456789abcdef/player.html", {}},
            {"token cut short", "GET", "/{t-}/player.html", {}},
            {"token and more", "GET", "/{t}0/player.html", {}},
            {"no token", "GET", "/player.html", {}},
            {"dot dot", "GET", "/{t}/../secret.txt", {}},
            {"encoded dot dot", "GET", "/{t}/%2e%2e%2fsecret.txt", {}},
            {"absolute", "GET", "/etc/passwd", {}},
            {"outside the set", "GET", "/{t}/secret.txt", {}},
            {"token only", "GET", "/{t}/", {}},
            {"POST", "POST", "/{t}/player.html", "x"},
            {"POST of 100 KB", "POST", "/{t}/player.html", QByteArray(100000, 'x')},
            {"PUT", "PUT", "/{t}/player.html", "x"},
            {"DELETE", "DELETE", "/{t}/player.html", {}},
            {"OPTIONS", "OPTIONS", "/{t}/player.html", {}},
        };
        for (const auto &r : refused)
            QTest::newRow(r.name) << QByteArray(r.method) << QByteArray(r.path) << r.upload << 404
                                  << QByteArray() << "";
    }
    void serverAnswersOnlyItsOwnFiles()
    {
        QFETCH(QByteArray, method);
        QFETCH(QByteArray, path);
        QFETCH(QByteArray, upload);
        QFETCH(int, status);
        QFETCH(QByteArray, type);
        QFETCH(QString, served);
        QTemporaryDir dir;
        const QString movie = dir.path() + "/m.swf";
        QVERIFY(sample::writeswf(movie));
        QVERIFY(writecontent(dir.path() + "/secret.txt", "secret"));
        SwfServer server;
        QVERIFY(!rufflefolder().isEmpty());
        QVERIFY(server.start(rufflefolder()));
        const int serial = server.addmovie(OpenedFile::open(movie));
        const QByteArray token = server.token().toLatin1();
        path.replace("{t-}", token.left(token.size() - 1))
            .replace("{t}", token)
            .replace("{n}", QByteArray::number(serial));

        QByteArray extra;
        if (!upload.isEmpty())
            extra = "Content-Length: " + QByteArray::number(upload.size()) + "\r\n";
        const QByteArray answer = request(server.port(), method, path, extra, upload);
        QVERIFY2(answer.startsWith("HTTP/1.1 " + QByteArray::number(status) + ' '),
                 answer.left(200).constData());
        QByteArray body;
        if (served == "page")
            body = SwfServer::playerpage();
        else if (served == "movie")
            body = readcontent(movie);
        else if (!served.isEmpty())
            body = readcontent(rufflefolder() + '/' + served);
        QVERIFY(!served.isEmpty() || body.isEmpty());
        QVERIFY(answer.endsWith("\r\n\r\n" + body));
        if (!type.isEmpty())
            QVERIFY(answer.contains("\r\nContent-Type: " + type + "\r\n"));
    }

    void allowsOnlyWhatItServes()
    {
        QTemporaryDir dir;
        const QString movie = dir.path() + "/m.swf";
        QVERIFY(sample::writeswf(movie));
        SwfServer server;
        QVERIFY(server.start(rufflefolder()));
        const int serial = server.addmovie(OpenedFile::open(movie));
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

    // The request line and headers of one request must fit in a few KB; past that the server
    // answers with an error and closes, whatever the request asks for.
    void requestsAreBoundedBeforeTheyAreRead_data()
    {
        QTest::addColumn<QByteArray>("query");
        QTest::addColumn<QByteArray>("headers");
        QTest::addColumn<bool>("served");
        const QByteArray two(2000, 'a'), eight(8000, 'a');
        QByteArray lines;
        for (int i = 0; i < 100; ++i)
            lines += "X-Pad-" + QByteArray::number(i) + ": " + QByteArray(72, 'a') + "\r\n";
        QTest::newRow("request line of 2 KB") << "?pad=" + two << QByteArray() << true;
        QTest::newRow("request line of 8 KB") << "?pad=" + eight << QByteArray() << false;
        QTest::newRow("a header of 2 KB") << QByteArray() << "X-Pad: " + two + "\r\n" << true;
        QTest::newRow("a header of 8 KB") << QByteArray() << "X-Pad: " + eight + "\r\n" << false;
        QTest::newRow("headers of 8 KB in 100 lines") << QByteArray() << lines << false;
    }
    void requestsAreBoundedBeforeTheyAreRead()
    {
        QFETCH(QByteArray, query);
        QFETCH(QByteArray, headers);
        QFETCH(bool, served);
        SwfServer server;
        QVERIFY(server.start(rufflefolder()));
        const QByteArray page = "/" + server.token().toLatin1() + "/player.html";
        QElapsedTimer clock;
        clock.start();
        const QByteArray answer = request(server.port(), "GET", page + query, headers);
        QCOMPARE(answer.startsWith("HTTP/1.1 200 "), served);
        QVERIFY2(clock.elapsed() < 2000, "the server did not close the connection");
    }

    // A client that sends header lines without end is cut off after a few KB: the program does
    // not grow, and the connection is closed.
    void headerFloodIsCutOff()
    {
        SwfServer server;
        QVERIFY(server.start(rufflefolder()));
        const qint64 before = residentkb();
        QVERIFY(before > 0);
        auto flood = connectfrom(server.port());
        QCOMPARE(flood->state(), QAbstractSocket::ConnectedState);
        flood->write("GET /" + server.token().toLatin1() +
                     "/player.html HTTP/1.1\r\nHost: 127.0.0.1\r\n");
        const QByteArray line = "X-Flood: " + QByteArray(7990, 'a') + "\r\n";
        const qint64 total = 100LL * 1024 * 1024;
        qint64 sent = 0;
        QElapsedTimer clock;
        clock.start();
        while (sent < total && flood->state() == QAbstractSocket::ConnectedState &&
               clock.elapsed() < 20000) {
            if (flood->bytesToWrite() < 256 * 1024) {
                flood->write(line);
                sent += line.size();
            } else {
                flood->waitForBytesWritten(100);
            }
        }
        const qint64 grown = residentkb() - before;
        qInfo("flood: %lld bytes sent in %lld ms before the server closed; this process grew by "
              "%lld kB",
              sent, clock.elapsed(), grown);
        QCOMPARE(flood->state(), QAbstractSocket::UnconnectedState);
        QVERIFY(sent < 8 * 1024 * 1024);
        QVERIFY(grown < 20 * 1024);
        QVERIFY(request(server.port(), "GET", "/" + server.token().toLatin1() + "/player.html")
                    .startsWith("HTTP/1.1 200 "));
    }

    // Eight clients that send one byte every 3 s hold no one up, and are dropped before their
    // next byte.
    void slowClientsHoldNoOneUp()
    {
        SwfServer server;
        QVERIFY(server.start(rufflefolder()));
        Trickle slow(server.port(), 8, 3000);
        QCOMPARE(slow.open(), 8);
        QTest::qWait(200);
        QElapsedTimer clock;
        clock.start();
        const QByteArray answer =
            request(server.port(), "GET", "/" + server.token().toLatin1() + "/player.html");
        const qint64 took = clock.elapsed();
        qInfo("page answered in %lld ms beside 8 slow clients", took);
        QVERIFY(answer.startsWith("HTTP/1.1 200 "));
        QVERIFY(took < 1000);
        QCOMPARE(slow.open(), 8);
        QTRY_COMPARE_WITH_TIMEOUT(slow.open(), 0, 4000);
        qInfo("slow clients dropped after %lld ms", slow.age());
    }

    // A client that showed the token (the web engine, which may stall on a big file while it
    // compiles) may idle longer than a stranger, whose connection goes after 2 s.
    void onlyTheTokenHolderMayIdle()
    {
        SwfServer server;
        QVERIFY(server.start(rufflefolder()));
        auto own = connectfrom(server.port());
        auto stranger = connectfrom(server.port());
        own->write("GET /" + server.token().toLatin1() +
                   "/player.html HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        stranger->write("GET /player.html HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        QTRY_VERIFY(own->bytesAvailable() > 0 && stranger->bytesAvailable() > 0);
        QVERIFY(own->readAll().startsWith("HTTP/1.1 200 "));
        QVERIFY(stranger->readAll().startsWith("HTTP/1.1 404 "));
        // One request each without the token: a second would have no deadline.
        QTRY_COMPARE_WITH_TIMEOUT(stranger->state(), QAbstractSocket::UnconnectedState, 1000);
        QTest::qWait(3000);
        QCOMPARE(own->state(), QAbstractSocket::ConnectedState);
        QCOMPARE(stranger->state(), QAbstractSocket::UnconnectedState);
    }

    // A client that keeps sending a byte every 0.5 s is never idle, yet it is dropped once its
    // request's headers are not all in 3 s after it connected; the page is served meanwhile.
    void aTricklingClientIsDroppedAtItsDeadline()
    {
        SwfServer server;
        QVERIFY(server.start(rufflefolder()));
        Trickle slow(server.port(), 4, 500);
        QTest::qWait(2500);
        QCOMPARE(slow.open(), 4);
        QVERIFY(request(server.port(), "GET", "/" + server.token().toLatin1() + "/player.html")
                    .startsWith("HTTP/1.1 200 "));
        QTRY_COMPARE_WITH_TIMEOUT(slow.open(), 0, 3000);
        qInfo("trickling clients dropped after %lld ms", slow.age());
        QVERIFY(slow.age() >= 2900);
    }

    // Who holds the other end of a connection is asked at accept, for the client's own end and
    // the listener's; one that is not this user's, or not known, is closed before it is read.
    void onlyThisUsersConnectionsAreServed_data()
    {
        QTest::addColumn<int>("owner"); // -1: not known
        QTest::addColumn<bool>("served");
        QTest::newRow("this user") << int(::geteuid()) << true;
        QTest::newRow("another user") << int(::geteuid() + 1) << false;
        QTest::newRow("root") << 0 << (::geteuid() == 0);
        QTest::newRow("not known") << -1 << false;
    }
    void onlyThisUsersConnectionsAreServed()
    {
        QFETCH(int, owner);
        QFETCH(bool, served);
        auto owners = std::make_shared<FixedOwners>(owner < 0 ? std::nullopt
                                                              : std::optional<unsigned>(owner));
        SwfServer server(owners);
        QVERIFY(server.start(rufflefolder()));
        auto client = connectfrom(server.port(), QStringLiteral("127.0.0.3"));
        QCOMPARE(client->state(), QAbstractSocket::ConnectedState);
        const quint16 from = client->localPort();
        client->write("GET /" + server.token().toLatin1() +
                      "/player.html HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        QElapsedTimer clock;
        clock.start();
        QByteArray answer;
        while (client->state() == QAbstractSocket::ConnectedState && clock.elapsed() < 2000 &&
               !answer.contains("\r\n\r\n")) {
            client->waitForReadyRead(50);
            answer += client->readAll();
        }
        QCOMPARE(answer.startsWith("HTTP/1.1 200 "), served);
        if (!served) {
            QVERIFY(answer.isEmpty());
            QTRY_COMPARE_WITH_TIMEOUT(client->state(), QAbstractSocket::UnconnectedState, 1000);
        }
        const auto asked = owners->asked();
        QCOMPARE(asked.size(), size_t(1));
        QCOMPARE(asked[0].first, SocketEnd::ipv4({127, 0, 0, 3}, from));
        QCOMPARE(asked[0].second, SocketEnd::ipv4({127, 0, 0, 1}, quint16(server.port())));
    }

    // The movie is the file opened when it was chosen: a folder swapped for a link to another
    // holding a file of the same name changes nothing. It is served while it is shown only.
    void aMovieIsServedAsOpenedWhileShown()
    {
        QTemporaryDir dir;
        const QString listed = dir.path() + "/Content.IE5/AAAAAAAA";
        QVERIFY(QDir().mkpath(listed));
        QVERIFY(QDir().mkpath(dir.path() + "/outside"));
        const QString name = "movie[1].swf";
        QVERIFY(sample::writeswf(listed + '/' + name));
        QVERIFY(sample::writeswf(listed + "/other[1].swf"));
        const QByteArray original = readcontent(listed + '/' + name);
        QVERIFY(writecontent(dir.path() + "/outside/" + name, "SECRET OUTSIDE THE CACHE"));

        FlashPlayer player;
        player.resize(369, 321);
        player.show();
        {
            const FolderHandle folder = openbeneath(listed);
            player.setMovie(listed + '/' + name, OpenedFile::openat(folder.fd(), name));
        }
        QCOMPARE(player.kind(), FlashPlayer::Kind::Swf);
        const QUrl first = player.swfview()->movieurl();
        QVERIFY(!first.isEmpty());
        QVERIFY(QDir().rename(listed, listed + ".old"));
        QVERIFY(QFile::link(dir.path() + "/outside", listed));
        QCOMPARE(fetch(first), std::make_pair(200, original));
        QCOMPARE(fetch(first), std::make_pair(200, original));

        player.setMovie(listed + ".old/other[1].swf");
        const QUrl second = player.swfview()->movieurl();
        QVERIFY(second != first);
        QCOMPARE(fetch(first).first, 404);
        QCOMPARE(fetch(second), std::make_pair(200, readcontent(listed + ".old/other[1].swf")));
        player.setMovie(QStringLiteral("abc"));
        QVERIFY(player.swfview()->movieurl().isEmpty());
        QCOMPARE(fetch(second).first, 404);
    }

    // Stopping closes every connection at once: clients half-way through a request and one that
    // stopped reading a large movie.
    void stopsAtOnceWithClientsConnected()
    {
        QTemporaryDir dir;
        QFile big(dir.path() + "/big.swf");
        QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(64 * 1024 * 1024));
        big.close();
        SwfServer server;
        QVERIFY(server.start(rufflefolder()));
        const int serial = server.addmovie(OpenedFile::open(big.fileName()));
        Trickle slow(server.port(), 8, 500);
        auto reader = connectfrom(server.port());
        reader->setReadBufferSize(64 * 1024);
        reader->write("GET /" + server.token().toLatin1() + "/movie.swf?n=" +
                      QByteArray::number(serial) + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        QTRY_VERIFY(reader->bytesAvailable() > 0);
        QTest::qWait(300);
        QCOMPARE(slow.open(), 8);
        QElapsedTimer clock;
        clock.start();
        server.stop();
        const qint64 took = clock.elapsed();
        qInfo("stopped in %lld ms", took);
        QVERIFY(took < 1000);
        QVERIFY(!server.running());
        QTRY_COMPARE_WITH_TIMEOUT(slow.open(), 0, 1000);
    }

    // Connections are capped in all and per address (any 127.x.y.z reaches the listener), so
    // one local user cannot take every one. Held connections got an answer and stay open.
    void connectionsAreCapped_data()
    {
        QTest::addColumn<int>("fromtwo");   // held from 127.0.0.2
        QTest::addColumn<int>("fromthree"); // held from 127.0.0.3
        QTest::addColumn<QString>("probe");
        QTest::addColumn<bool>("answered");
        QTest::newRow("one address below its cap") << 31 << 0 << "127.0.0.2" << true;
        QTest::newRow("one address at its cap") << 32 << 0 << "127.0.0.2" << false;
        QTest::newRow("another address beside it") << 32 << 0 << "127.0.0.3" << true;
        QTest::newRow("every connection taken") << 32 << 32 << "127.0.0.4" << false;
    }
    void connectionsAreCapped()
    {
        QFETCH(int, fromtwo);
        QFETCH(int, fromthree);
        QFETCH(QString, probe);
        QFETCH(bool, answered);
        SwfServer server;
        QVERIFY(server.start(rufflefolder()));
        const QByteArray head = "HEAD /" + server.token().toLatin1() +
                                "/player.html HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
        std::vector<std::unique_ptr<QTcpSocket>> held;
        const auto hold = [&](const QString &from, int count) {
            for (int i = 0; i < count; ++i) {
                held.push_back(connectfrom(server.port(), from));
                held.back()->write(head);
            }
        };
        hold("127.0.0.2", fromtwo);
        hold("127.0.0.3", fromthree);
        for (const auto &h : held)
            QTRY_VERIFY(h->bytesAvailable() > 0);

        auto client = connectfrom(server.port(), probe);
        client->write(head);
        if (answered) {
            QTRY_VERIFY_WITH_TIMEOUT(client->bytesAvailable() > 0, 1000);
        } else {
            QTest::qWait(1000);
            QCOMPARE(client->bytesAvailable(), 0);
        }
        // The caps count open connections only: once the server has seen the held ones go, the
        // probe's address is served again.
        held.clear();
        const auto served = [&] {
            auto again = connectfrom(server.port(), probe);
            again->write(head);
            return again->waitForReadyRead(1000);
        };
        QTRY_VERIFY_WITH_TIMEOUT(served(), 3000);
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
