#include "digpass.h"
#include "digsession.h"
#include "filecopy.h"
#include "filesummer.h"
#include "passlock.h"
#include "testsupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QtTest>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vellomar;
using namespace vellomar::test;

namespace {

struct DigFixture {
    QTemporaryDir dir;
    QString source() const { return dir.path() + "/src"; }
    QString down() const { return dir.path() + "/down/"; }
    QString tree(const QString &rel) const
    {
        return down() + QString::fromUtf8("挖到的资源/") + rel;
    }
    DigFixture()
    {
        QDir().mkpath(source());
        QDir().mkpath(down());
        makeresourcetree(down());
    }
    QStringList files(const QString &cls) const
    {
        return QDir(tree(cls)).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    }
};

} // namespace

class TestDigPass : public QObject
{
    Q_OBJECT
  private slots:
    // A name at the file system's limit still gets its "_2" copies: the part before the
    // extension is shortened, a whole character at a time, until the name fits.
    // Sums taken beside the dig: the bytes of each file handed over, however many are queued
    // and however many threads sum them; a file that cannot be read through has none. Every sum
    // is there once wait() returns.
    void sumsTakenBesideTheDig_data()
    {
        QTest::addColumn<int>("threads");
        QTest::newRow("one thread") << 1;
        QTest::newRow("two threads") << 2;
    }
    void sumsTakenBesideTheDig()
    {
        QFETCH(int, threads);
        QTemporaryDir dir;
        const std::vector<qint64> sizes = {0, 1, 4096, (1 << 20) + 1, 3 << 20, 777};
        std::vector<QByteArray> sums(40), expected(40);
        {
            FileSummer summer(threads);
            for (int i = 0; i < 40; ++i) {
                const QString path = dir.path() + QStringLiteral("/f%1").arg(i);
                QByteArray bytes(sizes[size_t(i) % sizes.size()], Qt::Uninitialized);
                for (qsizetype k = 0; k < bytes.size(); ++k)
                    bytes[k] = char(k * 7 + i);
                QVERIFY(writecontent(path, bytes));
                expected[size_t(i)] =
                    QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
                const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
                QVERIFY(fd >= 0);
                summer.add(fd, bytes.size(), &sums[size_t(i)]);
            }
            // A burst of more files than are ever queued: the adder waits for room, and is let
            // go as the summers take them.
            std::vector<QByteArray> burst(64);
            for (QByteArray &b : burst)
                summer.add(
                    ::open(QFile::encodeName(dir.path() + "/f3").constData(), O_RDONLY | O_CLOEXEC),
                    sizes[3], &b);
            // A long sum still under way while the next ones end: wait() waits for it too.
            const QByteArray longbytes(32 << 20, 'L');
            QVERIFY(writecontent(dir.path() + "/long", longbytes));
            const QByteArray longexpected =
                QCryptographicHash::hash(longbytes, QCryptographicHash::Sha256).toHex();
            QByteArray longsum;
            summer.add(
                ::open(QFile::encodeName(dir.path() + "/long").constData(), O_RDONLY | O_CLOEXEC),
                longbytes.size(), &longsum);
            // Claiming more bytes than the file holds: not read through, no sum.
            const int shortfd =
                ::open(QFile::encodeName(dir.path() + "/f1").constData(), O_RDONLY | O_CLOEXEC);
            QByteArray none = "unset";
            summer.add(shortfd, 10, &none);
            // A folder's descriptor cannot be read at all.
            const int folderfd = ::open(QFile::encodeName(dir.path()).constData(),
                                        O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            QByteArray folder = "unset";
            summer.add(folderfd, 10, &folder);
            summer.wait();
            QCOMPARE(longsum, longexpected);
            for (const QByteArray &b : burst)
                QCOMPARE(b, expected[3]);
            QVERIFY(none.isEmpty());
            QVERIFY(folder.isEmpty());
            for (int i = 0; i < 40; ++i)
                QCOMPARE(sums[size_t(i)], expected[size_t(i)]);
        }
    }

    // A ticket tells of its own file, even when a later, shorter file is summed first.
    void aTicketTellsOfItsOwnFile()
    {
        QTemporaryDir dir;
        const QByteArray longbytes(32 << 20, 'L'), shortbytes(10, 'S');
        QVERIFY(writecontent(dir.path() + "/long", longbytes));
        QVERIFY(writecontent(dir.path() + "/short", shortbytes));
        const auto opened = [&](const char *name) {
            return ::open(QFile::encodeName(dir.path() + "/" + name).constData(),
                          O_RDONLY | O_CLOEXEC);
        };
        const QByteArray longexpected =
            QCryptographicHash::hash(longbytes, QCryptographicHash::Sha256).toHex();
        FileSummer summer(2);
        QByteArray longsum, shortsum;
        const qint64 first = summer.add(opened("long"), longbytes.size(), &longsum);
        const qint64 second = summer.add(opened("short"), shortbytes.size(), &shortsum);
        // The short one is summed while the long one is under way; its end says nothing of
        // the long one's.
        summer.waitfor(first);
        QCOMPARE(longsum, longexpected);
        summer.waitfor(second);
        QVERIFY(!shortsum.isEmpty());
        QVERIFY(summer.done(first) && summer.done(second));
    }

    // Two copies are the same only when every byte is, wherever a read of the comparison
    // begins or ends; a file shorter than said is not the same.
    void sameContentComparesEveryByte_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<qint64>("changed"); // the byte that differs, -1 none
        QTest::addColumn<qint64>("cut");     // the second copy's real size, -1 whole
        QTest::addColumn<bool>("same");
        const qint64 r = qint64(comparereadsize);
        QTest::newRow("empty") << qint64(0) << qint64(-1) << qint64(-1) << true;
        QTest::newRow("one byte, same") << qint64(1) << qint64(-1) << qint64(-1) << true;
        QTest::newRow("one byte, other") << qint64(1) << qint64(0) << qint64(-1) << false;
        QTest::newRow("three reads and a bit, same")
            << 3 * r + 5 << qint64(-1) << qint64(-1) << true;
        QTest::newRow("first byte") << 3 * r + 5 << qint64(0) << qint64(-1) << false;
        QTest::newRow("last byte of a read") << 3 * r + 5 << r - 1 << qint64(-1) << false;
        QTest::newRow("first byte of the next read") << 3 * r + 5 << r << qint64(-1) << false;
        QTest::newRow("last byte") << 3 * r + 5 << 3 * r + 4 << qint64(-1) << false;
        QTest::newRow("exactly one read, last byte") << r << r - 1 << qint64(-1) << false;
        QTest::newRow("second copy cut short") << 2 * r << qint64(-1) << r + 7 << false;
    }
    void sameContentComparesEveryByte()
    {
        QFETCH(qint64, size);
        QFETCH(qint64, changed);
        QFETCH(qint64, cut);
        QFETCH(bool, same);
        QTemporaryDir dir;
        QByteArray bytes(size, Qt::Uninitialized);
        for (qint64 k = 0; k < size; ++k)
            bytes[k] = char(k * 13 + k / 4099);
        QByteArray other = bytes;
        if (changed >= 0)
            other[changed] = char(other[changed] ^ 0x40);
        if (cut >= 0)
            other.truncate(cut);
        QVERIFY(writecontent(dir.path() + "/a", bytes));
        QVERIFY(writecontent(dir.path() + "/b", other));
        const int a =
            ::open(QFile::encodeName(dir.path() + "/a").constData(), O_RDONLY | O_CLOEXEC);
        const int b =
            ::open(QFile::encodeName(dir.path() + "/b").constData(), O_RDONLY | O_CLOEXEC);
        QVERIFY(a >= 0 && b >= 0);
        std::error_code ec;
        QCOMPARE(samecontent(a, b, size, ec), same);
        ::close(a);
        ::close(b);
    }

