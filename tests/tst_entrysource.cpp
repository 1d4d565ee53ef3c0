// A cache's entries and their bytes from one source, and the one dig job over them, from the
// core alone: bodies that are ranges of larger files and several pieces, entries changed or
// gone between the listing and the dig, and a cache that is never written to.
#include "cacheformat.h"
#include "digjob.h"
#include "entrydecoding.h"
#include "entrysource.h"
#include "entrystream.h"
#include "filecopy.h"
#include "manifest.h"
#include "passlock.h"
#include "platform.h"
#include "resourcetree.h"
#include "sha256.h"
#include "tablecache.h"
#include "testfiles.h"
#include "texts.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <fcntl.h>
#include <unistd.h>

using namespace vellomar;
using namespace vellomar::test;

namespace {

// Bytes no two ranges of which are alike.
QByteArray pattern(int size, int seed)
{
    QByteArray b(size, Qt::Uninitialized);
    quint32 x = quint32(seed) * 2654435761u + 1;
    for (int i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        b[i] = char(x >> 16);
    }
    return b;
}

QString sha(const QByteArray &b)
{
    return QString::fromLatin1(QCryptographicHash::hash(b, QCryptographicHash::Sha256).toHex());
}

// The manifest's lines as fields, the header left out.
QList<QStringList> manifest(const QString &down)
{
    QList<QStringList> lines;
    const QByteArray text = readcontent(manifestpath(down));
    const QList<QByteArray> raw = text.split('\n');
    for (qsizetype i = 1; i < raw.size(); ++i) {
        QByteArray l = raw[i];
        if (l.endsWith('\r'))
            l.chop(1);
        if (!l.isEmpty())
            lines << QString::fromUtf8(l).split(QLatin1Char(','));
    }
    return lines;
}

int column(const char *name)
{
    return int(manifestcolumns().indexOf(QLatin1String(name)));
}

// A cache of the table format on the disk, and a download directory beside it.
struct Fixture {
    QTemporaryDir dir;
    QString cache() const { return dir.path() + "/Cache_Data"; }
    QString down() const { return dir.path() + "/down/"; }
    QString tree(const QString &rel = {}) const
    {
        return down() + texts::resourcefolder + "/" + rel;
    }
    QByteArray blob = pattern(20000, 1), a = pattern(3000, 2), b = pattern(5000, 3),
               c = pattern(12000, 4);
    QByteArray toc;
    Fixture()
    {
        writecontent(cache() + "/blob", blob);
        writecontent(cache() + "/a", a);
        writecontent(cache() + "/b", b);
        writecontent(cache() + "/c", c);
        toc = tablecache::line("blob 100", "http://h.example/pics/one.jpg", "image/jpeg",
                               "blob@100+15000") +
              tablecache::line("a+b", "http://h.example/v/clip.flv", "video/x-flv",
                               "a@0+3000;b@0+0;b@10+4990") +
              tablecache::line("c", "http://h.example/x/whole.swf", "application/x-shockwave-flash",
                               "c@0+12000");
        writecontent(cache() + "/toc", toc);
        QDir().mkpath(down());
    }
    std::unique_ptr<BrowserSource> source(const BodyHandling &h = {}) const
    {
        const FolderHandle root = openbeneath(cache());
        return std::make_unique<BrowserSource>(cache(), CacheFormat::chromiumsimple,
                                               localfs(root.fd()), std::string(), tablecache::read,
                                               h);
    }
};

std::vector<SourceEntry> everything(const EntrySource &s)
{
    SizeFilter sizes;
    sizes.reset(0, 1 << 30);
    return listentries(s, QStringLiteral("*.*"), sizes);
}

const SourceEntry *named(const std::vector<SourceEntry> &rows, const QString &name)
{
    for (const SourceEntry &r : rows) {
        if (r.name == name)
            return &r;
    }
    return nullptr;
}

// A decoder as a test double: the stored bytes as they are, with a note, and a hook run after
// the first read (for a browser writing the file meanwhile).
class Passing : public EntryStream
{
  public:
    Passing(std::unique_ptr<EntryStream> in, QString note, std::function<void()> afterfirst)
        : m_in(std::move(in)), m_note(std::move(note)), m_afterfirst(std::move(afterfirst))
    {
    }
    long long read(char *buffer, long long count, std::error_code &ec) override
    {
        const long long n = m_in->read(buffer, std::min(count, 1000LL), ec);
        if (m_afterfirst) {
            m_afterfirst();
            m_afterfirst = nullptr;
        }
        return n;
    }
    bool unchanged(QString &why) const override { return m_in->unchanged(why); }
    QString note() const override { return m_note; }

