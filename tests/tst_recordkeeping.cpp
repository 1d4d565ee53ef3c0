// The dig's bookkeeping on disk, from the core alone: the manifest written line by line, copies
// that have no name until they take theirs, and the clean-up of dead passes' temporary files.
#include "filecopy.h"
#include "manifestwriter.h"
#include "passlock.h"
#include "platform.h"
#include "resourcetree.h"
#include "testfiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace vellomar;
using namespace vellomar::test;

namespace {

struct Tree {
    QTemporaryDir dir;
    QString down() const { return dir.path() + "/"; }
    QString tree(const QString &rel = {}) const
    {
        return down() + QString::fromUtf8("挖到的资源/") + rel;
    }
    Tree() { makeresourcetree(down()); }
    QStringList entries(const QString &rel) const
    {
        return QDir(tree(rel)).entryList(
            QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    }
};

ManifestLine line(const QString &name)
{
    ManifestLine l;
    l.cachefile = name;
    l.outcome = QStringLiteral("copied");
    return l;
}

QByteArray header()
{
    return csvrecord(manifestcolumns());
}

QByteArray recordof(const QString &name)
{
    return csvrecord(manifestfields(line(name)));
}

} // namespace

class TestRecordKeeping : public QObject
{
    Q_OBJECT
  private slots:
    // A pass that died leaves hidden temporary copies; the next pass that finds no other pass
    // at work removes them, and only them: names of that form, plain files, in the class
    // folders, never through a link. While another pass holds the lock, nothing goes.
    void leftoverCopiesOfDeadPassesGo()
    {
        Tree t;
        QTemporaryDir outside;
        auto live = std::make_unique<PassLock>(t.down()); // a pass at work
        QVERIFY(live->held());
        // Its own temporary files, as a pass that dies leaves them.
        const QStringList dead = {"jpg/.vellomar-AbCd1234", "others/.vellomar-0000zzzz"};
        for (const QString &rel : dead)
            QVERIFY(writecontent(t.tree(rel), "dead pass"));
        const QStringList kept = {"jpg/.vellomar-abc",      "jpg/.vellomar-abcdefghi",
                                  "jpg/.vellomar-abcd-123", "jpg/vellomar-abcdefgh",
                                  "jpg/.Vellomar-abcdefgh", ".vellomar-TreeTree",
                                  "jpg/photo.jpg",          "manifest.csv"};
        for (const QString &rel : kept)
            QVERIFY(writecontent(t.tree(rel), "not ours"));
        QVERIFY(QDir().mkpath(t.tree("png/.vellomar-Folder12")));
        QVERIFY(::mkfifo(QFile::encodeName(t.tree("mp3/.vellomar-Fifo1234")).constData(), 0600) ==
                0);
        QVERIFY(writecontent(outside.path() + "/target", "elsewhere"));
        QVERIFY(QFile::link(outside.path() + "/target", t.tree("swf/.vellomar-LinkLink")));
        // A class folder that is a link: what it points at is never entered.
        QVERIFY(QDir(t.tree("gif")).removeRecursively());
        QVERIFY(writecontent(outside.path() + "/gif/.vellomar-Outside1", "elsewhere"));
        QVERIFY(QFile::link(outside.path() + "/gif", t.tree("gif")));

        const auto left = [&] {
            QStringList all;
            for (const QString &rel : dead + kept)
                if (QFileInfo(t.tree(rel)).exists())
                    all << rel;
            return all;
        };
        {
            // Another pass beside the live one: the live pass's files stay.
            const PassLock second(t.down());
            QVERIFY(second.held());
            QCOMPARE(second.removed(), 0);
            QCOMPARE(left(), dead + kept);
        }
        live.reset(); // the pass is gone
        const PassLock alone(t.down());
        QVERIFY(alone.held());
        QCOMPARE(alone.removed(), 2);
        QCOMPARE(left(), kept);
        QVERIFY(QFileInfo(t.tree("png/.vellomar-Folder12")).isDir());
        QVERIFY(QFileInfo::exists(t.tree("mp3/.vellomar-Fifo1234")));
        QVERIFY(QFileInfo(t.tree("swf/.vellomar-LinkLink")).isSymLink());
        QCOMPARE(readcontent(outside.path() + "/target"), QByteArray("elsewhere"));
        QCOMPARE(readcontent(outside.path() + "/gif/.vellomar-Outside1"), QByteArray("elsewhere"));
    }

