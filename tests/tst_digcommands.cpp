#include "busyanimation.h"
#include "filelistbox.h"
#include "flashplayer.h"
#include "hostilecache.h"
#include "resultlistcontrol.h"
#include "testsupport.h"

#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

using namespace vellomar;
using namespace vellomar::test;

namespace {

struct DigWindow {
    CacheFixture f;
    Window w;
    QString tree(const QString &rel) const
    {
        return f.download() + QString::fromUtf8("挖到的资源/") + rel;
    }
    QStringList files(const QString &cls) const
    {
        return QDir(tree(cls)).entryList(QDir::Files | QDir::Hidden, QDir::Name | QDir::IgnoreCase);
    }
    int folderindex(const QString &name) const
    {
        for (int k = 0; k < w->lst_TmpIntDir->count(); ++k)
            if (w->lst_TmpIntDir->item(k)->text() == name)
                return k;
        return -1;
    }
};

} // namespace

class TestDigCommands : public QObject
{
    Q_OBJECT
  private slots:
    void digTheListIntoItsClasses()
    {
        DigWindow x;
        const QString d = x.f.sub("AAAAAAAA") + "/";
        for (const char *n : {"a.jpg", "b.gif", "c.png", "d.mp3", "e.wma", "f.swf", "g.flv",
                              "PHOTO.JPG", "page.htm", "clip.jpeg", "index"})
            QVERIFY(writefile(d + n, 11 * 1024));
        x.w.load(x.f.cacheroot(), x.f.download());
        x.w.browser().Opt_filetype_Click(0);
        x.w.form().show();
        QVERIFY(QTest::qWaitForWindowExposed(x.w.w.get()));
        x.w->cmd_downcurall->click();
        for (const char *cls : {"jpg", "gif", "png", "mp3", "wma", "swf", "flv"})
            QCOMPARE(x.files(cls).size(), 1);
        QCOMPARE(x.files("others"), QStringList({"clip.jpeg", "index", "page.htm", "PHOTO.JPG"}));
        QCOMPARE(x.w.dig().counters().totalfiles(), qint64(11));
        QVERIFY(x.w->lbl_digresult->isVisible());
        QVERIFY(x.w.digresultcaption().contains(QString::fromUtf8("本次共提取到文件：11个，")));
        QVERIFY(!x.w.dig().digging());
        QCOMPARE(x.w.downprocesscaption(),
                 QString::fromUtf8("正在处理IE缓存文件夹（1/1），请稍候……") + QChar(13) +
                     QChar(13) + QString::fromUtf8("（100%）"));
        QVERIFY(x.w->pic_downprocesslblbox->isHidden());
        QVERIFY(x.w->Cmd_autodownall->isEnabled() && x.w->lst_TmpIntDir->isEnabled());
        // The labels break their lines where the texts have lone carriage returns.
        for (QLabel *l : {x.w->lbl_digresult, x.w->lbl_downprocess}) {
            QVERIFY2(!l->text().contains(QChar(13)), qPrintable(l->objectName()));
            QVERIFY2(l->text().count(QChar(10)) >= 2, qPrintable(l->objectName()));
        }
        // The whole report fits its label, whatever font stands in for the design's.
        const QLabel *report = x.w->lbl_digresult;
        QVERIFY(QFontMetrics(report->font())
                    .boundingRect(report->contentsRect(), int(report->alignment()), report->text())
                    .height() <= report->contentsRect().height());
    }

    void digSelectedDigsTheFirstRowAfterAChoice()
    {
        DigWindow x;
        for (const char *n : {"a.jpg", "b.jpg", "c.jpg"})
            QVERIFY(writefile(x.f.sub("AAAAAAAA") + "/" + n, 11 * 1024));
        x.w.load(x.f.cacheroot(), x.f.download());
        x.w->cmd_downcurselect->click();
        QCOMPARE(x.files("jpg"), QStringList({"a.jpg"}));

        // No row selected: nothing is copied, yet the progress runs to the end.
        x.w->Rlt_iecachesubdir->setRowSelected(0, false);
        QDir(x.tree("jpg")).removeRecursively();
        x.w.dig().cmd_downcurselect_Click();
        QVERIFY(x.files("jpg").isEmpty());
        QCOMPARE(x.w.dig().counters().totalfiles(), qint64(0));
        QVERIFY(x.w.downprocesscaption().endsWith(QString::fromUtf8("（100%）")));
    }

