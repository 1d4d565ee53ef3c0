#include "cachechooser.h"
#include "foundcachetext.h"
#include "mainwindow.h"
#include "resultlistcontrol.h"
#include "testsupport.h"
#include "texts.h"
#include "tinycaches.h"

#include <QAccessible>
#include <QAction>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>
#include <sys/stat.h>

using namespace vellomar;
using namespace vellomar::test;

namespace {

const QString cachekey = QString::fromUtf8("用户设置/cache");

QStringList folders(const Window &w)
{
    QStringList out;
    for (int k = 0; k < w->lst_TmpIntDir->count(); ++k)
        out << w->lst_TmpIntDir->item(k)->text();
    return out;
}

// Nothing from the test machine: no cache named, no Wine prefix.
struct CleanEnvironment {
    QTemporaryDir nowhere;
    CleanEnvironment()
    {
        qunsetenv("VELLOMAR_CACHE");
        qputenv("WINEPREFIX", (nowhere.path() + "/no-prefix").toUtf8());
    }
    ~CleanEnvironment() { qunsetenv("WINEPREFIX"); }
};

} // namespace

class TestPlaces : public QObject
{
    Q_OBJECT
  private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // A disk with several caches offers them all, the newest first chosen; the one opened is
    // listed as a cache is at start, and remembered.
    void aDiskOffersEveryCache()
    {
        CleanEnvironment env;
        DiskFixture d;
        Window w;
        w.start(d.root, d.dir.path() + "/down/");
        QCOMPARE(w.dialogs.offered.size(), size_t(1));
        const std::vector<FoundCache> &offered = w.dialogs.offered[0];
        QCOMPARE(offered.size(), size_t(5));
        const QString carol = d.root + "/Users/carol/AppData/Local/Microsoft/Windows/INetCache/IE";
        QCOMPARE(offered[3].path, carol);
        QCOMPARE(folders(w), QStringList{"CCCC0001"});
        QCOMPARE(rownames(w), QStringList{"f.png"});
        QCOMPARE(w.browser().iecachedir(), carol + "/");
        QCOMPARE(w.settings.values.value(cachekey), carol);
        QCOMPARE(w.form().recentplaces(), QStringList{d.root});

        // Another one chosen from the window.
        w.dialogs.cachechoice = 1;
        QVERIFY(w.form().openplace(d.root));
        QCOMPARE(folders(w).size(), 2);
        QVERIFY(w.browser().iecachedir().contains("Temporary Internet Files/Content.IE5"));
        QCOMPARE(rownames(w), QStringList({"b.gif", "c.gif"}));
        QCOMPARE(w.form().recentplaces(), QStringList{d.root});

        // A restart opens it again, with no place given.
        Window again;
        again.settings = w.settings;
        again.start(QString(), QString());
        QCOMPARE(again.browser().iecachedir(), w.browser().iecachedir());
        QCOMPARE(rownames(again), QStringList({"b.gif", "c.gif"}));
        QVERIFY(again.dialogs.offered.empty());
    }

    // One cache opens without asking; none, or a cancel, leaves the window as it was.
    void oneNoneOrCancelled()
    {
        CleanEnvironment env;
        DiskFixture d;
        Window w;
        const QString carolcache =
            d.root + "/Users/carol/AppData/Local/Microsoft/Windows/INetCache";
        w.start(carolcache + "/Low", d.dir.path() + "/down/");
        QVERIFY(w.dialogs.offered.empty());
        QCOMPARE(folders(w), QStringList{"LOWC0001"});

        const int writes = w.settings.writes;
        QVERIFY(!w.form().openplace(d.root + "/Users"));
        QCOMPARE(w.dialogs.informs.last(), texts::nocachetext(d.root + "/Users"));
        w.dialogs.cachechoice = -1;
        QVERIFY(!w.form().openplace(carolcache));
        QCOMPARE(folders(w), QStringList{"LOWC0001"});
        QCOMPARE(w.settings.writes, writes); // nothing chosen, nothing remembered
    }