    // A copy has no name in its folder until it is given one, and never takes a name held.
    void aCopyIsUnnamedUntilNamed()
    {
        Tree t;
        QVERIFY(writecontent(t.dir.path() + "/source", "the bytes"));
        const FolderHandle folder = openbeneath(t.tree("jpg"));
        const int in =
            ::open(QFile::encodeName(t.dir.path() + "/source").constData(), O_RDONLY | O_CLOEXEC);
        QVERIFY(in >= 0);
        std::error_code ec;
        {
            StagedCopy dropped;
            QVERIFY(stagecopy(in, 9, folder.fd(), dropped, ec));
        }
        QVERIFY(t.entries("jpg").isEmpty());
        QVERIFY(::lseek(in, 0, SEEK_SET) == 0);
        StagedCopy copy;
        QVERIFY(stagecopy(in, 9, folder.fd(), copy, ec));
        ::close(in);
        QVERIFY2(t.entries("jpg").isEmpty(), qPrintable(t.entries("jpg").join(',')));
        QVERIFY(writecontent(t.tree("jpg/a.jpg"), "taken"));
        QVERIFY(!publishcopy(copy, "a.jpg", ec));
        QCOMPARE(ec, std::make_error_code(std::errc::file_exists));
        QCOMPARE(readcontent(t.tree("jpg/a.jpg")), QByteArray("taken"));
        QVERIFY(publishcopy(copy, "a_2.jpg", ec));
        QCOMPARE(readcontent(t.tree("jpg/a_2.jpg")), QByteArray("the bytes"));
        QCOMPARE(t.entries("jpg"), QStringList({"a.jpg", "a_2.jpg"}));
    }

    // The manifest grows a line at a time, with its header when new.
    void linesAreAppended()
    {
        Tree t;
        {
            ManifestWriter w(t.down());
            QVERIFY(w.record(line("a.jpg")));
            QVERIFY(w.record(line("b,c.jpg")));
            QVERIFY(!w.error());
        }
        QCOMPARE(readcontent(t.tree("manifest.csv")),
                 header() + recordof("a.jpg") + recordof("b,c.jpg"));
        // Its permissions stay; writers at once keep all their lines, none mixed.
        QFile(t.tree("manifest.csv")).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        std::vector<std::thread> digs;
        for (int k = 0; k < 4; ++k)
            digs.emplace_back([&t, k] {
                ManifestWriter w(t.down());
                for (int i = 0; i < 25; ++i)
                    w.record(line(QStringLiteral("t%1-%2,\n.jpg").arg(k).arg(i)));
            });
        for (std::thread &d : digs)
            d.join();
        const QByteArray all = readcontent(t.tree("manifest.csv"));
        for (int k = 0; k < 4; ++k)
            for (int i = 0; i < 25; ++i)
                QVERIFY(all.contains(recordof(QStringLiteral("t%1-%2,\n.jpg").arg(k).arg(i))));
        qsizetype expected = (header() + recordof("a.jpg") + recordof("b,c.jpg")).size();
        for (int k = 0; k < 4; ++k)
            for (int i = 0; i < 25; ++i)
                expected += recordof(QStringLiteral("t%1-%2,\n.jpg").arg(k).arg(i)).size();
        QCOMPARE(all.size(), expected);
        QCOMPARE(int(QFile(t.tree("manifest.csv")).permissions() & 0x00ff), 0);
    }