  private:
    std::unique_ptr<EntryStream> m_in;
    QString m_note;
    std::function<void()> m_afterfirst;
};

} // namespace

class TestEntrySource : public QObject
{
    Q_OBJECT
  private slots:
    void piecesAreRead_data();
    void piecesAreRead();
    void stagedFromAStream_data();
    void stagedFromAStream();
    void digsEveryEntry();
    void changedBeforeTheDig_data();
    void changedBeforeTheDig();
    void changedWhileRead_data();
    void changedWhileRead();
    void decodingNoteInTheManifest();
    void decodedBodies();
    void listing();
    void formatIsDetected();
};

void TestEntrySource::piecesAreRead_data()
{
    QTest::addColumn<QString>("pieces"); // file@offset+length;...
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QString>("refused"); // part of the reason; empty when read
    const QByteArray x = pattern(1000, 7), y = pattern(500, 8);
    QTest::newRow("whole file") << "x@0+1000" << x << "";
    QTest::newRow("range inside") << "x@10+20" << x.mid(10, 20) << "";
    QTest::newRow("to the end") << "x@900+100" << x.mid(900) << "";
    QTest::newRow("two files, an empty piece between")
        << "x@0+600;y@0+0;y@100+400" << x.left(600) + y.mid(100) << "";
    QTest::newRow("the same file twice") << "y@0+10;y@0+10" << y.left(10) + y.left(10) << "";
    QTest::newRow("none") << "" << QByteArray() << "";
    QTest::newRow("one past the end") << "x@900+101" << QByteArray() << "past its file's end";
    QTest::newRow("starts past the end") << "x@1001+0" << QByteArray() << "past its file's end";
    QTest::newRow("negative offset") << "x@-1+10" << QByteArray() << "impossible";
    QTest::newRow("negative length") << "x@0+-5" << QByteArray() << "impossible";
    QTest::newRow("no such file") << "x@0+10;z@0+1" << QByteArray() << "No such file";
    QTest::newRow("a link, not a file") << "l@0+1" << QByteArray() << "";
}

void TestEntrySource::piecesAreRead()
{
    QFETCH(QString, pieces);
    QFETCH(QByteArray, expected);
    QFETCH(QString, refused);
    MemoryFs fs;
    fs.add("x", pattern(1000, 7));
    fs.add("d/y", pattern(500, 8));
    fs.addother("l");
    std::vector<BodyPiece> body;
    for (const QString &p : pieces.split(';', Qt::SkipEmptyParts)) {
        const QStringList f = p.split(QRegularExpression("[@+]"));
        body.push_back(
            {(f[0] == "y" ? "d/y" : f[0]).toStdString(), f[1].toLongLong(), f[2].toLongLong()});
    }
    QString why;
    std::unique_ptr<PieceStream> s = PieceStream::open(fs, body, {}, why);
    if (QTest::currentDataTag() == QLatin1String("a link, not a file")) {
        QVERIFY(!s);
        QVERIFY(!why.isEmpty());
        return;
    }
    if (!refused.isEmpty()) {
        QVERIFY(!s);
        QVERIFY2(why.contains(refused), qPrintable(why));
        return;
    }
    QVERIFY2(s, qPrintable(why));
    QByteArray got;
    char buffer[7];
    std::error_code ec;
    for (int calls = 0; calls < 10000; ++calls) {
        const long long n = s->read(buffer, sizeof buffer, ec);
        QVERIFY(n >= 0);
        if (n == 0)
            break;
        got.append(buffer, qsizetype(n));
    }
    QCOMPARE(got, expected);
    QVERIFY(s->unchanged(why));
    int fd = 0;
    long long offset = 0, count = 0;
    QVERIFY(!s->plainrange(fd, offset, count)); // nothing in memory is a local file
}

void TestEntrySource::stagedFromAStream_data()
{
    QTest::addColumn<bool>("local");
    QTest::newRow("local files: the kernel's copy") << true;
    QTest::newRow("in memory: read and written") << false;
}

