#include "browseropen.h"
#include "entryfiles.h"
#include "filelistbox.h"
#include "flashplayer.h"
#include "frm_picfullscreen.h"
#include "mediaplayer.h"
#include "picturecache.h"
#include "previewwidgets.h"
#include "resultlistcontrol.h"
#include "swfview.h"
#include "testsupport.h"
#include "texts.h"

#include <QAccessible>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QMediaPlayer>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QToolButton>
#include <QtTest>
#include <sys/stat.h>

using namespace vellomar;
using namespace vellomar::test;

namespace {

// What the site sent, as the fixture's expected.tsv lists it: each whole response kept.
struct Sent {
    QString address, encoding, sha256, sitefile;
};

QList<Sent> sentof(const QString &fixture)
{
    QList<Sent> sent;
    QFile f(QStringLiteral(VELLOMAR_TESTDATA "/") + fixture + QStringLiteral("/expected.tsv"));
    if (!f.open(QIODevice::ReadOnly))
        return sent;
    for (const QByteArray &line : f.readAll().split('\n')) {
        const QList<QByteArray> c = line.split('\t');
        if (line.startsWith('#') || c.size() < 8 || c[1] != "200" || c[6] != "yes")
            continue;
        sent.append({QString::fromUtf8(c[0]), QString::fromUtf8(c[2]), QString::fromUtf8(c[3]),
                     QString::fromUtf8(c[7])});
    }
    return sent;
}

// The name each address lists under, by the naming rules: its last segment, the type's
// extension added where it has none or one the bytes contradict.
QString namefor(const QString &address)
{
    static const QMap<QString, QString> names{
        {"/index.html", "index.html"},   {"/img/banner.jpg", "banner.jpg"},
        {"/img/logo.gif", "logo.gif"},   {"/img/photo.png", "photo.png"},
        {"/img/picture", "picture.png"}, {"/img/photo.php", "photo.php.jpg"},
        {"/media/game.swf", "game.swf"}, {"/media/clip.flv", "clip.flv"},
        {"/media/song.mp3", "song.mp3"},
    };
    return names.value(QUrl(address).path());
}

Sent sentnamed(const QString &fixture, const QString &name)
{
    for (const Sent &s : sentof(fixture))
        if (namefor(s.address) == name)
            return s;
    return {};
}

QByteArray sha256of(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash h(QCryptographicHash::Sha256);
    h.addData(&f);
    return h.result().toHex();
}

// Every file of a tree but the manifest, by its path there, with its bytes' hash.
QMap<QString, QByteArray> treeof(const QString &root)
{
    QMap<QString, QByteArray> tree;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString rel = QDir(root).relativeFilePath(path);
        if (!rel.endsWith(QStringLiteral("manifest.csv")))
            tree.insert(rel, sha256of(path));
    }
    return tree;
}

struct BrowserWindow {
    QTemporaryDir down;
    Window w;
    QString cache;
    // Starts the window on the fixture's cache, every type and size listed.
    bool open(const QString &fixture, const QString &folder)
    {
        cache = QStringLiteral(VELLOMAR_TESTDATA "/") + fixture + QLatin1Char('/') + folder;
        if (!isbrowsercache(cache))
            return false;
        w.start(cache, down.path() + QStringLiteral("/"));
        w->SlD_minfilesize->setValue(w->SlD_minfilesize->minimum());
        w->Opt_filetype[0]->click();
        return true;
    }
    int rowof(const QString &name) const { return int(rownames(w).indexOf(name)); }
    QString tree() const { return down.path() + QStringLiteral("/挖到的资源"); }
    void preview(const QString &name) const
    {
        const int r = rowof(name);
        w.browser().gotorow(r);
        w.preview().dofilelist(r);
    }
};

#define OPEN(x, fixture, folder)                                                                   \
    if (!(x).open(fixture, folder))                                                                \
        QSKIP(qPrintable(QStringLiteral("no reader in this build reads tests/data/") + fixture));

void fixtures()
{
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<QString>("folder");
    QTest::newRow("chromium simple") << "chromium-simple"
                                     << "Cache_Data";
    QTest::newRow("chromium blockfile") << "chromium-blockfile"
                                        << "Cache_Data";
    QTest::newRow("firefox cache2") << "firefox-cache2"
                                    << "cache2";
}

} // namespace

