#include "filelistbox.h"
#include "icons.h"
#include "listcolours.h"
#include "mediaplayer.h"
#include "platform.h"
#include "resultlistcontrol.h"
#include "settingsstore.h"
#include "testsupport.h"

#include <QAccessible>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSlider>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>
#include <unistd.h>

using namespace vellomar;
using namespace vellomar::test;

class TestMainWindow : public QObject
{
    Q_OBJECT
  private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void startsOnAnEmptyCache()
    {
        CacheFixture f;
        Window w;
        w.load(f.cacheroot(), f.download());
        QCOMPARE(w.form().windowTitle(), QString::fromUtf8("Vellomar（Marrowby2009.06）"));
        QCOMPARE(w.browser().iecachedir(), f.ie5() + "/");
        QCOMPARE(w->lst_TmpIntDir->count(), 0);
        QCOMPARE(w->lst_TmpIntDir->currentRow(), -1);
        QCOMPARE(w->Rlt_iecachesubdir->RowCount(), 0);
        QCOMPARE(w->Rlt_iecachesubdir->model()->columnCount(), 8);
        QCOMPARE(w->lbl_minfilesize->text(), QStringLiteral("10K"));
        QCOMPARE(w->lbl_maxfilesize->text(), QStringLiteral("90M"));
        QVERIFY(w.preview().common().picfullscreenopen && w.preview().common().picorisize);
        QVERIFY(!w.dig().digging());
        // The resource tree was made under the stored download directory.
        QVERIFY(QFileInfo(f.download() + QString::fromUtf8("挖到的资源/others")).isDir());
    }

    void listsSixteenOfTwentyFoldersAndPreviewsTheFirst()
    {
        CacheFixture f;
        QStringList made;
        for (int i = 0; i < 20; ++i) {
            const QString name =
                QStringLiteral("%1FOLDER%2").arg(i == 3 ? "." : "").arg(i, 2, 10, QLatin1Char('0'));
            QVERIFY(QDir(f.ie5()).mkdir(name));
        }
        QVERIFY(writefile(f.ie5() + "/index.dat", 20 * 1024));
        Window w;
        w.load(f.cacheroot(), f.download());
        const QStringList expected = readsubfolders(f.ie5(), 16);
        QCOMPARE(w->lst_TmpIntDir->count(), 16);
        for (int k = 0; k < 16; ++k) {
            QCOMPARE(w->lst_TmpIntDir->item(k)->text(), expected[k]);
            QCOMPARE(w->lst_TmpIntDir->item(k)->text(), expected[k]);
        }
        QStringList listed;
        for (int k = 0; k < 16; ++k)
            listed << w->lst_TmpIntDir->item(k)->text();
        QVERIFY(!listed.contains("index.dat"));
        QCOMPARE(w->lst_TmpIntDir->currentRow(), 0);
        QCOMPARE(w->flt_iecachesubdir->Path(), f.ie5() + "/" + expected[0]);
    }

    void hiddenFolderListed()
    {
        CacheFixture f;
        QVERIFY(QDir(f.ie5()).mkdir(".HIDDEN01"));
        Window w;
        w.load(f.cacheroot(), f.download());
        QCOMPARE(w->lst_TmpIntDir->count(), 1);
        QCOMPARE(w->lst_TmpIntDir->item(0)->text(), QStringLiteral(".HIDDEN01"));
    }

    void firstRowSelectedCurrentAndFocused()
    {
        CacheFixture f;
        QVERIFY(writefile(f.sub("AAAAAAAA") + "/b.gif", 20 * 1024));
        QVERIFY(writefile(f.sub("AAAAAAAA") + "/a.jpg", 20 * 1024));
        Window w;
        w.load(f.cacheroot(), f.download());
        w.form().show();
        QVERIFY(QTest::qWaitForWindowExposed(w.w.get()));
        w.w->activateWindow();
        QCOMPARE(rownames(w), QStringList({"a.jpg", "b.gif"}));
        QVERIFY(w->Rlt_iecachesubdir->RowSelected(0));
        QVERIFY(!w->Rlt_iecachesubdir->RowSelected(1));
        QCOMPARE(w->Rlt_iecachesubdir->CurrentRow(), 0);
        QTRY_VERIFY(w->Rlt_iecachesubdir->hasFocus());
    }

