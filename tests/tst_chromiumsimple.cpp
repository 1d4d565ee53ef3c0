// Chromium's Simple Cache read from a real cache of each layout (the 32-bit sample, a 64-bit one
// Chromium 156 wrote for the fuzz seeds) and from entries laid out here as Chromium lays them,
// whole and damaged.
#include "chromiumhttp.h"
#include "chromiumsimple.h"
#include "crc32.h"
#include "fuzzinput.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QtEndian>
#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

using namespace vellomar;

namespace {

// The samples shared beside the checkout, read in place (VELLOMAR_SAMPLES names another).
const QString samplefolder = QDir::cleanPath((qEnvironmentVariableIsEmpty("VELLOMAR_SAMPLES")
                                                  ? QStringLiteral(VELLOMAR_SAMPLES)
                                                  : qEnvironmentVariable("VELLOMAR_SAMPLES")) +
                                             "/simplecache/testdata");
const QString seedfile = QStringLiteral(VELLOMAR_SIMPLESEED);

constexpr quint64 initialmagic = 0xfcfb6d1ba7725c30ULL;
constexpr quint64 finalmagic = 0xf4fa6f45970d41d8ULL;
constexpr quint64 sparsemagic = 0xeb97bf016553676bULL;

template <typename T> void put(QByteArray &out, T value)
{
    value = qToLittleEndian(value);
    out.append(reinterpret_cast<const char *>(&value), sizeof value);
}

// base::Time of 2024-05-06 07:08:09 UTC, in microseconds from 1601.
constexpr qint64 sometime = (1714979289LL + 11644473600LL) * 1000000LL;

// A pickled HttpResponseInfo as Chromium 156 writes it: flags with the extra-flags bit, the
// original response time, the raw headers '\0'-ended, then the socket address.
QByteArray responseinfo(const QByteArrayList &lines, qint64 request = sometime,
                        qint64 response = sometime + 1000, bool extra = true)
{
    QByteArray payload;
    const quint32 version = 3, hasconnectioninfo = 1u << 18, hasextra = 1u << 31;
    put<quint32>(payload, version | hasconnectioninfo | (extra ? hasextra : 0));
    if (extra)
        put<quint32>(payload, 1u << 2);
    put<qint64>(payload, request);
    put<qint64>(payload, response);
    if (extra)
        put<qint64>(payload, response);
    QByteArray raw = lines.join('\0') + QByteArray(2, '\0');
    put<qint32>(payload, qint32(raw.size()));
    payload += raw;
    while (payload.size() % 4)
        payload += '\0';
    put<qint32>(payload, 9);
    payload += "127.0.0.1";
    payload += QByteArray(3, '\0');
    put<quint16>(payload, 80);
    payload += QByteArray(2, '\0');
    put<qint32>(payload, 1);
    QByteArray pickle;
    put<quint32>(pickle, quint32(payload.size()));
    return pickle + payload;
}

struct Layout {
    int header, eof, range;
};
constexpr Layout wide{24, 24, 32}, narrow{20, 20, 28};

QByteArray eofrecord(const Layout &l, quint32 flags, quint32 crc, quint32 size)
{
    QByteArray out;
    put<quint64>(out, finalmagic);
    put<quint32>(out, flags);
    put<quint32>(out, crc);
    put<quint32>(out, size);
    return out.leftJustified(l.eof, '\0');
}

QByteArray fileheader(const Layout &l, quint32 version, qsizetype keylength)
{
    QByteArray out;
    put<quint64>(out, initialmagic);
    put<quint32>(out, version);
    put<quint32>(out, quint32(keylength));
    put<quint32>(out, 0x12345678); // the key's hash: not read
    return out.leftJustified(l.header, '\0');
}

// An entry's _0 file, laid out as SimpleSynchronousEntry writes it.
QByteArray entryfile(const QByteArray &key, const QByteArray &body, const QByteArray &stream0,
                     const Layout &l = wide, bool withcrc = true, bool withsha = true)
{
    const quint32 hascrc = 1, hassha = 2;
    QByteArray out = fileheader(l, 5, key.size()) + key + body;
    out += eofrecord(l, withcrc ? hascrc : 0, withcrc ? crc32(body.constData(), body.size()) : 0,
                     quint32(body.size()));
    out += stream0;
    if (withsha)
        out += QCryptographicHash::hash(key, QCryptographicHash::Sha256);
    out += eofrecord(l, (withcrc ? hascrc : 0) | (withsha ? hassha : 0),
                     withcrc ? crc32(stream0.constData(), stream0.size()) : 0,
                     quint32(stream0.size()));
    return out;
}

struct Range {
    quint64 offset;
    QByteArray data;
};

QByteArray sparsefile(const QByteArray &key, const QList<Range> &ranges, const Layout &l = wide)
{
    QByteArray out = fileheader(l, 1, key.size()) + key;
    for (const Range &r : ranges) {
        QByteArray h;
        put<quint64>(h, sparsemagic);
        put<quint64>(h, r.offset);
        put<quint64>(h, quint64(r.data.size()));
        put<quint32>(h, crc32(r.data.constData(), r.data.size()));
        out += h.leftJustified(l.range, '\0') + r.data;
    }
    return out;
}

const QByteArray somekey =
    "1/0/_dk_https://example.com https://example.com https://cdn.example.com/a.png";
const QByteArray someaddress = "https://cdn.example.com/a.png";
const QByteArray otherkey =
    "1/0/_dk_https://example.com https://example.com https://cdn.example.com/b.png";

// An entry's file name: the first 8 bytes of its key's SHA-1 as a little-endian number, in hex.
std::string entryname(const QByteArray &key, char suffix = '0')
{
    const QByteArray sha1 = QCryptographicHash::hash(key, QCryptographicHash::Sha1);
    QByteArray hex;
    for (int i = 7; i >= 0; --i)
        hex += QByteArray(1, sha1[i]).toHex();
    return hex.toStdString() + "_" + suffix;
}
const QByteArrayList okhead{"HTTP/1.1 200 OK", "Content-Type: image/png", "Content-Length: 4"};

QByteArray bodyof(const ReadOnlyFs &fs, const CacheEntry &e)
{
    QByteArray out;
    for (const BodyPiece &p : e.body) {
        std::error_code ec;
        auto f = fs.open(p.file, ec);
        if (!f)
            return "(cannot open " + QByteArray::fromStdString(p.file) + ")";
        QByteArray bytes = f->read(p.offset, p.length, ec);
        if (ec)
            return "(piece past its file)";
        out += bytes;
    }
    return out;
}

QString sha256hex(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

QByteArray readall(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList reasons(const ReadReport &report)
{
    QStringList out;
    for (const auto &l : report.leftout)
        out << l.storedat + ": " + l.reason;
    return out;
}

} // namespace

class TestChromiumSimple : public QObject
{
    Q_OBJECT

  private slots:
    void sample_data();
    void sample();
    void sixtyfourbit_data();
    void sixtyfourbit();
    void keyaddress_data();
    void keyaddress();
    void layouts_data();
    void layouts();
    void sparse_data();
    void sparse();
    void hostile_data();
    void hostile();
    void hostilesparse_data();
    void hostilesparse();
    void manysparseranges();
    void longkey();
    void readboundaries();
    void bitflips();
    void crc();
    void recognised_data();
    void recognised();
    void storedat_data();
    void storedat();
    void unreadable();
};

// Addresses, body lengths and SHA-256s found with Python from Chromium's layout, each body
// checked to be one whole gzip stream (or, for the PNG, to be a whole PNG).
void TestChromiumSimple::sample_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("address");
    QTest::addColumn<qlonglong>("length");
    QTest::addColumn<QString>("sha256");
    auto row = [](const char *file, const char *address, qlonglong length, const char *sha) {
        QTest::newRow(file) << QString::fromLatin1(file) << QString::fromLatin1(address) << length
                            << QString::fromLatin1(sha);
    };
    row("329f9c2d34eb0523_0", "https://golang.org/pkg/os/", 14789,
        "4879d4dba53c965182b18771069fe0560735403ad5880e29aef0f4feaa9dda36");
    row("36d2a4716c77194d_0", "https://golang.org/lib/godoc/jquery.treeview.js", 2534,
        "3ae95a4ba63f9b78619f4a269b392555d82d49a5a8aeb1be2d82058a6cbea127");
    row("4d522977a9d92736_0", "https://golang.org/pkg/", 8523,
        "c97daa82963368313b2c96d24ad5b210adc7ebe996444a01f9162ec58615e6d9");
    row("4e5b177c943d8ee0_0", "https://golang.org/pkg/io/ioutil/", 4684,
        "93e6050c9b108b12ff10dbc88f7181fc89f1c1e916020484f87908c4e9a90625");
    row("51d54ab35ce343ea_0", "https://golang.org/lib/godoc/godocs.js", 5279,
        "acf0b3298c0c90e7e3cb88ad88475be0ac84551400b4b842b6fbe1917c00ed83");
    row("55782b6621f25a58_0", "https://golang.org/pkg/io/", 10926,
        "bca74ac9c971177a518baddbca9fb2771f769aedb9514f164043a5dcbeb5356e");
    row("6a5a092a607295ea_0", "https://golang.org/pkg/bufio/", 10966,
        "2a8ebbcd5d9fe01c5f4aaacb448abddd4c8b71581513ce84285e9f4b728a7850");
    row("8e8dcd288a0d7920_0", "https://ssl.google-analytics.com/ga.js", 16022,
        "1c92948832be823e16d40195f5f66135368b5cb3f8a7833c3e25f558f16fecfb");
    row("9d38f3624ed4a85c_0", "https://golang.org/favicon.ico", 321,
        "509e595e353282e606d4ab8930484a3714769db86a6b9eaf65cf113447b02045");
    row("a0a6f47a8175a75e_0", "https://golang.org/pkg/strconv/", 9869,
        "f732b8c7a762ecb62495ee38bf1061c27c713fe14122628887a38edd774ffcb9");
    row("a95a6bc37488af73_0", "https://ajax.googleapis.com/ajax/libs/jquery/1.8.2/jquery.min.js",
        33397, "f4c38bc13a21d9f0b1be8a5114bec8530a1925ff5f61b32d518ae7565f6bd5f3");
    row("bb9d1cda868d278c_0", "https://golang.org/doc/gopher/pkg.png", 5409,
        "927d2cae58bb53cdd087bb7178afeff9dab8ec1691cbd01aeccae62559da2791");
    row("c2e0a9bb2e5b256d_0", "https://golang.org/lib/godoc/jquery.treeview.css", 733,
        "6e8e26d65894cce6320b2c97520f273fa6967db3e58c6dc4f5c1140f994aafeb");
    row("c47ff3921af67e65_0", "https://golang.org/pkg/bytes/", 11741,
        "3c286d394d970c68a8eee6c1aac3e9ce3d8f0df3be2d44cc7836278bc6e208a2");
    row("c6b1c75ee113a942_0", "https://golang.org/lib/godoc/style.css", 2773,
        "3e4818c59c1c5d9a6253b7cae91b7fb06b3c8891859ab508ed2df5e511c75226");
    row("df635ac21e8a65f1_0", "https://golang.org/pkg/strings/", 10346,
        "d544131cb23a4478f8a7f081e5ed07471215e2dbe1339cfea4b55bdada36c8cb");
    row("eab39d1ceb121cdc_0", "https://golang.org/lib/godoc/playground.js", 3755,
        "e3aa50aa3f135ada65a8942f48e7db979629ba2a25fef5eedb756e6d4ffeb0f5");
    row("f21a90b578066ccc_0", "https://golang.org/lib/godoc/jquery.treeview.edit.js", 598,
        "367ef3d2d531f3c860d18c63549f82b6664be6c409ef4e690e4d5c3fad5a93c5");
    row("fb4ae632c995772d_0", "https://golang.org/pkg/builtin/", 7782,
        "79a4f739b16f78ed4b7eae2e29b66fe440373e657486ce713fe47d99569d1608");
}

void TestChromiumSimple::sample()
{
    QFETCH(QString, file);
    QFETCH(QString, address);
    QFETCH(qlonglong, length);
    QFETCH(QString, sha256);
    if (!QDir(samplefolder).exists())
        QSKIP(qPrintable("the sample is missing: " + samplefolder +
                         " (from ../shared/samples/simplecache)"));
    // The local disk beneath the cache's parent, as a found cache is read.
    int root = ::open(QFile::encodeName(samplefolder + "/..").constData(), O_RDONLY | O_DIRECTORY);
    QVERIFY(root >= 0);
    auto fs = localfs(root);
    ::close(root);
    QVERIFY(issimplecache(*fs, "testdata"));
    ReadReport report;
    const std::vector<CacheEntry> entries = readsimplecache(*fs, "testdata", &report);
    QCOMPARE(reasons(report), QStringList());
    QCOMPARE(entries.size(), size_t(19));
    auto it = std::find_if(entries.begin(), entries.end(),
                           [&](const CacheEntry &e) { return e.storedat == "testdata/" + file; });
    QVERIFY(it != entries.end());
    QCOMPARE(it->address, address);
    QCOMPARE(it->key, address.toUtf8()); // this cache predates the partition prefix
    QCOMPARE(it->storedsize, length);
    QCOMPARE(it->body.size(), size_t(1));
    QCOMPARE(sha256hex(bodyof(*fs, *it)), sha256);
    QCOMPARE(it->httpstatus, 200);
    QVERIFY2(it->responsehead.startsWith("HTTP/1.1 200\r\n"), it->responsehead.constData());
    QVERIFY(it->responsehead.endsWith("\r\n"));
    QVERIFY(!it->responsehead.contains('\0'));
    // Fetched on 2016-07-17 (their Date headers say so), the request a moment before the response.
    QCOMPARE(it->requesttime.date(), QDate(2016, 7, 17));
    QVERIFY(it->requesttime <= it->responsetime);
    QVERIFY(it->requesttime.secsTo(it->responsetime) < 60);
}

// The fuzz seed: a cache Chromium 156 wrote on amd64 for a loopback server, packed into one
// file. Its bodies are the files the server sent.
void TestChromiumSimple::sixtyfourbit_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("contenttypeline");
    QTest::addColumn<qlonglong>("length");
    QTest::addColumn<QString>("sha256");
    auto row = [](const char *file, const char *path, int status, const char *type,
                  qlonglong length, const char *sha) {
        QTest::newRow(file) << QString::fromLatin1(file)
                            << "http://127.0.0.1:18731/" + QString::fromLatin1(path) << status
                            << QString::fromLatin1(type) << length << QString::fromLatin1(sha);
    };
    row("707bc78facf7befc_0", "pic.png", 200, "Content-Type: image/png", 367,
        "b28dda4097083f11e72d602c16fe55d53ca84e35ef5661d7ff5d170055f9ae5c");
    row("a2d85c16928b5fef_0", "photo.jpg", 200, "Content-Type: image/jpeg", 533,
        "2da3857befa2bc22c290e918a9ad8050bfece9255ad8c11a894c3a9b200fe489");
    row("f1efb05bcb55510e_0", "noext", 200, "Content-Type: image/jpeg", 533,
        "2da3857befa2bc22c290e918a9ad8050bfece9255ad8c11a894c3a9b200fe489");
    row("db369fcbd4e97da9_0", "index.html", 200, "Content-Type: text/html", 358,
        "9db8f4c733a7b624afa2c5ac651dcfcb124cf2cb3dc328d73051e7f9e25d8675");
    row("1b6fa9ceb11dda45_0", "app.js", 200, "Content-Encoding: gzip", 40,
        "c70a653507cd7f0c32c0ab366941cd51bacdaf90881807d99c6d67d43ef80ef8");
    row("6b4df434680fce66_0", "favicon.ico", 404, "Content-Type: text/html;charset=utf-8", 330,
        "c96cf8ce66abd86013abd1e0052663681b6d57a5b0920274cea85b3060759aaa");
}