class TestBrowserWindow : public QObject
{
    Q_OBJECT
  private slots:
    void listsItsOneFolderAndItsEntries_data() { fixtures(); }
    void listsItsOneFolderAndItsEntries()
    {
        QFETCH(QString, fixture);
        QFETCH(QString, folder);
        BrowserWindow x;
        OPEN(x, fixture, folder);
        QCOMPARE(x.w->lst_TmpIntDir->count(), 1);
        QCOMPARE(x.w->lst_TmpIntDir->item(0)->text(), folder);
        QAccessibleInterface *list = QAccessible::queryAccessibleInterface(x.w->lst_TmpIntDir);
        QVERIFY(list && list->childCount() == 1);
        QCOMPARE(list->child(0)->text(QAccessible::Name), folder);

        const QList<Sent> sent = sentof(fixture);
        QStringList names;
        for (const Sent &s : sent)
            names << namefor(s.address);
        names.sort(Qt::CaseInsensitive);
        QCOMPARE(rownames(x.w), names);
        const QAbstractItemModel *model = x.w->Rlt_iecachesubdir->model();
        for (const Sent &s : sent) {
            const int r = x.rowof(namefor(s.address));
            const ResultRow row = x.w.browser().row(r);
            // Its size as dug: the site's file, decoded.
            QCOMPARE(row.bytes,
                     QFileInfo(QStringLiteral(VELLOMAR_TESTDATA "/browsercache-site/") + s.sitefile)
                         .size());
            const QString tip = model->data(model->index(r, 1), Qt::ToolTipRole).toString();
            QVERIFY2(tip.startsWith(s.address + QLatin1Char('\n')), qPrintable(tip));
            QVERIFY2(tip.contains(QStringLiteral("类型：")), qPrintable(tip));
            QCOMPARE(tip.contains(QStringLiteral("编码：") + s.encoding), s.encoding != "-");
            QVERIFY2(tip.contains(fixture.startsWith("chromium") ? QStringLiteral("响应时间：")
                                                                 : QStringLiteral("获取时间：")),
                     qPrintable(tip));
            QCOMPARE(model->data(model->index(r, 1), Qt::AccessibleDescriptionRole).toString(),
                     tip);
        }

        // Both filters as for Content.IE5: the pictures, then those of 10 KB and more.
        x.w->Opt_filetype[2]->click();
        QCOMPARE(rownames(x.w), QStringList({"banner.jpg", "logo.gif", "photo.php.jpg", "photo.png",
                                             "picture.png"}));
        x.w->SlD_minfilesize->setValue(2); // 10 KB
        QCOMPARE(rownames(x.w), QStringList({"photo.png"}));
        x.w->Opt_filetype[0]->click();
        QCOMPARE(rownames(x.w), QStringList({"clip.flv", "photo.png"}));
        // Refreshing reads the cache anew and lists the same.
        x.w->Cmd_refreshfilelist->click();
        QCOMPARE(rownames(x.w), QStringList({"clip.flv", "photo.png"}));
    }