    void longNamesAreShortenedToFit()
    {
        DigFixture f;
        // 83 three-byte characters, "a" and ".jpg": 254 bytes.
        const QString name = QString::fromUtf8("图").repeated(83) + "a.jpg";
        QCOMPARE(QFile::encodeName(name).size(), 254);
        DigCounters c;
        QStringList stored;
        for (int i = 0; i < 3; ++i) {
            QVERIFY(writecontent(f.source() + "/" + name, QByteArray(100 + i, char('a' + i))));
            QString at;
            QCOMPARE(digfile(f.source(), name, "jpg", f.down(), c, &at), DigOutcome::copied);
            QVERIFY(QFile::encodeName(QFileInfo(at).fileName()).size() <= 255);
            QCOMPARE(readcontent(at), QByteArray(100 + i, char('a' + i)));
            stored << QFileInfo(at).fileName();
        }
        QCOMPARE(stored, QStringList({name, QString::fromUtf8("图").repeated(83) + "_2.jpg",
                                      QString::fromUtf8("图").repeated(82) + "_2_2.jpg"}));
        QCOMPARE(c.totalfiles(), qint64(3));
        // Shortening never splits a character, not even one outside the basic plane.
        QCOMPARE(candidatename(QString::fromUtf8("😀😀.gif"), 1, 12), QString::fromUtf8("😀_2.gif"));
    }

