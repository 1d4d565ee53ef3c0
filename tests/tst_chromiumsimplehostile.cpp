// Chromium's Simple Cache damaged: entries truncated, lying about their sizes, bit-flipped, with
// keys of a megabyte and sparse files past their bounds. Each is left out, with why, and nothing
// else is lost.
#include "chromiumsimple.h"
#include "fuzzinput.h"
#include "simplecachelayout.h"

#include <QtTest>

using namespace vellomar;
using namespace vellomar::test;

class TestChromiumSimpleHostile : public QObject
{
    Q_OBJECT

  private slots:
    void hostile_data();
    void hostile();
    void hostilesparse_data();
    void hostilesparse();
    void manysparseranges();
    void longkey();
    void bitflips();
    void unreadable();
};

// Each a damaged copy of a whole entry: it is left out, with why, and nothing else is lost.
void TestChromiumSimpleHostile::hostile_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("reason");
    const QByteArray good = entryfile(somekey, "body bytes", responseinfo(okhead));
    const QByteArray good32 =
        entryfile(somekey, "body bytes", responseinfo(okhead), narrow, true, false);
    const qsizetype eof0 = good.size() - wide.eof;
    auto patched = [](QByteArray bytes, qsizetype at, quint32 value) {
        value = qToLittleEndian(value);
        bytes.replace(at, 4, reinterpret_cast<const char *>(&value), 4);
        return bytes;
    };
    QTest::newRow("empty") << QByteArray() << "too short";
    QTest::newRow("truncated inside the end record") << good.chopped(3) << "no end record";
    QTest::newRow("truncated to the header and key")
        << good.left(wide.header + somekey.size()) << "no end record";
    QTest::newRow("stream 0's size one too large")
        << patched(good, eof0 + 16, quint32(responseinfo(okhead).size() + 1)) << "sizes lie";
    QTest::newRow("stream 0's size one too small")
        << patched(good, eof0 + 16, quint32(responseinfo(okhead).size() - 1)) << "sizes lie";
    QTest::newRow("stream 0's size past the file")
        << patched(good, eof0 + 16, 0x7fffffff) << "larger than any";
    QTest::newRow("stream 0's size just past the file")
        << patched(good, eof0 + 16, quint32(good.size())) << "run past the file's end";
    QTest::newRow("a key of 1 MB in a small file")
        << patched(good, 12, 1u << 20) << "run past the file's end";
    QTest::newRow("a key of 4 GB") << patched(good, 12, 0xffffffffu) << "longer than any URL";
    QTest::newRow("key length one too many")
        << patched(good, 12, quint32(somekey.size() + 1)) << "SHA-256";
    QTest::newRow("32-bit, key length one too few")
        << patched(good32, 12, quint32(somekey.size() - 1)) << "not its key's hash";
    QTest::newRow("under another key's name")
        << entryfile(otherkey, "body bytes", responseinfo(okhead)) << "not its key's hash";
    QTest::newRow("key length two too many")
        << patched(good, 12, quint32(somekey.size() + 2)) << "SHA-256";
    QTest::newRow("header magic") << patched(good, 0, 0) << "not an entry file";
    QTest::newRow("version 4") << patched(good, 8, 4) << "version 4";
    QTest::newRow("response info CRC") << patched(good, eof0 + 12, 0xdeadbeef) << "CRC";
    QTest::newRow("key SHA-256") << patched(good, good.size() - wide.eof - 32, 0) << "SHA-256";
    QByteArray badkey = good;
    badkey[wide.header] = '2';
    QTest::newRow("key changed under its SHA-256") << badkey << "SHA-256";
    QTest::newRow("response info version 9")
        << entryfile(somekey, "x", responseinfo(okhead).replace(4, 1, "\x09")) << "version 9";
    QByteArray shortpickle = responseinfo(okhead).left(20);
    shortpickle.replace(0, 4, QByteArray("\x10\0\0\0", 4));
    QTest::newRow("response info cut short") << entryfile(somekey, "x", shortpickle) << "cut short";
    QByteArray lyingpickle = responseinfo(okhead);
    lyingpickle.replace(0, 4, QByteArray("\xff\xff\0\0", 4));
    QTest::newRow("pickle longer than stream 0")
        << entryfile(somekey, "x", lyingpickle) << "not a pickle";
    QByteArray longheaders = responseinfo(okhead);
    longheaders.replace(36, 4, QByteArray("\0\0\0\x40", 4));
    QTest::newRow("headers longer than the pickle")
        << entryfile(somekey, "x", longheaders) << "cut short";
    QTest::newRow("no status line")
        << entryfile(somekey, "x", responseinfo({"Content-Type: text/html"})) << "status line";
    QTest::newRow("no response info") << entryfile(somekey, "x", {}) << "not a pickle";
}