    void digsDecodedBodiesAsTheCommandDoes_data() { fixtures(); }
    void digsDecodedBodiesAsTheCommandDoes()
    {
        QFETCH(QString, fixture);
        QFETCH(QString, folder);
        BrowserWindow x;
        OPEN(x, fixture, folder);
        x.w.form().show();
        QVERIFY(QTest::qWaitForWindowExposed(x.w.w.get()));
        x.w->cmd_downcurall->click();
        QVERIFY(!x.w.dig().digging());
        const QMap<QString, QByteArray> tree = treeof(x.tree());
        const QList<Sent> sent = sentof(fixture);
        QCOMPARE(tree.size(), sent.size());
        QFile manifest(x.tree() + QStringLiteral("/manifest.csv"));
        QVERIFY(manifest.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = manifest.readAll().split('\n');
        for (const Sent &s : sent) {
            const QString name = namefor(s.address);
            QStringList at;
            for (auto i = tree.cbegin(); i != tree.cend(); ++i)
                if (QFileInfo(i.key()).fileName() == name)
                    at << i.key();
            QVERIFY2(at.size() == 1, qPrintable(name));
            QCOMPARE(tree.value(at.first()), s.sha256.toLatin1());
            bool found = false;
            for (const QByteArray &l : lines)
                found = found ||
                        (l.contains(name.toUtf8()) && l.contains(("," + s.address + ",").toUtf8()));
            QVERIFY2(found, qPrintable(s.address));
        }

        // vellomar-dig over the same cache ends with the same tree.
        QTemporaryDir other;
        const Run run =
            runprogram(QStringLiteral(VELLOMAR_DIG),
                       {"--type", "all", "--min", "0", "--quiet", x.cache, other.path()});
        QVERIFY2(run.status == 0, run.err.constData());
        QCOMPARE(treeof(other.path() + QStringLiteral("/挖到的资源")), tree);
    }

    void previewShowsEachKindOnItsPage_data()
    {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("page");
        for (const char *n : {"banner.jpg", "photo.php.jpg", "logo.gif"})
            QTest::newRow(n) << "chromium-blockfile"
                             << "Cache_Data" << n << "picture";
        QTest::newRow("swf, gzip") << "chromium-blockfile"
                                   << "Cache_Data"
                                   << "game.swf"
                                   << "swf";
        QTest::newRow("flv") << "chromium-blockfile"
                             << "Cache_Data"
                             << "clip.flv"
                             << "flv";
        QTest::newRow("mp3, br") << "firefox-cache2"
                                 << "cache2"
                                 << "song.mp3"
                                 << "mp3";
        QTest::newRow("firefox jpg") << "firefox-cache2"
                                     << "cache2"
                                     << "banner.jpg"
                                     << "picture";
        QTest::newRow("png: none") << "firefox-cache2"
                                   << "cache2"
                                   << "photo.png"
                                   << "none";
    }
    void previewShowsEachKindOnItsPage()
    {
        QFETCH(QString, fixture);
        QFETCH(QString, folder);
        QFETCH(QString, name);
        QFETCH(QString, page);
        BrowserWindow x;
        OPEN(x, fixture, folder);
        x.w.form().show();
        QVERIFY(QTest::qWaitForWindowExposed(x.w.w.get()));
        x.preview(name);
        const bool picture = page == "picture";
        QCOMPARE(!x.w->Img_largeview->isHidden(), picture);
        QCOMPARE(x.w->Img_largeview->haspicture(), picture);
        if (name == "banner.jpg")
            QCOMPARE(x.w->Img_largeview->image().size(), QSize(160, 120));
        QCOMPARE(!x.w->Flashbox->isHidden(), page == "swf" || page == "flv");
        QCOMPARE(x.w->Flashbox->kind(), page == "swf"   ? FlashPlayer::Kind::Swf
                                        : page == "flv" ? FlashPlayer::Kind::Video
                                                        : FlashPlayer::Kind::None);
        QCOMPARE(x.w->wmp->URL().isEmpty(), page != "mp3");
        const QString shown = page == "mp3"                    ? x.w->wmp->URL()
                              : page == "swf" || page == "flv" ? x.w->Flashbox->Movie()
                                                               : QString();
        if (!shown.isEmpty()) {
            // An unnamed file of this process, only its owner's, holding the decoded bytes.
            QVERIFY2(shown.startsWith("/proc/self/fd/"), qPrintable(shown));
            const QString target = QFileInfo(shown).symLinkTarget();
            QVERIFY2(target.endsWith(" (deleted)"), qPrintable(target));
            QVERIFY2(target.startsWith(privatetempfolder()), qPrintable(target));
            struct stat st {
            };
            QCOMPARE(::stat(QFile::encodeName(shown).constData(), &st), 0);
            QCOMPARE(int(st.st_mode & 0777), 0600);
            QCOMPARE(sha256of(shown), sentnamed(fixture, name).sha256.toLatin1());
        }
        if (page == "mp3")
            QTRY_COMPARE_WITH_TIMEOUT(x.w->wmp->player()->playbackState(),
                                      QMediaPlayer::PlayingState, 10000);
        // Ruffle plays the decoded movie.
        if (page == "swf" && x.w->Flashbox->swfview()->available())
            QTRY_VERIFY_WITH_TIMEOUT(swfstate(*x.w->Flashbox).playing, 60000);
    }

    void viewerShowsAPicture()
    {
        BrowserWindow x;
        OPEN(x, "chromium-blockfile", "Cache_Data");
        x.w->Opt_filetype[2]->click(); // the pictures
        x.w.form().show();
        QVERIFY(QTest::qWaitForWindowExposed(x.w.w.get()));
        x.w.openrow(x.rowof("banner.jpg"));
        QVERIFY(x.w.viewer() && x.w.form().viewershowing());
        QTRY_VERIFY(x.w.viewer()->img_fullscreen->haspicture());
        QCOMPARE(x.w.viewer()->img_fullscreen->geometry().size(), QSize(160, 120));
        QVERIFY(x.w.launcher.opened.isEmpty());
        // The pictures it may show next are decoded ahead, from their decoded bytes.
        QVERIFY(settled(x.w.preview().ahead()));
        QVERIFY(x.w.preview().ahead().count() >= 1);
        QTest::keyClick(x.w.viewer()->Cbo_scrollpic, Qt::Key_Down); // the next picture
        QTRY_COMPARE(x.w.browser().currentrow(), x.rowof("logo.gif"));
        QTRY_VERIFY(x.w.viewer()->img_fullscreen->haspicture());
        QCOMPARE(x.w.viewer()->img_fullscreen->geometry().size(), QSize(64, 64));
    }

    void openWithProgramGetsAPrivateCopyRemovedAfterwards_data()
    {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("closing"); // the window closes, rather than the row changing
        QTest::newRow("row changes") << "firefox-cache2"
                                     << "cache2" << false;
        QTest::newRow("window closes") << "chromium-blockfile"
                                       << "Cache_Data" << true;
    }
    void openWithProgramGetsAPrivateCopyRemovedAfterwards()
    {
        QFETCH(QString, fixture);
        QFETCH(QString, folder);
        QFETCH(bool, closing);
        BrowserWindow x;
        OPEN(x, fixture, folder);
        x.w->opt_picopenmode[1]->click(); // the desktop's program opens rows, not the viewer
        x.w.openrow(x.rowof("song.mp3"));
        QCOMPARE(x.w.launcher.opened.size(), 1);
        const QString path = x.w.launcher.opened.first();
        QCOMPARE(QFileInfo(path).fileName(), QStringLiteral("song.mp3"));
        QVERIFY(!path.startsWith(x.cache));
        struct stat st {
        };
        QCOMPARE(::lstat(QFile::encodeName(path).constData(), &st), 0);
        QVERIFY(S_ISREG(st.st_mode));
        QCOMPARE(int(st.st_mode & 0777), 0600);
        const QString parent = QFileInfo(path).path();
        QCOMPARE(::lstat(QFile::encodeName(parent).constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 0777), 0700);
        QCOMPARE(sha256of(path), sentnamed(fixture, "song.mp3").sha256.toLatin1());
        if (closing)
            x.w.form().close();
        else
            x.w.browser().Rlt_iecachesubdir_RowClick(x.rowof("banner.jpg"));
        QVERIFY(!QFileInfo::exists(path));
        QVERIFY(!QFileInfo::exists(parent));
    }

    // The browser's cache opened last is opened again at the next start.
    void theCacheChosenLastOpensAtStart()
    {
        if (qEnvironmentVariableIsSet("VELLOMAR_CACHE"))
            QSKIP("VELLOMAR_CACHE names a cache: the remembered one is not read");
        BrowserWindow x;
        OPEN(x, "firefox-cache2", "cache2");
        QCOMPARE(x.w.settings.values.value(texts::settingsgroup + "/" + texts::settingscachekey),
                 x.cache);
        Window again;
        again.settings = x.w.settings;
        again.start(QString(), x.down.path() + "/");
        QCOMPARE(again->lst_TmpIntDir->count(), 1);
        QCOMPARE(again->lst_TmpIntDir->item(0)->text(), QStringLiteral("cache2"));
        QCOMPARE(rownames(again), QStringList({"clip.flv", "photo.png"})); // media of 10 KB on
        QVERIFY(!again->Cmd_cleariecache->isEnabled());
    }

    void clearingTheCacheIsOff_data() { fixtures(); }
    void clearingTheCacheIsOff()
    {
        QFETCH(QString, fixture);
        QFETCH(QString, folder);
        BrowserWindow x;
        OPEN(x, fixture, folder);
        QToolButton *clear = x.w->Cmd_cleariecache;
        QVERIFY(!clear->isEnabled());
        QCOMPARE(clear->toolTip(), QStringLiteral("清空IE缓存目录"));
        QAccessibleInterface *a = QAccessible::queryAccessibleInterface(clear);
        QVERIFY(a && a->state().disabled);
        // A dig turns the controls off and on again: this one stays off.
        x.w->cmd_downcurall->click();
        QVERIFY(!clear->isEnabled());
        QVERIFY(x.w->Cmd_refreshfilelist->isEnabled());
        x.w->Cmd_refreshfilelist->click();
        QVERIFY(!clear->isEnabled());
        // A Content.IE5 cache opened next has it back.
        CacheFixture ie;
        QVERIFY(writefile(ie.sub("AAAAAAAA") + "/a.jpg", 100));
        QVERIFY(x.w.form().openplace(ie.cacheroot()));
        QVERIFY(clear->isEnabled());
    }
};

QTEST_MAIN(TestBrowserWindow)
#include "tst_browserwindow.moc"
