// The cache of Firefox up to 31 (the map, the block files, files of their own in hex folders),
// read from the shared samples' block files in place and from caches laid out here byte by byte,
// hostile ones among them.
#include "cachefs.h"
#include "firefoxmeta.h"
#include "firefoxold.h"
#include "firefoxtestbytes.h"

#include <QtTest>

using namespace vellomar;
using namespace vellomar::test;

namespace {

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

class TestFirefoxOldCache : public QObject
{
    Q_OBJECT

  private slots:
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

void TestFirefoxOldCache::oldSampleFromBlockFilesAlone()
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

void TestFirefoxOldCache::oldWithMap_data()
{
    QTest::addColumn<bool>("newlayout");
    QTest::newRow("Firefox 3 bitmaps") << false;
    QTest::newRow("later bitmaps") << true;
}

void TestFirefoxOldCache::oldWithMap()
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

void TestFirefoxOldCache::oldWithoutMap()
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

void TestFirefoxOldCache::oldWithoutMapFilesOfTheirOwn()
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

void TestFirefoxOldCache::oldScanIsBounded()
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

void TestFirefoxOldCache::oldDamaged_data()
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

void TestFirefoxOldCache::oldDamaged()
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

void TestFirefoxOldCache::oldSurvivesBitFlips()
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

QTEST_GUILESS_MAIN(TestFirefoxOldCache)
#include "tst_firefoxoldcache.moc"
