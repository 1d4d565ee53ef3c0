// The committed browser caches still are what tools/browsercache/generate.sh made and what their
// expected.tsv says: the lists agree with the site's files, with each other and with the caches.
#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <QTest>

namespace {

const QString data = QStringLiteral(VELLOMAR_TESTDATA);
const QString site = data + QStringLiteral("/browsercache-site");

// expected.tsv's columns, in order.
enum Column {
    Address,
    Status,
    Encoding,
    DecodedSum,
    SentSum,
    SentSize,
    InCache,
    SiteFile,
    SentHead,
    Columns
};

struct Fixture {
    const char *name;
    const char *cache;   // the folder the browser wrote, below the fixture
    QStringList written; // files the browser writes at shutdown, which prove it flushed
};

const QList<Fixture> &fixtures()
{
    static const QList<Fixture> all = {
        {"chromium-simple",
         "Cache_Data",
         {QStringLiteral("index"), QStringLiteral("index-dir/the-real-index")}},
        {"chromium-blockfile",
         "Cache_Data",
         {QStringLiteral("index"), QStringLiteral("data_0"), QStringLiteral("data_1"),
          QStringLiteral("data_2"), QStringLiteral("data_3")}},
        {"firefox-cache2", "cache2", {QStringLiteral("index"), QStringLiteral("index.log")}},
    };
    return all;
}

QByteArray readall(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QList<QList<QByteArray>> rows(const QString &fixture)
{
    QList<QList<QByteArray>> out;
    for (const QByteArray &line :
         readall(data + u'/' + fixture + QStringLiteral("/expected.tsv")).split('\n')) {
        if (!line.isEmpty() && !line.startsWith('#'))
            out.append(line.split('\t'));
    }
    return out;
}

// Every file of a cache, each as one byte array: finding a body or an address in one of them.
QList<QByteArray> cachefiles(const QString &folder)
{
    QList<QByteArray> out;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        out.append(readall(it.next()));
    return out;
}

bool held(const QList<QByteArray> &files, const QByteArray &bytes)
{
    for (const QByteArray &f : files) {
        if (f.contains(bytes))
            return true;
    }
    return false;
}

QByteArray sha256(QByteArrayView b)
{
    return QCryptographicHash::hash(b, QCryptographicHash::Sha256).toHex();
}

// Whether `size` bytes summing to `sum` start where `head` occurs in one of the files: a body as
// sent, found by its first bytes.
bool heldsent(const QList<QByteArray> &files, const QByteArray &head, qsizetype size,
              const QByteArray &sum)
{
    for (const QByteArray &f : files) {
        for (qsizetype at = f.indexOf(head); at >= 0; at = f.indexOf(head, at + 1)) {
            if (size <= f.size() - at && sha256(QByteArrayView(f).sliced(at, size)) == sum)
                return true;
        }
    }
    return false;
}

} // namespace

class tst_BrowserFixtures : public QObject
{
    Q_OBJECT

  private slots:
    void listsAgree_data();
    void listsAgree();
    void rowsAreTheSite_data();
    void rowsAreTheSite();
};

void tst_BrowserFixtures::listsAgree_data()
{
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<QString>("cache");
    QTest::addColumn<QStringList>("written");
    for (const Fixture &f : fixtures())
        QTest::newRow(f.name) << QString::fromLatin1(f.name) << QString::fromLatin1(f.cache)
                              << f.written;
}

// Each list names the same addresses, statuses and files as the others, on the port its
// fixture's server listened on, and its browser finished writing the cache.
void tst_BrowserFixtures::listsAgree()
{
    QFETCH(QString, fixture);
    QFETCH(QString, cache);
    QFETCH(QStringList, written);
    const auto list = rows(fixture);
    const auto first = rows(QString::fromLatin1(fixtures().first().name));
    QCOMPARE(list.size(), 11);
    QCOMPARE(list.size(), first.size());
    const QByteArray base =
        "http://127.0.0.1:" + readall(data + u'/' + fixture + QStringLiteral("/port")).trimmed() +
        '/';
    for (qsizetype i = 0; i < list.size(); ++i) {
        const auto &row = list[i];
        QCOMPARE(row.size(), qsizetype(Columns));
        QVERIFY2(row[Address].startsWith(base), row[Address].constData());
        const QByteArray path = row[Address].mid(base.size());
        QCOMPARE(path, first[i][Address].mid(first[i][Address].indexOf('/', 7) + 1));
        for (Column c : {Status, Encoding, DecodedSum, SentSum, SentSize, SiteFile, SentHead})
            QCOMPARE(row[c], first[i][c]);
        // Every body the site served with 200 is in each cache.
        if (row[Status] == "200")
            QCOMPARE(row[InCache], QByteArray("yes"));
    }
    for (const QString &name : written)
        QVERIFY2(QFile::exists(data + u'/' + fixture + u'/' + cache + u'/' + name),
                 qPrintable(name));
}

void tst_BrowserFixtures::rowsAreTheSite_data()
{
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<QString>("cache");
    QTest::addColumn<QList<QByteArray>>("row");
    for (const Fixture &f : fixtures()) {
        for (const auto &row : rows(QString::fromLatin1(f.name))) {
            if (row.size() == Columns) {
                QTest::addRow("%s %s", f.name, row[Address].constData())
                    << QString::fromLatin1(f.name) << QString::fromLatin1(f.cache) << row;
            }
        }
    }
}

// A row's sums are those of the site's file, and a row the cache holds is in the cache: its
// address, and its body as sent.
void tst_BrowserFixtures::rowsAreTheSite()
{
    QFETCH(QString, fixture);
    QFETCH(QString, cache);
    QFETCH(QList<QByteArray>, row);
    const QByteArray body = row[SiteFile] == "-"
                                ? QByteArray()
                                : readall(site + u'/' + QString::fromUtf8(row[SiteFile]));
    if (row[SiteFile] != "-")
        QVERIFY2(!body.isEmpty(), row[SiteFile].constData());
    QCOMPARE(sha256(body), row[DecodedSum]);
    if (row[Encoding] == "-") {
        QCOMPARE(row[SentSum], row[DecodedSum]);
        QCOMPARE(row[SentSize].toLongLong(), qint64(body.size()));
    } else {
        QVERIFY(row[SentSum] != row[DecodedSum]);
    }
    if (row[InCache] != "yes")
        return;
    const auto files = cachefiles(data + u'/' + fixture + u'/' + cache);
    QVERIFY2(held(files, row[Address]), "the cache lacks the address");
    if (row[SentHead] != "-") {
        QVERIFY2(heldsent(files, QByteArray::fromHex(row[SentHead]), row[SentSize].toLongLong(),
                          row[SentSum]),
                 "the cache lacks the body as sent");
    }
}

QTEST_GUILESS_MAIN(tst_BrowserFixtures)
#include "tst_browserfixtures.moc"
