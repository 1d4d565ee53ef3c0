#include "desktopseams.h"
#include "housekeeping.h"
#include "resultlistcontrol.h"
#include "shellopen.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QToolButton>
#include <QtTest>
#include <sys/stat.h>

using namespace vellomar;
using namespace vellomar::test;

class TestHousekeeping : public QObject
{
    Q_OBJECT
  private slots:
    void emptiesTheClassFoldersOnYes()
    {
        CacheFixture f;
        Window w;
        w.load(f.cacheroot(), f.download());
        const QString res = f.download() + QString::fromUtf8("挖到的资源/");
        QVERIFY(writefile(res + "jpg/a.jpg", 10));
        QVERIFY(writefile(res + "gif/deep/inside/b.gif", 10));
        QVERIFY(writefile(res + "keep.txt", 10));
        QVERIFY(QDir(res).mkdir("keepfolder"));
        QVERIFY(writefile(res + "others/ro.bin", 10));
        ::chmod(QFile::encodeName(res + "others/ro.bin").constData(), 0444);
        ::chmod(QFile::encodeName(res + "others").constData(), 0555);
        QVERIFY(writefile(res + "png/.hidden", 10));
        // Links inside and a class folder that is a link: removed as links only.
        QVERIFY(writecontent(f.dir.path() + "/outside/precious.mp3", "keep me"));
        QVERIFY(QFile::link(f.dir.path() + "/outside/precious.mp3", res + "mp3/link.mp3"));
        QVERIFY(QDir(res + "wma").removeRecursively());
        QVERIFY(QFile::link(f.dir.path() + "/outside", res + "wma"));

        w.dialogs.answer = false;
        w.dig().cmd_killall_Click();
        QCOMPARE(w.dialogs.confirms,
                 QStringList({QString::fromUtf8("您确定要清空存放挖到资源的目录吗？")}));
        QVERIFY(QFile::exists(res + "jpg/a.jpg"));

        w.dialogs.answer = true;
        w->cmd_killall->click();
        for (const char *cls : {"jpg", "gif", "png", "mp3", "wma", "swf", "flv", "others"}) {
            QVERIFY2(QFileInfo(res + cls).isDir() && !QFileInfo(res + cls).isSymLink(), cls);
            QVERIFY2(QDir(res + cls)
                         .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                         .isEmpty(),
                     cls);
        }
        QVERIFY(QFile::exists(res + "keep.txt"));
        QVERIFY(QFileInfo(res + "keepfolder").isDir());
        QCOMPARE(readcontent(f.dir.path() + "/outside/precious.mp3"), QByteArray("keep me"));
    }

    // Only folders are class folders: a file or a link to a file under a class's name stays.
    void leavesAFileCarryingAClassName()
    {
        QTemporaryDir dir;
        const QString res = dir.path() + QString::fromUtf8("/挖到的资源/");
        QVERIFY(writecontent(res + "jpg", "a file, not a folder"));
        QVERIFY(writecontent(dir.path() + "/elsewhere.txt", "keep"));
        QVERIFY(QFile::link(dir.path() + "/elsewhere.txt", res + "gif"));
        QVERIFY(writefile(res + "png/a.png", 3));
        QVERIFY(emptyclassfolders(dir.path() + "/").isEmpty());
        QCOMPARE(readcontent(res + "jpg"), QByteArray("a file, not a folder"));
        QVERIFY(QFileInfo(res + "gif").isSymLink());
        QCOMPARE(readcontent(dir.path() + "/elsewhere.txt"), QByteArray("keep"));
        QVERIFY(!QFileInfo::exists(res + "png"));
    }

    void makesAMissingTree()
    {
        CacheFixture f;
        Window w;
        w.load(f.cacheroot(), f.download());
        QDir(f.download() + QString::fromUtf8("挖到的资源")).removeRecursively();
        w.dig().cmd_killall_Click();
        QVERIFY(QFileInfo(f.download() + QString::fromUtf8("挖到的资源/others")).isDir());
    }

