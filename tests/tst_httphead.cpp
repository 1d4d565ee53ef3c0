// What a found entry's response head says: its status, type and encoding, and whether it is a
// whole response worth a row.
#include "httphead.h"

#include <QtTest>

using namespace vellomar;

class TestHttpHead : public QObject
{
    Q_OBJECT

  private slots:
    void fillsfromhead_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("encoding");
        // Values the entry held before: what the head does not say stays.
        const int was = 299;
        const QString wastype = QStringLiteral("was/type"), wasenc = QStringLiteral("was");
        QTest::newRow("plain") << QByteArray("HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\n\r\n")
                               << 200 << "image/jpeg" << wasenc;
        QTest::newRow("parameters and case")
            << QByteArray("HTTP/1.1 200 OK\r\ncontent-TYPE:  Text/HTML ; charset=UTF-8\r\n") << 200
            << "text/html" << wasenc;
        QTest::newRow("http/2") << QByteArray("HTTP/2 404\r\nContent-Encoding: GZIP \r\n") << 404
                                << wastype << "gzip";
        QTest::newRow("identity is none")
            << QByteArray("HTTP/1.1 200 OK\r\nContent-Encoding: identity\r\n") << 200 << wastype
            << "";
        QTest::newRow("list and repeats")
            << QByteArray("HTTP/1.1 200 OK\r\nContent-Encoding: gzip,,identity\r\n"
                          "Content-Encoding: BR\r\n")
            << 200 << wastype << "gzip, br";
        QTest::newRow("last type holds")
            << QByteArray("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Type: "
                          "image/gif\r\n")
            << 200 << "image/gif" << wasenc;
        QTest::newRow("no media type")
            << QByteArray("HTTP/1.1 200 OK\r\nContent-Type: */*\r\n") << 200 << "" << wasenc;
        QTest::newRow("bare word")
            << QByteArray("HTTP/1.1 200 OK\r\nContent-Type: jpeg\r\n") << 200 << "" << wasenc;
        QTest::newRow("lone line feeds")
            << QByteArray("HTTP/1.1 304 Not Modified\nContent-Type: image/png\n") << 304
            << "image/png" << wasenc;
        QTest::newRow("no status line")
            << QByteArray("Content-Type: image/png\r\n") << was << wastype << wasenc;
        QTest::newRow("status of four digits")
            << QByteArray("HTTP/1.1 2000 OK\r\n") << was << wastype << wasenc;
        QTest::newRow("status not a number")
            << QByteArray("HTTP/1.1 2x0 OK\r\n") << was << wastype << wasenc;
        QTest::newRow("empty head") << QByteArray() << was << wastype << wasenc;
    }
    void fillsfromhead()
    {
        QFETCH(QByteArray, head);
        CacheEntry e;
        e.httpstatus = 299;
        e.contenttype = QStringLiteral("was/type");
        e.contentencoding = QStringLiteral("was");
        e.responsehead = head;
        fillfromhead(e);
        QTEST(e.httpstatus, "status");
        QTEST(e.contenttype, "type");
        QTEST(e.contentencoding, "encoding");
    }

    void wholeresponses_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("headers");
        QTest::addColumn<long long>("size");
        QTest::addColumn<bool>("whole");
        QTest::newRow("200") << 200 << QByteArray() << 10LL << true;
        QTest::newRow("203") << 203 << QByteArray() << 10LL << true;
        QTest::newRow("200 empty") << 200 << QByteArray() << 0LL << false;
        QTest::newRow("no status, a body") << 0 << QByteArray() << 10LL << true;
        QTest::newRow("no status, no body") << 0 << QByteArray() << 0LL << false;
        QTest::newRow("100") << 100 << QByteArray() << 10LL << false;
        QTest::newRow("301") << 301 << QByteArray() << 10LL << false;
        QTest::newRow("302") << 302 << QByteArray() << 10LL << false;
        QTest::newRow("304") << 304 << QByteArray() << 10LL << false;
        QTest::newRow("404") << 404 << QByteArray() << 10LL << false;
        QTest::newRow("500") << 500 << QByteArray() << 10LL << false;
        QTest::newRow("206 from 0")
            << 206 << QByteArray("Content-Range: bytes 0-9/100\r\n") << 10LL << true;
        QTest::newRow("206 from the middle")
            << 206 << QByteArray("Content-Range: bytes 50-59/100\r\n") << 10LL << false;
        QTest::newRow("206 sparse") << 206 << QByteArray() << 10LL << true;
    }
    void wholeresponses()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, headers);
        QFETCH(long long, size);
        CacheEntry e;
        e.httpstatus = status;
        e.responsehead = "HTTP/1.1 " + QByteArray::number(status) + " X\r\n" + headers;
        e.body.push_back({"f", 0, size}); // an empty body still has its (empty) piece
        e.storedsize = size;
        QTEST(iswholeresponse(e), "whole");
    }
};

QTEST_GUILESS_MAIN(TestHttpHead)
#include "tst_httphead.moc"
