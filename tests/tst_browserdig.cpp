// Chromium's and Firefox's caches dug by the real command: the caches the browsers wrote
// (tests/data, made by tools/browsercache), each body against the one the server sent.
#include "testsupport.h"
#include "texts.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QtTest>

using namespace vellomar;
using namespace vellomar::test;

namespace {

Run dig(const QStringList &args)
{
    return runprogram(QStringLiteral(VELLOMAR_DIG), args);
}

const QString fixtures = QStringLiteral(VELLOMAR_TESTDATA);

// A response the site sent that the browser kept: its address and the SHA-256 of its decoded body.
struct Sent {
    QString address;
    QString sha256;
};

// The rows of a fixture's expected.tsv that must be rows of the cache: status 200, in the cache.
QList<Sent> sentof(const QString &fixture)
{
    QList<Sent> sent;
    QFile f(fixtures + "/" + fixture + "/expected.tsv");
    if (!f.open(QIODevice::ReadOnly))
        return sent;
    for (const QByteArray &line : f.readAll().split('\n')) {
        const QList<QByteArray> c = line.split('\t');
        if (line.startsWith('#') || c.size() < 7)
            continue;
        if (c[1] == "200" && c[6] == "yes")
            sent.append({QString::fromUtf8(c[0]), QString::fromLatin1(c[3])});
    }
    return sent;
}

// The manifest's lines as fields (addresses here hold no comma or quote).
QList<QStringList> manifestof(const QString &dest)
{
    QList<QStringList> lines;
    QFile f(dest + "/" + texts::resourcefolder + "/manifest.csv");
    if (!f.open(QIODevice::ReadOnly))
        return lines;
    const QList<QByteArray> all = f.readAll().split('\n');
    for (qsizetype i = 1; i < all.size(); ++i) {
        if (!all[i].trimmed().isEmpty())
            lines.append(QString::fromUtf8(all[i].trimmed()).split(u','));
    }
    return lines;
}

QByteArray sha256of(const QString &path)
{
    return QCryptographicHash::hash(readcontent(path), QCryptographicHash::Sha256).toHex();
}

bool copytree(const QString &from, const QString &to)
{
    QDirIterator it(from, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString target = to + path.mid(from.size());
        if (!QDir().mkpath(QFileInfo(target).path()) || !QFile::copy(path, target))
            return false;
    }
    return true;
}

// Column numbers of the manifest.
enum Column { cachefile = 2, size = 3, sum = 4, dugas = 6, outcome = 7, address = 8 };

} // namespace

class TestBrowserDig : public QObject
{
    Q_OBJECT

  private slots:
    void everyBodyAsTheServerSentIt_data()
    {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<QString>("cache");
        QTest::newRow("Chromium Simple Cache") << "chromium-simple"
                                               << "Cache_Data";
        QTest::newRow("Chromium blockfile") << "chromium-blockfile"
                                            << "Cache_Data";
        QTest::newRow("Firefox cache2") << "firefox-cache2"
                                        << "cache2";
    }
    void everyBodyAsTheServerSentIt()
    {
        QFETCH(QString, fixture);
        QFETCH(QString, cache);
        const QList<Sent> sent = sentof(fixture);
        QVERIFY(sent.size() >= 9);
        QTemporaryDir dir;
        const QString place = fixtures + "/" + fixture + "/" + cache;
        const QStringList before = treesnapshot(place);
        const Run r = dig({"--type", "all", "--min", "0K", place, dir.path()});
        QCOMPARE(r.status, 0);
        const QList<QStringList> lines = manifestof(dir.path());
        QCOMPARE(lines.size(), sent.size()); // redirects, 404s and the doomed copy are no rows
        for (const Sent &s : sent) {
            const auto line = std::find_if(lines.begin(), lines.end(), [&s](const QStringList &l) {
                return l.size() > address && l[address] == s.address;
            });
            QVERIFY2(line != lines.end(), qPrintable(s.address));
            QCOMPARE((*line)[outcome], QStringLiteral("copied"));
            QCOMPARE((*line)[sum], s.sha256);
            const QString dug = dir.path() + "/" + texts::resourcefolder + "/" + (*line)[dugas];
            QCOMPARE(QString::fromLatin1(sha256of(dug)), s.sha256);
            QCOMPARE(QString::number(QFileInfo(dug).size()), (*line)[size]);
            QVERIFY(!(*line)[cachefile].isEmpty());
        }
        QCOMPARE(treesnapshot(place), before); // nothing written into the cache
    }

    // A disk with Internet Explorer's caches and a browser's: all of them dug at once.
    void everyCacheOfADisk()
    {
        DiskFixture d;
        const QString local = d.root + "/Users/zed/AppData/Local/";
        const QString chrome = local + "Google/Chrome/User Data/Default/Cache/Cache_Data";
        const QString firefox = local + "Mozilla/Firefox/Profiles/k3x9.default/cache2";
        QVERIFY(copytree(fixtures + "/chromium-simple/Cache_Data", chrome));
        QVERIFY(copytree(fixtures + "/firefox-cache2/cache2", firefox));
        const QString dest = d.dir.path() + "/dest";
        const Run r = dig({"--type", "all", "--min", "0K", "--all-caches", d.root, dest});
        QCOMPARE(r.status, 0);
        const QList<QStringList> lines = manifestof(dest);
        QStringList folders;
        for (const QStringList &l : lines)
            folders << l[1];
        QCOMPARE(folders.count(chrome), sentof("chromium-simple").size());
        QCOMPARE(folders.count(firefox), sentof("firefox-cache2").size());
        QCOMPARE(lines.size() - folders.count(chrome) - folders.count(firefox), 7); // IE's own
    }
};

QTEST_GUILESS_MAIN(TestBrowserDig)
#include "tst_browserdig.moc"