void TestChromiumSimple::sixtyfourbit()
{
    QFETCH(QString, file);
    QFETCH(QString, address);
    QFETCH(int, status);
    QFETCH(QString, contenttypeline);
    QFETCH(qlonglong, length);
    QFETCH(QString, sha256);
    const QByteArray packed = readall(seedfile);
    QVERIFY2(!packed.isEmpty(), qPrintable(seedfile));
    MemoryFs fs = fuzz::memoryfs(reinterpret_cast<const uint8_t *>(packed.constData()),
                                 size_t(packed.size()));
    QVERIFY(issimplecache(fs, ""));
    ReadReport report;
    const std::vector<CacheEntry> entries = readsimplecache(fs, "", &report);
    QCOMPARE(reasons(report), QStringList());
    QCOMPARE(entries.size(), size_t(6));
    auto it = std::find_if(entries.begin(), entries.end(),
                           [&](const CacheEntry &e) { return e.storedat == file; });
    QVERIFY(it != entries.end());
    QCOMPARE(it->address, address);
    QCOMPARE(it->key, "1/0/_dk_http://127.0.0.1 http://127.0.0.1 " + address.toUtf8());
    QCOMPARE(it->httpstatus, status);
    QVERIFY2(it->responsehead.startsWith("HTTP/1.0 " + QByteArray::number(status) + " "),
             it->responsehead.constData());
    QVERIFY2(it->responsehead.contains("\r\n" + contenttypeline.toLatin1() + "\r\n"),
             it->responsehead.constData());
    QCOMPARE(it->storedsize, length);
    QCOMPARE(sha256hex(bodyof(fs, *it)), sha256);
    QCOMPARE(it->requesttime.date(), QDate(2026, 12, 11));
    QVERIFY(it->requesttime <= it->responsetime);
    QVERIFY(it->contenttype.isEmpty() && it->contentencoding.isEmpty());
}