    // What the line records is done while no other writer appends; when it fails, the line is
    // taken back.
    void aFailedStepTakesItsLineBack()
    {
        Tree t;
        ManifestWriter w(t.down());
        QVERIFY(w.record(line("a.jpg")));
        QVERIFY(!w.record(line("b.jpg"), [] { return false; }));
        bool ran = false;
        QVERIFY(w.record(line("c.jpg"), [&] { return ran = true; }));
        QVERIFY(ran);
        QVERIFY(!w.error());
        QCOMPARE(readcontent(t.tree("manifest.csv")),
                 header() + recordof("a.jpg") + recordof("c.jpg"));
    }

    // A pass killed while writing its line left part of it: the next writer cuts it off,
    // however it ends, so that no line runs on from it.
    void aCrashedPassesHalfLineIsCutOff_data()
    {
        QTest::addColumn<QByteArray>("half");
        QTest::newRow("plain") << QByteArray("2026-12-11T10:00:00Z,/c/X,half.jpg,12");
        QTest::newRow("in quotes, past a line feed")
            << QByteArray("2026-12-11T10:00:00Z,/c/X,\"odd\r\nname");
        QTest::newRow("before its line feed") << QByteArray(recordof("whole.jpg").chopped(1));
        QTest::newRow("the header itself") << header().left(20);
    }
    void aCrashedPassesHalfLineIsCutOff()
    {
        QFETCH(QByteArray, half);
        Tree t;
        const QByteArray before =
            half.startsWith("time") ? QByteArray() : header() + recordof("a\r\nb.jpg");
        QVERIFY(writecontent(t.tree("manifest.csv"), before + half));
        {
            ManifestWriter w(t.down());
            QVERIFY(w.record(line("next.jpg")));
        }
        QCOMPARE(readcontent(t.tree("manifest.csv")),
                 (before.isEmpty() ? header() : before) + recordof("next.jpg"));
        // A writer already at work when another died is not glued on either.
        ManifestWriter w(t.down());
        QVERIFY(w.record(line("one.jpg")));
        QFile f(t.tree("manifest.csv"));
        QVERIFY(f.open(QIODevice::Append));
        f.write(half);
        f.close();
        QVERIFY(w.record(line("two.jpg")));
        QVERIFY(readcontent(t.tree("manifest.csv"))
                    .endsWith(recordof("one.jpg") + recordof("two.jpg")));
    }

    // Something that is no plain file under the name is left as it is; the failure is kept,
    // and what the lines record is still done.
    void whatIsNoPlainFileIsLeftBe_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("link") << "link";
        QTest::newRow("folder") << "folder";
        QTest::newRow("fifo") << "fifo";
        QTest::newRow("no tree") << "none";
    }
    void whatIsNoPlainFileIsLeftBe()
    {
        QFETCH(QString, kind);
        Tree t;
        const QString manifest = t.tree("manifest.csv");
        QVERIFY(writecontent(t.dir.path() + "/elsewhere.txt", "theirs"));
        if (kind == "link")
            QVERIFY(QFile::link(t.dir.path() + "/elsewhere.txt", manifest));
        if (kind == "folder")
            QVERIFY(QDir().mkpath(manifest));
        if (kind == "fifo")
            QVERIFY(::mkfifo(QFile::encodeName(manifest).constData(), 0600) == 0);
        if (kind == "none")
            QVERIFY(QDir(t.tree()).removeRecursively());
        ManifestWriter w(t.down());
        bool ran = false;
        QVERIFY(w.record(line("a.jpg"), [&] { return ran = true; }));
        QVERIFY(ran);
        QVERIFY(w.error());
        QCOMPARE(readcontent(t.dir.path() + "/elsewhere.txt"), QByteArray("theirs"));
        if (kind == "link")
            QVERIFY(QFileInfo(manifest).isSymLink());
    }
};

QTEST_GUILESS_MAIN(TestRecordKeeping)
#include "tst_recordkeeping.moc"