// The staged copy holds the entry's bytes whichever way they came, and is named like any copy.
void TestEntrySource::stagedFromAStream()
{
    QFETCH(bool, local);
    QTemporaryDir dir;
    const QByteArray big = pattern(3 << 20, 5), small = pattern(100, 6);
    QVERIFY(writecontent(dir.path() + "/cache/big", big));
    QVERIFY(writecontent(dir.path() + "/cache/small", small));
    QVERIFY(QDir().mkpath(dir.path() + "/out"));
    std::unique_ptr<ReadOnlyFs> fs;
    const FolderHandle root = openbeneath(dir.path() + "/cache");
    if (local) {
        fs = localfs(root.fd());
    } else {
        auto m = std::make_unique<MemoryFs>();
        m->add("big", big);
        m->add("small", small);
        fs = std::move(m);
    }
    const std::vector<BodyPiece> body{{"big", 5, (2 << 20) + 7}, {"small", 0, 100}, {"big", 0, 3}};
    const QByteArray expected = big.mid(5, (2 << 20) + 7) + small + big.left(3);
    QString why;
    std::unique_ptr<PieceStream> s = PieceStream::open(*fs, body, {}, why);
    QVERIFY(s);
    int fd = -1;
    long long offset = 0, count = 0;
    QCOMPARE(s->plainrange(fd, offset, count), local);
    if (local) {
        // After bytes read through the buffer, the range left is what the kernel copies.
        std::unique_ptr<PieceStream> part = PieceStream::open(*fs, body, {}, why);
        char head[3];
        std::error_code ec;
        QCOMPARE(part->read(head, sizeof head, ec), 3);
        QVERIFY(part->plainrange(fd, offset, count));
        QCOMPARE(offset, 8);
        QCOMPARE(count, (2 << 20) + 4);
    }
    const FolderHandle out = openbeneath(dir.path() + "/out");
    StagedCopy copy;
    long long written = 0;
    std::error_code ec;
    const long long when = 1241179200LL * 1000000000LL;
    QVERIFY(stagestream(*s, out.fd(), copy, written, when, ec));
    QCOMPARE(written, qint64(expected.size()));
    QVERIFY(publishcopy(copy, "dug", ec));
    QCOMPARE(readcontent(dir.path() + "/out/dug"), expected);
    QCOMPARE(QFileInfo(dir.path() + "/out/dug").lastModified().toSecsSinceEpoch(), 1241179200);
    QCOMPARE(QDir(dir.path() + "/out").entryList(QDir::Files | QDir::Hidden).size(), 1);
}