    void clickingTheSelectedEntryDoesNotRebuildButRefreshDoes()
    {
        CacheFixture f;
        QVERIFY(writefile(f.sub("AAAAAAAA") + "/a.jpg", 20 * 1024));
        QVERIFY(QDir(f.ie5()).mkdir("BBBBBBBB"));
        Window w;
        w.load(f.cacheroot(), f.download());
        const int k = w->flt_iecachesubdir->Path().endsWith("AAAAAAAA") ? 0 : 1;
        w->lst_TmpIntDir->setCurrentRow(k);
        w.form().show();
        QVERIFY(QTest::qWaitForWindowExposed(w.w.get()));
        QCOMPARE(rownames(w), QStringList({"a.jpg"}));

        // A click on the other entry shows its files.
        const QRect otheritem = w->lst_TmpIntDir->visualItemRect(w->lst_TmpIntDir->item(1 - k));
        QTest::mouseClick(w->lst_TmpIntDir->viewport(), Qt::LeftButton, {}, otheritem.center());
        QVERIFY(w->flt_iecachesubdir->Path().endsWith("BBBBBBBB"));
        QCOMPARE(w->Rlt_iecachesubdir->RowCount(), 0);
        QTest::mouseClick(w->lst_TmpIntDir->viewport(), Qt::LeftButton, {},
                          w->lst_TmpIntDir->visualItemRect(w->lst_TmpIntDir->item(k)).center());
        QCOMPARE(rownames(w), QStringList({"a.jpg"}));

        // The user clicks the entry that is already selected.
        const int before = w.rebuilds;
        const QRect item = w->lst_TmpIntDir->visualItemRect(w->lst_TmpIntDir->item(k));
        QTest::mouseClick(w->lst_TmpIntDir->viewport(), Qt::LeftButton, {}, item.center());
        QCOMPARE(w.rebuilds, before);

        // A new file shows only after a refresh.
        QVERIFY(writefile(f.sub("AAAAAAAA") + "/b.jpg", 20 * 1024));
        QCOMPARE(rownames(w), QStringList({"a.jpg"}));
        w->Cmd_refreshfilelist->click();
        QCOMPARE(rownames(w), QStringList({"a.jpg", "b.jpg"}));
        QCOMPARE(w->lst_TmpIntDir->currentRow(), k);
        QVERIFY(w->lst_TmpIntDir->item(k)->isSelected());
        QVERIFY(w->flt_iecachesubdir->Path().endsWith("AAAAAAAA"));
    }

    // Ctrl+click clears the folder list's selection but keeps its current row: the progress
    // text and the refresh follow the selection.
    void noFolderSelectedCountsAsNone()
    {
        CacheFixture f;
        QVERIFY(writefile(f.sub("AAAAAAAA") + "/a.jpg", 20 * 1024));
        QVERIFY(writefile(f.sub("BBBBBBBB") + "/b.jpg", 20 * 1024));
        Window w;
        w.load(f.cacheroot(), f.download());
        w.form().show();
        QVERIFY(QTest::qWaitForWindowExposed(w.w.get()));
        const QString shown = w->flt_iecachesubdir->Path();
        QListWidget *folders = w->lst_TmpIntDir;
        QTest::mouseClick(folders->viewport(), Qt::LeftButton, Qt::ControlModifier,
                          folders->visualItemRect(folders->item(0)).center());
        QVERIFY(folders->selectedItems().isEmpty());
        QCOMPARE(folders->currentRow(), 0);
        QCOMPARE(w->flt_iecachesubdir->Path(), shown); // nothing chosen: the list stays

        w->cmd_downcurall->click();
        QVERIFY2(
            w.downprocesscaption().startsWith(QString::fromUtf8("正在处理IE缓存文件夹（0/2）")),
            qPrintable(w.downprocesscaption()));

        // Refresh with no entry selected: away, and nothing chosen to come back to.
        w->Cmd_refreshfilelist->click();
        QCOMPARE(w->Rlt_iecachesubdir->RowCount(), 0);
        QVERIFY(folders->selectedItems().isEmpty());
    }

