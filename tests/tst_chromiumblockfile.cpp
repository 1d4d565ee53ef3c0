// Chromium's blockfile cache, read from the real samples in place and from copies of them in
// memory changed the way a damaged or hostile disk changes them.
#include "cachefs.h"
#include "chromiumblockfile.h"
#include "chromiumhttp.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <functional>
#include <map>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

using namespace vellomar;

namespace {

// The samples shared beside the checkout, read in place (VELLOMAR_SAMPLES names another).
QString samplefolder(const QString &name)
{
    const QString named = qEnvironmentVariable("VELLOMAR_SAMPLES");
    return QDir::cleanPath((named.isEmpty() ? QStringLiteral(VELLOMAR_SAMPLES) : named) +
                           "/plaso/test_data/" + name);
}

#define NEEDSAMPLE(name)                                                                           \
    if (!QFileInfo::exists(samplefolder(name) + "/index"))                                         \
        QSKIP(qPrintable("no sample at " + samplefolder(name)));

// A sample's files, held to be changed and served from memory.
using Files = std::map<std::string, QByteArray>;

Files loadsample(const QString &name)
{
    Files files;
    const QDir dir(samplefolder(name));
    for (const QString &f : dir.entryList(QDir::Files)) {
        QFile file(dir.filePath(f));
        if (file.open(QIODevice::ReadOnly))
            files[f.toStdString()] = file.readAll();
    }
    return files;
}

MemoryFs memoryfs(const Files &files)
{
    MemoryFs fs;
    for (const auto &[name, bytes] : files)
        fs.add("Cache/" + name, bytes);
    return fs;
}

struct Read {
    std::vector<CacheEntry> entries;
    ReadReport report;
};

Read readmemory(const Files &files)
{
    const MemoryFs fs = memoryfs(files);
    Read r;
    r.entries = readblockfilecache(fs, "Cache", &r.report);
    return r;
}

Read readlocal(const QString &folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    const auto fs = localfs(fd);
    ::close(fd);
    Read r;
    r.entries = readblockfilecache(*fs, "", &r.report);
    return r;
}

const CacheEntry *find(const Read &r, const QString &address)
{
    for (const CacheEntry &e : r.entries)
        if (e.address == address)
            return &e;
    return nullptr;
}

QString reasonfor(const Read &r, const QString &storedat)
{
    for (const auto &l : r.report.leftout)
        if (l.storedat == storedat)
            return l.reason;
    return {};
}

QByteArray bodyof(const Files &files, const CacheEntry &e)
{
    QByteArray body;
    for (const BodyPiece &p : e.body) {
        const auto it = files.find(p.file.substr(p.file.find('/') + 1));
        if (it == files.end())
            return "no file " + QByteArray::fromStdString(p.file);
        body += it->second.mid(p.offset, p.length);
    }
    return body;
}

QByteArray sha256(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

void put32(QByteArray &b, qsizetype at, quint32 v)
{
    std::memcpy(b.data() + at, &v, 4);
}

quint32 get32(const QByteArray &b, qsizetype at)
{
    quint32 v = 0;
    std::memcpy(&v, b.constData() + at, 4);
    return v;
}

// Addresses as Chromium makes them.
quint32 blockaddr(int type, int blocks, int file, int start)
{
    return 0x80000000u | quint32(type) << 28 | quint32(blocks - 1) << 24 | quint32(file) << 16 |
           quint32(start);
}
quint32 externaladdr(int number)
{
    return 0x80000000u | quint32(number);
}
constexpr int block256 = 2, block1k = 3;
constexpr qsizetype blockheader = 8192;
qsizetype entryat(int block)
{
    return blockheader + qsizetype(block) * 256;
}
constexpr qsizetype indextable = 368;
// EntryStore's fields.
constexpr int nextat = 4, stateat = 20, keylengthat = 32, longkeyat = 36, sizesat = 40,
              addressesat = 56, flagsat = 72, keyat = 96;

// In the 2.1 sample (found with a hex viewer and Chromium's disk_format.h): the jQuery entry,
// bucket 961, its record in data_1 block 431, headers in data_1 block 437, body in block 440.
constexpr int jquerybucket = 961, jqueryblock = 431;
constexpr quint32 jqueryaddr = 0xa00101af, webpaddr = 0xa0010038;
const QString jquery =
    QStringLiteral("http://www.blogblog.com/dynamicviews/76f25a6f2e06af76/js/thirdparty/"
                   "jquery-mousewheel.js");
constexpr int v21entries = 217, v21rows = 177, v21indata3 = 40;

// Every piece lies inside a file of the cache and the sizes add up.
bool wellformed(const Read &r, const Files &files)
{
    for (const CacheEntry &e : r.entries) {
        long long total = 0;
        for (const BodyPiece &p : e.body) {
            const auto it = files.find(p.file.substr(p.file.find('/') + 1));
            if (it == files.end() || p.offset < 0 || p.length <= 0 ||
                p.offset + p.length > it->second.size())
                return false;
            total += p.length;
        }
        if (total != e.storedsize || e.key.startsWith("Range_") || e.storedat.isEmpty())
            return false;
    }
    return true;
}

} // namespace

class TestChromiumBlockfile : public QObject
{
    Q_OBJECT
  private slots:
    // Both samples: the index's count, the rows, and every entry whose body or key lies in the
    // missing data_3 left out saying so, at the block it names.
    void samplesListWhatCanBeRead_data()
    {
        QTest::addColumn<QString>("sample");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("indata3");
        QTest::addColumn<int>("keysindata3");
        QTest::newRow("2.1") << "chrome_cache" << v21entries << v21rows << v21indata3 << 0;
        // 862 entries, four of them sparse children and four their parents.
        QTest::newRow("3.0") << "chrome_cache_v3" << 862 << 622 << 235 << 1;
    }
    void samplesListWhatCanBeRead()
    {
        QFETCH(QString, sample);
        QFETCH(int, count);
        QFETCH(int, rows);
        QFETCH(int, indata3);
        QFETCH(int, keysindata3);
        NEEDSAMPLE(sample);
        const int fd = ::open(QFile::encodeName(samplefolder(sample)).constData(), O_RDONLY);
        const auto fs = localfs(fd);
        ::close(fd);
        QVERIFY(isblockfilecache(*fs, ""));
        QCOMPARE(blockfileentrycount(*fs, ""), count);
        ReadReport report;
        const auto entries = readblockfilecache(*fs, "", &report);
        QCOMPARE(int(entries.size()), rows);
        int data3 = 0, keys = 0;
        for (const auto &l : report.leftout) {
            if (l.reason == "data_3 is missing")
                ++data3;
            else if (l.reason == "its key cannot be read: data_3 is missing")
                ++keys;
            else
                QFAIL(qPrintable(l.storedat + ": " + l.reason));
        }
        QCOMPARE(data3, indata3);
        QCOMPARE(keys, keysindata3);
        QCOMPARE(int(report.leftout.size()), indata3 + keysindata3);
        Read r{entries, report};
        QVERIFY(wellformed(r, loadsample(sample)));
        QCOMPARE(reasonfor(r, "data_3 block 380"),
                 sample == "chrome_cache" ? "data_3 is missing" : QString());
    }

