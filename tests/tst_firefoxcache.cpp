// Firefox's cache2 (Firefox 32 and later), read from the shared samples in place, from what
// firefox-esr wrote, and from entries laid out here byte by byte, hostile ones among them.
#include "cachefs.h"
#include "firefoxcache2.h"
#include "firefoxmeta.h"
#include "firefoxtestbytes.h"
#include "fuzzinput.h"
#include "httphead.h"

#include <QCryptographicHash>
#include <QtTest>

using namespace vellomar;
using namespace vellomar::test;

namespace {

struct Cache2 {
    QByteArray body = QByteArray(300, 'b');
    QByteArray key = ":http://example.com/a.png";
    QByteArray elements = pairs({{"request-method", "GET"}, {"response-head", okhead}});
    uint32_t version = 3;
    uint32_t lastfetched = 1700000000, lastmodified = 1700000100;
    long long keysize = -1; // the key's own length unless set
    uint32_t trailer = 4;   // what version 4 keeps after the elements

    QByteArray bytes() const
    {
        QByteArray meta;
        constexpr int chunk = 256 * 1024;
        for (qsizetype at = 0; at < body.size(); at += chunk) {
            const QByteArray part = body.mid(at, chunk);
            meta += be32(firefox::jenkinshash(part.constData(), size_t(part.size()))).right(2);
        }
        meta += be32(version) + be32(1) + be32(lastfetched) + be32(lastmodified) + be32(0) +
                be32(0xFFFFFFFF) + be32(uint32_t(keysize < 0 ? key.size() : keysize));
        if (version >= 2)
            meta += be32(0);
        meta += key + '\0' + elements;
        return body + be32(firefox::jenkinshash(meta.constData(), size_t(meta.size()))) + meta +
               (version >= 4 ? be32(trailer) : QByteArray()) + be32(uint32_t(body.size()));
    }
};

const std::string entryname = "0123456789ABCDEF0123456789ABCDEF01234567";

struct Read {
    std::vector<CacheEntry> entries;
    ReadReport report;
};

Read readone(const QByteArray &bytes)
{
    MemoryFs fs;
    fs.add("cache2/entries/" + entryname, bytes);
    Read r;
    r.entries = readcache2(fs, "cache2", &r.report);
    return r;
}
} // namespace

class TestFirefoxCache : public QObject
{
    Q_OBJECT

  private slots:
    void cache2Samples_data();
    void cache2Samples();
    void cache2SampleBodyIsTheStoredBytes();
    void cache2BareFolderAndNotAnEntry();
    void cache2FromFirefoxEsr();
    void statusLines_data();
    void statusLines();
    void cache2Entries_data();
    void cache2Entries();
    void cache2ReadsEntriesOnly();
    void cache2SurvivesBitFlips();
};

void TestFirefoxCache::cache2Samples_data()
{
    QTest::addColumn<QString>("storedat");
    QTest::addColumn<QString>("address");
    QTest::addColumn<long long>("body");
    QTest::addColumn<int>("status");
    const QString e = QStringLiteral("entries/");
    QTest::newRow("image") << e + "5D1BA4A8101DEFA98770279CFFE3F6D06083C1C7"
                           << "https://www.google.com/logos/doodles/2018/"
                              "switzerland-national-day-2018-5298867561037824-s.png"
                           << 2287LL << 200;
    QTest::newRow("anonymous, with an id") << e + "029FC2EB7DA2609A5A64FF708B05293423C821BE"
                                           << "http://ocsp.pki.goog/GTSGIAG3" << 463LL << 200;
    QTest::newRow("no body") << e + "E9D2A7E78C4D1678903919452AF70C874A16E85C"
                             << "https://www.google.com/client_204?&atyp=i&biw=719&bih=459&ei="
                                "Cl5hW7q2M5Gz0gW8obn4DQ"
                             << 0LL << 204;
    QTest::newRow("second version") << e + "BF13DDDC114B55CF8532A4CD90403A99233AEC0E"
                                    << "https://www.google.com/images/branding/product/ico/"
                                       "googleg_lodp.ico"
                                    << 1494LL << 200;
    QTest::newRow("largest") << e + "81203178B9740339077597CBBBD8F3ECCD4B9DCB" << QString()
                             << 158451LL << 200;
}