    // At start: a place on the command line, then VELLOMAR_CACHE, then the cache chosen last if
    // it is still there, then Wine's.
    void theStartOrder_data()
    {
        QTest::addColumn<bool>("place");
        QTest::addColumn<bool>("named");
        QTest::addColumn<bool>("remembered");
        QTest::addColumn<bool>("rememberedgone");
        QTest::addColumn<QString>("listed");
        QTest::newRow("place first") << true << true << true << false << "PLACE001";
        QTest::newRow("then the environment") << false << true << true << false << "NAMED001";
        QTest::newRow("then the remembered") << false << false << true << false << "REMEMB01";
        QTest::newRow("then Wine") << false << false << true << true << "WINE0001";
        QTest::newRow("Wine alone") << false << false << false << false << "WINE0001";
    }
    void theStartOrder()
    {
        QFETCH(bool, place);
        QFETCH(bool, named);
        QFETCH(bool, remembered);
        QFETCH(bool, rememberedgone);
        QFETCH(QString, listed);
        CleanEnvironment env;
        QTemporaryDir dir;
        const QString p = dir.path();
        QVERIFY(QDir().mkpath(p + "/place/Content.IE5/PLACE001"));
        QVERIFY(QDir().mkpath(p + "/named/Content.IE5/NAMED001"));
        QVERIFY(QDir().mkpath(p + "/remembered/REMEMB01"));
        const QString prefix = p + "/wine";
        QVERIFY(writecontent(prefix + "/user.reg",
                             "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Explorer\\\\"
                             "Shell Folders]\n\"Cache\"=\"C:\\\\cache\"\n"));
        QVERIFY(QDir().mkpath(prefix + "/drive_c/cache/Content.IE5/WINE0001"));
        qputenv("WINEPREFIX", prefix.toUtf8());
        if (named)
            qputenv("VELLOMAR_CACHE", (p + "/named").toUtf8());
        Window w;
        if (remembered)
            w.settings.values[cachekey] = p + "/remembered";
        if (rememberedgone)
            QVERIFY(QDir(p + "/remembered").removeRecursively());
        w.start(place ? p + "/place" : QString(), p + "/down/");
        qunsetenv("VELLOMAR_CACHE");
        QCOMPARE(folders(w), QStringList{listed});
        // Loading never writes the remembered choice; only a place opened does.
        QCOMPARE(w.settings.values.value(cachekey), place        ? p + "/place/Content.IE5"
                                                    : remembered ? p + "/remembered"
                                                                 : QString());
    }