    void emptyListLeavesTheProgressTextAlone()
    {
        DigWindow x;
        QVERIFY(QDir(x.f.ie5()).mkdir("EMPTY000"));
        x.w.load(x.f.cacheroot(), x.f.download());
        x.w.dig().cmd_downcurall_Click();
        QCOMPARE(x.w.downprocesscaption(),
                 QString::fromUtf8("正在处理IE缓存文件夹（1/4），请稍候……"));
        QVERIFY(x.w.digresultcaption().contains(QString::fromUtf8("本次共提取到文件：0个，")));
    }

    void digAllWalksEveryFolderWithTheFilter()
    {
        DigWindow x;
        for (const char *folder : {"AAAAAAAA", "BBBBBBBB", "CCCCCCCC"}) {
            QVERIFY(writefile(x.f.sub(folder) + "/" + folder + ".gif", 11 * 1024));
            QVERIFY(writefile(x.f.sub(folder) + "/photo.jpg", 12 * 1024));
        }
        // The same name in two folders: once identical, once different.
        QVERIFY(writecontent(x.f.sub("AAAAAAAA") + "/same.gif", QByteArray(11 * 1024, 's')));
        QVERIFY(writecontent(x.f.sub("BBBBBBBB") + "/same.gif", QByteArray(11 * 1024, 's')));
        QVERIFY(writecontent(x.f.sub("AAAAAAAA") + "/diff.gif", QByteArray(11 * 1024, '1')));
        QVERIFY(writecontent(x.f.sub("CCCCCCCC") + "/diff.gif", QByteArray(12 * 1024, '2')));
        x.w.load(x.f.cacheroot(), x.f.download());
        x.w->Opt_filetype[5]->click(); // GIF
        // Each folder the dig walks is listed, but nothing is previewed while it digs.
        int previews = 0;
        QObject::connect(&x.w.preview(), &PreviewArea::previewstarted, [&] { ++previews; });
        const int builds = x.w.rebuilds;
        x.w->Cmd_autodownall->click();
        QCOMPARE(x.w.rebuilds, builds + 2); // the first folder was listed already
        QCOMPARE(previews, 0);
        QCOMPARE(x.files("gif"), QStringList({"AAAAAAAA.gif", "BBBBBBBB.gif", "CCCCCCCC.gif",
                                              "diff.gif", "diff_2.gif", "same.gif"}));
        QVERIFY(x.files("jpg").isEmpty());
        QCOMPARE(x.w.dig().counters().filesof(ResourceClass::gif), qint64(7));
        QCOMPARE(x.w->lst_TmpIntDir->currentRow(), 2);
        QVERIFY(x.w->flt_iecachesubdir->Path().endsWith(x.w->lst_TmpIntDir->item(2)->text()));
        // The folder seen first keeps its own name.
        const QString firstdiff =
            x.folderindex("AAAAAAAA") < x.folderindex("CCCCCCCC") ? QString("1") : QString("2");
        QCOMPARE(readcontent(x.tree("gif/diff.gif")).at(0), firstdiff.at(0).toLatin1());
    }

    void digAllWithNoFolders()
    {
        DigWindow x;
        x.w.load(x.f.cacheroot(), x.f.download());
        x.w.dig().Cmd_autodownall_Click();
        QVERIFY(x.w.digresultcaption().contains(QString::fromUtf8("本次共提取到文件：0个，")));
        QVERIFY(x.w->FlashDown->isHidden());
        QVERIFY(!x.w->FlashDown->playing());
    }