void TestFirefoxCache::cache2Samples()
{
    const QString folder = samplesfolder() + "/dtformats/test_data/firefox_cache2";
    const auto fs = openlocal(folder + "/..");
    if (!fs)
        QSKIP(qPrintable("no sample cache at " + folder));
    QFETCH(QString, storedat);
    QFETCH(QString, address);
    QFETCH(long long, body);
    QFETCH(int, status);
    QVERIFY(iscache2(*fs, "firefox_cache2"));
    ReadReport report;
    const auto entries = readcache2(*fs, "firefox_cache2", &report);
    QCOMPARE(entries.size(), size_t(13));
    QCOMPARE(report.leftout.size(), size_t(0));
    QVERIFY(piecesinside(*fs, entries));
    const auto it = std::find_if(entries.begin(), entries.end(),
                                 [&](const CacheEntry &c) { return c.storedat == storedat; });
    QVERIFY(it != entries.end());
    if (!address.isEmpty())
        QCOMPARE(it->address, address);
    QCOMPARE(it->storedsize, body);
    QCOMPARE(it->httpstatus, status);
    QVERIFY(it->responsehead.startsWith("HTTP/1.1 "));
    QVERIFY(it->responsehead.contains("\r\n"));
    QVERIFY(it->contenttype.isEmpty());
}

void TestFirefoxCache::cache2SampleBodyIsTheStoredBytes()
{
    // The SHA-256 of the PNG before the metadata, summed apart from the reader.
    const QString folder = samplesfolder() + "/plaso/test_data/firefox_cache/cache2";
    const auto fs = openlocal(folder + "/..");
    if (!fs)
        QSKIP(qPrintable("no sample cache at " + folder));
    const auto entries = readcache2(*fs, "cache2");
    const auto it = std::find_if(entries.begin(), entries.end(), [](const CacheEntry &c) {
        return c.storedat == "1F4B3A4FC81FB19C530758231FA54313BE8F6FA2";
    });
    QVERIFY(it != entries.end());
    QCOMPARE(it->body.size(), size_t(1));
    std::error_code ec;
    const auto f = fs->open(it->body[0].file, ec);
    QVERIFY(f);
    const QByteArray bytes = f->read(it->body[0].offset, it->body[0].length, ec);
    QVERIFY(bytes.startsWith("\x89PNG"));
    QCOMPARE(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex(),
             QByteArray("782501d84cf5d71a6852ec6f6075c28d15d3482f9692a61344bef4f881e20879"));
    QCOMPARE(it->lastfetched, QDateTime::fromSecsSinceEpoch(1430580931, Qt::UTC));
}

void TestFirefoxCache::cache2BareFolderAndNotAnEntry()
{
    // The sample keeps entry files in the folder itself; one of them is not an entry at all.
    const QString folder = samplesfolder() + "/plaso/test_data/firefox_cache/cache2";
    const auto fs = openlocal(folder + "/..");
    if (!fs)
        QSKIP(qPrintable("no sample cache at " + folder));
    QVERIFY(iscache2(*fs, "cache2"));
    ReadReport report;
    const auto entries = readcache2(*fs, "cache2", &report);
    QStringList addresses;
    for (const CacheEntry &e : entries)
        addresses << e.address;
    addresses.sort();
    QCOMPARE(addresses, QStringList({"http://github.com/",
                                     "https://github.com/log2timeline/plaso/issues/counts",
                                     "https://tiles.cdn.mozilla.net/images/"
                                     "8acf9436e1b315f5f04b9435a518bcd1aef131f8.5663.png",
                                     "https://www.mozilla.org/"}));
    QCOMPARE(report.leftout.size(), size_t(1));
    QCOMPARE(report.leftout[0].storedat, QString("C966EB70794E44E7E3E8A260106D0C72439AF65B"));
    QVERIFY(report.leftout[0].reason.contains("offset"));

    QVERIFY(!iscache2(*fs, "firefox3"));
}

void TestFirefoxCache::cache2FromFirefoxEsr()
{
    // A page, a script and a PNG from a loopback server, as firefox-esr 153 stored them (the
    // fuzz seed's files, see fuzz/corpus/README.md).
    QFile seed(QStringLiteral(VELLOMAR_FUZZCORPUS) + "/fuzz_cache2/firefox-esr-page");
    QVERIFY(seed.open(QIODevice::ReadOnly));
    const QByteArray bytes = seed.readAll();
    const MemoryFs fs =
        fuzz::memoryfs(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size()));
    ReadReport report;
    const auto entries = readcache2(fs, "", &report);
    QCOMPARE(report.leftout.size(), size_t(0));
    QVERIFY(piecesinside(fs, entries));
    QMap<QString, CacheEntry> byname;
    for (const CacheEntry &e : entries)
        byname[e.address.section('/', 3)] = e;
    QCOMPARE(byname.keys(), QStringList({"", "dot.png", "favicon.ico", "index.html", "s.js"}));
    QCOMPARE(byname["dot.png"].storedsize, 250LL);
    QCOMPARE(byname["dot.png"].httpstatus, 200);
    QVERIFY(byname["dot.png"].key.startsWith("O^partitionKey=%28http%2C127.0.0.1%29,:http://"));
    QCOMPARE(byname["favicon.ico"].httpstatus, 404);
    QCOMPARE(byname["index.html"].storedsize, 73LL);
    QCOMPARE(byname[""].address, QString("about:home"));
    std::error_code ec;
    const auto png = fs.open(byname["dot.png"].body.at(0).file, ec);
    QVERIFY(png && png->read(0, 8, ec) == QByteArray("\x89PNG\r\n\x1a\n"));
}