    // The way back of a refresh fails when the chosen folder is gone: the list is empty, and
    // never the program's own folder (which a dig would then copy).
    void refreshAfterTheFolderVanished()
    {
        CacheFixture f;
        QVERIFY(writefile(f.sub("AAAAAAAA") + "/a.jpg", 20 * 1024));
        QVERIFY(writefile(programfolder() + "stray.jpg", 20 * 1024));
        Window w;
        w.load(f.cacheroot(), f.download());
        QCOMPARE(rownames(w), QStringList({"a.jpg"}));
        QVERIFY(QDir(f.sub("AAAAAAAA")).removeRecursively());
        w->Cmd_refreshfilelist->click();
        QFile::remove(programfolder() + "stray.jpg");
        QCOMPARE(w->Rlt_iecachesubdir->RowCount(), 0);
        w->cmd_downcurall->click();
        QCOMPARE(w.dig().counters().totalfiles(), qint64(0));
    }

    void refreshWithNoFoldersDoesNothing()
    {
        CacheFixture f;
        Window w;
        w.load(f.cacheroot(), f.download());
        const QString path = w->flt_iecachesubdir->Path();
        const int before = w.rebuilds;
        w.browser().Cmd_refreshfilelist_Click();
        QCOMPARE(w.rebuilds, before);
        QCOMPARE(w->flt_iecachesubdir->Path(), path);
    }

    void vanishedFolderKeepsTheList()
    {
        CacheFixture f;
        QVERIFY(writefile(f.sub("AAAAAAAA") + "/a.jpg", 20 * 1024));
        QVERIFY(writefile(f.sub("BBBBBBBB") + "/b.jpg", 20 * 1024));
        Window w;
        w.load(f.cacheroot(), f.download());
        const QString shown = w->flt_iecachesubdir->Path();
        const int other = shown.endsWith("AAAAAAAA") ? 1 : 0;
        QVERIFY(QDir(f.ie5() + "/" + w->lst_TmpIntDir->item(other)->text()).removeRecursively());
        w->lst_TmpIntDir->setCurrentRow(other);
        QCOMPARE(w->flt_iecachesubdir->Path(), shown);
        QCOMPARE(w->Rlt_iecachesubdir->RowCount(), 1);
    }

    void settingsDefaultStoredAndUntouched()
    {
        QTemporaryDir config;
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, config.path());
        const QString file = IniSettingsStore::filepath();
        QVERIFY(file.startsWith(config.path()));
        QVERIFY(file.endsWith("Vellomar/Vellomar.ini"));

        CacheFixture f;
        qputenv("VELLOMAR_CACHE", f.cacheroot().toUtf8());
        IniSettingsStore store;
        {
            frm_main w(Seams{nullptr, nullptr, nullptr, &store});
            w.Form_Load();
            QCOMPARE(w.findChild<DigCommands *>()->downloaddir(), programfolder());
            w.close();
        }
        QVERIFY(!QFile::exists(file));

