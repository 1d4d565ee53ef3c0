#include "filecopy.h"
#include "filelistbox.h"
#include "resultlistcontrol.h"
#include "testsupport.h"

#include <QDir>
#include <QDirIterator>
#include <QProgressBar>
#include <QTimer>
#include <QtTest>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

using namespace vellomar;
using namespace vellomar::test;

namespace {

struct FaultWindow {
    CacheFixture f;
    Window w;
    QString folder() const { return f.sub("AAAAAAAA"); }
    QString tree(const QString &rel = {}) const
    {
        return w.dig().downloaddir() + QString::fromUtf8("挖到的资源/") + rel;
    }
    // `n` JPEG-named files of distinct content.
    void make(int n, int kb = 11)
    {
        for (int i = 0; i < n; ++i)
            writefile(folder() + QStringLiteral("/f%1.jpg").arg(i, 3, 10, QLatin1Char('0')),
                      kb * 1024, char('a' + i % 26));
    }
    // The record of the digs, beside the class folders.
    static bool ismanifest(const QString &path)
    {
        return path.endsWith(QString::fromUtf8("挖到的资源/manifest.csv"));
    }
    // Every file left in the tree, and whether each is an intact copy of its source.
    QStringList leftovers() const
    {
        QStringList bad;
        QDirIterator it(tree(), QDir::Files | QDir::Hidden | QDir::System,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString p = it.next();
            if (ismanifest(p))
                continue;
            const QString name = QFileInfo(p).fileName();
            if (readcontent(folder() + "/" + name) != readcontent(p))
                bad << name;
        }
        return bad;
    }
    int dugfiles() const
    {
        int n = 0;
        QDirIterator it(tree(), QDir::Files | QDir::Hidden | QDir::System,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            n += ismanifest(it.next()) ? 0 : 1;
        return n;
    }
};

} // namespace

class TestFaults : public QObject
{
    Q_OBJECT
  private slots:
    void aFileDeletedBeforeTheDig()
    {
        FaultWindow x;
        x.make(5);
        x.w.load(x.f.cacheroot(), x.f.download());
        QCOMPARE(x.w->Rlt_iecachesubdir->RowCount(), 5);
        QVERIFY(QFile::remove(x.folder() + "/f002.jpg"));
        x.w.dig().cmd_downcurall_Click();
        QCOMPARE(x.w.dig().counters().totalfiles(), qint64(4));
        QCOMPARE(x.dugfiles(), 4);
        QVERIFY(x.leftovers().isEmpty());
    }

    void theDownloadDirectoryVanishesDuringADig()
    {
        FaultWindow x;
        x.make(300);
        x.w.load(x.f.cacheroot(), x.f.download());
        // While the pass runs, once its progress shows a few rows, the whole directory goes.
        // The copies go on meanwhile, and a file made during the removal makes it fail: it is
        // tried again until the copies wait for the window, a bounded number of rows ahead.
        bool gone = false;
        QObject::connect(x.w->prg_downprocess, &QProgressBar::valueChanged, [&](int percent) {
            QDeadlineTimer deadline(10000);
            while (!gone && percent >= 5 && !deadline.hasExpired())
                gone = QDir(x.f.download()).removeRecursively();
        });
        x.w.dig().cmd_downcurall_Click();
        QVERIFY(gone);
        QVERIFY(x.w.dig().counters().totalfiles() < 300);
        QVERIFY(!QFileInfo::exists(x.f.download()));
        // The program goes on: with the directory back, the next dig works.
        QDir().mkpath(x.f.download());
        x.w.dig().cmd_downcurall_Click();
        QCOMPARE(x.w.dig().counters().totalfiles(), qint64(300));
        QVERIFY(x.leftovers().isEmpty());
    }

    void aClassFolderReplacedByAFile()
    {
        FaultWindow x;
        x.make(3);
        QVERIFY(writefile(x.folder() + "/song.mp3", 12 * 1024));
        x.w.load(x.f.cacheroot(), x.f.download());
        QVERIFY(QDir(x.tree("jpg")).removeRecursively());
        QVERIFY(writecontent(x.tree("jpg"), "in the way"));
        x.w.dig().cmd_downcurall_Click();
        QCOMPARE(readcontent(x.tree("jpg")), QByteArray("in the way"));
        QCOMPARE(x.w.dig().counters().totalfiles(), qint64(1));
        QVERIFY(QFile::exists(x.tree("mp3/song.mp3")));
        // Each row's outcome is kept, in row order: the pictures failed, the song was copied.
        const std::vector<DigOutcome> &kept = x.w.dig().lastdig();
        QCOMPARE(int(kept.size()), x.w->Rlt_iecachesubdir->RowCount());
        for (int r = 0; r < int(kept.size()); ++r)
            QCOMPARE(kept[size_t(r)], x.w->Rlt_iecachesubdir->RowData(r).type == "mp3"
                                          ? DigOutcome::copied
                                          : DigOutcome::failed);
    }

    void theDiskFillsUpMidway()
    {
        if (::geteuid() != 0)
            QSKIP("mounting a small tmpfs needs root");
        FaultWindow x;
        x.make(8, 100);
        QTemporaryDir mnt;
        if (::mount("tmpfs", QFile::encodeName(mnt.path()).constData(), "tmpfs", 0, "size=420k") !=
            0)
            QSKIP("cannot mount tmpfs here");
        x.w.load(x.f.cacheroot(), mnt.path() + "/");
        x.w.dig().cmd_downcurall_Click();
        const int dug = x.dugfiles();
        const QStringList bad = x.leftovers();
        const qint64 counted = x.w.dig().counters().totalfiles();
        ::umount2(QFile::encodeName(mnt.path()).constData(), MNT_DETACH);
        QVERIFY(dug >= 1 && dug < 8);
        QVERIFY2(bad.isEmpty(), qPrintable(bad.join(',')));
        QCOMPARE(counted, qint64(dug));
    }

    void aReadErrorLeavesNothing()
    {
        QTemporaryDir dir;
        QVERIFY(writefile(dir.path() + "/src.jpg", 100000));
        // A descriptor that cannot be read from: every read fails.
        const int bad = ::open(QFile::encodeName(dir.path() + "/src.jpg").constData(), O_WRONLY);
        QVERIFY(bad >= 0);
        std::error_code ec;
        const FolderHandle folder = openbeneath(dir.path());
        QVERIFY(!copyinto(bad, 100000, folder.fd(), "dst.jpg", ec));
        ::close(bad);
        QVERIFY(ec);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"src.jpg"}));
        // A source shorter than it claimed is a failure too.
        const int shortfd =
            ::open(QFile::encodeName(dir.path() + "/src.jpg").constData(), O_RDONLY);
        QVERIFY(!copyinto(shortfd, 200000, folder.fd(), "dst.jpg", ec));
        ::close(shortfd);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"src.jpg"}));
    }
};

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