void TestFirefoxCache::statusLines_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<int>("status");
    QTest::newRow("HTTP/1.1") << okhead << 200;
    QTest::newRow("HTTP/2, no reason") << QByteArray("HTTP/2 204\r\nDate: x\r\n") << 204;
    QTest::newRow("HTTP/1.0, one line") << QByteArray("HTTP/1.0 404 Not Found") << 404;
    QTest::newRow("two digits") << QByteArray("HTTP/1.1 20 OK\r\n") << 0;
    QTest::newRow("not a number") << QByteArray("HTTP/1.1 2x0 OK\r\n") << 0;
    QTest::newRow("not a status line") << QByteArray("Content-Type: text/html\r\n") << 0;
    QTest::newRow("empty") << QByteArray() << 0;
}

void TestFirefoxCache::statusLines()
{
    QFETCH(QByteArray, head);
    QFETCH(int, status);
    QCOMPARE(statusofhead(head), status);
}

void TestFirefoxCache::cache2Entries_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("address"); // empty: left out
    QTest::addColumn<long long>("body");
    QTest::addColumn<QString>("why");
    const auto row = [](const char *name, const Cache2 &c, const QString &address, long long body,
                        const QString &why = {}) {
        QTest::newRow(name) << c.bytes() << address << body << why;
    };
    Cache2 c;
    row("whole", c, "http://example.com/a.png", 300);
    c = Cache2();
    c.version = 1;
    row("first version, no flags", c, "http://example.com/a.png", 300);
    c.version = 2;
    row("second version", c, "http://example.com/a.png", 300);
    c.version = 4;
    row("fourth version", c, "http://example.com/a.png", 300);
    c.trailer = 8;
    row("fourth version, unknown trailer", c, {}, 0, "version 4");
    c = Cache2();
    c.elements += pairs({{"alt-data", "1;100,javascript/moz-script-bytecode"}});
    row("alternative data cut off", c, "http://example.com/a.png", 100);
    c.elements = pairs({{"alt-data", "1;301,javascript/moz-script-bytecode"}});
    row("alternative data past the body", c, {}, 0, "alt-data");
    c.elements = pairs({{"alt-data", "2;100,javascript/moz-script-bytecode"}});
    row("alternative data of another version", c, {}, 0, "alt-data");
    c = Cache2();
    c.key = "O^partitionKey=%28https%2Cexample.org%29,a,~1533107723,:https://x.example/p?q=1";
    row("partitioned, anonymous, with an id", c, "https://x.example/p?q=1", 300);
    c.key = "O^a,,b,:http://x.example/";
    row("comma in a value", c, "http://x.example/", 300);
    c.key = "a,O^x,:http://x.example/";
    row("tags out of order", c, {}, 0, "form");
    c.key = "a,:http://x.example/:8080/p";
    row("colons in the URL", c, "http://x.example/:8080/p", 300);
    c = Cache2();
    c.key = ":http://example.com/" + QByteArray(1000000, 'k');
    row("key of 1 MB", c, "http://example.com/" + QString(1000000, 'k'), 300);
    c.key = ":http://example.com/" + QByteArray(2 * 1024 * 1024, 'k');
    row("key of 2 MiB", c, {}, 0, "larger");
    c = Cache2();
    c.keysize = 0x7FFFFFF0;
    row("key size past the metadata", c, {}, 0, "key");
    c.keysize = c.key.size() - 1;
    row("key not NUL-terminated", c, {}, 0, "NUL");
    c = Cache2();
    c.elements = QByteArray("response-head\0HTTP/1.1 200 OK\0odd\0", 34);
    row("odd elements", c, {}, 0, "elements");
    c = Cache2();
    c.version = 5;
    row("newer version", c, {}, 0, "version");
    c = Cache2();
    c.body = QByteArray(300 * 1024, 'x'); // two chunks: two chunk hashes before the header
    row("two chunks", c, "http://example.com/a.png", 300 * 1024);

    QByteArray bytes = Cache2().bytes();
    bytes[310] = char(bytes[310] ^ 0x20); // in the key
    QTest::newRow("checksum") << bytes << QString() << 0LL << "checksum";
    bytes = Cache2().bytes();
    bytes.replace(bytes.size() - 4, 4, be32(uint32_t(bytes.size())));
    QTest::newRow("metadata offset past the end") << bytes << QString() << 0LL << "offset";
    bytes = Cache2().bytes();
    bytes.replace(bytes.size() - 4, 4, be32(0));
    QTest::newRow("metadata offset at the start") << bytes << QString() << 0LL << "version";
    QTest::newRow("empty") << QByteArray() << QString() << 0LL << "short";
}