        // A stored value is used as stored, even for a folder that no longer exists, and the
        // file is not rewritten by a load and close.
        QVERIFY(store.write(QString::fromUtf8("用户设置"), "downloaddir", f.dir.path() + "/gone/"));
        const QByteArray before = readcontent(file);
        const QDateTime stamp = QFileInfo(file).lastModified();
        QTest::qWait(20);
        {
            frm_main w(Seams{nullptr, nullptr, nullptr, &store});
            w.Form_Load();
            QCOMPARE(w.findChild<DigCommands *>()->downloaddir(), f.dir.path() + "/gone/");
            w.close();
        }
        QVERIFY(!QFileInfo::exists(f.dir.path() + "/gone"));
        QCOMPARE(readcontent(file), before);
        QCOMPARE(QFileInfo(file).lastModified(), stamp);
        QSettings raw(file, QSettings::IniFormat);
        QCOMPARE(raw.value(QString::fromUtf8("用户设置/downloaddir")).toString(),
                 f.dir.path() + "/gone/");
    }

    // Run as an installed program is (its folder not writable, by its own test entry): the
    // default is the user's download folder, worked out and made only when it is the one used.
    void defaultDownloadFolderOnlyWhenUsed()
    {
        if (qEnvironmentVariableIsEmpty("VELLOMAR_READONLY_PROGRAM"))
            QSKIP("needs a program folder the user cannot write to (tst_mainwindow_installed)");
        QVERIFY(::access(QFile::encodeName(programfolder()).constData(), W_OK) != 0);
        QTemporaryDir home;
        qputenv("HOME", home.path().toUtf8());
        qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8());
        const QString downloads =
            QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
        QVERIFY(downloads.startsWith(home.path()));
        CacheFixture f;
        {
            Window w;
            w.load(f.cacheroot(), f.download()); // a stored value is in force
            QCOMPARE(w.dig().downloaddir(), f.download());
        }
        QVERIFY(!QFileInfo::exists(downloads));
        {
            Window w;
            w.load(f.cacheroot(), QString()); // nothing stored
            QCOMPARE(w.dig().downloaddir(), downloads + "/");
            QVERIFY(QFileInfo(downloads + QString::fromUtf8("/挖到的资源/jpg")).isDir());
        }
    }

    // Hand-edited or damaged values in the settings file: the tree never lands beside the
    // value or in the current folder.
    void oddStoredValues_data()
    {
        QTest::addColumn<QByteArray>("line");  // as written in the file; %T is a temporary folder
        QTest::addColumn<QString>("expected"); // empty: the default applies
        QTest::newRow("as chosen") << QByteArray("downloaddir=%T/down/") << "%T/down/";
        QTest::newRow("no separator") << QByteArray("downloaddir=%T/down") << "%T/down/";
        QTest::newRow("empty") << QByteArray("downloaddir=") << QString();
        QTest::newRow("relative") << QByteArray("downloaddir=down/") << QString();
        QTest::newRow("dot") << QByteArray("downloaddir=.") << QString();
        QTest::newRow("garbage variant")
            << QByteArray("downloaddir=@Variant(\\0\\0\\0\\x7f\\0\\0)") << QString();
        QTest::newRow("a list") << QByteArray("downloaddir=a, b") << QString();
    }
    void oddStoredValues()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, expected);
        QTemporaryDir config;
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, config.path());
        QTemporaryDir here;
        line.replace("%T", QFile::encodeName(here.path()));
        expected.replace("%T", here.path());
        IniSettingsStore store;
        QVERIFY(store.write(QString::fromUtf8("用户设置"), "downloaddir", "PLACEHOLDER"));
        const QString file = IniSettingsStore::filepath();
        QByteArray content = readcontent(file);
        QVERIFY(content.contains("downloaddir=PLACEHOLDER"));
        QVERIFY(writecontent(file, content.replace("downloaddir=PLACEHOLDER", line)));

        const QString before = QDir::currentPath();
        QDir::setCurrent(here.path());
        CacheFixture f;
        qputenv("VELLOMAR_CACHE", f.cacheroot().toUtf8());
        {
            frm_main w(Seams{nullptr, nullptr, nullptr, &store});
            w.Form_Load();
            QCOMPARE(w.findChild<DigCommands *>()->downloaddir(),
                     expected.isEmpty() ? programfolder() : expected);
        }
        QDir::setCurrent(before);
        QVERIFY(!QFileInfo::exists(here.path() + QString::fromUtf8("/挖到的资源")));
        QVERIFY(!QFileInfo::exists(here.path() + QString::fromUtf8("/down挖到的资源")));
    }

    // Every control where the window's design puts it, in twips from its container.
    void geometryFollowsTheLayout()
    {
        struct Place {
            const char *name;
            int index; // within a control array; 0 for a single control
            QRect twips;
        };
        static const Place design[] = {
            {"lst_TmpIntDir", 0, {30, 120, 975, 780}},
            {"fra_filetype", 0, {1060, 120, 4500, 810}},
            {"Opt_filetype", 0, {120, 240, 1095, 255}},
            {"Opt_filetype", 1, {1200, 240, 1095, 255}},
            {"Opt_filetype", 2, {2280, 240, 1095, 255}},
            {"Opt_filetype", 3, {3360, 240, 1095, 255}},
            {"Opt_filetype", 4, {120, 480, 1095, 255}},
            {"Opt_filetype", 5, {1200, 480, 1095, 255}},
            {"Opt_filetype", 6, {2280, 480, 1095, 255}},
            {"Opt_filetype", 7, {3360, 480, 1095, 255}},
            {"fra_filesize", 0, {30, 930, 5535, 495}},
            {"lbl_txt_最小", 0, {60, 210, 495, 240}},
            {"lbl_minfilesize", 0, {540, 210, 495, 240}},
            {"SlD_minfilesize", 0, {1020, 180, 1695, 240}},
            {"lbl_txt_最大", 0, {2820, 210, 495, 240}},
            {"lbl_maxfilesize", 0, {3300, 210, 495, 240}},
            {"SlD_maxfilesize", 0, {3780, 180, 1695, 240}},
            {"Rlt_iecachesubdir", 0, {0, 1440, 5535, 5175}},
            {"cmd_downcurall", 0, {5595, 120, 1160, 375}},
            {"cmd_downcurselect", 0, {6750, 120, 1160, 375}},
            {"cmd_selectdowndir", 0, {5600, 600, 375, 375}},
            {"cmd_opendowndir", 0, {5970, 600, 375, 375}},
            {"cmd_killall", 0, {6350, 600, 375, 375}},
            {"Cmd_cleariecache", 0, {6720, 600, 375, 375}},
            {"Cmd_refreshfilelist", 0, {7090, 600, 375, 375}},
            {"Cmd_autodownall", 0, {7480, 600, 1230, 375}},
            {"wmp", 0, {5600, 1080, 3120, 660}},
            {"Pic_imgbox", 0, {5600, 1720, 5610, 4890}},
            {"Pic_imgboard", 0, {0, 0, 5535, 4815}},
            {"Img_largeview", 0, {2400, 120, 2175, 1575}},
            {"Flashbox", 0, {0, 0, 5535, 4815}},
            {"FlashDown", 0, {1920, 1080, 1695, 1575}},
            {"pic_downprocesslblbox", 0, {360, 2880, 4935, 855}},
            {"lbl_downprocess", 0, {0, 30, 4935, 795}},
            {"lbl_digresult", 0, {0, 0, 5535, 4815}},
            {"Fra_otheropt", 0, {8760, 120, 2415, 1575}},
            {"Fra_picopenmode", 0, {60, 240, 2295, 560}},
            {"opt_picopenmode", 0, {120, 225, 1095, 255}},
            {"opt_picopenmode", 1, {1160, 225, 1095, 255}},
            {"fra_picorisizemode", 0, {60, 840, 2295, 615}},
            {"Opt_picorisizemode", 0, {120, 240, 1095, 255}},
            {"Opt_picorisizemode", 1, {1160, 240, 1095, 255}},
        };
        CacheFixture f;
        Window w;
        w.load(f.cacheroot(), f.download());
        QCOMPARE(w.form().size(), QSize(749, 443)); // 11235 x 6645 twips
        for (const Place &p : design) {
            const QList<QWidget *> named =
                w.form().findChildren<QWidget *>(QString::fromUtf8(p.name));
            QVERIFY2(p.index < named.size(), p.name);
            const QRect px = named[p.index]->geometry();
            const QRect twips(px.x() * 15, px.y() * 15, px.width() * 15, px.height() * 15);
            // Within half a pixel of the design: twips round to the nearest pixel.
            const auto near = [](int a, int b) {
                return qAbs(a - b) <= 8;
            };
            QVERIFY2(near(twips.x(), p.twips.x()) && near(twips.y(), p.twips.y()) &&
                         near(twips.width(), p.twips.width()) &&
                         near(twips.height(), p.twips.height()),
                     qPrintable(QStringLiteral("%1(%2) at %3,%4 %5x%6")
                                    .arg(QString::fromUtf8(p.name))
                                    .arg(p.index)
                                    .arg(twips.x())
                                    .arg(twips.y())
                                    .arg(twips.width())
                                    .arg(twips.height())));
        }
    }

    // Tab visits the controls in the order the window's design lists them.
    void tabOrderFollowsTheDesign()
    {
        CacheFixture f;
        Window w;
        w.load(f.cacheroot(), f.download());
        QStringList chain;
        QWidget *x = w.w.get();
        do {
            x = x->nextInFocusChain();
            if (x->focusPolicy() & Qt::TabFocus && !x->objectName().isEmpty())
                chain << x->objectName();
        } while (x != w.w.get() && chain.size() < 100);
        QStringList expected{"lst_TmpIntDir"};
        for (int i = 0; i < 8; ++i)
            expected << "Opt_filetype";
        expected << "SlD_minfilesize"
                 << "SlD_maxfilesize"
                 << "Rlt_iecachesubdir"
                 << "cmd_downcurall"
                 << "cmd_downcurselect"
                 << "cmd_selectdowndir"
                 << "cmd_opendowndir"
                 << "cmd_killall"
                 << "Cmd_cleariecache"
                 << "Cmd_refreshfilelist"
                 << "Cmd_autodownall"
                 << "opt_picopenmode"
                 << "opt_picopenmode"
                 << "Opt_picorisizemode"
                 << "Opt_picorisizemode";
        QCOMPARE(chain.mid(0, expected.size()), expected);
        // Over the preview, while a place named at start is searched.
        QCOMPARE(chain.mid(expected.size()), QStringList{"cmd_cancelsearch"});
    }

    void captionsTooltipsAndStartStates()
    {
        CacheFixture f;
        Window w;
        w.load(f.cacheroot(), f.download());
        const QStringList captions{"所有文件", "所有音画", "图片文件", "FLV 视频",
                                   "JPG 文件", "GIF 文件", "MP3＆WMA", "SWF 动画"};
        for (int i = 0; i < 8; ++i) {
            QCOMPARE(w->Opt_filetype[size_t(i)]->text(), captions[i]);
            QCOMPARE(w->Opt_filetype[size_t(i)]->isChecked(), i == 1);
        }
        // Every option's caption fits its fixed box, whatever font stands in for the design's, or
        // has the smallest font the window uses.
        for (QRadioButton *b : w.form().findChildren<QRadioButton *>())
            QVERIFY2(b->sizeHint().width() <= b->width() || b->font().pointSizeF() <= 7,
                     qPrintable(b->text()));
        QCOMPARE(w->Opt_filetype[0]->geometry().topLeft(), QPoint(8, 16));
        QCOMPARE(w->Opt_filetype[7]->geometry().topLeft(), QPoint(224, 32));
        QCOMPARE(w->cmd_downcurall->text(), QString::fromUtf8("挖取列表"));
        QCOMPARE(w->cmd_downcurselect->text(), QString::fromUtf8("挖取所选"));
        QCOMPARE(w->Cmd_autodownall->text(), QString::fromUtf8("挖取全部"));
        QCOMPARE(w->cmd_selectdowndir->toolTip(), QString::fromUtf8("请选择挖到资源的存放目录"));
        QCOMPARE(w->cmd_opendowndir->toolTip(), QString::fromUtf8("打开资源目录"));
        QCOMPARE(w->cmd_killall->toolTip(), QString::fromUtf8("清空资源目录"));
        QCOMPARE(w->Cmd_cleariecache->toolTip(), QString::fromUtf8("清空IE缓存目录"));
        QCOMPARE(w->Cmd_refreshfilelist->toolTip(), QString::fromUtf8("刷新文件列表"));
        for (QToolButton *b : {w->cmd_selectdowndir, w->cmd_opendowndir, w->cmd_killall,
                               w->Cmd_cleariecache, w->Cmd_refreshfilelist}) {
            QVERIFY(!b->icon().isNull());
            QVERIFY(b->text().isEmpty() || b->toolButtonStyle() == Qt::ToolButtonIconOnly);
            QCOMPARE(b->accessibleName(), b->toolTip());
        }
        QCOMPARE(w->fra_filetype->title(), QString::fromUtf8("文件类型："));
        QCOMPARE(w->fra_filesize->title(), QString::fromUtf8("文件大小："));
        QCOMPARE(w->Fra_otheropt->title(), QString::fromUtf8("其它选项："));
        QCOMPARE(w->Fra_picopenmode->title(), QString::fromUtf8("图片文件名双击查看模式"));
        QCOMPARE(w->fra_picorisizemode->title(), QString::fromUtf8("全屏显示时图片尺寸锁定"));
        QVERIFY(w->opt_picopenmode[0]->isChecked() && !w->opt_picopenmode[1]->isChecked());
        QVERIFY(w->Opt_picorisizemode[0]->isChecked());
        QCOMPARE(w->opt_picopenmode[1]->text(), QString::fromUtf8("看图程序"));
        QCOMPARE(w->Opt_picorisizemode[1]->text(), QString::fromUtf8("匹配屏幕"));
        QCOMPARE(w->SlD_minfilesize->minimum(), 1);
        QCOMPARE(w->SlD_maxfilesize->maximum(), 16);
        QVERIFY(w->pic_downprocesslblbox->isHidden());
        QVERIFY(w->lbl_digresult->isHidden());
        QCOMPARE(w.form().palette().color(QPalette::Window), QColor(192, 192, 255));
        const QStringList headers{"序号", "", "原始文件名", "", "类型", "", "实际大小", "排序大小"};
        for (int c = 0; c < 8; ++c)
            QCOMPARE(w->Rlt_iecachesubdir->model()->headerData(c, Qt::Horizontal).toString(),
                     headers[c]);
        QCOMPARE(w->Rlt_iecachesubdir->columnWidth(2), 150);
        QCOMPARE(w->Rlt_iecachesubdir->columnWidth(3), 1);
        QCOMPARE(w->Rlt_iecachesubdir->CustomDrawHandler(),
                 static_cast<ICustomDraw *>(&w.browser()));
    }

    // What a screen reader reads for each control that carries a caption or a tooltip, asked
    // of the accessibility layer itself.
    void screenReaderReadsEveryCaption_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("index"); // within a control array; -1 for a single control
        QTest::addColumn<QString>("text");
        const auto row = [](const char *name, int index, const char *text) {
            QTest::addRow("%s %d", name, index)
                << QString::fromUtf8(name) << index << QString::fromUtf8(text);
        };
        row("fra_filetype", -1, "文件类型：");
        const char *types[] = {"所有文件", "所有音画", "图片文件", "FLV 视频",
                               "JPG 文件", "GIF 文件", "MP3＆WMA", "SWF 动画"};
        for (int i = 0; i < 8; ++i)
            row("Opt_filetype", i, types[i]);
        row("fra_filesize", -1, "文件大小：");
        row("lbl_txt_最小", -1, "最小");
        row("lbl_txt_最大", -1, "最大");
        row("cmd_downcurall", -1, "挖取列表");
        row("cmd_downcurselect", -1, "挖取所选");
        row("Cmd_autodownall", -1, "挖取全部");
        row("cmd_selectdowndir", -1, "请选择挖到资源的存放目录");
        row("cmd_opendowndir", -1, "打开资源目录");
        row("cmd_killall", -1, "清空资源目录");
        row("Cmd_cleariecache", -1, "清空IE缓存目录");
        row("Cmd_refreshfilelist", -1, "刷新文件列表");
        row("Fra_otheropt", -1, "其它选项：");
        row("Fra_picopenmode", -1, "图片文件名双击查看模式");
        row("opt_picopenmode", 0, "直接全屏");
        row("opt_picopenmode", 1, "看图程序");
        row("fra_picorisizemode", -1, "全屏显示时图片尺寸锁定");
        row("Opt_picorisizemode", 0, "原始尺寸");
        row("Opt_picorisizemode", 1, "匹配屏幕");
    }
    void screenReaderReadsEveryCaption()
    {
        QFETCH(QString, name);
        QFETCH(int, index);
        QFETCH(QString, text);
        CacheFixture f;
        Window w;
        w.load(f.cacheroot(), f.download());
        w.form().show();
        QVERIFY(QTest::qWaitForWindowExposed(w.w.get()));
        // A control array's members share the name and come in the order they were made.
        const QList<QWidget *> found = w.form().findChildren<QWidget *>(name);
        QCOMPARE(found.size() > 1, index >= 0);
        QWidget *control = found.value(index < 0 ? 0 : index);
        QVERIFY(control);
        QAccessibleInterface *a = QAccessible::queryAccessibleInterface(control);
        QVERIFY(a);
        QCOMPARE(a->text(QAccessible::Name), text);
    }

    void drawsRowsInTheirColours()
    {
        CacheFixture f;
        for (const char *n : {"a.jpg", "b.jpg", "c.jpg"})
            QVERIFY(writefile(f.sub("AAAAAAAA") + "/" + n, 20 * 1024));
        Window w;
        w.load(f.cacheroot(), f.download());
        ResultListControl *list = w->Rlt_iecachesubdir;
        list->setRowSelected(0, false);
        struct Case {
            int row, column;
            bool selected;
            int state;
            OleColor back, text;
        };
        const OleColor defback = rgb(9, 9, 9);
        const Case cases[] = {
            {0, 2, false, 0, listcolour::evenback, listcolour::text},
            {1, 2, false, 0, listcolour::oddback, listcolour::text},
            {2, 6, false, 0, listcolour::evenback, listcolour::text},
            {1, 1, false, 0, listcolour::separatorback, listcolour::text},
            {1, 2, true, 0, listcolour::selectedback, listcolour::selectedtext},
            {1, 3, true, 0, listcolour::separatorback, listcolour::selectedtext},
            {0, 2, false, 1, listcolour::state1back, listcolour::state1text},
            {0, 2, true, 1, listcolour::selectedback, listcolour::state1text},
            {0, 2, false, 2, defback, listcolour::state2text},
            {0, 2, true, 2, defback, listcolour::state2text},
            {0, 5, false, 2, listcolour::separatorback, listcolour::state2text},
        };
        for (const Case &c : cases) {
            list->setRowSelected(c.row, c.selected);
            list->setRowState(c.row, c.state);
            OleColor back = defback, text = rgb(8, 8, 8);
            QVERIFY(w.browser().ICustomDraw_CustomDraw(c.row, c.column, back, text));
            QCOMPARE(back, c.back);
            QCOMPARE(text, c.text);
            list->setRowSelected(c.row, false);
            list->setRowState(c.row, 0);
        }
        // The number cell shows the row's position, and painting changes no cell.
        QCOMPARE(list->CellText(2, 0), QStringLiteral("3"));
        QSignalSpy changed(list->model(), &QAbstractItemModel::dataChanged);
        OleColor b = 0, t = 0;
        w.browser().ICustomDraw_CustomDraw(2, 0, b, t);
        list->grab();
        QCOMPARE(changed.count(), 0);
    }

    // Buttons take their icons from a desktop's theme; hicolor, where Qt falls back when the
    // desktop names none, is not searched for them even when it holds one.
    void buttonIconsComeFromADesktopThemeOnly_data()
    {
        QTest::addColumn<QString>("theme");
        QTest::addColumn<bool>("themed");
        QTest::newRow("a desktop theme") << "Desk" << true;
        QTest::newRow("hicolor") << "hicolor" << false;
        QTest::newRow("none") << "" << false;
    }
    void buttonIconsComeFromADesktopThemeOnly()
    {
        QFETCH(QString, theme);
        QFETCH(bool, themed);
        QTemporaryDir dir;
        for (const char *t : {"Desk", "hicolor"}) {
            const QString root = dir.path() + "/" + t;
            QVERIFY(QDir().mkpath(root + "/16x16/actions"));
            QVERIFY(writecontent(root + "/index.theme",
                                 QByteArray("[Icon Theme]\nName=") + t +
                                     "\nDirectories=16x16/actions\n\n[16x16/actions]\n"
                                     "Size=16\nType=Fixed\n"));
            for (const char *name : {"folder-open", "media-playback-start"}) {
                QImage icon(16, 16, QImage::Format_ARGB32);
                icon.fill(Qt::red);
                QVERIFY(icon.save(root + "/16x16/actions/" + name + ".png"));
            }
        }
        const QStringList paths = QIcon::themeSearchPaths();
        const QString was = QIcon::themeName();
        QIcon::setThemeSearchPaths({dir.path()});
        QIcon::setThemeName(theme);
        const QIcon folder = buttonicon(ButtonIcon::openfolder);
        MediaPlayer player;
        QToolButton *play = nullptr;
        for (QToolButton *b : player.findChildren<QToolButton *>()) {
            if (b->accessibleName() == QStringLiteral("播放"))
                play = b;
        }
        QVERIFY(play);
        // Read while the theme is set: a theme's icon looks itself up again after a change.
        const QString foldericon = folder.name(), playicon = play->icon().name();
        const bool present = !folder.isNull() && !play->icon().isNull();
        QIcon::setThemeName(was);
        QIcon::setThemeSearchPaths(paths);
        QCOMPARE(foldericon, themed ? QStringLiteral("folder-open") : QString());
        QCOMPARE(playicon, themed ? QStringLiteral("media-playback-start") : QString());
        QVERIFY(present);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
