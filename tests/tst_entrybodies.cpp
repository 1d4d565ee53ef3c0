// A found entry's body read decoded through the cache's file system: real gzip, deflate, brotli
// and zstd bodies, split over pieces, cut short, and bombs.
#include "bodydecoder.h"
#include "bodyencoders.h"

#include <QElapsedTimer>
#include <QFile>
#include <QtTest>

#include <functional>

using namespace vellomar;
using namespace vellomar::testing;

Q_DECLARE_METATYPE(std::function<QByteArray(const QByteArray &)>)

namespace {

using Encoder = std::function<QByteArray(const QByteArray &)>;

// A plain body of some compressible and some incompressible bytes, larger than the reader's
// chunk once encoded, so decoding runs over several refills.
QByteArray plainbody()
{
    QByteArray text;
    for (int i = 0; text.size() < 700 * 1024; ++i)
        text += "line " + QByteArray::number(i) + " of a page that compresses well\n";
    return noise(600 * 1024) + text + noise(90 * 1024, 7);
}

// An entry whose stored bytes are `stored`, cut into `pieces` runs that each sit in the middle
// of a file of their own between bytes that are not the body's.
CacheEntry entryin(MemoryFs &fs, const QByteArray &stored, int pieces, const QString &encoding)
{
    CacheEntry e;
    e.contentencoding = encoding;
    const qsizetype each = pieces > 0 ? stored.size() / pieces + 1 : 0;
    for (int i = 0; i < pieces; ++i) {
        const QByteArray part = stored.mid(i * each, each);
        const std::string path = "data_" + std::to_string(i);
        const QByteArray before(1000 + i, char(0xAA)), after(777, char(0x55));
        fs.add(path, before + part + after);
        e.body.push_back({path, before.size(), part.size()});
        e.storedsize += part.size();
    }
    return e;
}

// Reads to the end in reads of `buffer` bytes; false when a read fails.
bool readall(BodyReader &r, QByteArray &out, long long buffer, std::error_code &ec)
{
    std::vector<char> buf(static_cast<size_t>(buffer));
    for (int turns = 0; turns < 100'000'000; ++turns) {
        const long long n = r.read(buf.data(), buffer, ec);
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        out.append(buf.data(), qsizetype(n));
    }
    return false;
}

// Reads to the end counting the bytes only; -1 when a read fails.
long long countall(BodyReader &r, std::error_code &ec)
{
    std::vector<char> buf(static_cast<size_t>(BodyReader::chunk));
    long long total = 0;
    for (;;) {
        const long long n = r.read(buf.data(), (long long)buf.size(), ec);
        if (n <= 0)
            return n < 0 ? -1 : total;
        total += n;
    }
}

// The process's peak resident memory, in KB, since the last reset.
long long peakkb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &l : f.readAll().split('\n'))
        if (l.startsWith("VmHWM:"))
            return l.mid(6).trimmed().split(' ').front().toLongLong();
    return -1;
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool measurememory = false; // its quarantine keeps freed memory resident
#else
constexpr bool measurememory = true;
#endif

bool resetpeak()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    return f.open(QIODevice::WriteOnly) && f.write("5") == 1;
}

} // namespace

class TestEntryBodies : public QObject
{
    Q_OBJECT