void TestChromiumSimple::keyaddress_data()
{
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QString>("address");
    QTest::newRow("plain URL") << QByteArray("https://a.example/x.swf")
                               << "https://a.example/x.swf";
    QTest::newRow("credentials and upload")
        << QByteArray("1/0/https://a.example/x.flv") << "https://a.example/x.flv";
    QTest::newRow("an upload's number, before the credentials were kept")
        << QByteArray("1234/https://a.example/post") << "https://a.example/post";
    QTest::newRow("partitioned")
        << QByteArray(
               "1/0/_dk_https://site.example https://frame.example https://cdn.example/v.mp4?a=1")
        << "https://cdn.example/v.mp4?a=1";
    QTest::newRow("partitioned subframe document")
        << QByteArray(
               "1/0/_dk_s_https://site.example https://site.example https://site.example/f.html")
        << "https://site.example/f.html";
    QTest::newRow("partitioned, another prefix")
        << QByteArray("1/0/_cn_https://site.example https://site.example https://x.example/y")
        << "https://x.example/y";
    QTest::newRow("a space after the URL's start is not a partition")
        << QByteArray("1/0/https://a.example/x y") << "https://a.example/x y";
    QTest::newRow("digits in the URL's path are kept")
        << QByteArray("https://a.example/1/0/x") << "https://a.example/1/0/x";
    QTest::newRow("a URL whose first segment is not all digits")
        << QByteArray("0/1a/https://x") << "1a/https://x";
}