void TestFirefoxCache::cache2Entries()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, address);
    QFETCH(long long, body);
    QFETCH(QString, why);
    const Read r = readone(bytes);
    if (address.isEmpty()) {
        QCOMPARE(r.entries.size(), size_t(0));
        QCOMPARE(r.report.leftout.size(), size_t(1));
        QCOMPARE(r.report.leftout[0].storedat, QString::fromStdString("entries/" + entryname));
        QVERIFY2(r.report.leftout[0].reason.contains(why), qPrintable(r.report.leftout[0].reason));
        return;
    }
    QCOMPARE(r.report.leftout.size(), size_t(0));
    QCOMPARE(r.entries.size(), size_t(1));
    const CacheEntry &e = r.entries[0];
    QCOMPARE(e.address, address);
    QCOMPARE(e.storedsize, body);
    QCOMPARE(e.body.size(), size_t(1));
    QCOMPARE(e.body[0].file, "cache2/entries/" + entryname);
    QCOMPARE(e.body[0].offset, 0LL);
    QCOMPARE(e.body[0].length, body);
    QCOMPARE(e.storedat, QString::fromStdString("entries/" + entryname));
    QCOMPARE(e.httpstatus, 200);
    QCOMPARE(e.responsehead, okhead);
    QCOMPARE(e.lastfetched, QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC));
    QCOMPARE(e.lastmodified, QDateTime::fromSecsSinceEpoch(1700000100, Qt::UTC));
}

void TestFirefoxCache::cache2ReadsEntriesOnly()
{
    // Doomed and trashed entries are on their way out; other names are not entries.
    MemoryFs fs;
    const QByteArray whole = Cache2().bytes();
    fs.add("cache2/entries/" + entryname, whole);
    fs.add("cache2/doomed/" + entryname, whole);
    fs.add("cache2/trash12345/" + entryname, whole);
    fs.add("cache2/index", QByteArray(40, '\0'));
    fs.add("cache2/entries/notes.txt", whole);
    fs.addother("cache2/entries/FEDCBA9876543210FEDCBA9876543210FEDCBA98");
    QVERIFY(iscache2(fs, "cache2"));
    ReadReport report;
    const auto entries = readcache2(fs, "cache2", &report);
    QCOMPARE(entries.size(), size_t(1));
    QCOMPARE(entries[0].storedat, QString::fromStdString("entries/" + entryname));
    QCOMPARE(report.leftout.size(), size_t(0));

    MemoryFs other;
    other.add("x/" + entryname, QByteArray("not an entry at all"));
    QVERIFY(!iscache2(other, "x"));
    QVERIFY(!iscache2(other, "missing"));
}

void TestFirefoxCache::cache2SurvivesBitFlips()
{
    Cache2 c;
    c.elements += pairs({{"alt-data", "1;100,javascript/moz-script-bytecode"}});
    const QByteArray whole = c.bytes();
    int kept = 0;
    for (qsizetype at = 0; at < whole.size(); ++at) {
        for (int bit : {0, 7}) {
            QByteArray bytes = whole;
            bytes[at] = char(bytes[at] ^ (1 << bit));
            MemoryFs fs;
            fs.add("entries/" + entryname, bytes);
            ReadReport report;
            const auto entries = readcache2(fs, "", &report);
            QCOMPARE(entries.size() + report.leftout.size(), size_t(1));
            QVERIFY(piecesinside(fs, entries));
            kept += int(entries.size());
        }
    }
    // Flips in the body are not the metadata's business; every other flip is caught.
    QCOMPARE(kept, 300 * 2);
}

QTEST_GUILESS_MAIN(TestFirefoxCache)
#include "tst_firefoxcache.moc"