// Ranges of a larger file, several pieces and a whole file are dug, each with its line; a
// second dig finds them there; the cache is left as it was.
void TestEntrySource::digsEveryEntry()
{
    Fixture f;
    const QStringList before = treesnapshot(f.cache());
    const std::unique_ptr<BrowserSource> source = f.source();
    const std::vector<SourceEntry> rows = everything(*source);
    QCOMPARE(rows.size(), size_t(3));
    const QByteArray one = f.blob.mid(100, 15000), clip = f.a + f.b.mid(10);
    for (int pass = 0; pass < 2; ++pass) {
        DigCounters counters;
        DigJob job(f.down(), counters);
        const std::vector<DigOutcome> outcomes = job.dig(*source, rows);
        QCOMPARE(outcomes.size(), size_t(3));
        for (DigOutcome o : outcomes)
            QCOMPARE(o, pass == 0 ? DigOutcome::copied : DigOutcome::same);
        QVERIFY(job.failures().isEmpty());
        QCOMPARE(counters.totalfiles(), 3);
        QCOMPARE(counters.totalbytes(), qint64(one.size() + clip.size() + f.c.size()));
    }
    QCOMPARE(readcontent(f.tree("jpg/one.jpg")), one);
    QCOMPARE(readcontent(f.tree("flv/clip.flv")), clip);
    QCOMPARE(readcontent(f.tree("swf/whole.swf")), f.c);
    QCOMPARE(QDir(f.tree("jpg")).entryList(QDir::Files | QDir::Hidden).size(), 1);
    // The dug file keeps when the cache got it.
    QCOMPARE(QFileInfo(f.tree("jpg/one.jpg")).lastModified().toUTC(),
             QDateTime(QDate(2009, 5, 1), QTime(12, 0), Qt::UTC));

    const QList<QStringList> lines = manifest(f.down());
    QCOMPARE(lines.size(), 6);
    for (int i = 0; i < lines.size(); ++i) {
        const QStringList &l = lines[i];
        QCOMPARE(l.size(), manifestcolumns().size());
        QCOMPARE(l[column("cache folder")], f.cache());
        QCOMPARE(l[column("outcome")], i < 3 ? "copied" : "same file kept");
    }
    const QStringList &clipline = lines[0]; // the list is in name order: clip, one, whole
    QCOMPARE(clipline[column("cache file")], "a+b");
    QCOMPARE(clipline[column("address")], "http://h.example/v/clip.flv");
    QCOMPARE(clipline[column("content type")], "video/x-flv");
    QCOMPARE(clipline[column("sha256")], sha(clip));
    QCOMPARE(clipline[column("size")], QString::number(clip.size()));
    QCOMPARE(clipline[column("dug as")], "flv/clip.flv");
    QCOMPARE(lines[1][column("cache file")], "blob 100");
    QCOMPARE(lines[1][column("sha256")], sha(one));
    QCOMPARE(lines[4][column("sha256")], sha(one)); // of the bytes read, for a file kept too
    QCOMPARE(treesnapshot(f.cache()), before);

    // The same name with other bytes moves on to the next name.
    QByteArray toc = f.toc + tablecache::line("other", "http://h.example/2/one.jpg", "image/jpeg",
                                              "blob@0+11000");
    QVERIFY(writecontent(f.cache() + "/toc", toc));
    const std::unique_ptr<BrowserSource> again = f.source();
    DigCounters counters;
    DigJob job(f.down(), counters);
    job.dig(*again, everything(*again));
    QCOMPARE(readcontent(f.tree("jpg/one_2.jpg")), f.blob.left(11000));
    QCOMPARE(readcontent(f.tree("jpg/one.jpg")), one);
}

void TestEntrySource::changedBeforeTheDig_data()
{
    QTest::addColumn<int>("change");
    QTest::newRow("written in place, same size") << 0;
    QTest::newRow("grown") << 1;
    QTest::newRow("removed") << 2;
    QTest::newRow("replaced by another file") << 3;
}

// An entry whose file changed or went between the listing and the dig is missing: never dug,
// never half-dug, its line saying so; the other entries are dug.
void TestEntrySource::changedBeforeTheDig()
{
    QFETCH(int, change);
    Fixture f;
    const std::unique_ptr<BrowserSource> source = f.source();
    const std::vector<SourceEntry> rows = everything(*source);
    const QString blob = f.cache() + "/blob";
    QTest::qWait(10); // a change time that differs from the listed one
    if (change == 0) {
        QFile file(blob);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.seek(200));
        QCOMPARE(file.write("XY"), 2);
    } else if (change == 1) {
        QFile file(blob);
        QVERIFY(file.open(QIODevice::Append));
        QCOMPARE(file.write("more"), 4);
    } else if (change == 2) {
        QVERIFY(QFile::remove(blob));
    } else {
        QVERIFY(writecontent(f.cache() + "/new", f.blob));
        QVERIFY(::rename(QFile::encodeName(f.cache() + "/new"), QFile::encodeName(blob)) == 0);
    }
    DigCounters counters;
    DigJob job(f.down(), counters);
    const std::vector<DigOutcome> outcomes = job.dig(*source, rows);
    QCOMPARE(outcomes[0], DigOutcome::copied);
    QCOMPARE(outcomes[1], DigOutcome::missing);
    QCOMPARE(outcomes[2], DigOutcome::copied);
    QCOMPARE(counters.totalfiles(), 2);
    QVERIFY(!QFileInfo::exists(f.tree("jpg/one.jpg")));
    QCOMPARE(QDir(f.tree("jpg")).entryList(QDir::Files | QDir::Hidden).size(), 0);
    QCOMPARE(job.failures().size(), 1);
    QVERIFY2(job.failures()[0].startsWith(f.cache() + ": blob 100: "),
             qPrintable(job.failures()[0]));
    const QList<QStringList> lines = manifest(f.down());
    QCOMPARE(lines.size(), 3);
    QVERIFY(lines[1][column("outcome")].startsWith("failed: "));
    QCOMPARE(lines[1][column("dug as")], QString());
}