    void classifiesExactly_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("folder");
        for (const char *t : {"jpg", "gif", "png", "mp3", "wma", "swf", "flv"})
            QTest::newRow(t) << QString(t) << QString(t);
        QTest::newRow("JPG") << "JPG"
                             << "others";
        QTest::newRow("jpeg") << "jpeg"
                              << "others";
        QTest::newRow("htm") << "htm"
                             << "others";
        QTest::newRow("empty") << ""
                               << "others";
    }
    void classifiesExactly()
    {
        QFETCH(QString, type);
        QFETCH(QString, folder);
        QCOMPARE(classname(classify(type)), folder);
    }

    void makesTheTreeOneLevelAtATime()
    {
        QTemporaryDir dir;
        const QString down = dir.path() + "/d/";
        makeresourcetree(down); // the download directory itself is missing: nothing
        QVERIFY(!QFileInfo::exists(down));
        QDir().mkpath(down);
        makeresourcetree(down);
        for (const QString &rel : resourcetreefolders())
            QVERIFY2(QFileInfo(down + rel).isDir(), qPrintable(rel));
        // A missing folder is made again; a file where a folder belongs counts as present and
        // stays as it is.
        QVERIFY(QDir(down + QString::fromUtf8("挖到的资源/gif")).removeRecursively());
        QVERIFY(QDir(down + QString::fromUtf8("挖到的资源/png")).removeRecursively());
        QVERIFY(writecontent(down + QString::fromUtf8("挖到的资源/png"), "user's file"));
        makeresourcetree(down);
        QVERIFY(QFileInfo(down + QString::fromUtf8("挖到的资源/gif")).isDir());
        QCOMPARE(readcontent(down + QString::fromUtf8("挖到的资源/png")),
                 QByteArray("user's file"));
    }

    // In a site's tree a file and a folder may want the same name: neither fails, the second
    // moves on to name_2, whichever came first.
    void aSiteFileAndFolderShareAName_data()
    {
        QTest::addColumn<bool>("filefirst");
        QTest::newRow("the file first") << true;
        QTest::newRow("the folder first") << false;
    }
    void aSiteFileAndFolderShareAName()
    {
        QFETCH(bool, filefirst);
        DigFixture f;
        QVERIFY(writecontent(f.source() + "/one.jpg", "the page a"));
        QVERIFY(writecontent(f.source() + "/two.jpg", "the page a/b"));
        const SiteTarget file{{"h"}, "a"};        // http://h/a
        const SiteTarget inside{{"h", "a"}, "b"}; // http://h/a/b
        const FolderHandle source = openbeneath(f.source());
        DigCounters c;
        const SiteTarget &one = filefirst ? file : inside;
        const SiteTarget &two = filefirst ? inside : file;
        QCOMPARE(digfile(source.fd(), filefirst ? "one.jpg" : "two.jpg", "jpg", f.down(), c,
                         nullptr, nullptr, &one),
                 DigOutcome::copied);
        QCOMPARE(digfile(source.fd(), filefirst ? "two.jpg" : "one.jpg", "jpg", f.down(), c,
                         nullptr, nullptr, &two),
                 DigOutcome::copied);
        const QString tree = f.tree("");
        QCOMPARE(readcontent(tree + (filefirst ? "h/a" : "h/a_2")), QByteArray("the page a"));
        QCOMPARE(readcontent(tree + (filefirst ? "h/a_2/b" : "h/a/b")), QByteArray("the page a/b"));
        QCOMPARE(c.totalfiles(), qint64(2));
    }

    // A resource folder that is a link is not entered: nothing is made or dug through it.
    void aLinkedResourceFolderIsNotEntered()
    {
        QTemporaryDir dir;
        const QString down = dir.path() + "/d/";
        QVERIFY(QDir().mkpath(down) && QDir().mkpath(dir.path() + "/elsewhere"));
        QVERIFY(QFile::link(dir.path() + "/elsewhere", down + QString::fromUtf8("挖到的资源")));
        makeresourcetree(down);
        DigCounters c;
        QVERIFY(writefile(dir.path() + "/s/a.jpg", 100));
        QCOMPARE(digfile(dir.path() + "/s", "a.jpg", "jpg", down, c), DigOutcome::failed);
        QVERIFY(QDir(dir.path() + "/elsewhere")
                    .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                    .isEmpty());
    }

    void defaultDownloadDirectory()
    {
        QTemporaryDir dir;
        const QString own = dir.path() + "/bin/";
        QDir().mkpath(own);
        const QString downloads = dir.path() + "/Downloads";
        QCOMPARE(defaultdownloaddir(own, downloads), own);
        // A program folder the user cannot write to (here: one under a plain file).
        QVERIFY(writefile(dir.path() + "/file", 1));
        QCOMPARE(defaultdownloaddir(dir.path() + "/file/bin/", downloads), downloads + "/");
        QCOMPARE(defaultdownloaddir(dir.path() + "/file/bin/", downloads + "/"), downloads + "/");
    }

    void fileInTheWayCountsAsPresent()
    {
        QTemporaryDir dir;
        const QString down = dir.path() + "/";
        QDir().mkpath(down + QString::fromUtf8("挖到的资源"));
        QVERIFY(writefile(down + QString::fromUtf8("挖到的资源/png"), 3));
        makeresourcetree(down);
        QVERIFY(QFileInfo(down + QString::fromUtf8("挖到的资源/png")).isFile());
        DigCounters c;
        QVERIFY(writefile(dir.path() + "/s/a.png", 100));
        QCOMPARE(digfile(dir.path() + "/s", "a.png", "png", down, c), DigOutcome::failed);
        QCOMPARE(c.totalfiles(), qint64(0));
    }

    void candidateNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("attempt");
        QTest::addColumn<QString>("candidate");
        QTest::newRow("own") << "a.b.jpg" << 0 << "a.b.jpg";
        QTest::newRow("once") << "a.b.jpg" << 1 << "a.b_2.jpg";
        QTest::newRow("twice") << "a.b.jpg" << 2 << "a.b_2_2.jpg";
        QTest::newRow("no dot") << "counter" << 1 << "counter_2";
    }
    void candidateNames()
    {
        QFETCH(QString, name);
        QFETCH(int, attempt);
        QFETCH(QString, candidate);
        QCOMPARE(candidatename(name, attempt), candidate);
    }

    void namingChainAndIdenticalFiles()
    {
        DigFixture f;
        DigCounters c;
        QVERIFY(writecontent(f.source() + "/a.b.jpg", QByteArray(2000, 'A')));
        QVERIFY(writecontent(f.tree("jpg/a.b.jpg"), QByteArray(3000, 'x'))); // another size
        QVERIFY(
            writecontent(f.tree("jpg/a.b_2.jpg"), QByteArray(2000, 'B'))); // same size, other bytes
        QString stored;
        QCOMPARE(digfile(f.source(), "a.b.jpg", "jpg", f.down(), c, &stored), DigOutcome::copied);
        QCOMPARE(stored, f.tree("jpg/a.b_2_2.jpg"));
        QCOMPARE(readcontent(stored), QByteArray(2000, 'A'));
        QCOMPARE(readcontent(f.tree("jpg/a.b_2.jpg")), QByteArray(2000, 'B')); // untouched
        QCOMPARE(readcontent(f.tree("jpg/a.b.jpg")), QByteArray(3000, 'x'));
        // Again: the identical copy is found and counted, nothing new is written.
        QCOMPARE(digfile(f.source(), "a.b.jpg", "jpg", f.down(), c, &stored), DigOutcome::same);
        QCOMPARE(stored, f.tree("jpg/a.b_2_2.jpg"));
        QCOMPARE(f.files("jpg").size(), 3);
        QCOMPARE(c.filesof(ResourceClass::jpg), qint64(2));
        QCOMPARE(c.bytesof(ResourceClass::jpg), qint64(4000));
        // Without a summer, the record's sum is there when it returns: of the identical file
        // kept, and of a new copy.
        const QByteArray sum =
            QCryptographicHash::hash(QByteArray(2000, 'A'), QCryptographicHash::Sha256).toHex();
        QVERIFY(writecontent(f.source() + "/c.jpg", QByteArray(2000, 'A')));
        const FolderHandle source = openbeneath(f.source());
        for (const auto &[name, outcome] :
             {std::pair{"a.b.jpg", DigOutcome::same}, std::pair{"c.jpg", DigOutcome::copied}}) {
            DigDetail d;
            QCOMPARE(digfile(source.fd(), name, "jpg", f.down(), c, nullptr, &d), outcome);
            QCOMPARE(d.sha256, sum);
        }
    }

    void aLinkInTheClassFolderIsNeverWrittenThrough()
    {
        DigFixture f;
        DigCounters c;
        QVERIFY(writecontent(f.source() + "/x.gif", "GIF89a-new"));
        QVERIFY(writecontent(f.dir.path() + "/outside.gif", "precious"));
        QVERIFY(QFile::link(f.dir.path() + "/outside.gif", f.tree("gif/x.gif")));
        QCOMPARE(digfile(f.source(), "x.gif", "gif", f.down(), c), DigOutcome::copied);
        QCOMPARE(readcontent(f.dir.path() + "/outside.gif"), QByteArray("precious"));
        QCOMPARE(readcontent(f.tree("gif/x_2.gif")), QByteArray("GIF89a-new"));
    }

    void sourcesThatAreNotPlainFilesAreSkipped()
    {
        DigFixture f;
        DigCounters c;
        QVERIFY(::mkfifo(QFile::encodeName(f.source() + "/pipe.mp3").constData(), 0600) == 0);
        QVERIFY(writecontent(f.dir.path() + "/secret.jpg", "s"));
        QVERIFY(QFile::link(f.dir.path() + "/secret.jpg", f.source() + "/link.jpg"));
        QCOMPARE(digfile(f.source(), "pipe.mp3", "mp3", f.down(), c), DigOutcome::missing);
        QCOMPARE(digfile(f.source(), "link.jpg", "jpg", f.down(), c), DigOutcome::missing);
        QCOMPARE(digfile(f.source(), "gone.jpg", "jpg", f.down(), c), DigOutcome::missing);
        QCOMPARE(c.totalfiles(), qint64(0));
        QVERIFY(f.files("jpg").isEmpty() && f.files("mp3").isEmpty());
    }

    void missingDownloadDirectoryCopiesNothing()
    {
        DigFixture f;
        DigCounters c;
        QVERIFY(writefile(f.source() + "/a.jpg", 10));
        QCOMPARE(digfile(f.source(), "a.jpg", "jpg", f.dir.path() + "/nowhere/", c),
                 DigOutcome::failed);
        QCOMPARE(c.totalfiles(), qint64(0));
    }

    void passReportsEveryRowAndCanStop()
    {
        DigFixture f;
        DigCounters c;
        std::vector<DigRow> rows;
        for (int i = 0; i < 8; ++i) {
            const QString name = QStringLiteral("f%1.jpg").arg(i);
            QVERIFY(writefile(f.source() + "/" + name, 100 + i));
            rows.push_back({name, "jpg", i % 2 == 0});
        }
        QList<qint64> percents;
        const FolderHandle source = openbeneath(f.source());
        const PassLock lock(f.down());
        DigSession session(lock, f.down(), QDateTime::currentDateTimeUtc(), c);
        const std::vector<DigOutcome> outcomes =
            digrows(source.fd(), f.source(), rows, session, [&](qint64 r, qint64 n) {
                percents << progresspercent(r, n);
                return true;
            });
        QCOMPARE(percents, QList<qint64>({12, 25, 38, 50, 62, 75, 88, 100}));
        for (size_t i = 0; i < rows.size(); ++i)
            QCOMPARE(outcomes[i], i % 2 == 0 ? DigOutcome::copied : DigOutcome::skipped);
        QCOMPARE(c.filesof(ResourceClass::jpg), qint64(4));
        QCOMPARE(f.files("jpg"), QStringList({"f0.jpg", "f2.jpg", "f4.jpg", "f6.jpg"}));

        DigCounters stopped;
        int calls = 0;
        for (DigRow &r : rows)
            r.chosen = true;
        QTemporaryDir other;
        makeresourcetree(other.path() + "/");
        const PassLock otherlock(other.path() + "/");
        DigSession again(otherlock, other.path() + "/", QDateTime::currentDateTimeUtc(), stopped);
        const std::vector<DigOutcome> reached = digrows(
            source.fd(), f.source(), rows, again, [&](qint64, qint64) { return ++calls < 3; });
        QCOMPARE(calls, 3);
        QCOMPARE(reached.size(), size_t(3)); // the rows reached, no more
        QCOMPARE(stopped.totalfiles(), qint64(3));
    }

    // In one pass, files of several cache folders that want the same name: each is named in
    // turn ("_2" for other bytes, kept for the same bytes), whatever is still waiting for its
    // name when the next one comes, and each gets the line that says so.
    void namesWantedTwiceInOnePass()
    {
        DigFixture f;
        DigCounters c;
        const QStringList folders = {"X", "Y", "Z", "W"};
        const QList<QByteArray> bytes = {QByteArray(5000, 'x'), QByteArray(5000, 'y'),
                                         QByteArray(5000, 'x'), QByteArray(7000, 'w')};
        for (int i = 0; i < folders.size(); ++i)
            QVERIFY(writecontent(f.source() + "/" + folders[i] + "/a.jpg", bytes[i]));
        {
            const PassLock lock(f.down());
            DigSession session(lock, f.down(), QDateTime::currentDateTimeUtc(), c);
            std::vector<FolderHandle> open;
            for (const QString &folder : folders) {
                open.push_back(openbeneath(f.source() + "/" + folder));
                session.dig(open.back().fd(), folder, "a.jpg", "jpg", nullptr);
            }
            session.finish();
            QCOMPARE(session.outcomes(),
                     std::vector<DigOutcome>({DigOutcome::copied, DigOutcome::copied,
                                              DigOutcome::same, DigOutcome::copied}));
            QCOMPARE(session.details()[2].storedas, f.tree("jpg/a.jpg"));
            QVERIFY(!session.manifesterror());
        }
        QCOMPARE(f.files("jpg"), QStringList({"a.jpg", "a_2.jpg", "a_2_2.jpg"}));
        QCOMPARE(readcontent(f.tree("jpg/a.jpg")), bytes[0]);
        QCOMPARE(readcontent(f.tree("jpg/a_2.jpg")), bytes[1]);
        QCOMPARE(readcontent(f.tree("jpg/a_2_2.jpg")), bytes[3]);
        QCOMPARE(c.totalfiles(), qint64(4));
        const QList<QByteArray> lines = readcontent(f.tree("manifest.csv")).split('\n');
        QCOMPARE(lines.size(), 1 + 4 + 1);
        const QStringList expected = {"jpg/a.jpg,copied", "jpg/a_2.jpg,copied",
                                      "jpg/a.jpg,same file kept", "jpg/a_2_2.jpg,copied"};
        for (int i = 0; i < 4; ++i) {
            const QStringList fields = QString::fromUtf8(lines[1 + i]).split(',');
            QCOMPARE(fields[1], folders[i]);
            QCOMPARE(fields[6] + "," + fields[7], expected[i]);
            QCOMPARE(fields[4],
                     QString::fromLatin1(
                         QCryptographicHash::hash(bytes[i], QCryptographicHash::Sha256).toHex()));
        }
    }

    // Another program may take the name between its choice and the naming: the copy moves
    // on to the next "_2" name, or is dropped when the file put there holds its bytes.
    void aNameTakenBeforeTheNaming_data()
    {
        QTest::addColumn<QByteArray>("intheway");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QStringList>("files");
        QTest::newRow("other bytes")
            << QByteArray("other") << int(DigOutcome::copied) << QStringList({"a.jpg", "a_2.jpg"});
        QTest::newRow("the same bytes")
            << QByteArray("the bytes") << int(DigOutcome::same) << QStringList({"a.jpg"});
    }
    void aNameTakenBeforeTheNaming()
    {
        QFETCH(QByteArray, intheway);
        QFETCH(int, outcome);
        QFETCH(QStringList, files);
        DigFixture f;
        QVERIFY(writecontent(f.source() + "/a.jpg", "the bytes"));
        const FolderHandle source = openbeneath(f.source());
        ClassFolders folders;
        PendingFile p;
        DigDetail d;
        QVERIFY(
            stagefile(source.fd(), "a.jpg", "jpg", f.down(), nullptr, folders, {}, p, d, nullptr));
        QCOMPARE(p.outcome, DigOutcome::copied);
        QVERIFY(writecontent(f.tree("jpg/a.jpg"), intheway));
        DigCounters c;
        QStringList recorded;
        const DigOutcome o = settlefile(
            p, c, d, [&](DigOutcome, const DigDetail &at, const std::function<bool()> &name) {
                const bool named = !name || name();
                if (named)
                    recorded << QFileInfo(at.storedas).fileName();
                return named;
            });
        QCOMPARE(int(o), outcome);
        QCOMPARE(f.files("jpg"), files);
        QCOMPARE(readcontent(f.tree("jpg/a.jpg")), intheway);
        QCOMPARE(recorded, QStringList{files.last()}); // one record, of the name it has
        QCOMPARE(c.totalfiles(), qint64(1));
    }

    void progressAndReportTexts()
    {
        const QChar cr(13);
        QCOMPARE(progresstext(3, 5, 9, 40),
                 QString::fromUtf8("正在处理IE缓存文件夹（3/5），请稍候……") + cr + cr +
                     QString::fromUtf8("（25%）"));
        QVERIFY(
            progresstext(0, 4, 0, 1).startsWith(QString::fromUtf8("正在处理IE缓存文件夹（0/4）")));

        DigCounters c;
        for (int i = 0; i < 3; ++i)
            c.add(ResourceClass::jpg, 1048576);
        c.add(ResourceClass::gif, 393216);
        c.add(ResourceClass::flv, 419430400);
        const QString expected = cr + QString::fromUtf8("挖掘结果统计") + cr + cr +
                                 QString::fromUtf8("本次共提取到文件：5个，") + cr +
                                 QString::fromUtf8("所提文件总大小为：403.38 M。") + cr + cr +
                                 QString::fromUtf8("JPG图片：3 张，总大小：3 M；") + cr +
                                 QString::fromUtf8("GIF图片：1 张，总大小：0.38 M；") + cr +
                                 QString::fromUtf8("PNG图片：0 张，总大小：0 M；") + cr +
                                 QString::fromUtf8("SWF动画：0 个，总大小：0 M；") + cr +
                                 QString::fromUtf8("FLV视频：1 个，总大小：400 M；") + cr +
                                 QString::fromUtf8("MP3音乐：0 首，总大小：0 M；") + cr +
                                 QString::fromUtf8("WMP音乐：0 首，总大小：0 M；") + cr +
                                 QString::fromUtf8("其它文件：0 个，总大小：0 M。");
        QCOMPARE(digreport(c), expected);

        // No figure is capped: more than 32767 files and more than 2 GB.
        DigCounters big;
        for (int i = 0; i < 40000; ++i)
            big.add(ResourceClass::others, 100000);
        QVERIFY(digreport(big).contains(QString::fromUtf8("本次共提取到文件：40000个")));
        QVERIFY(
            digreport(big).contains(QString::fromUtf8("其它文件：40000 个，总大小：3814.7 M。")));
    }

    void aCopyThatFailsLeavesNothing()
    {
        if (::geteuid() != 0)
            QSKIP("mounting a small tmpfs needs root");
        DigFixture f;
        QTemporaryDir mnt;
        if (::mount("tmpfs", QFile::encodeName(mnt.path()).constData(), "tmpfs", 0, "size=256k") !=
            0)
            QSKIP("cannot mount tmpfs here");
        const QString down = mnt.path() + "/";
        makeresourcetree(down);
        QVERIFY(writefile(f.source() + "/small.jpg", 50 * 1024));
        QVERIFY(writefile(f.source() + "/big.jpg", 400 * 1024));
        DigCounters c;
        QCOMPARE(digfile(f.source(), "small.jpg", "jpg", down, c), DigOutcome::copied);
        QCOMPARE(digfile(f.source(), "big.jpg", "jpg", down, c), DigOutcome::failed);
        const QStringList left =
            QDir(down + QString::fromUtf8("挖到的资源/jpg")).entryList(QDir::Files | QDir::Hidden);
        ::umount(QFile::encodeName(mnt.path()).constData());
        QCOMPARE(left, QStringList({"small.jpg"}));
        QCOMPARE(c.filesof(ResourceClass::jpg), qint64(1));
        QCOMPARE(c.bytesof(ResourceClass::jpg), qint64(50 * 1024));
    }
};

QTEST_GUILESS_MAIN(TestDigPass)
#include "tst_digpass.moc"