void TestChromiumSimpleHostile::hostile()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, reason);
    MemoryFs fs;
    fs.add("Cache_Data/" + entryname(somekey), file);
    const QByteArray thirdkey = "https://example.com/fine";
    fs.add("Cache_Data/" + entryname(thirdkey), entryfile(thirdkey, "fine", responseinfo(okhead)));
    ReadReport report;
    const auto entries = readsimplecache(fs, "Cache_Data", &report);
    QCOMPARE(entries.size(), size_t(1));
    QCOMPARE(entries[0].storedat, QString::fromStdString("Cache_Data/" + entryname(thirdkey)));
    QCOMPARE(report.leftout.size(), size_t(1));
    QCOMPARE(report.leftout[0].storedat,
             QString::fromStdString("Cache_Data/" + entryname(somekey)));
    QVERIFY2(report.leftout[0].reason.contains(reason), qPrintable(report.leftout[0].reason));
}

void TestChromiumSimpleHostile::hostilesparse_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("reason");
    const QByteArray good = sparsefile(somekey, {{0, QByteArray(100, 'x')}, {100, "tail"}});
    const qsizetype first = wide.header + somekey.size();
    auto patched64 = [](QByteArray bytes, qsizetype at, quint64 value) {
        value = qToLittleEndian(value);
        bytes.replace(at, 8, reinterpret_cast<const char *>(&value), 8);
        return bytes;
    };
    QTest::newRow("truncated inside a range") << good.chopped(1) << "past the file's end";
    QTest::newRow("truncated inside a range's header")
        << good.left(first + wide.range + 100 + 5) << "inside a range's header";
    QTest::newRow("a range's length past the file")
        << patched64(good, first + 16, 1ULL << 40) << "past the file's end";
    QTest::newRow("a range's length of 2^64-1")
        << patched64(good, first + 16, ~0ULL) << "past the file's end";
    QTest::newRow("a range at the end of offsets")
        << patched64(good, first + 8, ~0ULL - 50) << "past any body";
    QTest::newRow("a range's magic") << patched64(good, first + wide.range + 100, 0) << "no magic";
    QTest::newRow("another entry's key")
        << sparsefile(somekey.chopped(1) + "x", {{0, "a"}}) << "another entry's";
    QTest::newRow("version 2") << good.left(8) + QByteArray("\x02\0\0\0", 4) + good.mid(12)
                               << "version 2";
    QTest::newRow("not one") << QByteArray(40, 'z') << "not one";
    QTest::newRow("too short") << QByteArray(10, 'z') << "too short";
}

void TestChromiumSimpleHostile::hostilesparse()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, reason);
    MemoryFs fs;
    fs.add(entryname(somekey), entryfile(somekey, {}, responseinfo(okhead)));
    fs.add(entryname(somekey, 's'), file);
    ReadReport report;
    const auto entries = readsimplecache(fs, "", &report);
    QCOMPARE(entries.size(), size_t(0));
    QCOMPARE(report.leftout.size(), size_t(1));
    QCOMPARE(report.leftout[0].storedat, QString::fromStdString(entryname(somekey, 's')));
    QVERIFY2(report.leftout[0].reason.contains(reason), qPrintable(report.leftout[0].reason));
}

// Empty ranges cost a header each and nothing else: past the bound, the file is refused.
void TestChromiumSimpleHostile::manysparseranges()
{
    const int most = 1 << 18;
    QList<Range> ranges(most, Range{0, {}});
    MemoryFs fs;
    fs.add(entryname(somekey), entryfile(somekey, {}, responseinfo(okhead)));
    fs.add(entryname(somekey, 's'), sparsefile(somekey, ranges));
    ReadReport report;
    QCOMPARE(readsimplecache(fs, "", &report).size(), size_t(1));
    ranges.append(Range{0, "a"});
    fs.add(entryname(somekey, 's'), sparsefile(somekey, ranges));
    QCOMPARE(readsimplecache(fs, "", &report).size(), size_t(0));
    QCOMPARE(report.leftout.size(), size_t(1));
    QVERIFY2(report.leftout[0].reason.contains("more than"), qPrintable(report.leftout[0].reason));
}

