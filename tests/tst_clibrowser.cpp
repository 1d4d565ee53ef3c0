// The headless command on a browser's cache folder, its reader given: the folder is recognised,
// listed, shown as a dry run and dug with every option, and never written to.
#include "browsercache.h"
#include "cacheformat.h"
#include "digcommand.h"
#include "manifest.h"
#include "resourcetree.h"
#include "tablecache.h"
#include "testfiles.h"
#include "texts.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

using namespace vellomar;
using namespace vellomar::test;

namespace {

QByteArray pattern(int size, char seed)
{
    QByteArray b(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        b[i] = char(seed + i * 7 + (i >> 8));
    return b;
}

struct Run {
    int status = -1;
    QString out, err;
};

Run run(DigOptions o)
{
    Run r;
    QTextStream out(&r.out), err(&r.err);
    r.status = rundig(o, out, err, false, tablecache::readers());
    out.flush();
    err.flush();
    return r;
}

struct Fixture {
    QTemporaryDir dir;
    QString cache() const { return dir.path() + "/Cache"; }
    QString down() const { return dir.path() + "/down"; }
    QString tree(const QString &rel) const
    {
        return down() + "/" + texts::resourcefolder + "/" + rel;
    }
    QByteArray blob = pattern(40000, 1), gif = pattern(11000, 2);
    Fixture()
    {
        writecontent(cache() + "/data_1", blob);
        writecontent(cache() + "/f_000001", gif);
        writecontent(cache() + "/toc",
                     tablecache::line("data_1 block 2", "http://site.example/a/b/pic.jpg",
                                      "image/jpeg", "data_1@1024+20480") +
                         tablecache::line("f_000001", "http://site.example/anim.gif", "image/gif",
                                          "f_000001@0+11000") +
                         tablecache::line("data_1 block 60", "http://site.example/s.js",
                                          "text/javascript", "data_1@30000+10000"));
    }
    DigOptions options() const
    {
        DigOptions o;
        o.place = cache();
        o.dest = down();
        return o;
    }
};

} // namespace

class TestCliBrowser : public QObject
{
    Q_OBJECT
  private slots:
    void lists();
    void dryRun();
    void digs_data();
    void digs();
    void destinationInsideTheCache();
    void withoutItsReaderItIsNoCache();
};

void TestCliBrowser::lists()
{
    Fixture f;
    DigOptions o = f.options();
    o.list = true;
    Run r = run(o);
    QCOMPARE(r.status, int(digok));
    QCOMPARE(r.out,
             QStringLiteral("Cache\tanim.gif\tgif\t11000\thttp://site.example/anim.gif\n"
                            "Cache\tpic.jpg\tjpg\t20480\thttp://site.example/a/b/pic.jpg\n"));
    o.json = true;
    o.type = 0; // all
    o.minkb = 0;
    r = run(o);
    const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    const QJsonObject last = QJsonDocument::fromJson(lines[2].toUtf8()).object();
    QCOMPARE(last.value("name").toString(), "s.js");
    QCOMPARE(last.value("storedat").toString(), "data_1 block 60");
    QCOMPARE(last.value("size").toInt(), 10000);
    QCOMPARE(last.value("folder").toString(), "Cache");

    o = f.options();
    o.find = true;
    o.json = true;
    r = run(o);
    QCOMPARE(QJsonDocument::fromJson(r.out.toUtf8()).object().value("format").toString(),
             formatid(CacheFormat::chromiumsimple));
}

void TestCliBrowser::dryRun()
{
    Fixture f;
    const QStringList before = treesnapshot(f.dir.path());
    DigOptions o = f.options();
    o.dryrun = true;
    o.sitelayout = true;
    const Run r = run(o);
    QCOMPARE(r.status, int(digok));
    const QString tree = QDir(f.down()).absolutePath() + "/" + texts::resourcefolder + "/";
    QCOMPARE(r.out, f.cache() + ": f_000001 -> " + tree + "site.example/anim.gif\n" + f.cache() +
                        ": data_1 block 2 -> " + tree + "site.example/a/b/pic.jpg\n");
    QCOMPARE(treesnapshot(f.dir.path()), before);
}

void TestCliBrowser::digs_data()
{
    QTest::addColumn<bool>("site");
    QTest::newRow("classes") << false;
    QTest::newRow("site") << true;
}

void TestCliBrowser::digs()
{
    QFETCH(bool, site);
    Fixture f;
    const QStringList before = treesnapshot(f.cache());
    DigOptions o = f.options();
    o.sitelayout = site;
    o.json = true;
    Run r = run(o);
    QCOMPARE(r.status, int(digok));
    const QJsonObject report = QJsonDocument::fromJson(r.out.toUtf8()).object();
    QCOMPARE(report.value("files").toInt(), 2);
    QCOMPARE(report.value("bytes").toInt(), 20480 + 11000);
    const QString pic = site ? "site.example/a/b/pic.jpg" : "jpg/pic.jpg";
    QCOMPARE(readcontent(f.tree(pic)), f.blob.mid(1024, 20480));
    QCOMPARE(readcontent(f.tree(site ? "site.example/anim.gif" : "gif/anim.gif")), f.gif);
    const QByteArray manifest = readcontent(manifestpath(f.down() + "/"));
    const QList<QByteArray> lines = manifest.split('\n');
    QCOMPARE(lines.size(), 4); // the header, two lines, and the end
    const QStringList picline = QString::fromUtf8(lines[2]).trimmed().split(',');
    QCOMPARE(picline[manifestcolumns().indexOf("cache file")], "data_1 block 2");
    QCOMPARE(picline[manifestcolumns().indexOf("cache folder")], f.cache());
    QCOMPARE(picline[manifestcolumns().indexOf("dug as")], pic);
    QCOMPARE(picline[manifestcolumns().indexOf("address")], "http://site.example/a/b/pic.jpg");
    QCOMPARE(treesnapshot(f.cache()), before);

    // A body gone since is no row of the next run.
    QVERIFY(QFile::remove(f.cache() + "/f_000001"));
    o.dest = f.down() + "/again";
    r = run(o);
    QCOMPARE(r.status, int(digok));
    QCOMPARE(QJsonDocument::fromJson(r.out.toUtf8()).object().value("files").toInt(), 1);
}

void TestCliBrowser::destinationInsideTheCache()
{
    Fixture f;
    const QStringList before = treesnapshot(f.cache());
    DigOptions o = f.options();
    o.dest = f.cache() + "/out";
    const Run r = run(o);
    QCOMPARE(r.status, int(digusage));
    QCOMPARE(treesnapshot(f.cache()), before);
}

// Until a format's reader is in the table, its folder is searched for Internet Explorer's caches.
void TestCliBrowser::withoutItsReaderItIsNoCache()
{
    Fixture f;
    DigOptions o = f.options();
    o.list = true;
    QString so, se;
    QTextStream sout(&so), serr(&se);
    QCOMPARE(rundig(o, sout, serr, false, {}), int(dignocache));
}

QTEST_GUILESS_MAIN(TestCliBrowser)
#include "tst_clibrowser.moc"
