// Firefox's disk caches, cache2 (Firefox 32 and later) and the block files of Firefox up to 31,
// read from the shared samples in place and from caches laid out here byte by byte, hostile ones
// among them.
#include "cachefs.h"
#include "firefoxcache2.h"
#include "firefoxmeta.h"
#include "firefoxold.h"
#include "fuzzinput.h"

#include <QCryptographicHash>
#include <QDir>
#include <QtTest>
#include <fcntl.h>
#include <unistd.h>

using namespace vellomar;

namespace {

QString samplesfolder()
{
    const QString named = qEnvironmentVariable("VELLOMAR_SAMPLES");
    return QDir::cleanPath(named.isEmpty() ? QStringLiteral(VELLOMAR_SAMPLES) : named);
}

std::unique_ptr<ReadOnlyFs> openlocal(const QString &folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return nullptr;
    auto fs = localfs(fd);
    ::close(fd);
    return fs;
}

QByteArray be32(uint32_t v)
{
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = char(v >> (24 - 8 * i));
    return b;
}

QByteArray pairs(const QList<QPair<QByteArray, QByteArray>> &pairs)
{
    QByteArray out;
    for (const auto &[name, value] : pairs)
        out += name + '\0' + value + '\0';
    return out;
}

const QByteArray okhead = "HTTP/1.1 200 OK\r\nContent-Type: image/png\r\n";

// A cache2 entry as Gecko's CacheFileMetadata writes it.
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

// Every stored byte a reader names lies in its file.
bool piecesinside(const ReadOnlyFs &fs, const std::vector<CacheEntry> &entries)
{
    for (const CacheEntry &e : entries) {
        long long sum = 0;
        for (const BodyPiece &p : e.body) {
            std::error_code ec;
            const auto f = fs.open(p.file, ec);
            if (!f || p.offset < 0 || p.length < 0 || p.offset + p.length > f->size())
                return false;
            sum += p.length;
        }
        if (sum != e.storedsize)
            return false;
    }
    return true;
}

// The old cache's pieces: metadata records, block files, the map.
QByteArray oldrecord(const QByteArray &key, const QByteArray &elems, uint32_t datasize)
{
    return be32(0x0001000B) + be32(0) + be32(1) + be32(1400000000) + be32(1400000001) + be32(0) +
           be32(datasize) + be32(uint32_t(key.size() + 1)) + be32(uint32_t(elems.size())) + key +
           '\0' + elems;
}

struct BlockFile {
    long long bitmap = 4096, blocksize = 256;
    QByteArray bytes;
    void put(long long block, const QByteArray &data)
    {
        const long long at = bitmap + block * blocksize;
        if (bytes.size() < at + data.size())
            bytes.append(QByteArray(at + data.size() - bytes.size(), '\0'));
        bytes.replace(at, data.size(), data);
    }
    BlockFile(long long b, long long bs) : bitmap(b), blocksize(bs), bytes(b, '\0') {}
};

uint32_t blocks(int file, uint32_t start, int count)
{
    return 0x80000000u | uint32_t(file) << 28 | uint32_t(count - 1) << 24 | start;
}

QByteArray oldmap(const QList<std::array<uint32_t, 4>> &records, int32_t recordcount = 512)
{
    constexpr int buckets = 32;
    const int perbucket = 512 / buckets;
    QByteArray recs(512 * 16, '\0');
    std::array<uint32_t, buckets> usage{};
    for (const auto &r : records) {
        const uint32_t b = r[0] & (buckets - 1);
        QByteArray one = be32(r[0]) + be32(r[1]) + be32(r[2]) + be32(r[3]);
        recs.replace((b * perbucket + usage[b]++) * 16, 16, one);
    }
    QByteArray head = be32(0x0001000B) + be32(0) + be32(uint32_t(records.size())) + be32(0) +
                      be32(uint32_t(recordcount));
    for (int i = 0; i < buckets; ++i)
        head += be32(1);
    for (int i = 0; i < buckets; ++i)
        head += be32(usage[size_t(i)]);
    return head + recs;
}

const QByteArray oldhead = pairs({{"request-method", "GET"}, {"response-head", okhead}});

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
    void oldSampleFromBlockFilesAlone();
    void oldWithMap_data();
    void oldWithMap();
    void oldWithoutMap();
    void oldWithoutMapFilesOfTheirOwn();
    void oldScanIsBounded();
    void oldDamaged_data();
    void oldDamaged();
    void oldSurvivesBitFlips();
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
    QCOMPARE(firefox::statusofhead(head), status);
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

void TestFirefoxCache::oldSampleFromBlockFilesAlone()
{
    const QString folder = samplesfolder() + "/plaso/test_data/firefox_cache/firefox3";
    const auto fs = openlocal(folder + "/..");
    if (!fs)
        QSKIP(qPrintable("no sample cache at " + folder));
    QVERIFY(isoldfirefoxcache(*fs, "firefox3"));
    QVERIFY(!isoldfirefoxcache(*fs, "cache2"));
    ReadReport report;
    const auto entries = readoldfirefoxcache(*fs, "firefox3", &report);
    // Every record there has data, and only the missing map says where it is.
    QCOMPARE(entries.size(), size_t(0));
    QCOMPARE(report.leftout.size(), size_t(30));
    QStringList places;
    for (const auto &l : report.leftout) {
        QVERIFY(l.reason.contains("_CACHE_MAP_"));
        places << l.storedat;
    }
    QCOMPARE(places.first(), QString("_CACHE_001_ block 0"));
    QVERIFY(places.contains("_CACHE_001_ block 80"));
    QVERIFY(places.contains("_CACHE_002_ block 64"));
    QCOMPARE(places.last(), QString("_CACHE_003_ block 20"));
}

void TestFirefoxCache::oldWithMap_data()
{
    QTest::addColumn<bool>("newlayout");
    QTest::newRow("Firefox 3 bitmaps") << false;
    QTest::newRow("later bitmaps") << true;
}

void TestFirefoxCache::oldWithMap()
{
    QFETCH(bool, newlayout);
    BlockFile one(newlayout ? 16384 : 4096, 256), two(4096, 1024),
        three(newlayout ? 1024 : 4096, 4096);
    const QByteArray small(700, 's'), big(20000, 'B'), png = "\x89PNG" + QByteArray(2000, 'p');
    one.put(0, oldrecord("HTTP:http://a.example/small.js", oldhead, uint32_t(small.size())));
    two.put(5, small);
    one.put(3,
            oldrecord("HTTP:id=5363a864&uri=http://b.example/post", oldhead, uint32_t(big.size())));
    one.put(7, oldrecord("HTTP:http://c.example/empty", oldhead, 0));
    three.put(2, png);
    MemoryFs fs;
    fs.add("Cache/_CACHE_001_", one.bytes);
    fs.add("Cache/_CACHE_002_", two.bytes);
    fs.add("Cache/_CACHE_003_", three.bytes);
    fs.add("Cache/1/23/00078d01", big);
    fs.add("Cache/9/AB/CDEF0m02",
           oldrecord("HTTP:http://d.example/p.png", oldhead, uint32_t(png.size())));
    fs.add("Cache/_CACHE_MAP_", oldmap({{0x11111111, 5, blocks(2, 5, 1), blocks(1, 0, 2)},
                                        {0x12300078, 6, 0x80000001u, blocks(1, 3, 2)},
                                        {0x13131313, 7, 0, blocks(1, 7, 2)},
                                        {0x9ABCDEF0, 8, blocks(3, 2, 1), 0x80000002u}}));
    QVERIFY(isoldfirefoxcache(fs, "Cache"));
    ReadReport report;
    auto entries = readoldfirefoxcache(fs, "Cache", &report);
    QCOMPARE(report.leftout.size(), size_t(0));
    QVERIFY(piecesinside(fs, entries));
    std::sort(entries.begin(), entries.end(),
              [](const CacheEntry &a, const CacheEntry &b) { return a.address < b.address; });
    QCOMPARE(entries.size(), size_t(4));
    const auto bytesof = [&](const CacheEntry &e) {
        std::error_code ec;
        const auto f = fs.open(e.body.at(0).file, ec);
        return f ? f->read(e.body[0].offset, e.body[0].length, ec) : QByteArray();
    };
    QCOMPARE(entries[0].address, QString("http://a.example/small.js"));
    QCOMPARE(entries[0].storedat, QString("_CACHE_002_ block 5"));
    QCOMPARE(bytesof(entries[0]), small);
    QCOMPARE(entries[0].key, QByteArray("HTTP:http://a.example/small.js"));
    QCOMPARE(entries[0].httpstatus, 200);
    QCOMPARE(entries[0].responsehead, okhead);
    QCOMPARE(entries[0].lastfetched, QDateTime::fromSecsSinceEpoch(1400000000, Qt::UTC));
    QCOMPARE(entries[1].address, QString("http://b.example/post"));
    QCOMPARE(entries[1].storedat, QString("1/23/00078d01"));
    QCOMPARE(bytesof(entries[1]), big);
    QCOMPARE(entries[2].address, QString("http://c.example/empty"));
    QCOMPARE(entries[2].storedat, QString("_CACHE_001_ block 7"));
    QCOMPARE(entries[2].body.size(), size_t(0));
    QCOMPARE(entries[3].address, QString("http://d.example/p.png"));
    QCOMPARE(entries[3].storedat, QString("_CACHE_003_ block 2"));
    QCOMPARE(bytesof(entries[3]), png);
}

void TestFirefoxCache::oldWithoutMap()
{
    BlockFile one(4096, 256);
    one.put(0, oldrecord("HTTP:http://a.example/with-data", oldhead, 500));
    one.put(2, QByteArray(512, '\x01')); // its data, somewhere
    one.put(4, oldrecord("HTTP:anon&uri=http://b.example/empty", oldhead, 0));
    MemoryFs fs;
    fs.add("_CACHE_001_", one.bytes);
    QVERIFY(isoldfirefoxcache(fs, ""));
    ReadReport report;
    const auto entries = readoldfirefoxcache(fs, "", &report);
    QCOMPARE(entries.size(), size_t(1));
    QCOMPARE(entries[0].address, QString("http://b.example/empty"));
    QCOMPARE(entries[0].storedat, QString("_CACHE_001_ block 4"));
    QCOMPARE(report.leftout.size(), size_t(1));
    QCOMPARE(report.leftout[0].storedat, QString("_CACHE_001_ block 0"));

    MemoryFs none;
    none.add("Cache/_CACHE_CLEAN_", "1");
    QVERIFY(!isoldfirefoxcache(none, "Cache"));
}

void TestFirefoxCache::oldWithoutMapFilesOfTheirOwn()
{
    // Without the map a large body is still found: its file is named by its key's hash, and has
    // exactly the size its record says.
    const auto named = [](const QByteArray &key, char kind, int generation) {
        uint32_t hash = firefox::jenkinshash(key.constData(), size_t(key.size()));
        if (kind == 'D') { // the earliest versions' hash
            hash = 0;
            for (const char ch : key)
                hash = (hash >> 28) ^ (hash << 4) ^ uint8_t(ch);
            kind = 'd';
        }
        return QString::asprintf("%X/%02X/%05X%c%02X", hash >> 28, (hash >> 20) & 0xFF,
                                 hash & 0xFFFFF, kind, generation)
            .toStdString();
    };
    const QByteArray big = "HTTP:http://a.example/big", old = "HTTP:http://a.example/old",
                     wrong = "HTTP:http://a.example/wrong-size",
                     own = "HTTP:http://a.example/own-metadata",
                     twice = "HTTP:http://a.example/two-candidates";
    BlockFile one(4096, 256);
    one.put(0, oldrecord(big, oldhead, 20000));
    one.put(2, oldrecord(old, oldhead, 30000));
    one.put(4, oldrecord(wrong, oldhead, 40000));
    one.put(6, oldrecord(twice, oldhead, 1000));
    MemoryFs fs;
    fs.add("Cache/_CACHE_001_", one.bytes);
    fs.add("Cache/" + named(big, 'd', 1), QByteArray(20000, 'B'));
    fs.add("Cache/" + named(old, 'D', 3), QByteArray(30000, 'O'));
    fs.add("Cache/" + named(wrong, 'd', 1), QByteArray(39999, 'W'));
    fs.add("Cache/" + named(own, 'm', 2), oldrecord(own, oldhead, 50000));
    fs.add("Cache/" + named(own, 'd', 2), QByteArray(50000, 'M'));
    fs.add("Cache/" + named(twice, 'd', 1), QByteArray(1000, 'T'));
    fs.add("Cache/" + named(twice, 'd', 2), QByteArray(1000, 't'));
    ReadReport report;
    auto entries = readoldfirefoxcache(fs, "Cache", &report);
    QVERIFY(piecesinside(fs, entries));
    QStringList got;
    for (const CacheEntry &e : entries)
        got << e.address.section('/', 3) + " " + e.storedat + " " + QString::number(e.storedsize);
    got.sort();
    QCOMPARE(got, QStringList(
                      {"big " + QString::fromStdString(named(big, 'd', 1)) + " 20000",
                       "old " + QString::fromStdString(named(old, 'D', 3)) + " 30000",
                       "own-metadata " + QString::fromStdString(named(own, 'd', 2)) + " 50000"}));
    QCOMPARE(report.leftout.size(), size_t(2));
    QCOMPARE(report.leftout[0].storedat, QString("_CACHE_001_ block 4"));
    QCOMPARE(report.leftout[1].storedat, QString("_CACHE_001_ block 6"));
}

void TestFirefoxCache::oldScanIsBounded()
{
    BlockFile three(4096, 4096);
    three.put(0, oldrecord("HTTP:http://a.example/first", oldhead, 0));
    three.put(10 * 1024, oldrecord("HTTP:http://a.example/beyond", oldhead, 0)); // at 40 MiB
    MemoryFs fs;
    fs.add("_CACHE_003_", three.bytes);
    ReadReport report;
    const auto entries = readoldfirefoxcache(fs, "", &report);
    QCOMPARE(entries.size(), size_t(1));
    QCOMPARE(entries[0].address, QString("http://a.example/first"));
    QCOMPARE(report.leftout.size(), size_t(1));
    QCOMPARE(report.leftout[0].storedat, QString("_CACHE_003_"));
}

void TestFirefoxCache::oldDamaged_data()
{
    QTest::addColumn<QByteArray>("map");
    QTest::addColumn<QString>("storedat");
    QTest::addColumn<QString>("why");
    const uint32_t meta = blocks(1, 0, 2);
    QTest::newRow("data past its blocks")
        << oldmap({{0x11111111, 1, blocks(2, 5, 1), meta}}) << "_CACHE_002_ block 5"
        << "blocks";
    QTest::newRow("data file missing")
        << oldmap({{0x11111111, 1, 0x80000007u, meta}}) << "1/11/11111d07"
        << "missing";
    QTest::newRow("no data location") << oldmap({{0x11111111, 1, 0, meta}}) << "_CACHE_001_ block 0"
                                      << "data location";
    QTest::newRow("metadata past the block file")
        << oldmap({{0x11111111, 1, blocks(2, 5, 1), blocks(1, 900, 1)}}) << "_CACHE_001_ block 900"
        << "metadata";
    QTest::newRow("record count out of range")
        << oldmap({{0x11111111, 1, blocks(2, 5, 1), meta}}, 0x7FFFFFE0) << "_CACHE_MAP_"
        << "record count";
    QTest::newRow("map cut short") << QByteArray(100, '\0') << "_CACHE_MAP_"
                                   << "shorter";
}

void TestFirefoxCache::oldDamaged()
{
    QFETCH(QByteArray, map);
    QFETCH(QString, storedat);
    QFETCH(QString, why);
    BlockFile one(4096, 256), two(4096, 1024);
    one.put(0, oldrecord("HTTP:http://a.example/x", oldhead, 3000));
    two.put(4, QByteArray(100, 'd')); // the file ends inside block 5's span
    MemoryFs fs;
    fs.add("_CACHE_001_", one.bytes);
    fs.add("_CACHE_002_", two.bytes);
    fs.add("_CACHE_MAP_", map);
    ReadReport report;
    const auto entries = readoldfirefoxcache(fs, "", &report);
    QCOMPARE(entries.size(), size_t(0));
    QVERIFY(!report.leftout.empty());
    QCOMPARE(report.leftout[0].storedat, storedat);
    QVERIFY2(report.leftout[0].reason.contains(why), qPrintable(report.leftout[0].reason));
}

void TestFirefoxCache::oldSurvivesBitFlips()
{
    BlockFile one(4096, 256), two(4096, 1024);
    one.put(0, oldrecord("HTTP:http://a.example/x", oldhead, 700));
    two.put(5, QByteArray(700, 'd'));
    const QByteArray map = oldmap({{0x11111111, 1, blocks(2, 5, 1), blocks(1, 0, 2)}});
    const QByteArray record = one.bytes.mid(4096);
    for (int part = 0; part < 2; ++part) {
        const QByteArray whole = part == 0 ? map.left(276 + 16 * 16) : record;
        for (qsizetype at = 0; at < whole.size(); ++at) {
            QByteArray flipped = whole;
            flipped[at] = char(flipped[at] ^ 0x81);
            MemoryFs fs;
            fs.add("_CACHE_001_", part == 1 ? one.bytes.left(4096) + flipped : one.bytes);
            fs.add("_CACHE_002_", two.bytes);
            fs.add("_CACHE_MAP_", part == 0 ? flipped + map.mid(whole.size()) : map);
            ReadReport report;
            const auto entries = readoldfirefoxcache(fs, "", &report);
            QVERIFY(piecesinside(fs, entries));
            QVERIFY(entries.size() + report.leftout.size() >= 1);
        }
    }
}

QTEST_GUILESS_MAIN(TestFirefoxCache)
#include "tst_firefoxcache.moc"