    void neverLeavesTheTree()
    {
        QTemporaryDir dir;
        QVERIFY(writefile(dir.path() + "/a.jpg", 3));
        QVERIFY(writefile(dir.path() + "/jpg/b.jpg", 3)); // not under the resource folder
        QVERIFY(emptyclassfolders(dir.path() + "/").isEmpty());
        QVERIFY(QFile::exists(dir.path() + "/a.jpg"));
        QVERIFY(QFile::exists(dir.path() + "/jpg/b.jpg"));
        // A resource folder that is a link is not followed.
        QVERIFY(writefile(dir.path() + "/real/jpg/c.jpg", 3));
        QVERIFY(QFile::link(dir.path() + "/real", dir.path() + QString::fromUtf8("/挖到的资源")));
        emptyclassfolders(dir.path() + "/");
        QVERIFY(QFile::exists(dir.path() + "/real/jpg/c.jpg"));
    }

    void clearsTheCacheFoldersAndShowsWhatIsLeft()
    {
        CacheFixture f;
        for (const char *folder : {"AAAAAAAA", "BBBBBBBB"}) {
            QVERIFY(writefile(f.sub(folder) + "/a.jpg", 11 * 1024));
            QVERIFY(writefile(f.sub(folder) + "/index", 11 * 1024));
            QVERIFY(writefile(f.sub(folder) + "/.hidden.gif", 11 * 1024));
            QVERIFY(QDir(f.sub(folder)).mkdir("sub"));
        }
        QVERIFY(writefile(f.ie5() + "/index.dat", 100));
        QVERIFY(writecontent(f.dir.path() + "/outside.jpg", "keep"));
        QVERIFY(QFile::link(f.dir.path() + "/outside.jpg", f.sub("AAAAAAAA") + "/link.jpg"));
        Window w;
        w.load(f.cacheroot(), f.download());
        w->lst_TmpIntDir->setCurrentRow(1);

        w.dialogs.answer = false;
        w.browser().Cmd_cleariecache_Click();
        QVERIFY(QFile::exists(f.sub("AAAAAAAA") + "/a.jpg"));
        QCOMPARE(w->Rlt_iecachesubdir->RowCount(), 1);

        w.dialogs.answer = true;
        w->Cmd_cleariecache->click();
        QCOMPARE(w.dialogs.confirms.last(), QString::fromUtf8("您确定要清空IE缓存目录吗？"));
        for (const char *folder : {"AAAAAAAA", "BBBBBBBB"}) {
            QCOMPARE(QDir(f.sub(folder))
                         .entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                    QDir::NoDotAndDotDot),
                     QStringList({"sub"}));
        }
        QCOMPARE(readcontent(f.dir.path() + "/outside.jpg"), QByteArray("keep"));
        QVERIFY(QFile::exists(f.ie5() + "/index.dat"));
        QCOMPARE(w->lst_TmpIntDir->currentRow(), 1);
        QVERIFY(w->lst_TmpIntDir->item(1)->isSelected());
        QCOMPARE(w->Rlt_iecachesubdir->RowCount(), 0);
    }

    void clearingWithNoFoldersTouchesNothing()
    {
        CacheFixture f;
        QVERIFY(writefile(f.ie5() + "/index.dat", 100));
        Window w;
        w.load(f.cacheroot(), f.download());
        const int builds = w.rebuilds;
        w.browser().Cmd_cleariecache_Click();
        QVERIFY(QFile::exists(f.ie5() + "/index.dat"));
        QCOMPARE(w.rebuilds, builds);
    }

    void shellOpenReportsFailureAndNeverUsesAShell_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("quotes") << "a\" & evil\".jpg";
        QTest::newRow("subshell") << "$(touch pwned).jpg";
        QTest::newRow("backquotes") << "`id`.jpg";
        QTest::newRow("spaces") << "my photo.jpg";
        QTest::newRow("leading dash") << "-rf.jpg";
    }
    void shellOpenReportsFailureAndNeverUsesAShell()
    {
        QFETCH(QString, name);
        CacheFixture f;
        Window w;
        w.load(f.cacheroot(), f.download());
        const QString path = f.dir.path() + "/" + name;
        const Seams seams(&w.dialogs, &w.launcher, &w.screen, &w.settings);
        shellopen(w.w.get(), seams, path);
        QCOMPARE(w.launcher.opened, QStringList({path}));
        QVERIFY(w.dialogs.informs.isEmpty());
        w.launcher.succeed = false;
        shellopen(w.w.get(), seams, path);
        QCOMPARE(w.dialogs.informs,
                 QStringList({QString::fromUtf8("打开“") + path +
                              QString::fromUtf8("”失败！请检查此文件或目录是否存在且可用！")}));
    }

    // The real opener: its exit status is the outcome, learnt without the window waiting.
    void desktopLauncherReadsTheOpenersOutcome_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("exitcode");
        QTest::addColumn<bool>("opener");
        QTest::addColumn<bool>("ok");
        QTest::newRow("opened") << "photo.jpg" << 0 << true << true;
        QTest::newRow("no program for the type") << "x.unknowntype" << 3 << true << false;
        QTest::newRow("the program failed") << "photo.jpg" << 4 << true << false;
        QTest::newRow("no opener installed") << "photo.jpg" << 0 << false << false;
        QTest::newRow("odd name") << "-rf $(touch pwned) `id` \"a\".jpg" << 0 << true << true;
    }
    void desktopLauncherReadsTheOpenersOutcome()
    {
        QFETCH(QString, name);
        QFETCH(int, exitcode);
        QFETCH(bool, opener);
        QFETCH(bool, ok);
        QTemporaryDir dir;
        const QString args = dir.path() + "/args";
        const QString script = dir.path() + "/opener";
        QVERIFY(
            writecontent(script, QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$#\" \"$1\" > '%1'\n"
                                                "sleep 0.3\nexit %2\n")
                                     .arg(args)
                                     .arg(exitcode)
                                     .toUtf8()));
        QFile(script).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QString path = dir.path() + "/" + name;
        QVERIFY(writefile(path, 10));

        DesktopLauncher launcher(opener ? script : dir.path() + "/missing-opener");
        int answers = 0;
        bool outcome = !ok;
        launcher.open(path, [&](bool r) {
            ++answers;
            outcome = r;
        });
        if (opener)
            QCOMPARE(answers, 0); // still running: the window goes on meanwhile
        QTRY_COMPARE_WITH_TIMEOUT(answers, 1, 10000);
        QCOMPARE(outcome, ok);
        if (opener) {
            // One argument, the name exactly as it is: no shell took it apart.
            QCOMPARE(QString::fromUtf8(readcontent(args)), QStringLiteral("1\n") + path + "\n");
            QVERIFY(!QFile::exists(dir.path() + "/pwned"));
        }
        QTest::qWait(400);
        QCOMPARE(answers, 1);
    }

    void desktopLauncherRefusesAMissingPath()
    {
        QTemporaryDir dir;
        DesktopLauncher launcher(QStringLiteral("/bin/true"));
        bool outcome = true;
        launcher.open(dir.path() + "/gone.jpg", [&](bool r) { outcome = r; });
        QVERIFY(!outcome);
    }

    // The window shows the failure when it is learnt, not when the opener starts.
    void aFailedOpenIsReportedWhenTheOpenerEnds()
    {
        QTemporaryDir dir;
        const QString script = dir.path() + "/opener";
        QVERIFY(writecontent(script, "#!/bin/sh\nexit 3\n"));
        QFile(script).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        DesktopLauncher real(script);
        CacheFixture f;
        Window w;
        w.opener = &real;
        w.load(f.cacheroot(), f.download());
        const QString path = dir.path() + "/x.unknowntype";
        QVERIFY(writefile(path, 10));
        const Seams seams(&w.dialogs, &real, &w.screen, &w.settings);
        shellopen(w.w.get(), seams, path);
        QTRY_COMPARE_WITH_TIMEOUT(w.dialogs.informs.size(), 1, 10000);
        QCOMPARE(w.dialogs.informs.first(),
                 QString::fromUtf8("打开“") + path +
                     QString::fromUtf8("”失败！请检查此文件或目录是否存在且可用！"));
    }

    void openTheResourceFolderMakesItFirst()
    {
        CacheFixture f;
        Window w;
        w.load(f.cacheroot(), f.download());
        QDir(f.download() + QString::fromUtf8("挖到的资源")).removeRecursively();
        w->cmd_opendowndir->click();
        QCOMPARE(w.launcher.opened, QStringList({f.download() + QString::fromUtf8("挖到的资源")}));
        QVERIFY(QFileInfo(f.download() + QString::fromUtf8("挖到的资源/jpg")).isDir());
    }
};

QTEST_MAIN(TestHousekeeping)
#include "tst_housekeeping.moc"