void TestChromiumSimple::keyaddress()
{
    QFETCH(QByteArray, key);
    QFETCH(QString, address);
    QCOMPARE(chromiumkeyaddress(key), address);
    MemoryFs fs;
    fs.add(entryname(key),
           entryfile(key, "GIF8", responseinfo({"HTTP/1.1 200 OK", "Content-Type: image/gif"})));
    const auto entries = readsimplecache(fs, "");
    QCOMPARE(entries.size(), size_t(1));
    QCOMPARE(entries[0].key, key);
    QCOMPARE(entries[0].address, address);
}

void TestChromiumSimple::layouts_data()
{
    QTest::addColumn<bool>("iswide");
    QTest::addColumn<bool>("withcrc");
    QTest::addColumn<bool>("withsha");
    QTest::addColumn<bool>("extraflags");
    QTest::addColumn<int>("bodysize");
    QTest::addColumn<int>("headersize");
    QTest::newRow("64-bit, CRC and key SHA-256") << true << true << true << true << 20 << 0;
    QTest::newRow("64-bit, no CRC, no SHA-256") << true << false << false << true << 20 << 0;
    QTest::newRow("32-bit, CRC, no SHA-256") << false << true << false << false << 20 << 0;
    QTest::newRow("32-bit, CRC and key SHA-256") << false << true << true << true << 20 << 0;
    // Past the reader's first read from the end (4 KB).
    QTest::newRow("a large body") << true << true << true << true << 100000 << 0;
    QTest::newRow("large response info") << true << true << true << true << 100 << 12000;
    QTest::newRow("32-bit, both large") << false << true << false << false << 70000 << 9000;
    QTest::newRow("an empty body") << true << true << true << true << 0 << 0;
}