    // Entries checked against bytes taken out of the sample's files by hand (sha256sum of an
    // f_ file, dd of a block range): address, where it is stored, size, body, head and times.
    void sampleEntries_data()
    {
        QTest::addColumn<QString>("sample");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("storedat");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QByteArray>("sha");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("responded");
        QTest::newRow("2.1 external file")
            << "chrome_cache"
            << "https://s.ytimg.com/yts/imgbin/player-common-vfliLfqPT.webp"
            << "f_000010" << qint64(25960)
            << QByteArray("f81710a35916bae41b8b131d9346f61cf87653da22b5ff1c5d3cde18629dcbf1") << 0
            << QString();
        QTest::newRow("2.1 256-byte blocks")
            << "chrome_cache" << jquery << "data_1 block 440" << qint64(723)
            << QByteArray("36ebc02328d8b9de9c2ba4fa800d72f0b7724a8eecbe44525006d7514a73f8c9") << 200
            << "2014-04-30T16:45:53Z";
        QTest::newRow("2.1 1K blocks")
            << "chrome_cache"
            << "https://ssl.gstatic.com/docs/common/spinner-0.gif"
            << "data_2 block 70" << qint64(1455)
            << QByteArray("44063573329ea3c4c59de31470907fcb24e22741c16232b4a11085e982b68f2a") << 0
            << QString();
        QTest::newRow("3.0 partitioned key, external file")
            << "chrome_cache_v3"
            << "https://images-na.ssl-images-amazon.com/images/I/"
               "41X+pNHyLAL._RC%7C71q7BAoqR6L.js,01QvReFe"
            << "f_00004e" << qint64(104597)
            << QByteArray("7487b1527386c09e8802ec1363b0b802f8cac6ac57d99b8e68618240ec6628e6") << 0
            << QString();
    }
    void sampleEntries()
    {
        QFETCH(QString, sample);
        QFETCH(QString, address);
        QFETCH(QString, storedat);
        QFETCH(qint64, size);
        QFETCH(QByteArray, sha);
        QFETCH(int, status);
        QFETCH(QString, responded);
        NEEDSAMPLE(sample);
        const Files files = loadsample(sample);
        const Read r = readmemory(files);
        const CacheEntry *e = nullptr;
        for (const CacheEntry &c : r.entries)
            if (c.address.startsWith(address))
                e = &c;
        QVERIFY2(e, qPrintable(address));
        QCOMPARE(e->storedat, storedat);
        QCOMPARE(e->storedsize, size);
        QCOMPARE(sha256(bodyof(files, *e)), sha);
        QCOMPARE(e->httpstatus, status);
        QCOMPARE(e->responsetime.toString(Qt::ISODate), responded);
        if (status) {
            QVERIFY(e->responsehead.startsWith("HTTP/1.1 200 OK\r\n"));
            QVERIFY(e->responsehead.contains("\r\nContent-Encoding: gzip"));
            QVERIFY(!e->responsehead.contains('\0'));
            QVERIFY(e->requesttime.isValid() && e->requesttime <= e->responsetime);
        }
    }