void TestEntrySource::changedWhileRead_data()
{
    QTest::addColumn<bool>("cut");
    QTest::newRow("written") << false;
    QTest::newRow("cut short, ending the reading") << true;
}

// A browser writing the file while it is read: the bytes read are thrown away.
void TestEntrySource::changedWhileRead()
{
    QFETCH(bool, cut);
    Fixture f;
    const QString blob = f.cache() + "/blob";
    BodyHandling h;
    h.decode = [&](const ReadOnlyFs &, const CacheEntry &e, std::unique_ptr<EntryStream> stored,
                   QString &) -> std::unique_ptr<EntryStream> {
        std::function<void()> write;
        if (e.storedat == "blob 100")
            write = [blob, cut] {
                QFile file(blob);
                if (cut)
                    file.resize(3000);
                else if (file.open(QIODevice::ReadWrite) && file.seek(5000))
                    file.write("browser");
            };
        return std::make_unique<Passing>(std::move(stored), QString(), write);
    };
    const std::unique_ptr<BrowserSource> source = f.source(h);
    const std::vector<SourceEntry> rows = everything(*source);
    DigCounters counters;
    DigJob job(f.down(), counters);
    const std::vector<DigOutcome> outcomes = job.dig(*source, rows);
    QCOMPARE(outcomes[1], DigOutcome::missing);
    QCOMPARE(outcomes[0], DigOutcome::copied);
    QCOMPARE(QDir(f.tree("jpg")).entryList(QDir::Files | QDir::Hidden).size(), 0);
    const QList<QStringList> lines = manifest(f.down());
    QCOMPARE(lines[1][column("outcome")], "failed: changed while it was read");
    QCOMPARE(readcontent(f.tree("flv/clip.flv")), f.a + f.b.mid(10));
}

// What the decoder says of a body dug as stored goes beside the outcome.
void TestEntrySource::decodingNoteInTheManifest()
{
    Fixture f;
    BodyHandling h;
    h.decode = [](const ReadOnlyFs &, const CacheEntry &e, std::unique_ptr<EntryStream> stored,
                  QString &) -> std::unique_ptr<EntryStream> {
        return std::make_unique<Passing>(
            std::move(stored), e.storedat == "c" ? QStringLiteral("dug as stored: bad gzip") : "",
            nullptr);
    };
    const std::unique_ptr<BrowserSource> source = f.source(h);
    DigCounters counters;
    DigJob job(f.down(), counters);
    job.dig(*source, everything(*source));
    const QList<QStringList> lines = manifest(f.down());
    QCOMPARE(lines[2][column("outcome")], "copied; dug as stored: bad gzip");
    QCOMPARE(lines[0][column("outcome")], "copied");
    QCOMPARE(readcontent(f.tree("swf/whole.swf")), f.c);
}

// Bodies read decoded: a deflate body is dug as it was sent, one whose decoding fails partway
// is dug whole as stored with why, one not encoded keeps the kernel's copy of its range.
void TestEntrySource::decodedBodies()
{
    Fixture f;
    QByteArray gif = "GIF89a" + pattern(30000, 9).left(100).repeated(300);
    const QByteArray deflated = qCompress(gif).mid(4); // a zlib stream, as "deflate" sends it
    const QByteArray cut = deflated.left(deflated.size() / 2);
    QVERIFY(writecontent(f.cache() + "/z", deflated + cut));
    QVERIFY(
        writecontent(f.cache() + "/toc",
                     f.toc +
                         tablecache::line("z 0", "http://h.example/anim", "image/gif",
                                          "z@0+" + QByteArray::number(deflated.size()), "deflate") +
                         tablecache::line("z 1", "http://h.example/broken.gif", "image/gif",
                                          "z@" + QByteArray::number(deflated.size()) + "+" +
                                              QByteArray::number(cut.size()),
                                          "deflate")));
    const std::unique_ptr<BrowserSource> source = f.source(decodedbodies());
    const std::vector<SourceEntry> rows = everything(*source);
    const SourceEntry *anim = named(rows, "anim.gif"), *broken = named(rows, "broken.gif"),
                      *one = named(rows, "one.jpg");
    QVERIFY(anim && broken && one);
    QCOMPARE(anim->size, gif.size());
    QCOMPARE(broken->size, cut.size());
    QString why;
    std::unique_ptr<EntryStream> plain = source->open(*one, why);
    int fd = -1;
    long long offset = 0, count = 0;
    QVERIFY(plain && plain->plainrange(fd, offset, count));
    QCOMPARE(offset, 100);

    DigCounters counters;
    DigJob job(f.down(), counters);
    job.dig(*source, rows);
    QCOMPARE(readcontent(f.tree("gif/anim.gif")), gif);
    QCOMPARE(readcontent(f.tree("gif/broken.gif")), cut);
    QCOMPARE(readcontent(f.tree("jpg/one.jpg")), f.blob.mid(100, 15000));
    bool noted = false;
    for (const QStringList &l : manifest(f.down())) {
        if (l[column("cache file")] == "z 1") {
            QVERIFY2(l[column("outcome")].startsWith("copied; dug as stored: "),
                     qPrintable(l[column("outcome")]));
            QCOMPARE(l[column("sha256")], sha(cut));
            noted = true;
        } else {
            QCOMPARE(l[column("outcome")], "copied");
        }
    }
    QVERIFY(noted);
}