void TestChromiumSimple::layouts()
{
    QFETCH(bool, iswide);
    QFETCH(bool, withcrc);
    QFETCH(bool, withsha);
    QFETCH(bool, extraflags);
    QFETCH(int, bodysize);
    QFETCH(int, headersize);
    const Layout &l = iswide ? wide : narrow;
    QByteArray body(bodysize, '\0');
    for (int i = 0; i < bodysize; ++i)
        body[i] = char(i * 7 + i / 251);
    QByteArrayList head = okhead;
    if (headersize)
        head << "X-Padding: " + QByteArray(headersize, 'p');
    const QByteArray file =
        entryfile(somekey, body, responseinfo(head, sometime, sometime + 250000, extraflags), l,
                  withcrc, withsha);
    MemoryFs fs;
    const std::string path = "Cache_Data/" + entryname(somekey);
    fs.add(path, file);
    ReadReport report;
    const auto entries = readsimplecache(fs, "Cache_Data", &report);
    QCOMPARE(reasons(report), QStringList());
    QCOMPARE(entries.size(), size_t(1));
    const CacheEntry &e = entries[0];
    QCOMPARE(e.address, QString::fromLatin1(someaddress));
    QCOMPARE(e.responsehead, head.join("\r\n") + "\r\n");
    QCOMPARE(e.httpstatus, 200);
    QCOMPARE(e.requesttime, QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9), QTimeZone::utc()));
    QCOMPARE(e.responsetime, QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9, 250), QTimeZone::utc()));
    QCOMPARE(e.storedat, QString::fromStdString(path));
    QCOMPARE(e.body.size(), size_t(bodysize ? 1 : 0));
    if (bodysize) {
        QCOMPARE(e.body[0].file, path);
        QCOMPARE(e.body[0].offset, qlonglong(l.header + somekey.size()));
    }
    QCOMPARE(e.storedsize, qlonglong(body.size()));
    QCOMPARE(bodyof(fs, e), body);
}