    void busyStateDuringThePass()
    {
        DigWindow x;
        for (int i = 0; i < 300; ++i)
            QVERIFY(writefile(x.f.sub("AAAAAAAA") + QStringLiteral("/f%1.jpg").arg(i), 11 * 1024));
        x.w.load(x.f.cacheroot(), x.f.download());
        x.w.form().show();
        int turns = 0;
        bool progressed = false;
        // Look at the window from inside every event-loop turn the pass yields.
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            if (!x.w.dig().digging())
                return;
            ++turns;
            QVERIFY(!x.w->lst_TmpIntDir->isEnabled());
            QVERIFY(!x.w->Rlt_iecachesubdir->isEnabled());
            QVERIFY(!x.w->fra_filesize->isEnabled() && !x.w->fra_filetype->isEnabled());
            for (QWidget *b :
                 {(QWidget *)x.w->Cmd_autodownall, (QWidget *)x.w->cmd_selectdowndir,
                  (QWidget *)x.w->cmd_killall, (QWidget *)x.w->cmd_downcurall,
                  (QWidget *)x.w->cmd_downcurselect, (QWidget *)x.w->Cmd_refreshfilelist,
                  (QWidget *)x.w->cmd_opendowndir, (QWidget *)x.w->Cmd_cleariecache})
                QVERIFY(!b->isEnabled());
            QVERIFY(!x.w->Pic_imgbox->isEnabled());
            QVERIFY(x.w->pic_downprocesslblbox->isVisible());
            QVERIFY(x.w->FlashDown->isVisible() && x.w->FlashDown->playing());
            QVERIFY(x.w->Fra_otheropt->isEnabled() && x.w->opt_picopenmode[1]->isEnabled());
            progressed = progressed || x.w->prg_downprocess->value() > 0;
        });
        // However slow the window is to show each row, the files are dug a few rows ahead of
        // the progress shown at most.
        int mostahead = 0;
        QObject::connect(x.w->prg_downprocess, &QProgressBar::valueChanged, [&](int percent) {
            QThread::msleep(5);
            mostahead = std::max(mostahead, int(x.files("jpg").size()) - percent * 300 / 100);
        });
        timer.start(0);
        x.w.dig().cmd_downcurall_Click();
        timer.stop();
        QVERIFY(turns > 0);
        QVERIFY(progressed);
        QVERIFY2(mostahead <= 3 + 32, qPrintable(QString::number(mostahead)));
        QVERIFY(x.w->lst_TmpIntDir->isEnabled() && x.w->Pic_imgbox->isEnabled());
        QVERIFY(!x.w->FlashDown->isVisible());
        QVERIFY(!x.w->Flashbox->isVisible());
    }

    // A large file is read and written while the window keeps answering: the event loop turns
    // while its copy has no name yet, and the rows still come in order.
    void theWindowTurnsDuringALargeCopy()
    {
        DigWindow x;
        const QString big = x.f.sub("AAAAAAAA") + "/big.flv";
        QVERIFY(QDir().mkpath(x.f.sub("AAAAAAAA")));
        {
            QFile f(big);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.resize(qint64(90) << 20));
        }
        QVERIFY(writefile(x.f.sub("AAAAAAAA") + "/small.flv", 11 * 1024));
        x.w.load(x.f.cacheroot(), x.f.download());
        x.w->SlD_maxfilesize->setValue(x.w->SlD_maxfilesize->maximum());
        QCOMPARE(x.w->Rlt_iecachesubdir->RowCount(), 2);
        x.w.form().show();
        int duringcopy = 0;
        QStringList captions;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            if (!x.w.dig().digging())
                return;
            // The copy has no name until it is complete and recorded.
            duringcopy += QFileInfo::exists(x.tree("flv/big.flv")) ? 0 : 1;
            const QString caption = x.w->lbl_downprocess->text();
            if (captions.isEmpty() || captions.last() != caption)
                captions << caption;
        });
        timer.start(0);
        x.w.dig().cmd_downcurall_Click();
        timer.stop();
        QVERIFY(duringcopy > 0);
        QCOMPARE(x.w.dig().counters().totalfiles(), qint64(2));
        QCOMPARE(QFileInfo(x.tree("flv/big.flv")).size(), qint64(90) << 20);
        // Each row's progress in turn; the last one stands when the pass ends.
        QCOMPARE(x.w->prg_downprocess->value(), 100);
        QVERIFY(captions.size() <= 3);
    }

    // While a dig reads the rows listed, no other place can be opened over them.
    void noOtherPlaceOpensDuringADig()
    {
        DigWindow x;
        for (int i = 0; i < 12; ++i)
            QVERIFY(writefile(x.f.sub("AAAAAAAA") + QStringLiteral("/f%1.jpg").arg(i), 11 * 1024));
        CacheFixture other;
        QVERIFY(writefile(other.sub("ZZZZZZZZ") + "/other.jpg", 11 * 1024));
        x.w.load(x.f.cacheroot(), x.f.download());
        x.w.form().show();
        int refused = 0;
        QObject::connect(x.w->prg_downprocess, &QProgressBar::valueChanged, [&] {
            if (x.w.dig().digging() && !x.w.form().openplace(other.cacheroot()))
                ++refused;
        });
        x.w.dig().cmd_downcurall_Click();
        QVERIFY(refused > 0);
        QCOMPARE(x.w.dig().counters().totalfiles(), qint64(12));
        QCOMPARE(x.files("jpg").size(), 12);
        QCOMPARE(x.w->lst_TmpIntDir->item(0)->text(), QStringLiteral("AAAAAAAA"));
        // Once it has ended, the place opens.
        QVERIFY(x.w.form().openplace(other.cacheroot()));
        QCOMPARE(x.w->lst_TmpIntDir->item(0)->text(), QStringLiteral("ZZZZZZZZ"));
    }

    // An index.dat that keeps its reader busy for seconds: the dig waits for it with the
    // window turning, and then digs every row.
    void waitingForTheRecordsKeepsTheWindowTurning()
    {
        DigWindow x;
        QVERIFY(writecontent(x.f.ie5() + "/index.dat", loopingindex()));
        for (int i = 0; i < 3; ++i)
            QVERIFY(writefile(x.f.sub("AAAAAAAA") + QStringLiteral("/f%1.jpg").arg(i), 11 * 1024));
        x.w.load(x.f.cacheroot(), x.f.download());
        x.w.form().show();
        int waiting = 0;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            if (x.w.dig().digging() && x.files("jpg").isEmpty())
                ++waiting;
        });
        timer.start(1);
        x.w.dig().cmd_downcurall_Click();
        timer.stop();
        QVERIFY2(waiting > 100, qPrintable(QString::number(waiting)));
        QCOMPARE(x.files("jpg").size(), 3);
    }

    void closingDuringADigEndsIt()
    {
        DigWindow x;
        for (int i = 0; i < 300; ++i)
            QVERIFY(writefile(x.f.sub("AAAAAAAA") +
                                  QStringLiteral("/f%1.jpg").arg(i, 3, 10, QLatin1Char('0')),
                              11 * 1024));
        x.w.load(x.f.cacheroot(), x.f.download());
        x.w.form().show();
        QTimer::singleShot(0, [&] { x.w.form().close(); });
        x.w.dig().cmd_downcurall_Click();
        const QStringList dug = x.files("jpg");
        QVERIFY(dug.size() >= 1 && dug.size() < 300);
        for (const QString &name : dug)
            QVERIFY(!name.startsWith('.')); // no temporary file left
    }

    void chooseTheDownloadDirectory()
    {
        DigWindow x;
        x.w.load(x.f.cacheroot(), x.f.download());
        const QString chosen = x.f.dir.path() + "/media";
        QDir().mkpath(chosen);
        x.w.dialogs.folder = chosen;
        x.w->cmd_selectdowndir->click();
        QCOMPARE(x.w.dialogs.browses.last(),
                 QString::fromUtf8("请选择挖到资料的存放目录|") + x.f.download());
        QCOMPARE(x.w.dig().downloaddir(), chosen + "/");
        QCOMPARE(x.w.settings.read(QString::fromUtf8("用户设置"), "downloaddir", {}), chosen + "/");
        QVERIFY(x.w.dig().downloaddirstored());
        QVERIFY(QFileInfo(chosen + QString::fromUtf8("/挖到的资源/flv")).isDir());

        // Cancel: what is stored now comes back (not the folder in use), and a missing tree is
        // made again.
        const QString stored = x.f.dir.path() + "/stored";
        QDir().mkpath(stored);
        x.w.settings.values[QString::fromUtf8("用户设置/downloaddir")] = stored + "/";
        x.w.dialogs.folder.clear();
        const int writes = x.w.settings.writes;
        x.w.dig().cmd_selectdowndir_Click();
        QCOMPARE(x.w.dig().downloaddir(), stored + "/");
        QCOMPARE(x.w.settings.writes, writes);
        QVERIFY(QFileInfo(stored + QString::fromUtf8("/挖到的资源/jpg")).isDir());

        // A returned path with its own separator still gets one more.
        x.w.dialogs.folder = chosen + "/";
        x.w.dig().cmd_selectdowndir_Click();
        QCOMPARE(x.w.dig().downloaddir(), chosen + "//");

        // A restart uses the stored choice.
        Window again;
        again.settings = x.w.settings;
        again.load(x.f.cacheroot(), QString());
        QCOMPARE(again.dig().downloaddir(), chosen + "//");

        // A choice the store cannot keep is used now, and the failure is kept.
        again.settings.writable = false;
        again.dialogs.folder = stored;
        again.dig().cmd_selectdowndir_Click();
        QCOMPARE(again.dig().downloaddir(), stored + "/");
        QVERIFY(!again.dig().downloaddirstored());
    }
};

QTEST_MAIN(TestDigCommands)
#include "tst_digcommands.moc"