    // A sparse entry's data is its children's, from offset 0 for as long as it runs on: a
    // child that is whole (1 MiB) goes on into the next, one that stops short or is missing
    // ends the body there. The 3.0 sample's sparse MP3 is changed so that its child 0 is whole
    // and in a file of its own, and a child 1 is added.
    void sparseChildrenAreAssembled_data()
    {
        QTest::addColumn<bool>("child0whole");  // child 0 holds its whole MiB
        QTest::addColumn<quint32>("child1map"); // the first word of child 1's block map
        QTest::addColumn<int>("child1last");    // its partial last block's length
        QTest::addColumn<bool>("child1signed"); // it carries the parent's signature
        QTest::addColumn<qint64>("size");
        QTest::addColumn<int>("pieces");
        QTest::newRow("two children")
            << true << 0x3u << 952 << true << qint64((1 << 20) + 3000) << 2;
        QTest::newRow("child 1 with a hole first")
            << true << 0x2u << 0 << true << qint64(1 << 20) << 1;
        QTest::newRow("child 1 of another parent")
            << true << 0x3u << 952 << false << qint64(1 << 20) << 1;
        // Child 0 as Chromium wrote it: 6 blocks and 492 bytes, so the body ends inside it.
        QTest::newRow("child 0 stops short") << false << 0x3u << 952 << true << qint64(6636) << 1;
    }
    void sparseChildrenAreAssembled()
    {
        QFETCH(bool, child0whole);
        QFETCH(quint32, child1map);
        QFETCH(int, child1last);
        QFETCH(bool, child1signed);
        QFETCH(qint64, size);
        QFETCH(int, pieces);
        NEEDSAMPLE("chrome_cache_v3");
        Files files = loadsample("chrome_cache_v3");
        const QString mp3 = "https://www.youtube.com/s/search/audio/success.mp3";
        // The parent in data_1 block 347, its sparse header in block 360; child 0 in block
        // 358, its map in block 359, its data in the missing data_3.
        QByteArray &data1 = files["data_1"];
        const QByteArray parentkey =
            data1.mid(entryat(347) + keyat, get32(data1, entryat(347) + keylengthat));
        const quint64 signature =
            get32(data1, entryat(360)) | quint64(get32(data1, entryat(360) + 4)) << 32;
        {
            const Read before = readmemory(files);
            QVERIFY(!find(before, mp3));
            QCOMPARE(reasonfor(before, "data_1 block 347"), QString("data_3 is missing"));
        }
        const int whole = 1 << 20;
        files["f_0f0000"] = QByteArray(whole, 'a');
        files["f_0f0001"] = QByteArray(3000, 'b');
        put32(data1, entryat(358) + sizesat + 4, whole);
        put32(data1, entryat(358) + addressesat + 4, externaladdr(0x0f0000));
        if (child0whole) {
            for (int w = 0; w < 32; ++w)
                put32(data1, entryat(359) + 64 + 4 * w, 0xffffffffu);
            put32(data1, entryat(359) + 16, quint32(-1));
            put32(data1, entryat(359) + 20, 0);
        }
        // Child 1: a copy of child 0 in two fresh blocks after data_1's end, its map in a third,
        // hung from an empty bucket.
        const int child1 = int((data1.size() - blockheader) / 256), map1 = child1 + 1;
        data1.append(QByteArray(3 * 256, '\0'));
        data1.replace(entryat(child1), 256, data1.mid(entryat(358), 256));
        const QByteArray key =
            "Range_" + parentkey + ":" + QByteArray::number(signature, 16) + ":1";
        put32(data1, entryat(child1) + nextat, 0);
        put32(data1, entryat(child1) + keylengthat, quint32(key.size()));
        data1.replace(entryat(child1) + keyat, key.size() + 1, key + '\0');
        put32(data1, entryat(child1) + sizesat + 4, 3000);
        put32(data1, entryat(child1) + addressesat + 4, externaladdr(0x0f0001));
        put32(data1, entryat(child1) + addressesat + 8, blockaddr(block256, 1, 1, map1));
        data1.replace(entryat(map1), 192, data1.mid(entryat(359), 192));
        if (!child1signed)
            put32(data1, entryat(map1), get32(data1, entryat(map1)) ^ 1);
        put32(data1, entryat(map1) + 16, 2);
        put32(data1, entryat(map1) + 20, quint32(child1last));
        put32(data1, entryat(map1) + 64, child1map);
        for (int w = 1; w < 32; ++w)
            put32(data1, entryat(map1) + 64 + 4 * w, 0);
        QByteArray &index = files["index"];
        qsizetype bucket = indextable;
        while (get32(index, bucket))
            bucket += 4;
        put32(index, bucket, blockaddr(block256, 1, 1, child1));

        const Read r = readmemory(files);
        const CacheEntry *e = find(r, mp3);
        QVERIFY(e);
        QCOMPARE(e->storedsize, size);
        QCOMPARE(int(e->body.size()), pieces);
        QCOMPARE(e->body[0].file, std::string("Cache/f_0f0000"));
        QCOMPARE(bodyof(files, *e), QByteArray(std::min<qint64>(size, whole), 'a') +
                                        QByteArray(std::max<qint64>(size - whole, 0), 'b'));
        QCOMPARE(e->httpstatus, 0); // its headers are in data_3
        QVERIFY(wellformed(r, files));
    }

