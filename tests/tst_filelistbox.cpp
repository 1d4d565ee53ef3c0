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
};

QTEST_GUILESS_MAIN(TestFileListBox)
#include "tst_filelistbox.moc"