void TestChromiumSimple::sparse_data()
{
    QTest::addColumn<QList<Range>>("ranges");
    QTest::addColumn<bool>("iswide");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("pieces");
    const QByteArray a(1000, 'a'), b(500, 'b'), c(300, 'c');
    QTest::newRow("contiguous") << QList<Range>{{0, a}, {1000, b}, {1500, c}} << true << a + b + c
                                << 3;
    QTest::newRow("32-bit layout") << QList<Range>{{0, a}, {1000, b}} << false << a + b << 2;
    QTest::newRow("a gap ends the body")
        << QList<Range>{{0, a}, {1200, b}, {1700, c}} << true << a << 1;
    QTest::newRow("written out of order")
        << QList<Range>{{1500, c}, {0, a}, {1000, b}} << true << a + b + c << 3;
    QTest::newRow("overlapping: the later bytes only")
        << QList<Range>{{0, a}, {800, b}} << true << a + b.mid(200) << 2;
    QTest::newRow("a range inside another")
        << QList<Range>{{0, a}, {100, c}, {1000, b}} << true << a + b << 2;
    QTest::newRow("nothing at offset 0") << QList<Range>{{10, a}} << true << QByteArray() << 0;
    QTest::newRow("no ranges") << QList<Range>{} << true << QByteArray() << 0;
    QTest::newRow("an empty range") << QList<Range>{{0, {}}, {0, a}} << true << a << 1;
}