    // One field of the jQuery entry's record or of the index changed: the entry is left out
    // with why, the rest are read, and a loop is cut without reading an entry twice.
    void hostileRecords_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<qint64>("at");
        QTest::addColumn<quint32>("value");
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("storedat");
        QTest::addColumn<QString>("reason");
        const qint64 e = entryat(jqueryblock), bucket = indextable + 4 * jquerybucket;
        const QString self = QStringLiteral("data_1 block %1").arg(jqueryblock);
        QTest::newRow("next is itself") << "data_1" << e + nextat << jqueryaddr << v21rows << self
                                        << "the chain of entries loops";
        QTest::newRow("next is another bucket's entry")
            << "data_1" << e + nextat << webpaddr << v21rows << self
            << "the chain of entries loops";
        QTest::newRow("body past data_1's end")
            << "data_1" << e + addressesat + 4 << blockaddr(block256, 3, 1, 0xfff0) << v21rows - 1
            << "data_1 block 65520"
            << "an address runs past the end of data_1";
        QTest::newRow("body longer than its blocks")
            << "data_1" << e + sizesat + 4 << 769u << v21rows - 1 << "data_1 block 440"
            << "a stream is longer than its blocks in data_1";
        QTest::newRow("body in a block file not there")
            << "data_1" << e + addressesat + 4 << blockaddr(block256, 3, 9, 440) << v21rows - 1
            << "data_9 block 440"
            << "data_9 is missing";
        QTest::newRow("body's block size not its file's")
            << "data_1" << e + addressesat + 4 << blockaddr(block1k, 1, 1, 1) << v21rows - 1
            << "data_1 block 1"
            << "data_1 does not hold blocks of 1024 bytes";
        QTest::newRow("body size negative")
            << "data_1" << e + sizesat + 4 << quint32(-5) << v21rows - 1 << "data_1 block 440"
            << "a stream's size is negative";
        QTest::newRow("body address reserved bits")
            << "data_1" << e + addressesat + 4 << (blockaddr(block256, 3, 1, 440) | 0x04000000)
            << v21rows - 1 << self << "address a60101b8 is not valid";
        QTest::newRow("inline key past its blocks")
            << "data_1" << e + keylengthat << 500u << v21rows - 1 << self
            << "its key runs past its blocks";
        QTest::newRow("key length negative")
            << "data_1" << e + keylengthat << quint32(-1) << v21rows - 1 << self
            << "its key's length is negative";
        QTest::newRow("key of 5 MiB")
            << "data_1" << e + keylengthat << quint32(5 << 20) << v21rows - 1 << self
            << "its key is longer than 4194304 bytes";
        QTest::newRow("key of 1 MiB without its address")
            << "data_1" << e + keylengthat << quint32(1 << 20) << v21rows - 1 << self
            << "its key cannot be read: address 00000000 is not valid";
        QTest::newRow("doomed") << "data_1" << e + stateat << 2u << v21rows - 1 << self
                                << "the entry was doomed";
        QTest::newRow("entry past data_1's end")
            << "index" << bucket << blockaddr(block256, 1, 1, 0xfff0) << v21rows - 1
            << "data_1 block 65520"
            << "an address runs past the end of data_1";
        QTest::newRow("entry in an external file")
            << "index" << bucket << externaladdr(0x10) << v21rows - 1
            << QStringLiteral("index bucket %1").arg(jquerybucket)
            << "an entry's address is not valid";
    }
    void hostileRecords()
    {
        QFETCH(QString, file);
        QFETCH(qint64, at);
        QFETCH(quint32, value);
        QFETCH(int, rows);
        QFETCH(QString, storedat);
        QFETCH(QString, reason);
        NEEDSAMPLE("chrome_cache");
        Files files = loadsample("chrome_cache");
        put32(files[file.toStdString()], at, value);
        const Read r = readmemory(files);
        QCOMPARE(int(r.entries.size()), rows);
        QCOMPARE(reasonfor(r, storedat), reason);
        QCOMPARE(int(r.report.leftout.size()), v21indata3 + 1);
        QVERIFY(wellformed(r, files));
        // No entry is listed twice, however the chains run.
        std::set<QString> seen;
        for (const CacheEntry &c : r.entries)
            QVERIFY(seen.insert(c.address + c.storedat).second);
    }

