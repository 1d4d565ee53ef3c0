#include "filelistbox.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QtTest>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace vellomar;
using namespace vellomar::test;

class TestFileListBox : public QObject
{
    Q_OBJECT
  private slots:
    void listsPlainMatchingFilesSortedWithoutCase()
    {
        QTemporaryDir dir;
        const QString d = dir.path();
        for (const char *name : {"b.jpg", "A.JPG", "c.gif", "index", "clip.jpeg", ".hidden.jpg"})
            QVERIFY(writefile(d + "/" + name, 10));
        QDir(d).mkdir(QStringLiteral("folder.jpg"));
        QVERIFY(QFile::link(d + "/b.jpg", d + "/link.jpg"));
        QVERIFY(::mkfifo(QFile::encodeName(d + "/fifo.jpg").constData(), 0600) == 0);
        // A name that is not valid UTF-8 cannot be shown truthfully: it is left out.
        const QByteArray badname = QFile::encodeName(d) + "/bad\xff.jpg";
        {
            FILE *f = std::fopen(badname.constData(), "w");
            QVERIFY(f);
            std::fclose(f);
        }

        QStringList names;
        QVERIFY(readfilenames(d, QStringLiteral("*.jpg;*.gif"), names));
        QCOMPARE(names, QStringList({"A.JPG", "b.jpg", "c.gif"}));
        QVERIFY(readfilenames(d, QStringLiteral("*.*"), names));
        QCOMPARE(names, QStringList({"A.JPG", "b.jpg", "c.gif", "clip.jpeg", "index"}));
        QVERIFY(!readfilenames(d + "/missing", QStringLiteral("*.*"), names));
    }