void TestChromiumSimple::sparse()
{
    QFETCH(QList<Range>, ranges);
    QFETCH(bool, iswide);
    QFETCH(QByteArray, body);
    QFETCH(int, pieces);
    const Layout &l = iswide ? wide : narrow;
    MemoryFs fs;
    const QByteArrayList head{"HTTP/1.1 206 Partial Content", "Content-Type: video/mp4"};
    fs.add("c/" + entryname(somekey), entryfile(somekey, {}, responseinfo(head), l));
    fs.add("c/" + entryname(somekey, 's'), sparsefile(somekey, ranges, l));
    // Stream 1 wins over a sparse file beside it.
    fs.add("c/" + entryname(otherkey), entryfile(otherkey, "dense", responseinfo(head), l));
    fs.add("c/" + entryname(otherkey, 's'), sparsefile(otherkey, ranges, l));
    ReadReport report;
    const auto entries = readsimplecache(fs, "c", &report);
    QCOMPARE(reasons(report), QStringList());
    QCOMPARE(entries.size(), size_t(2));
    const bool somefirst = entryname(somekey) < entryname(otherkey);
    const CacheEntry &sparse = entries[somefirst ? 0 : 1], &dense = entries[somefirst ? 1 : 0];
    QCOMPARE(sparse.storedat, QString::fromStdString("c/" + entryname(somekey)));
    QCOMPARE(int(sparse.body.size()), pieces);
    QCOMPARE(sparse.storedsize, qlonglong(body.size()));
    QCOMPARE(bodyof(fs, sparse), body);
    for (const BodyPiece &p : sparse.body)
        QCOMPARE(p.file, "c/" + entryname(somekey, 's'));
    QCOMPARE(sparse.httpstatus, 206);
    QCOMPARE(bodyof(fs, dense), QByteArray("dense"));
}

// Each a damaged copy of a whole entry: it is left out, with why, and nothing else is lost.
void TestChromiumSimple::hostile_data()
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

void TestChromiumSimple::hostile()
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

void TestChromiumSimple::hostilesparse_data()
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

void TestChromiumSimple::hostilesparse()
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
void TestChromiumSimple::manysparseranges()
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
void TestChromiumSimple::longkey()
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

// The reader reads an entry's first 1 KB and last 4 KB, then what else it needs: keys, bodies
// and records lying across either edge, by a byte or two, read whole.
void TestChromiumSimple::readboundaries()
{
    const int head = 1024, tail = 4096;
    int cases = 0;
    for (const Layout *l : {&wide, &narrow}) {
        const QByteArray stream0 = responseinfo(okhead);
        const bool withsha = l == &wide;
        const qsizetype records = 2 * l->eof + stream0.size() + (withsha ? 32 : 0);
        for (int keydelta = -2; keydelta <= 2; ++keydelta) {
            // The key ends at the head read's end, give or take; the body is large.
            const QByteArray key =
                "https://a.example/" + QByteArray(head - l->header - 18 + keydelta, 'k');
            for (int taildelta = -2; taildelta <= 2; ++taildelta) {
                // The tail read starts at the header's end, the key's end, give or take.
                for (qsizetype start : {qsizetype(l->header), l->header + key.size()}) {
                    const qsizetype size = tail + start + taildelta;
                    const qsizetype bodysize = size - l->header - key.size() - records;
                    if (bodysize < 0)
                        continue;
                    QByteArray body(bodysize, '\0');
                    for (qsizetype i = 0; i < bodysize; ++i)
                        body[i] = char(i * 13 + keydelta);
                    MemoryFs fs;
                    fs.add(entryname(key), entryfile(key, body, stream0, *l, true, withsha));
                    ReadReport report;
                    const auto entries = readsimplecache(fs, "", &report);
                    QCOMPARE(reasons(report), QStringList());
                    QCOMPARE(entries.size(), size_t(1));
                    QCOMPARE(entries[0].key, key);
                    QCOMPARE(bodyof(fs, entries[0]), body);
                    ++cases;
                }
            }
        }
    }
    // Stream 0 and the records around it end where the last read starts, give or take.
    for (const Layout *l : {&wide, &narrow}) {
        const qsizetype bare = responseinfo(okhead).size(), sha = l == &wide ? 32 : 0;
        for (int delta = -8; delta <= 8; delta += 4) {
            const qsizetype padding = tail - 2 * l->eof - sha - bare + delta - 16;
            QByteArrayList head = okhead;
            head << "X-Padding: " + QByteArray(padding, 'p');
            QByteArray stream0 = responseinfo(head);
            const QByteArray body(5000, 'b');
            MemoryFs fs;
            fs.add(entryname(somekey), entryfile(somekey, body, stream0, *l, true, sha != 0));
            ReadReport report;
            const auto entries = readsimplecache(fs, "", &report);
            QCOMPARE(reasons(report), QStringList());
            QCOMPARE(entries.size(), size_t(1));
            QCOMPARE(entries[0].responsehead, head.join("\r\n") + "\r\n");
            QCOMPARE(bodyof(fs, entries[0]), body);
            ++cases;
        }
    }
    QVERIFY(cases > 50);
}