    // A key of 1 MiB kept in a file of its own is read whole.
    void longKeyInItsOwnFile()
    {
        NEEDSAMPLE("chrome_cache");
        Files files = loadsample("chrome_cache");
        const QByteArray key = "http://example.test/" + QByteArray((1 << 20) - 20, 'k');
        files["f_0f0000"] = key;
        put32(files["data_1"], entryat(jqueryblock) + keylengthat, quint32(key.size()));
        put32(files["data_1"], entryat(jqueryblock) + longkeyat, externaladdr(0x0f0000));
        const Read r = readmemory(files);
        QCOMPARE(int(r.entries.size()), v21rows);
        const CacheEntry *e = find(r, QString::fromLatin1(key));
        QVERIFY(e);
        QCOMPARE(e->key, key);
        QCOMPARE(e->storedat, QString("data_1 block 440"));
    }

    // Every record naming one long key of 4 MiB: the reader keeps 256 MiB of keys at most,
    // and leaves out the records past that.
    void sharedLongKeysAreBounded()
    {
        NEEDSAMPLE("chrome_cache");
        Files files = loadsample("chrome_cache");
        const int keylength = 4 << 20;
        files["f_0f0000"] = "http://example.test/" + QByteArray(keylength - 20, 'k');
        const QByteArray &index = files["index"];
        QByteArray &data1 = files["data_1"];
        for (qsizetype i = indextable; i < index.size(); i += 4) {
            if (const quint32 a = get32(index, i)) {
                put32(data1, entryat(int(a & 0xffff)) + keylengthat, keylength);
                put32(data1, entryat(int(a & 0xffff)) + longkeyat, externaladdr(0x0f0000));
            }
        }
        const Read r = readmemory(files);
        int bounded = 0;
        for (const auto &l : r.report.leftout)
            bounded += l.reason == "the cache's keys pass 268435456 bytes";
        QCOMPARE(bounded, v21entries - (256 << 20) / keylength);
        QVERIFY(!r.entries.empty());
        for (const CacheEntry &e : r.entries)
            QCOMPARE(e.key.size(), keylength);
    }