    void sortsWithoutCaseThenByName_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("sorted");
        QTest::newRow("letters and punctuation")
            << QStringList{"B.jpg", "_x.jpg", "a.jpg", "[1].jpg"}
            << QStringList{"[1].jpg", "_x.jpg", "a.jpg", "B.jpg"};
        QTest::newRow("ties by the name itself") << QStringList{"a.JPG", "A.jpg", "a.jpg", "A.JPG"}
                                                 << QStringList{"A.JPG", "A.jpg", "a.JPG", "a.jpg"};
        QTest::newRow("a name before its longer self")
            << QStringList{"Ba", "b", "B"} << QStringList{"B", "b", "Ba"};
        QTest::newRow("accented") << QStringList{"\u00e9.jpg", "E.jpg", "f.jpg", "\u00c9.jpg"}
                                  << QStringList{"E.jpg", "f.jpg", "\u00c9.jpg", "\u00e9.jpg"};
        QTest::newRow("Kelvin sign") << QStringList{"\u212a.jpg", "l.jpg", "k.jpg", "K.jpg"}
                                     << QStringList{"K.jpg", "k.jpg", "\u212a.jpg", "l.jpg"};
        QTest::newRow("outside the basic plane")
            << QStringList{"\U00010428.jpg", "\uff21.jpg", "\U00010400.jpg", "z.jpg"}
            << QStringList{"z.jpg", "\U00010400.jpg", "\U00010428.jpg", "\uff21.jpg"};
    }
    void sortsWithoutCaseThenByName()
    {
        QFETCH(QStringList, names);
        QFETCH(QStringList, sorted);
        QTemporaryDir dir;
        for (const QString &name : names)
            QVERIFY(writefile(dir.path() + "/" + name, 1));
        QStringList listed;
        QVERIFY(readfilenames(dir.path(), QStringLiteral("*.*"), listed));
        QCOMPARE(listed, sorted);
        // The order is that of the whole names case-folded, ties broken by the names.
        std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
            const int c = a.toCaseFolded().compare(b.toCaseFolded());
            return c != 0 ? c < 0 : a < b;
        });
        QCOMPARE(listed, names);
    }

    void sizesOfListedFiles_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<qint64>("bytes");
        QTest::newRow("ascii") << "pic[1].jpg" << qint64(12000);
        QTest::newRow("latin-1 letter") << "caf\u00e9[1].jpg" << qint64(13000);
        QTest::newRow("chinese") << "\u56fe\u7247[1].jpg" << qint64(14000);
        QTest::newRow("longest ascii") << QString(251, u'n') + ".jpg" << qint64(15000);
    }
    void sizesOfListedFiles()
    {
        QFETCH(QString, name);
        QFETCH(qint64, bytes);
        QTemporaryDir dir;
        QVERIFY(writefile(dir.path() + "/" + name, bytes));
        QVERIFY(writefile(dir.path() + "/gone.jpg", 11000));
        QVERIFY(QFile::link(dir.path() + "/" + name, dir.path() + "/link.jpg"));
        QStringList names;
        QVERIFY(readfilenames(dir.path(), QStringLiteral("*.jpg"), names));
        QCOMPARE(names.size(), 2);
        names << QStringLiteral("link.jpg");
        QVERIFY(QFile::remove(dir.path() + "/gone.jpg"));
        SizeFilter all;
        all.reset(0, 92160);
        const FolderHandle folder = openbeneath(dir.path());
        // Neither a file gone since the listing nor a link has a row.
        const std::vector<AdmittedFile> admitted = admittedfiles(folder.fd(), names, all);
        QCOMPARE(admitted.size(), size_t(1));
        QCOMPARE(names[admitted[0].index], name);
        QCOMPARE(admitted[0].bytes, bytes);
    }

    void sizesOfALongList()
    {
        // Long enough to be asked for in two halves.
        QTemporaryDir dir;
        const int n = 5001;
        for (int i = 0; i < n; ++i)
            QVERIFY(writefile(dir.path() + QStringLiteral("/f%1.jpg").arg(i, 5, 10, QChar(u'0')),
                              i % 97));
        QStringList names;
        QVERIFY(readfilenames(dir.path(), QStringLiteral("*.jpg"), names));
        QCOMPARE(names.size(), n);
        // Gone from either half; those on each side of the middle stay.
        const std::vector<int> gone = {0, 1000, 4000, n - 1};
        for (const int g : gone)
            QVERIFY(QFile::remove(dir.path() + "/" + names[g]));
        SizeFilter all;
        all.reset(0, 92160);
        const FolderHandle folder = openbeneath(dir.path());
        const std::vector<AdmittedFile> admitted = admittedfiles(folder.fd(), names, all);
        QCOMPARE(admitted.size(), size_t(n) - gone.size());
        size_t k = 0;
        for (qsizetype i = 0; i < n; ++i) {
            if (std::find(gone.begin(), gone.end(), int(i)) != gone.end())
                continue;
            QCOMPARE(admitted[k].index, i);
            QCOMPARE(admitted[k].bytes, qint64(i % 97));
            ++k;
        }
    }

    void announcesOnlyARealChangeOfFolder()
    {
        QTemporaryDir dir;
        QVERIFY(writefile(dir.path() + "/one/a.jpg", 1));
        QVERIFY(writefile(dir.path() + "/two/b.jpg", 1));
        FileListBox box;
        box.setPattern(QStringLiteral("*.jpg"));
        QSignalSpy changes(&box, &FileListBox::PathChange);

        QVERIFY(box.setPath(dir.path() + "/one"));
        QCOMPARE(changes.count(), 1);
        QCOMPARE(box.ListCount(), 1);
        QCOMPARE(box.List(0), QStringLiteral("a.jpg"));
        QVERIFY(box.setPath(dir.path() + "/one"));
        QCOMPARE(changes.count(), 1);

        // A folder that cannot be read is refused: folder and names stay.
        QVERIFY(!box.setPath(dir.path() + "/gone"));
        QCOMPARE(changes.count(), 1);
        QCOMPARE(box.Path(), dir.path() + "/one");
        QCOMPARE(box.List(0), QStringLiteral("a.jpg"));

        // A new pattern re-reads the folder without announcing it.
        QVERIFY(writefile(dir.path() + "/one/c.gif", 1));
        box.setPattern(QStringLiteral("*.*"));
        QCOMPARE(changes.count(), 1);
        QCOMPARE(box.names(), QStringList({"a.jpg", "c.gif"}));
        QCOMPARE(box.List(5), QString());
        QCOMPARE(box.List(-1), QString());
    }

    void subfoldersAtMostSixteenHiddenIncluded()
    {
        QTemporaryDir dir;
        for (int i = 0; i < 20; ++i)
            QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("%1F%2").arg(i % 2 ? "." : "").arg(i)));
        QVERIFY(writefile(dir.path() + "/index.dat", 5));
        QVERIFY(QFile::link(dir.path() + "/F0", dir.path() + "/linked"));
        const QStringList all = readsubfolders(dir.path(), 100);
        QCOMPARE(all.size(), 20);
        QVERIFY(!all.contains("index.dat"));
        QVERIFY(!all.contains("linked"));
        QVERIFY(all.contains(".F1"));
        const QStringList first = readsubfolders(dir.path(), 16);
        QCOMPARE(first, all.mid(0, 16));
        QVERIFY(readsubfolders(dir.path() + "/missing", 16).isEmpty());
    }

    // A resource tree of this program inside a cache is no cache folder: named 挖到的资源, or a
    // plain manifest.csv beside a class folder. "x/" is a folder, "x>y" a link to y.
    void resourceTreesAreNoCacheFolders_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<bool>("listed");
        const QString tree = QString::fromUtf8("挖到的资源");
        QTest::newRow("a cache folder") << "AAAA0001" << QStringList{"a.jpg", "b.gif"} << true;
        QTest::newRow("an empty tree") << tree << QStringList{} << false;
        QTest::newRow("a tree") << tree << QStringList{"manifest.csv", "jpg/", "others/"} << false;
        QTest::newRow("a tree renamed") << "old" << QStringList{"manifest.csv", "jpg/"} << false;
        QTest::newRow("with others only")
            << "old" << QStringList{"manifest.csv", "others/"} << false;
        QTest::newRow("a manifest alone") << "old" << QStringList{"manifest.csv"} << true;
        QTest::newRow("a class folder alone") << "old" << QStringList{"jpg/", "gif/"} << true;
        QTest::newRow("a manifest that is a folder")
            << "old" << QStringList{"manifest.csv/", "jpg/"} << true;
        QTest::newRow("a manifest that is a link")
            << "old" << QStringList{"real.csv", "manifest.csv>real.csv", "jpg/"} << true;
        QTest::newRow("a class folder that is a link")
            << "old" << QStringList{"manifest.csv", "real/", "jpg>real"} << true;
        QTest::newRow("a class file") << "old" << QStringList{"manifest.csv", "jpg"} << true;
        QTest::newRow("names in other case")
            << "old" << QStringList{"MANIFEST.CSV", "JPG/"} << true;
        QTest::newRow("a tree with a similar name") << tree + "2" << QStringList{"jpg/"} << true;
    }
    void resourceTreesAreNoCacheFolders()
    {
        QFETCH(QString, folder);
        QFETCH(QStringList, entries);
        QFETCH(bool, listed);
        QTemporaryDir dir;
        const QString at = dir.path() + "/" + folder + "/";
        QVERIFY(QDir().mkpath(at));
        QVERIFY(QDir().mkpath(dir.path() + "/BBBB0002"));
        for (const QString &e : entries) {
            if (e.endsWith('/'))
                QVERIFY(QDir().mkpath(at + e));
            else if (e.contains('>'))
                QVERIFY(QFile::link(e.section('>', 1), at + e.section('>', 0, 0)));
            else
                QVERIFY(writefile(at + e, 10));
        }
        const QStringList found = readsubfolders(dir.path(), 16);
        QCOMPARE(found.contains(folder), listed);
        QVERIFY(found.contains("BBBB0002"));
    }

    // A tree left out takes none of the sixteen places.
    void resourceTreesTakeNoPlace()
    {
        QTemporaryDir dir;
        QVERIFY(QDir().mkpath(dir.path() + QString::fromUtf8("/挖到的资源/jpg")));
        for (int i = 0; i < 16; ++i)
            QVERIFY(QDir().mkpath(dir.path() + QStringLiteral("/F%1").arg(i)));
        const QStringList found = readsubfolders(dir.path(), 16);
        QCOMPARE(found.size(), 16);
        QVERIFY(!found.contains(QString::fromUtf8("挖到的资源")));
    }
};

QTEST_GUILESS_MAIN(TestFileListBox)
#include "tst_filelistbox.moc"