// Every bit flip of a real entry's bytes (the sample's, else the 64-bit seed's) over a spread of
// offsets: the entry is read or left out, never both, and what is read lies inside its file.
void TestChromiumSimple::bitflips()
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

// zlib's CRC-32, as Chromium's records keep it: the check value, a run past the 8-byte steps, and
// a sum continued.
void TestChromiumSimple::crc()
{
    QCOMPARE(crc32("123456789", 9), 0xCBF43926u);
    QByteArray run;
    for (int i = 0; i < 768; ++i)
        run += char(i % 256);
    QCOMPARE(crc32(run.constData(), size_t(run.size())), 0xB0C0DF2Au); // zlib.crc32 in Python
    for (int cut : {0, 1, 7, 8, 9, 500, 767})
        QCOMPARE(crc32(run.constData() + cut, size_t(run.size() - cut),
                       crc32(run.constData(), size_t(cut))),
                 0xB0C0DF2Au);
    QCOMPARE(crc32(nullptr, 0), 0u);
}

void TestChromiumSimple::recognised_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<bool>("simple");
    QTest::newRow("entry file") << QStringList{"c/0123456789abcdef_0"} << true;
    QTest::newRow("upper-case hex") << QStringList{"c/0123456789ABCDEF_0"} << true;
    QTest::newRow("the real index alone") << QStringList{"c/index-dir/the-real-index"} << true;
    QTest::newRow("an index-dir without it") << QStringList{"c/index-dir/other"} << false;
    QTest::newRow("stream 2 only") << QStringList{"c/0123456789abcdef_1"} << false;
    QTest::newRow("15 digits") << QStringList{"c/0123456789abcde_0"} << false;
    QTest::newRow("not hex") << QStringList{"c/0123456789abcdeg_0"} << false;
    QTest::newRow("doomed") << QStringList{"c/todelete_0123456789abcdef_0"} << false;
    QTest::newRow("blockfile") << QStringList{"c/index", "c/data_0", "c/f_000001"} << false;
    QTest::newRow("entry one folder down") << QStringList{"c/d/0123456789abcdef_0"} << false;
    QTest::newRow("nothing") << QStringList{"other/x"} << false;
}

void TestChromiumSimple::recognised()
{
    QFETCH(QStringList, files);
    QFETCH(bool, simple);
    MemoryFs fs;
    for (const QString &f : files)
        fs.add(f.toStdString(), "x");
    QCOMPARE(issimplecache(fs, "c"), simple);
}

void TestChromiumSimple::storedat_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("storedat");
    QTest::newRow("root") << ""
                          << "";
    QTest::newRow("one folder") << "Cache_Data"
                                << "Cache_Data/";
    QTest::newRow("deeper") << "Default/Cache/Cache_Data"
                            << "Cache_Data/";
}

void TestChromiumSimple::storedat()
{
    QFETCH(QString, folder);
    QFETCH(QString, storedat);
    MemoryFs fs;
    const std::string f = folder.toStdString();
    fs.add(fsjoin(f, entryname(somekey)), entryfile(somekey, "x", responseinfo(okhead)));
    fs.add(fsjoin(f, entryname(otherkey)), "broken");
    ReadReport report;
    const auto entries = readsimplecache(fs, f, &report);
    QCOMPARE(entries.size(), size_t(1));
    QCOMPARE(entries[0].storedat, storedat + QString::fromStdString(entryname(somekey)));
    QCOMPARE(entries[0].body[0].file, fsjoin(f, entryname(somekey)));
    QCOMPARE(report.leftout.size(), size_t(1));
    QCOMPARE(report.leftout[0].storedat, storedat + QString::fromStdString(entryname(otherkey)));
}

void TestChromiumSimple::unreadable()
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

QTEST_GUILESS_MAIN(TestChromiumSimple)
#include "tst_chromiumsimple.moc"