    // A place named at start is searched while the window shows, on the cache it would have had
    // without one; the search's progress shows, and a cancel (its button or Escape) leaves the
    // window as it is, saying and remembering nothing.
    void theWindowShowsWhileThePlaceIsSearched_data()
    {
        QTest::addColumn<bool>("escape"); // cancelled with Escape, else with the button
        QTest::newRow("the button") << false;
        QTest::newRow("Escape") << true;
    }
    void theWindowShowsWhileThePlaceIsSearched()
    {
        QFETCH(bool, escape);
        CleanEnvironment env;
        CacheFixture c;
        QVERIFY(QDir().mkpath(c.sub("NAMED001")));
        qputenv("VELLOMAR_CACHE", c.cacheroot().toUtf8());
        // A disk of many profiles, two of which hold caches: a search of some length. In memory
        // where there is a file system there, since a disk takes minutes to remove so many.
        static const int profiles = 40000;
        const QString shm = QStringLiteral("/dev/shm");
        QTemporaryDir disk((QFileInfo(shm).isWritable() ? shm : QDir::tempPath()) +
                           "/tst_places-XXXXXX");
        QVERIFY(disk.isValid());
        const QString root = disk.path();
        const QByteArray users = QFile::encodeName(root + "/Users");
        QVERIFY(::mkdir(users.constData(), 0755) == 0);
        for (int i = 0; i < profiles; ++i)
            QVERIFY(::mkdir((users + "/empty" + QByteArray::number(i)).constData(), 0755) == 0);
        for (const char *cache : {"ZZZZ0001", "ZZZZ0002"})
            QVERIFY(writefile(root + "/Users/" + cache +
                                  "/AppData/Local/Microsoft/Windows/INetCache/IE/" + cache +
                                  "/a.jpg",
                              20000));

        Window w;
        w.begin(root, c.download());
        qunsetenv("VELLOMAR_CACHE");
        QVERIFY(w.form().searching());
        QVERIFY(w.dialogs.offered.empty()); // the chooser waits for the end of the search
        QCOMPARE(folders(w), QStringList{"NAMED001"});
        auto *box = w.form().findChild<QWidget *>("pic_searchbox");
        auto *label = w.form().findChild<QLabel *>("lbl_search");
        auto *button = w.form().findChild<QPushButton *>("cmd_cancelsearch");
        QVERIFY(box && label && button);
        w.form().show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.form()));
        QVERIFY(box->isVisible());
        QVERIFY(label->text().contains(root));
        QAccessibleInterface *a = QAccessible::queryAccessibleInterface(button);
        QVERIFY(a);
        QCOMPARE(a->text(QAccessible::Name), texts::cancelsearchname);
        const int writes = w.settings.writes;
        if (escape)
            QTest::keyClick(&w.form(), Qt::Key_Escape);
        else
            QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(QTest::qWaitFor([&] { return !w.form().searching(); }, 30000));
        QTest::qWait(50); // anything still on its way comes now
        QVERIFY(!box->isVisible());
        QVERIFY(w.dialogs.offered.empty());
        QVERIFY(w.dialogs.informs.isEmpty());
        QCOMPARE(folders(w), QStringList{"NAMED001"});
        QCOMPARE(w.settings.writes, writes);

        // Searched to its end, the place offers its caches, as a place named at start does.
        Window again;
        again.dialogs.cachechoice = 1;
        again.begin(root, c.download());
        QVERIFY(QTest::qWaitFor([&] { return !again.dialogs.offered.empty(); }, 60000));
        QCOMPARE(again.dialogs.offered[0].size(), size_t(2));
        QVERIFY(!again.form().searching());
        QVERIFY(!again.form().findChild<QWidget *>("pic_searchbox")->isVisibleTo(&again.form()));
        QCOMPARE(folders(again), QStringList{"ZZZZ0002"});
    }

    // The chooser names each cache's browser and format, and counts another browser's cache in
    // entries; with Internet Explorer's alone, its texts are as they were.
    void theChooserNamesBrowserAndFormat_data()
    {
        QTest::addColumn<QStringList>("caches"); // browser, format, files, entries
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("intro");
        QTest::addColumn<QStringList>("kinds");
        QTest::addColumn<QStringList>("counts");
        QTest::newRow("Internet Explorer's alone")
            << QStringList{"ie|content.ie5|3|3", "ie|content.ie5|5|5"} << "选择IE缓存"
            << "“P”中有2个IE缓存，请选择一个："
            << QStringList{"Internet Explorer（Content.IE5）", "Internet Explorer（Content.IE5）"}
            << QStringList{"3", "5"};
        QTest::newRow("every browser")
            << QStringList{"ie|content.ie5|3|3",
                           "chrome|chromium-simple|21|19",
                           "edge|chromium-blockfile|80|-1",
                           "firefox|firefox-cache2|13|13",
                           "opera|chromium-simple|4|0",
                           "unknown|chromium-blockfile|80|217",
                           "unknown|chromium-simple|3|2",
                           "unknown|firefox-cache2|3|3",
                           "unknown|firefox-old|3|-1",
                           "firefox|firefox-old|4|5"}
            << "选择浏览器缓存"
            << "“P”中有10个浏览器缓存，请选择一个："
            << QStringList{"Internet Explorer（Content.IE5）",
                           "Chrome（Simple Cache）",
                           "Edge（块文件缓存）",
                           "Firefox（cache2）",
                           "Opera（Simple Cache）",
                           "Chromium块文件缓存",
                           "Chromium Simple Cache",
                           "Firefox cache2",
                           "Firefox旧式缓存",
                           "Firefox（旧式缓存）"}
            << QStringList{"3",         "19个条目", "条目数未知", "13个条目",   "0个条目",
                           "217个条目", "2个条目",  "3个条目",    "条目数未知", "5个条目"};
    }
    void theChooserNamesBrowserAndFormat()
    {
        QFETCH(QStringList, caches);
        QFETCH(QString, title);
        QFETCH(QString, intro);
        QFETCH(QStringList, kinds);
        QFETCH(QStringList, counts);
        std::vector<FoundCache> found;
        for (const QString &c : caches) {
            const QStringList f = c.split('|');
            FoundCache cache;
            for (int b = 0; b <= int(Browser::unknown); ++b) {
                if (browserid(Browser(b)) == f[0])
                    cache.browser = Browser(b);
            }
            for (int k = 0; k <= int(CacheFormat::firefoxold); ++k) {
                if (formatid(CacheFormat(k)) == f[1])
                    cache.format = CacheFormat(k);
            }
            QCOMPARE(browserid(cache.browser) + "|" + formatid(cache.format), f[0] + "|" + f[1]);
            cache.path = "/disk/" + c;
            cache.files = f[2].toLongLong();
            cache.entries = f[3].toLongLong();
            found.push_back(cache);
        }
        CacheChooser chooser("P", found, 0);
        QCOMPARE(chooser.windowTitle(), title);
        QCOMPARE(chooser.findChild<QLabel *>()->text(), intro);
        auto *list = chooser.findChild<QTreeWidget *>("caches");
        QVERIFY(list);
        QCOMPARE(list->headerItem()->text(1), QString("浏览器"));
        QCOMPARE(list->headerItem()->text(3), QString("位置"));
        QCOMPARE(list->headerItem()->text(5), QString("文件"));
        QStringList shownkinds, showncounts;
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            shownkinds << list->topLevelItem(i)->text(1);
            showncounts << list->topLevelItem(i)->text(5);
            QCOMPARE(list->topLevelItem(i)->text(3), found[size_t(i)].path);
            QCOMPARE(shownkinds.last(), cachekindtext(found[size_t(i)]));
        }
        QCOMPARE(shownkinds, kinds);
        QCOMPARE(showncounts, counts);
    }

    // Another browser's cache is offered with the others and opened as its one folder, and is
    // remembered as Content.IE5's are.
    void anotherBrowsersCacheOpensAsItsOneFolder()
    {
        CleanEnvironment env;
        DiskFixture d;
        const QString chrome =
            d.root + "/Users/zed/AppData/Local/Google/Chrome/User Data/Default/Cache";
        QVERIFY(tiny::build(chrome, "simple"));

        // The one cache of a place.
        Window alone;
        alone.start(d.root + "/Users/zed", d.dir.path() + "/down/");
        QVERIFY(alone.dialogs.offered.empty());
        QVERIFY(alone.dialogs.informs.isEmpty());
        QCOMPARE(folders(alone), QStringList{"Cache"});
        QCOMPARE(alone.settings.values.value(cachekey), chrome);
        QCOMPARE(alone.form().recentplaces(), QStringList{d.root + "/Users/zed"});

        // One of several, chosen after Internet Explorer's was opened.
        Window w;
        w.dialogs.cachechoice = 3;
        w.start(d.root, d.dir.path() + "/down/");
        QCOMPARE(folders(w), QStringList{"CCCC0001"});
        QCOMPARE(w.dialogs.offered[0].size(), size_t(6));
        QCOMPARE(w.dialogs.offered[0][5].path, chrome);
        w.dialogs.cachechoice = 5;
        QVERIFY(w.form().openplace(d.root));
        QCOMPARE(folders(w), QStringList{"Cache"});
        QCOMPARE(w.settings.values.value(cachekey), chrome);
        QVERIFY(!w->Cmd_cleariecache->isEnabled());
    }

    // The menu bar lies above the client area, which keeps its size and every control its place.
    void theMenuBarAndDrops()
    {
        CleanEnvironment env;
        DiskFixture d;
        Window w;
        w.start(QString(), d.dir.path() + "/down/");
        frm_main *form = w.w.release(); // the window owns it from here
        MainWindow shell(form, w.dialogs);
        shell.show();
        QVERIFY(QTest::qWaitForWindowExposed(&shell));
        QCOMPARE(form->geometry(),
                 QRect(0, shell.menuBar()->height(), 749, 443)); // 11235 x 6645 twips
        QCOMPARE(shell.windowTitle(), texts::caption);
        QCOMPARE(shell.size(), QSize(749, 443 + shell.menuBar()->height()));

        // Ctrl+O asks for a folder and opens it.
        w.dialogs.folder = d.root + "/Users/bob";
        w.dialogs.cachechoice = 1; // its Low cache
        QTest::keyClick(&shell, Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(w.dialogs.browses.last(), texts::openplacetitle + "|" + QDir::homePath());
        QCOMPARE(folders(w), QStringList{"LLLL0001"});

        // The recent places, latest first, open again from the menu.
        auto *recent = shell.findChild<QMenu *>("menu_recent");
        QVERIFY(recent && recent->isEnabled());
        QCOMPARE(recent->actions().size(), 1);
        QCOMPARE(recent->actions()[0]->text(), d.root + "/Users/bob");
        w.dialogs.cachechoice = 0;
        recent->actions()[0]->trigger();
        QCOMPARE(folders(w), QStringList({"BBBB0001", "BBBB0002"}));

        // A folder dropped on the window opens; a file does not.
        QMimeData dropped;
        dropped.setUrls({QUrl::fromLocalFile(d.root + "/documents and settings/alice")});
        QCOMPARE(droppedfolder(&dropped), d.root + "/documents and settings/alice");
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &dropped, Qt::LeftButton, {});
        QApplication::sendEvent(&shell, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &dropped, Qt::LeftButton, {});
        QApplication::sendEvent(&shell, &drop);
        QVERIFY(drop.isAccepted());
        QCOMPARE(folders(w), QStringList{"AAAA0001"});
        QCOMPARE(shell.findChild<QMenu *>("menu_recent")->actions().size(), 2);
        QMimeData file;
        file.setUrls({QUrl::fromLocalFile(d.root + "/documents and settings/alice/LOCAL "
                                                   "SETTINGS/Temporary Internet "
                                                   "Files/Content.IE5/index.dat")});
        QCOMPARE(droppedfolder(&file), QString());

        // Every menu entry can be read out.
        for (QAction *a : shell.menuBar()->actions())
            QVERIFY(!a->text().isEmpty());
        QVERIFY(shell.findChild<QAction *>("act_openplace")->shortcut() == QKeySequence::Open);
        shell.close();
    }
};

QTEST_MAIN(TestPlaces)
#include "tst_places.moc"