    // A block file cut short loses the entries past its end; one cut inside its header, or
    // whose header is not a block file's, loses every entry that needs it. The reader says so.
    void damagedBlockFiles_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<qint64>("length"); // cut to this, or -1
        QTest::addColumn<bool>("nomagic");
        QTest::addColumn<QString>("reason");
        QTest::newRow("data_1 after block 300") << "data_1" << qint64(entryat(300)) << false
                                                << "an address runs past the end of data_1";
        QTest::newRow("data_1 inside its header")
            << "data_1" << qint64(4000) << false << "data_1 is shorter than its header";
        QTest::newRow("data_2 without its magic")
            << "data_2" << qint64(-1) << true << "data_2 is not a block file";
    }
    void damagedBlockFiles()
    {
        QFETCH(QString, file);
        QFETCH(qint64, length);
        QFETCH(bool, nomagic);
        QFETCH(QString, reason);
        NEEDSAMPLE("chrome_cache");
        Files files = loadsample("chrome_cache");
        QByteArray &bytes = files[file.toStdString()];
        if (length >= 0)
            bytes.truncate(length);
        if (nomagic)
            put32(bytes, 0, 0);
        const Read r = readmemory(files);
        QVERIFY(int(r.entries.size()) < v21rows);
        QVERIFY(file != "data_1" || length > blockheader || r.entries.empty());
        bool found = false;
        for (const auto &l : r.report.leftout)
            found = found || l.reason == reason;
        QVERIFY(found);
        QVERIFY(wellformed(r, files));
    }

    // Bits flipped through the index's header and table and through data_1's records: the
    // reader ends, quickly, and whatever it lists lies inside the cache's files.
    void bitFlipsNeverCrashOrHang()
    {
        NEEDSAMPLE("chrome_cache");
        const Files original = loadsample("chrome_cache");
        std::vector<std::pair<std::string, qsizetype>> spots;
        for (qsizetype i = 0; i < indextable; ++i)
            spots.push_back({"index", i});
        const QByteArray &index = original.at("index");
        for (qsizetype i = indextable; i < index.size(); i += 4)
            if (get32(index, i))
                for (int b = 0; b < 4; ++b)
                    spots.push_back({"index", i + b});
        const qsizetype data1 = original.at("data_1").size();
        for (qsizetype i = 0; i < std::min<qsizetype>(data1, entryat(600)); i += 29)
            spots.push_back({"data_1", i});
        // A hang, not a slow machine: one read takes milliseconds, even under the sanitizers.
        constexpr qint64 mostmspereread = 10000;
        int n = 0;
        for (const auto &[file, at] : spots) {
            Files files = original;
            QByteArray &bytes = files[file];
            bytes[at] = char(bytes[at] ^ (1 << (n++ % 8)));
            QElapsedTimer timer;
            timer.start();
            const Read r = readmemory(files);
            QVERIFY2(timer.elapsed() < mostmspereread, "a read did not end");
            QVERIFY2(wellformed(r, files),
                     qPrintable(QString::fromStdString(file) + " " + QString::number(at)));
            QVERIFY(int(r.entries.size()) <= v21entries);
        }
        QVERIFY(n > 5000);
    }

    // Files of the cache that are not plain files are refused by the file system; the entries
    // that need them are left out and the others read.
    void notPlainFiles_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("storedat");
        QTest::addColumn<QString>("reason");
        const QString head = QStringLiteral("data_1 block %1").arg(jqueryblock);
        QTest::newRow("data_1 a FIFO") << "fifo" << head << "data_1 is not a plain file";
        QTest::newRow("data_1 a link") << "link" << head << "data_1 is not a plain file";
        QTest::newRow("f_ a link out of the cache") << "flink"
                                                    << "f_000010"
                                                    << "f_000010 is not a plain file";
    }
    void notPlainFiles()
    {
        QFETCH(QString, what);
        QFETCH(QString, storedat);
        QFETCH(QString, reason);
        NEEDSAMPLE("chrome_cache");
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString cache = dir.filePath("cache"), outside = dir.filePath("outside");
        QVERIFY(QDir().mkpath(cache) && QDir().mkpath(outside));
        const QDir sample(samplefolder("chrome_cache"));
        for (const QString &f : sample.entryList(QDir::Files))
            QVERIFY(QFile::copy(sample.filePath(f), cache + "/" + f));
        const QByteArray c = QFile::encodeName(cache), o = QFile::encodeName(outside);
        if (what == "fifo") {
            QVERIFY(QFile::remove(cache + "/data_1"));
            QCOMPARE(::mkfifo((c + "/data_1").constData(), 0600), 0);
        } else if (what == "link") {
            QVERIFY(QFile::rename(cache + "/data_1", outside + "/data_1"));
            QCOMPARE(::symlink((o + "/data_1").constData(), (c + "/data_1").constData()), 0);
        } else {
            QVERIFY(QFile::rename(cache + "/f_000010", outside + "/f_000010"));
            QCOMPARE(::symlink((o + "/f_000010").constData(), (c + "/f_000010").constData()), 0);
        }
        const Read r = readlocal(cache);
        QCOMPARE(reasonfor(r, storedat), reason);
        if (what == "flink") {
            QCOMPARE(int(r.entries.size()), v21rows - 1);
        } else {
            QVERIFY(r.entries.empty());
            QCOMPARE(int(r.report.leftout.size()), v21entries); // one for each bucket's chain
        }
        // The same through the file system in memory.
        Files files = loadsample("chrome_cache");
        MemoryFs fs;
        for (const auto &[name, bytes] : files)
            if (name != (what == "flink" ? "f_000010" : "data_1"))
                fs.add("Cache/" + name, bytes);
        fs.addother(what == "flink" ? "Cache/f_000010" : "Cache/data_1");
        ReadReport report;
        const auto entries = readblockfilecache(fs, "Cache", &report);
        QCOMPARE(entries.size(), r.entries.size());
        QCOMPARE(report.leftout.size(), r.report.leftout.size());
    }

    // What is not a blockfile cache, or one of a version not read, gives nothing and says so.
    void notABlockfileCache_data()
    {
        QTest::addColumn<QByteArray>("index");
        QTest::addColumn<bool>("isone");
        QTest::addColumn<QString>("reason");
        QByteArray header(368, '\0');
        put32(header, 0, 0xC103CAC3);
        QByteArray v4 = header;
        put32(v4, 4, 0x40000);
        QByteArray v3 = header;
        put32(v3, 4, 0x30000);
        put32(v3, 8, 7);
        QTest::newRow("no index") << QByteArray() << false
                                  << "index is not a blockfile cache's index";
        QTest::newRow("short index")
            << header.left(100) << false << "index is not a blockfile cache's index";
        QTest::newRow("another magic")
            << QByteArray(368, 'x') << false << "index is not a blockfile cache's index";
        QTest::newRow("version 4.0")
            << v4 << true << "version 4.0 of the blockfile cache is not read";
        QTest::newRow("3.0 without its table") << v3 << true << "index ends before its table does";
    }
    void notABlockfileCache()
    {
        QFETCH(QByteArray, index);
        QFETCH(bool, isone);
        QFETCH(QString, reason);
        MemoryFs fs;
        fs.add("Cache/data_1", QByteArray(8192, '\0'));
        if (!index.isEmpty())
            fs.add("Cache/index", index);
        QCOMPARE(isblockfilecache(fs, "Cache"), isone);
        QCOMPARE(blockfileentrycount(fs, "Cache"), isone ? get32(index, 8) : -1);
        ReadReport report;
        QVERIFY(readblockfilecache(fs, "Cache", &report).empty());
        QCOMPARE(int(report.leftout.size()), 1);
        QCOMPARE(report.leftout[0].reason, reason);
    }

    // The URL behind the HTTP cache's prefixes.
    void urlFromKey_data()
    {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("url");
        QTest::newRow("plain") << QByteArray("http://a.test/x") << QByteArray("http://a.test/x");
        QTest::newRow("upload") << QByteArray("12/http://a.test/x")
                                << QByteArray("http://a.test/x");
        QTest::newRow("credential and upload")
            << QByteArray("1/0/http://a.test/x") << QByteArray("http://a.test/x");
        QTest::newRow("partitioned")
            << QByteArray("1/0/_dk_https://s.test https://s.test https://a.test/x")
            << QByteArray("https://a.test/x");
        QTest::newRow("partitioned, subframe")
            << QByteArray("1/0/_dk_s_https://s.test https://t.test https://a.test/x")
            << QByteArray("https://a.test/x");
        QTest::newRow("digits that are no prefix") << QByteArray("123") << QByteArray("123");
    }
    void urlFromKey()
    {
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, url);
        QCOMPARE(chromiumkeyaddress(key), QString::fromUtf8(url));
    }
};

QTEST_GUILESS_MAIN(TestChromiumBlockfile)
#include "tst_chromiumblockfile.moc"