// The rows the pattern, the size range and the folder admit; an entry whose body cannot be
// opened at the listing is left out with why.
void TestEntrySource::listing()
{
    Fixture f;
    QVERIFY(writecontent(
        f.cache() + "/toc",
        f.toc + tablecache::line("gone", "http://h.example/g.jpg", "image/jpeg", "nothere@0+10") +
            tablecache::line("empty", "http://h.example/e.jpg", "image/jpeg", "")));
    const std::unique_ptr<BrowserSource> source = f.source();
    QCOMPARE(source->folders(), QStringList{"Cache_Data"});
    QCOMPARE(source->report().leftout.size(), size_t(1));
    QCOMPARE(source->report().leftout[0].storedat, "gone");
    SizeFilter sizes;
    sizes.reset(10, 92160);
    std::vector<SourceEntry> rows = listentries(*source, "*.jpg;*.swf", sizes);
    QCOMPARE(rows.size(), size_t(2));
    QCOMPARE(rows[0].name, "one.jpg");
    QCOMPARE(rows[0].type, "jpg");
    QCOMPARE(rows[0].size, 15000);
    QCOMPARE(rows[0].storedat, "blob 100");
    QVERIFY(rows[0].record);
    QCOMPARE(rows[0].record->address, "http://h.example/pics/one.jpg");
    QCOMPARE(rows[0].record->contenttype, "image/jpeg");
    QCOMPARE(rows[1].name, "whole.swf");
    sizes.reset(12, 92160); // 12,000 bytes are 12 KB: still in; 3 KB are not
    QCOMPARE(listentries(*source, "*.*", sizes).size(), size_t(2));
    sizes.reset(15, 92160);
    QCOMPARE(listentries(*source, "*.*", sizes).size(), size_t(1));
    QCOMPARE(listentries(*source, "*.*", sizes, {"cache_data"}).size(), size_t(1));
    QCOMPARE(listentries(*source, "*.*", sizes, {"other"}).size(), size_t(0));
    sizes.reset(0, 92160); // the entry with no body is no row
    QCOMPARE(listentries(*source, "*.*", sizes).size(), size_t(3));
}

void TestEntrySource::formatIsDetected()
{
    MemoryFs fs;
    fs.add("Cache/toc", "x");
    fs.add("Other/index", "x");
    QCOMPARE(detectformat(fs, "Cache", tablecache::readers()), CacheFormat::chromiumsimple);
    QCOMPARE(detectformat(fs, "Other", tablecache::readers()), CacheFormat::contentie5);
    QCOMPARE(detectformat(fs, "Cache", {}), CacheFormat::contentie5);
    QVERIFY(!browsersource("x", CacheFormat::firefoxcache2, std::make_unique<MemoryFs>(), "",
                           tablecache::readers()));
    auto src = browsersource("Cache", CacheFormat::chromiumsimple, std::make_unique<MemoryFs>(fs),
                             "Cache", tablecache::readers());
    QVERIFY(src);
    QCOMPARE(src->format(), CacheFormat::chromiumsimple);
}

QTEST_GUILESS_MAIN(TestEntrySource)
#include "tst_entrysource.moc"