// A key of 1 MB that the file really holds is read (URLs reach 2 MiB); one past any URL is not.
void TestChromiumSimpleHostile::longkey()
{
    const QByteArray longkey = "1/0/https://a.example/" + QByteArray(1 << 20, 'k');
    const QByteArray toolong = "1/0/https://a.example/" + QByteArray(9 << 20, 'k');
    MemoryFs fs;
    fs.add(entryname(longkey), entryfile(longkey, "body", responseinfo(okhead)));
    fs.add(entryname(toolong), entryfile(toolong, "body", responseinfo(okhead)));
    ReadReport report;
    const auto entries = readsimplecache(fs, "", &report);
    QCOMPARE(entries.size(), size_t(1));
    QCOMPARE(entries[0].key, longkey);
    QCOMPARE(entries[0].address.size(), longkey.size() - 4);
    QCOMPARE(bodyof(fs, entries[0]), QByteArray("body"));
    QCOMPARE(reasons(report), QStringList{QString::fromStdString(entryname(toolong)) +
                                          ": key is longer than any URL"});
}

// Every bit flip of a real entry's bytes (the sample's, else the 64-bit seed's) over a spread of
// offsets: the entry is read or left out, never both, and what is read lies inside its file.
void TestChromiumSimpleHostile::bitflips()
{
    std::vector<std::pair<std::string, QByteArray>> files;
    if (QDir(samplefolder).exists()) {
        for (const char *name : {"9d38f3624ed4a85c_0", "bb9d1cda868d278c_0"})
            files.emplace_back(name, readall(samplefolder + "/" + name));
    }
    const QByteArray packed = readall(seedfile);
    MemoryFs seed = fuzz::memoryfs(reinterpret_cast<const uint8_t *>(packed.constData()),
                                   size_t(packed.size()));
    for (const char *name : {"707bc78facf7befc_0", "1b6fa9ceb11dda45_0"}) {
        std::error_code ec;
        auto f = seed.open(name, ec);
        QVERIFY(f);
        files.emplace_back(name, f->read(0, f->size(), ec));
    }
    int flips = 0, leftout = 0;
    for (const auto &[name, original] : files) {
        QVERIFY(!original.isEmpty());
        // Every byte of the first and last 600 (the records), and a stride through the body.
        for (qsizetype at = 0; at < original.size(); ++at) {
            if (at >= 600 && at < original.size() - 600 && at % 37)
                continue;
            for (int bit = 0; bit < 8; bit += 3) {
                QByteArray bytes = original;
                bytes[at] = char(bytes[at] ^ (1 << bit));
                MemoryFs fs;
                fs.add(name, bytes);
                fs.add(name.substr(0, 16) + "_s", bytes); // read only when stream 1 is empty
                ReadReport report;
                const auto entries = readsimplecache(fs, "", &report);
                QCOMPARE(entries.size() + report.leftout.size(), size_t(1));
                for (const CacheEntry &e : entries)
                    for (const BodyPiece &p : e.body)
                        QVERIFY(p.offset >= 0 && p.length >= 0 &&
                                p.offset + p.length <= bytes.size());
                leftout += int(report.leftout.size());
                ++flips;
            }
        }
    }
    QVERIFY(flips > 2000);
    QVERIFY(leftout > flips / 10); // the records' checks do catch flips
}

void TestChromiumSimpleHostile::unreadable()
{
    MemoryFs fs;
    fs.addother("c/00000000000000ee_0");
    fs.add("c/" + entryname(somekey), entryfile(somekey, {}, responseinfo(okhead)));
    fs.addother("c/" + entryname(somekey, 's'));
    ReadReport report;
    QCOMPARE(readsimplecache(fs, "c", &report).size(), size_t(0));
    QStringList expected{"c/00000000000000ee_0: is not a plain file",
                         QString::fromStdString("c/" + entryname(somekey, 's')) +
                             ": is not a plain file"};
    expected.sort();
    QStringList got = reasons(report);
    got.sort();
    QCOMPARE(got, expected);
    ReadReport missing;
    QCOMPARE(readsimplecache(fs, "nowhere", &missing).size(), size_t(0));
    QCOMPARE(missing.leftout.size(), size_t(1));
    QVERIFY(missing.leftout[0].reason.startsWith("the folder cannot be read"));
}

QTEST_GUILESS_MAIN(TestChromiumSimpleHostile)
#include "tst_chromiumsimplehostile.moc"
