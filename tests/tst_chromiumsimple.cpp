// Chromium's Simple Cache read from a real cache of each layout (the 32-bit sample, a 64-bit one
// Chromium 156 wrote for the fuzz seeds) and from entries laid out here as Chromium lays them.
#include "chromiumhttp.h"
#include "chromiumsimple.h"
#include "fuzzinput.h"
#include "simplecachelayout.h"

#include <fcntl.h>
#include <unistd.h>

#include <QtTest>

using namespace vellomar;
using namespace vellomar::test;

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
    void readboundaries();
    void crc();
    void recognised_data();
    void recognised();
    void storedat_data();
    void storedat();
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

QTEST_GUILESS_MAIN(TestChromiumSimple)
#include "tst_chromiumsimple.moc"