  private slots:
    void decodes_data()
    {
        QTest::addColumn<QString>("encoding");
        QTest::addColumn<Encoder>("encode");
        QTest::addColumn<int>("pieces");
        QTest::addColumn<long long>("buffer");
        QTest::addColumn<bool>("decoded");
        const Encoder gzip = [](const QByteArray &b) {
            return deflated(b, Wrap::gzip);
        };
        const Encoder zlib = [](const QByteArray &b) {
            return deflated(b, Wrap::zlib);
        };
        const Encoder raw = [](const QByteArray &b) {
            return deflated(b, Wrap::raw);
        };
        const Encoder br = [](const QByteArray &b) {
            return brotlied(b);
        };
        const Encoder zstd = [](const QByteArray &b) {
            return zstded(b);
        };
        const Encoder none = [](const QByteArray &b) {
            return b;
        };
        const long long big = 1 << 20, odd = 4093;
        QTest::newRow("gzip") << "gzip" << gzip << 1 << big << true;
        QTest::newRow("gzip, three pieces, small reads") << "gzip" << gzip << 3 << odd << true;
        QTest::newRow("x-gzip") << "x-gzip" << gzip << 1 << big << true;
        QTest::newRow("deflate, zlib") << "deflate" << zlib << 2 << odd << true;
        QTest::newRow("deflate, raw") << "deflate" << raw << 2 << odd << true;
        QTest::newRow("br") << "br" << br << 3 << odd << true;
        QTest::newRow("zstd") << "zstd" << zstd << 3 << odd << true;
        QTest::newRow("zstd streamed")
            << "zstd" << Encoder([](const QByteArray &b) { return zstded(b, true); }) << 1 << big
            << true;
        QTest::newRow("gzip then br") << "gzip, br" << Encoder([](const QByteArray &b) {
            return brotlied(deflated(b, Wrap::gzip));
        }) << 4 << odd << true;
        QTest::newRow("zstd then deflate then gzip")
            << "zstd, deflate, gzip" << Encoder([](const QByteArray &b) {
                   return deflated(deflated(zstded(b), Wrap::zlib), Wrap::gzip);
               })
            << 2 << big << true;
        QTest::newRow("identity") << "identity" << none << 2 << odd << false;
        QTest::newRow("none") << "" << none << 5 << big << false;
        QTest::newRow("one-byte reads") << "br" << br << 1 << 1LL << true;
    }
    void decodes()
    {
        QFETCH(QString, encoding);
        QFETCH(Encoder, encode);
        QFETCH(int, pieces);
        QFETCH(long long, buffer);
        QFETCH(bool, decoded);
        const QByteArray plain = QTest::currentDataTag() == QByteArray("one-byte reads")
                                     ? plainbody().left(200'000)
                                     : plainbody();
        MemoryFs fs;
        const QByteArray stored = encode(plain);
        const CacheEntry e = entryin(fs, stored, pieces, encoding);
        BodyReader r;
        std::error_code ec;
        QVERIFY(r.open(fs, e, ec));
        QCOMPARE(r.storedsize(), stored.size());
        QByteArray out;
        QVERIFY2(readall(r, out, buffer, ec), qPrintable(r.failure()));
        QCOMPARE(out.size(), plain.size());
        QVERIFY(out == plain);
        QCOMPARE(r.decoded(), decoded);
        QCOMPARE(r.failure(), QString());
        char c;
        QCOMPARE(r.read(&c, 1, ec), 0LL); // and stays at the end
    }

    void concatenatedstreams_data()
    {
        QTest::addColumn<QString>("encoding");
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QByteArray>("plain");
        const QByteArray a = "first part\n", b = noise(300 * 1024, 3);
        QTest::newRow("two gzip members")
            << "gzip" << deflated(a, Wrap::gzip) + deflated(b, Wrap::gzip) << a + b;
        QTest::newRow("gzip, junk after") << "gzip" << deflated(a, Wrap::gzip) + "junk" << a;
        QTest::newRow("two zstd frames") << "zstd" << zstded(a) + zstded(b, true) << a + b;
        QTest::newRow("br, junk after") << "br" << brotlied(b) + "junk" << b;
        QTest::newRow("deflate, junk after") << "deflate" << deflated(b, Wrap::zlib) + "xx" << b;
    }
    void concatenatedstreams()
    {
        QFETCH(QString, encoding);
        QFETCH(QByteArray, stored);
        MemoryFs fs;
        BodyReader r;
        std::error_code ec;
        QVERIFY(r.open(fs, entryin(fs, stored, 2, encoding), ec));
        QByteArray out;
        QVERIFY2(readall(r, out, 65536, ec), qPrintable(r.failure()));
        QTEST(out, "plain");
    }

    // A body that does not decode reads as stored after, with the reason kept.
    void failuresfallbacktostored_data()
    {
        QTest::addColumn<QString>("encoding");
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QString>("why");
        const QByteArray plain = plainbody();
        const QByteArray gz = deflated(plain, Wrap::gzip);
        QTest::newRow("not gzip") << "gzip" << QByteArray("<html>oops</html>") << "not gzip data";
        QTest::newRow("gzip cut short")
            << "gzip" << gz.left(gz.size() / 2) << "gzip data ends early";
        QTest::newRow("gzip without its trailer")
            << "gzip" << gz.left(gz.size() - 8) << "gzip data ends early";
        QByteArray flipped = gz;
        flipped[flipped.size() / 2] = char(flipped[flipped.size() / 2] ^ 0xFF);
        QTest::newRow("gzip bit-flipped") << "gzip" << flipped << "gzip data is corrupt";
        QByteArray crc = gz;
        crc[crc.size() - 6] = char(crc[crc.size() - 6] ^ 1);
        QTest::newRow("gzip checksum wrong") << "gzip" << crc << "gzip data is corrupt";
        const QByteArray zl = deflated(plain, Wrap::zlib);
        QTest::newRow("deflate cut short")
            << "deflate" << zl.left(zl.size() - 100) << "deflate data ends early";
        QTest::newRow("deflate nonsense")
            << "deflate" << QByteArray("\xff\xff\xff\xff", 4) << "deflate data is corrupt";
        const QByteArray br = brotlied(plain);
        QTest::newRow("br cut short") << "br" << br.left(br.size() - 100) << "br data ends early";
        QTest::newRow("not br") << "br" << QByteArray("<html>oops</html>") << "not brotli data";
        const QByteArray zs = zstded(plain);
        QTest::newRow("zstd cut short")
            << "zstd" << zs.left(zs.size() - 100) << "zstd data ends early";
        QTest::newRow("not zstd") << "zstd" << QByteArray("<html>oops</html>") << "not zstd data";
        QTest::newRow("zstd window past 8 MiB")
            << "zstd" << zstdedzeros(20 << 20, 24) << "zstd window larger than 8 MiB";
        QTest::newRow("inner of a chain cut short")
            << "gzip, br" << brotlied(gz.left(gz.size() / 3)) << "gzip data ends early";
    }
    void failuresfallbacktostored()
    {
        QFETCH(QString, encoding);
        QFETCH(QByteArray, stored);
        QFETCH(QString, why);
        MemoryFs fs;
        const CacheEntry e = entryin(fs, stored, 3, encoding);
        BodyReader r;
        std::error_code ec;
        QVERIFY(r.open(fs, e, ec));
        QByteArray out;
        QVERIFY(!readall(r, out, 65536, ec));
        QVERIFY(ec);
        QVERIFY2(r.failure().startsWith(why), qPrintable(r.failure()));
        char c;
        QCOMPARE(r.read(&c, 1, ec), -1LL); // a failed reader stays failed
        QVERIFY(r.openstored(fs, e, ec));
        QVERIFY(r.failure().startsWith(why));
        QVERIFY(!r.decoded());
        out.clear();
        QVERIFY(readall(r, out, 65536, ec));
        QVERIFY(out == stored);
    }

    void refusedencodings_data()
    {
        QTest::addColumn<QString>("encoding");
        QTest::addColumn<QString>("why");
        QTest::newRow("compress") << "compress"
                                  << "unknown encoding \"compress\"";
        QTest::newRow("one unknown of two") << "gzip, sdch"
                                            << "unknown encoding \"sdch\"";
        QTest::newRow("five") << "gzip, gzip, gzip, gzip, gzip"
                              << "more than 4 encodings";
    }
    void refusedencodings()
    {
        QFETCH(QString, encoding);
        MemoryFs fs;
        const CacheEntry e = entryin(fs, "stored bytes", 1, encoding);
        BodyReader r;
        std::error_code ec;
        QVERIFY(!r.open(fs, e, ec));
        QCOMPARE(ec, std::make_error_code(std::errc::not_supported));
        QTEST(r.failure(), "why");
        char c;
        QCOMPARE(r.read(&c, 1, ec), -1LL); // nothing is read as if it were decoded
        QVERIFY(r.openstored(fs, e, ec));
        QByteArray out;
        QVERIFY(readall(r, out, 100, ec));
        QCOMPARE(out, QByteArray("stored bytes"));
        QTEST(r.failure(), "why");
    }

    // Pieces that the cache's files do not hold are refused before anything is read.
    void badpieces_data()
    {
        QTest::addColumn<long long>("offset");
        QTest::addColumn<long long>("length");
        QTest::addColumn<std::string>("file");
        QTest::addColumn<int>("error");
        QTest::newRow("past the end")
            << 90LL << 11LL << std::string("f") << int(std::errc::result_out_of_range);
        QTest::newRow("offset past the end") << 101LL << 0LL << std::string("f") << 0;
        QTest::newRow("huge length") << 1LL << (std::numeric_limits<long long>::max)()
                                     << std::string("f") << int(std::errc::result_out_of_range);
        QTest::newRow("negative") << -1LL << 5LL << std::string("f")
                                  << int(std::errc::invalid_argument);
        QTest::newRow("missing file") << 0LL << 5LL << std::string("g") << -1;
        QTest::newRow("a link") << 0LL << 5LL << std::string("link") << -1;
    }
    void badpieces()
    {
        QFETCH(long long, offset);
        QFETCH(long long, length);
        QFETCH(std::string, file);
        QFETCH(int, error);
        MemoryFs fs;
        fs.add("f", QByteArray(100, 'x'));
        fs.addother("link");
        CacheEntry e;
        e.body.push_back({"f", 0, 10});
        e.body.push_back({file, offset, length});
        BodyReader r;
        std::error_code ec;
        if (error == 0) { // an empty piece is no piece: nothing of it is read
            QVERIFY(r.open(fs, e, ec));
            QCOMPARE(r.storedsize(), 10LL);
            return;
        }
        QVERIFY(!r.open(fs, e, ec));
        if (error > 0)
            QCOMPARE(ec, std::make_error_code(std::errc(error)));
        QVERIFY(ec);
        QVERIFY(r.failure().isEmpty());
        QCOMPARE(r.read(nullptr, 1, ec), -1LL);
    }

    // A bomb stops at its bound, soon and within little memory, and reads as stored after.
    void bombs_data()
    {
        QTest::addColumn<QString>("encoding");
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QString>("why");
        const QString ratio = QStringLiteral("decodes to more than 1000 times its size");
        QTest::newRow("gzip") << "gzip" << deflatedzeros(200LL << 20, Wrap::gzip) << ratio;
        QTest::newRow("br") << "br" << brotliedzeros(1LL << 30) << ratio;
        QTest::newRow("zstd") << "zstd" << zstdedzeros(1LL << 30) << ratio;
        QTest::newRow("chain, bomb inside")
            << "gzip, br" << brotlied(deflatedzeros(64LL << 20, Wrap::gzip)) << ratio;
        // Enough stored bytes that 1,000 times them is past 1 GiB: the size bound comes first.
        QTest::newRow("past 1 GiB")
            << "zstd" << zstded(noise(1200 * 1024), true) + zstdedzeros(1200LL << 20)
            << "decodes past 1 GiB";
    }
    void bombs()
    {
        QFETCH(QString, encoding);
        QFETCH(QByteArray, stored);
        QFETCH(QString, why);
        MemoryFs fs;
        const CacheEntry e = entryin(fs, stored, 1, encoding);
        BodyReader r;
        std::error_code ec;
        QVERIFY(r.open(fs, e, ec));
        const bool peaks = measurememory && resetpeak();
        const long long before = peakkb();
        QElapsedTimer t;
        t.start();
        QCOMPARE(countall(r, ec), -1LL);
        QCOMPARE(r.failure(), why);
        QVERIFY2(t.elapsed() < 30'000, qPrintable(QString::number(t.elapsed())));
#if !defined(__SANITIZE_ADDRESS__)
        if (peaks && before > 0) // the decoders' windows and a chunk: far below the body
            QVERIFY2(peakkb() - before < 64 * 1024, qPrintable(QString::number(peakkb() - before)));
#endif
        QVERIFY(r.openstored(fs, e, ec));
        QCOMPARE(countall(r, ec), stored.size());
        QCOMPARE(r.failure(), why);
    }

    // The greatest ratio allowed decodes; one byte more does not.
    void ratioboundisexact()
    {
        const QByteArray plain(2'000'000, 'a');
        QByteArray stored = zstded(plain);
        for (int pad : {0, 1}) {
            // zstd's skippable frame pads the stored size to exactly 1/1000 of the plain one
            // (less one byte: then the ratio is just past the bound).
            const qsizetype want = plain.size() / 1000 - pad;
            const qsizetype skip = want - stored.size() - 8;
            QVERIFY(skip >= 0);
            QByteArray padded = stored;
            padded += QByteArray("\x50\x2a\x4d\x18", 4);
            const quint32 n = quint32(skip);
            padded += QByteArray(reinterpret_cast<const char *>(&n), 4) + QByteArray(skip, '\0');
            QCOMPARE(padded.size(), want);
            MemoryFs fs;
            BodyReader r;
            std::error_code ec;
            QVERIFY(r.open(fs, entryin(fs, padded, 1, QStringLiteral("zstd")), ec));
            QCOMPARE(countall(r, ec), pad == 0 ? plain.size() : -1LL);
        }
    }

    void sizehints_data()
    {
        QTest::addColumn<QString>("encoding");
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<long long>("hint");
        const QByteArray plain = plainbody(), small = "a small body";
        const long long size = plain.size();
        QTest::newRow("none") << "" << plain << size;
        QTest::newRow("identity") << "identity" << plain << size;
        QTest::newRow("gzip") << "gzip" << deflated(plain, Wrap::gzip) << size;
        QTest::newRow("gzip, small") << "gzip" << deflated(small, Wrap::gzip) << small.size() + 0LL;
        QTest::newRow("gzip with a name")
            << "x-gzip" << deflated(plain, Wrap::gzip, "page.html") << size;
        static const std::string longname(3000, 'n'); // more header than body
        QTest::newRow("gzip with a long name, small")
            << "gzip" << deflated(small, Wrap::gzip, longname.c_str()) << small.size() + 0LL;
        // Past 4 MiB of deflate data, ISIZE + 2^32 is a size it could hold as well.
        QTest::newRow("gzip, size mod 2^32 ambiguous")
            << "gzip" << deflated(noise(5 << 20), Wrap::gzip) << -1LL;
        QTest::newRow("gzip of noise")
            << "gzip" << deflated(noise(100'000), Wrap::gzip) << 100'000LL;
        QTest::newRow("gzip, small last member")
            << "gzip" << deflated(noise(100'000), Wrap::gzip) + deflated(small, Wrap::gzip) << -1LL;
        QTest::newRow("gzip, not gzip") << "gzip" << plain << -1LL;
        QTest::newRow("gzip bomb") << "gzip" << deflatedzeros(100LL << 20, Wrap::gzip) << -1LL;
        QTest::newRow("zstd") << "zstd" << zstded(plain) << size;
        QTest::newRow("zstd streamed") << "zstd" << zstded(plain, true) << -1LL;
        QTest::newRow("zstd, two frames") << "zstd" << zstded(plain) + zstded(small) << -1LL;
        QTest::newRow("zstd cut short") << "zstd" << zstded(plain).chopped(1) << -1LL;
        QTest::newRow("br") << "br" << brotlied(plain) << -1LL;
        QTest::newRow("deflate") << "deflate" << deflated(plain, Wrap::zlib) << -1LL;
        QTest::newRow("chain") << "gzip, gzip" << deflated(deflated(plain, Wrap::gzip), Wrap::gzip)
                               << -1LL;
    }
    void sizehints()
    {
        QFETCH(QString, encoding);
        QFETCH(QByteArray, stored);
        QFETCH(long long, hint);
        MemoryFs fs;
        const CacheEntry e = entryin(fs, stored, 3, encoding);
        QCOMPARE(decodedsizehint(fs, e), hint);
        if (hint < 0)
            return;
        BodyReader r; // the hint is the size decoding gives
        std::error_code ec;
        QVERIFY(r.open(fs, e, ec));
        QCOMPARE(countall(r, ec), hint);
    }
};

QTEST_GUILESS_MAIN(TestEntryBodies)
#include "tst_entrybodies.moc"
