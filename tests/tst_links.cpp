#include "filelistbox.h"
#include "previewwidgets.h"
#include "resultlistcontrol.h"
#include "samplecache.h"
#include "testsupport.h"

#include <QDir>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>
#include <sys/stat.h>

using namespace vellomar;
using namespace vellomar::test;

namespace {

// A cache with one folder of pictures, a download folder, and a folder outside both that holds
// what an attacker would reach: real pictures under the very names the cache lists.
struct LinkFixture {
    CacheFixture f;
    Window w;
    QMap<QString, QByteArray> secrets;
    QString outside() const { return f.dir.path() + "/outside"; }
    QString tree(const QString &rel) const
    {
        return f.download() + QString::fromUtf8("挖到的资源/") + rel;
    }
    LinkFixture()
    {
        for (const char *n : {"a.jpg", "b.jpg", "c.gif"}) {
            writefile(f.sub("AAAAAAAA") + "/" + n, 20 * 1024);
            QDir().mkpath(outside());
            sample::writejpeg(outside() + "/" + n, 64, 48);
            secrets[n] = readcontent(outside() + "/" + n);
        }
    }
    void load() { w.load(f.cacheroot(), f.download()); }
    QStringList dug(const QString &cls) const
    {
        return QDir(tree(cls)).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }
    bool outsideintact() const
    {
        for (auto it = secrets.cbegin(); it != secrets.cend(); ++it)
            if (it.value().isEmpty() || readcontent(outside() + "/" + it.key()) != it.value())
                return false;
        return true;
    }
};

bool link(const QString &target, const QString &at)
{
    return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(at).constData()) == 0;
}

} // namespace

// Below Content.IE5 and below the resource folder no link is ever followed, and a folder
// swapped in after it was listed is not taken for it.
class TestLinks : public QObject
{
    Q_OBJECT
  private slots:
    void aLinkedContentFolderIsNoCache()
    {
        LinkFixture x;
        QVERIFY(QDir(x.f.ie5()).removeRecursively());
        QVERIFY(QDir().mkpath(x.outside() + "/VICTIM00"));
        QVERIFY(writecontent(x.outside() + "/VICTIM00/v.jpg", "secret"));
        QVERIFY(link(x.outside(), x.f.ie5()));
        x.load();
        QCOMPARE(x.w->lst_TmpIntDir->count(), 0);
        x.w.browser().Cmd_cleariecache_Click();
        QVERIFY(x.outsideintact());
        QCOMPARE(readcontent(x.outside() + "/VICTIM00/v.jpg"), QByteArray("secret"));
    }

    // The listed folder replaced, between the listing and the command, by a link or by another
    // folder of the same name: the rows fail, nothing from elsewhere is copied or deleted.
    void aFolderSwappedAfterListing_data()
    {
        QTest::addColumn<bool>("bylink");
        QTest::newRow("a link") << true;
        QTest::newRow("another folder") << false;
    }
    void aFolderSwappedAfterListing()
    {
        QFETCH(bool, bylink);
        LinkFixture x;
        x.load();
        x.w.browser().Opt_filetype_Click(0);
        QCOMPARE(rownames(x.w), QStringList({"a.jpg", "b.jpg", "c.gif"}));
        QVERIFY(QDir(x.f.ie5()).rename("AAAAAAAA", "moved"));
        if (bylink)
            QVERIFY(link(x.outside(), x.f.sub("AAAAAAAA")));
        else
            QVERIFY(QDir(x.outside()).rename(x.outside(), x.f.sub("AAAAAAAA")));

        x.w->cmd_downcurall->click();
        QVERIFY(x.dug("jpg").isEmpty());
        QVERIFY(x.dug("gif").isEmpty());
        QCOMPARE(x.w.dig().counters().totalfiles(), qint64(0));

        x.w.browser().Rlt_iecachesubdir_RowClick(0);
        QVERIFY(x.w->Img_largeview->isHidden());

        x.w.browser().Cmd_cleariecache_Click();
        const QString reached = bylink ? x.outside() : x.f.sub("AAAAAAAA");
        for (const char *n : {"a.jpg", "b.jpg", "c.gif"})
            QCOMPARE(readcontent(reached + "/" + n), x.secrets[n]);
    }

    // A class folder that is a link fails like a class folder that is a file; the others dig.
    void aLinkedClassFolderIsNotWrittenThrough()
    {
        LinkFixture x;
        x.load();
        x.w.browser().Opt_filetype_Click(0);
        QVERIFY(QDir(x.tree("jpg")).removeRecursively());
        QVERIFY(QDir().mkpath(x.f.dir.path() + "/elsewhere"));
        QVERIFY(link(x.f.dir.path() + "/elsewhere", x.tree("jpg")));
        x.w->cmd_downcurall->click();
        QVERIFY(QDir(x.f.dir.path() + "/elsewhere")
                    .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                    .isEmpty());
        QCOMPARE(x.dug("gif"), QStringList({"c.gif"}));
        QCOMPARE(x.w.dig().counters().totalfiles(), qint64(1));
    }

    // Files swapped just before the dig: a FIFO never blocks, a link is never read through.
    void filesSwappedBeforeTheDig()
    {
        LinkFixture x;
        x.load();
        x.w.browser().Opt_filetype_Click(0);
        QVERIFY(QFile::remove(x.f.sub("AAAAAAAA") + "/a.jpg"));
        QCOMPARE(::mkfifo(QFile::encodeName(x.f.sub("AAAAAAAA") + "/a.jpg").constData(), 0644), 0);
        QVERIFY(QFile::remove(x.f.sub("AAAAAAAA") + "/b.jpg"));
        QVERIFY(link(x.outside() + "/b.jpg", x.f.sub("AAAAAAAA") + "/b.jpg"));
        x.w->cmd_downcurall->click();
        QVERIFY(x.dug("jpg").isEmpty());
        QCOMPARE(x.dug("gif"), QStringList({"c.gif"}));
        x.w.browser().Rlt_iecachesubdir_RowClick(1);
        QVERIFY(x.w->Img_largeview->isHidden());
        QVERIFY(x.outsideintact());
    }
};

QTEST_MAIN(TestLinks)
#include "tst_links.moc"
