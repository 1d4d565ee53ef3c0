#include "cacherecords.h"
#include "hostilecache.h"
#include "manifest.h"
#include "platform.h"
#include "recordcodepage.h"
#include "resultlistcontrol.h"
#include "testsupport.h"

#include <QAccessible>
#include <QDataStream>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSlider>
#include <QtTest>
#include <sys/stat.h>

using namespace vellomar;
using namespace vellomar::test;

namespace {

// A copy of the cache Wine's wininet made (tests/data/iecache), to change at will.
struct MadeCache {
    QTemporaryDir dir;
    QString root() const { return dir.path() + "/cache"; }
    QString ie5() const { return root() + "/Content.IE5"; }
    QString base;
    MadeCache()
    {
        const QString from = QFINDTESTDATA("data/iecache");
        QDirIterator it(from, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString p = it.next();
            const QString to = root() + p.mid(from.size());
            QDir().mkpath(QFileInfo(to).path());
            QFile::copy(p, to);
            QFile(to).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        }
        base = "http://127.0.0.1:" + QString::fromLatin1(readcontent(root() + "/port").trimmed());
    }
    CacheRecords read() const { return CacheRecords::read(openbeneath(ie5()).fd()); }
};

QString sha256sum(const QString &path)
{
    QProcess p;
    p.start(QStringLiteral("sha256sum"), {path});
    p.waitForFinished(10000);
    return QString::fromLatin1(p.readAllStandardOutput().split(' ').first());
}

// The manifest's records, header first, each split into its fields (no field here holds a comma
// or a line break but the ones quoted, which the tests check by themselves).
QList<QStringList> manifestrows(const QString &file)
{
    QList<QStringList> rows;
    for (const QByteArray &line : readcontent(file).split('\n')) {
        if (!line.isEmpty())
            rows << QString::fromUtf8(line.chopped(line.endsWith('\r') ? 1 : 0)).split(',');
    }
    return rows;
}

} // namespace

class TestRecords : public QObject
{
    Q_OBJECT
  private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // Every file Wine's wininet fetched has its record; the one whose file was removed keeps
    // its record too.
    void recordsMapOntoFiles_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("type");
        QTest::newRow("jpeg") << "SA5B2M8U/banner[0].jpg"
                              << "/img/banner.jpg"
                              << "image/jpeg";
        QTest::newRow("same name, query") << "4YAEC9VM/banner[0].jpg"
                                          << "/img/banner.jpg?v=2"
                                          << "image/jpeg";
        QTest::newRow("gif") << "0QW18PZ0/logo[0].gif"
                             << "/img/logo.gif"
                             << "image/gif";
        QTest::newRow("png") << "4YAEC9VM/photo[0].png"
                             << "/img/photo.png"
                             << "image/png";
        QTest::newRow("swf") << "WIIO554F/game[0].swf"
                             << "/media/game.swf"
                             << "application/x-shockwave-flash";
        QTest::newRow("mp3") << "SA5B2M8U/song[0].mp3"
                             << "/media/song.mp3"
                             << "audio/mpeg";
        QTest::newRow("page") << "WIIO554F/index[0].html"
                              << "/index.html"
                              << "text/html; charset=utf-8";
        QTest::newRow("file gone") << "4YAEC9VM/gone[0].jpg"
                                   << "/img/gone.jpg"
                                   << "image/jpeg";
    }
    void recordsMapOntoFiles()
    {
        QFETCH(QString, file);
        QFETCH(QString, address);
        QFETCH(QString, type);
        MadeCache c;
        const CacheRecords records = c.read();
        QCOMPARE(records.size(), 8);
        const CacheRecord *r =
            records.find(file.section('/', 0, 0).toLower(), file.section('/', 1));
        QVERIFY(r);
        QCOMPARE(r->address, c.base + address);
        QCOMPARE(r->contenttype, type);
        QCOMPARE(r->httplastmodified, QStringLiteral("Tue, 09 Jun 2009 08:30:00 GMT"));
        QCOMPARE(r->lastmodified, QDateTime(QDate(2009, 6, 9), QTime(8, 30), Qt::UTC));
        QVERIFY(r->lastaccessed > r->lastmodified);
        QVERIFY(r->expires > r->lastchecked && r->lastchecked.isValid());
        QVERIFY(r->hits >= 1);
        const QFileInfo f(c.ie5() + "/" + file);
        QCOMPARE(f.exists(), !file.contains("gone"));
        if (f.exists())
            QCOMPARE(r->storedsize, f.size());
        QVERIFY(!records.find("NOSUCH00", file.section('/', 1)));
    }

    void timesAndHeaders_data()
    {
        QTest::addColumn<quint64>("filetime");
        QTest::addColumn<QDateTime>("utc");
        QTest::newRow("none") << quint64(0) << QDateTime();
        QTest::newRow("1970") << quint64(116444736000000000ULL)
                              << QDateTime::fromSecsSinceEpoch(0, Qt::UTC);
        QTest::newRow("2009, with ms")
            << quint64(128890098001230000ULL)
            << QDateTime(QDate(2009, 6, 9), QTime(8, 30, 0, 123), Qt::UTC);
        QTest::newRow("before 1970") << quint64(1) << QDateTime();
        QTest::newRow("past 9999") << quint64(~0ULL) << QDateTime();
    }
    void timesAndHeaders()
    {
        QFETCH(quint64, filetime);
        QFETCH(QDateTime, utc);
        QCOMPARE(fromfiletime(filetime), utc);
        // 2009-06-09 08:30:00 as FAT keeps it: date low, time high.
        const quint32 fat =
            quint32((29 << 9) | (6 << 5) | 9) | (quint32((8 << 11) | (30 << 5)) << 16);
        QCOMPARE(fromfatdatetime(fat), QDateTime(QDate(2009, 6, 9), QTime(8, 30), Qt::UTC));
        QCOMPARE(fromfatdatetime(0), QDateTime());
        QCOMPARE(fromfatdatetime(0xffffffff), QDateTime());
        const QByteArray headers("HTTP/1.1 200 OK\r\ncontent-TYPE:  image/gif \r\n"
                                 "Content-Encoding: gzip\r\n~U:bob\r\n\r\n");
        QCOMPARE(httpheader(headers, "Content-Type"), QStringLiteral("image/gif"));
        QCOMPARE(httpheader(headers, "content-encoding"), QStringLiteral("gzip"));
        QCOMPARE(httpheader(headers, "Last-Modified"), QString());
    }

    // Kept bytes read in a code page, or kept as they are, percent-escaped; a name that is not
    // valid in the code page does not spoil the next one.
    void keptBytesAsText_data()
    {
        QTest::addColumn<QByteArray>("codepage");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("ASCII, no code page")
            << QByteArray() << QByteArray("a b.jpg?q=%41") << "a b.jpg?q=%41";
        QTest::newRow("GBK, no code page")
            << QByteArray() << QByteArray("\xcd\xbc.jpg") << "%CD%BC.jpg";
        QTest::newRow("GBK") << QByteArray("windows-936") << QByteArray("\xcd\xbc\xc6\xac.jpg")
                             << QString::fromUtf8("图片.jpg");
        QTest::newRow("Big5") << QByteArray("windows-950") << QByteArray("\xb9\xcf\xa4\xf9")
                              << QString::fromUtf8("圖片");
        QTest::newRow("not UTF-8")
            << QByteArray("UTF-8") << QByteArray("\xcd\x41\x0a") << "%CDA%0A";
        QTest::newRow("a lead byte cut short")
            << QByteArray("windows-936") << QByteArray("a\xcd") << "a%CD";
    }
    void keptBytesAsText()
    {
        QFETCH(QByteArray, codepage);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        KeptText kept(codepage);
        QCOMPARE(kept.text(bytes), text);
        QCOMPARE(kept.text(bytes), text);
        QCOMPARE(kept.text("plain"), QStringLiteral("plain"));
        if (!codepage.isEmpty())
            QCOMPARE(kept.decoded(QString::fromUtf8("图").toUtf8()).isNull(), codepage != "UTF-8");
    }

    // Records handed over by the reader before their code page is known: names that differ
    // above ASCII stay apart (in GBK, 0xC4 and 0xE4 begin different characters, though Latin-1
    // would call them Ä and ä), while ASCII case still makes one name.
    void keptNamesStayApartUntilDecoded()
    {
        const auto handover = [](const QList<QByteArray> &names) {
            QByteArray bytes;
            QDataStream s(&bytes, QIODevice::WriteOnly);
            s << quint32(names.size());
            for (const QByteArray &name : names)
                s << QByteArray("http://h/" + name) << QStringLiteral("AB12CD34") << name
                  << QDateTime() << QDateTime() << QDateTime() << QDateTime() << qint64(1)
                  << quint32(0) << QString() << QString() << QString();
            return CacheRecords::deserialize(bytes).size();
        };
        QCOMPARE(handover({"\xc4\xe3[1].jpg", "\xe4\xe3[1].jpg"}), qsizetype(2));
        QCOMPARE(handover({"Photo[1].jpg", "photo[1].JPG"}), qsizetype(1));
    }

    // The reader's budget grows with the file, from a start allowance, up to the longest any
    // index is given; the real index is read well within it.
    void theReadingBudgetFollowsTheSize_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<qint64>("budget");
        QTest::newRow("empty") << qint64(0) << qint64(2000);
        QTest::newRow("the test cache's") << qint64(32768) << qint64(2100);
        QTest::newRow("a megabyte") << (qint64(1) << 20) << qint64(2100);
        QTest::newRow("just over") << (qint64(1) << 20) + 1 << qint64(2200);
        QTest::newRow("50,000 records") << (qint64(25) << 20) << qint64(4500);
        QTest::newRow("the largest read") << (qint64(256) << 20) << qint64(10000);
    }
    void theReadingBudgetFollowsTheSize()
    {
        QFETCH(qint64, bytes);
        QFETCH(qint64, budget);
        QCOMPARE(qint64(readingbudget(bytes).count()), budget);
    }

    // A damaged or hostile index.dat gives fewer records or none, never a crash or a hang.
    void hostileIndexFiles()
    {
        MadeCache c;
        const QByteArray real = readcontent(c.ie5() + "/index.dat");
        QVERIFY(real.size() > 4096);
        bool stopped = true;
        QVERIFY(CacheRecords::read(openbeneath(c.ie5()).fd(), &stopped).size() > 0);
        QVERIFY(!stopped);
        const QString index = c.ie5() + "/index.dat";
        QElapsedTimer t;
        t.start();
        QRandomGenerator random(20091210);
        for (int cut : {0, 1, 27, 28, 100, 0x4000, 0x4100, int(real.size()) - 1}) {
            QVERIFY(writecontent(index, real.left(cut)));
            QVERIFY(c.read().size() <= 8);
        }
        for (int round = 0; round < 300; ++round) {
            QByteArray flipped = real;
            const int flips = 1 + int(random.bounded(40));
            for (int i = 0; i < flips; ++i) {
                const int at = int(random.bounded(quint32(flipped.size())));
                flipped[at] = char(flipped[at] ^ (1 << random.bounded(8)));
            }
            QVERIFY(writecontent(index, flipped));
            const CacheRecords r = c.read();
            QVERIFY(r.size() <= 1000);
        }
        // One that makes the library loop for ever: its reader is stopped within the budget of
        // a file its size, a few seconds (the margin only tells it from the longest budget).
        const QByteArray looping = loopingindex();
        QVERIFY(writecontent(index, looping));
        const qint64 budget = readingbudget(looping.size()).count();
        QVERIFY(budget <= 3000);
        QElapsedTimer loop;
        loop.start();
        QCOMPARE(CacheRecords::read(openbeneath(c.ie5()).fd(), &stopped).size(), 0);
        QVERIFY(stopped);
        QVERIFY(loop.elapsed() < budget + 5000);
        QVERIFY2(t.elapsed() < 60000, "reading damaged files takes too long");

        // What is no plain file is not read at all.
        QFile::remove(index);
        QVERIFY(QFile::link(c.ie5() + "/../port", index));
        QCOMPARE(c.read().size(), 0);
        QFile::remove(index);
        QVERIFY(::mkfifo(QFile::encodeName(index).constData(), 0600) == 0);
        QCOMPARE(c.read().size(), 0); // a FIFO would block a reader
        QFile::remove(index);
        QVERIFY(QDir().mkdir(index));
        QCOMPARE(c.read().size(), 0);
        QDir(index).removeRecursively();
        QCOMPARE(c.read().size(), 0); // none at all
        // Beyond any real cache's index: refused unread.
        QFile big(index);
        QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(qint64(300) << 20));
        big.close();
        QCOMPARE(c.read().size(), 0);
    }

    // Each listed row with a record shows it in its tooltip, and a screen reader reads it.
    void rowsShowTheirRecords()
    {
        MadeCache c;
        QVERIFY(writefile(c.ie5() + "/SA5B2M8U/norecord.jpg", 500)); // a file the index never saw
        Window w;
        w.load(c.root(), c.dir.path() + "/down/");
        w->SlD_minfilesize->setValue(1);
        w.browser().Opt_filetype_Click(0);
        const int k = w->lst_TmpIntDir->findItems("SA5B2M8U", Qt::MatchExactly)
                          .first()
                          ->listWidget()
                          ->row(w->lst_TmpIntDir->findItems("SA5B2M8U", Qt::MatchExactly).first());
        w->lst_TmpIntDir->setCurrentRow(k);
        ResultListControl *list = w->Rlt_iecachesubdir;
        QCOMPARE(rownames(w), QStringList({"banner[0].jpg", "norecord.jpg", "song[0].mp3"}));
        const auto tip = [list](int row) {
            return list->model()->index(row, 2).data(Qt::ToolTipRole).toString();
        };
        QTRY_VERIFY(!tip(0).isEmpty());
        const QStringList lines = tip(0).split('\n');
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines[0], c.base + "/img/banner.jpg");
        QCOMPARE(lines[1], QStringLiteral("image/jpeg"));
        QCOMPARE(lines[2],
                 QStringLiteral("修改时间：") +
                     QLocale().toString(
                         QDateTime(QDate(2009, 6, 9), QTime(8, 30), Qt::UTC).toLocalTime(),
                         QLocale::ShortFormat));
        QVERIFY(lines[3].startsWith(QStringLiteral("访问时间：")));
        QVERIFY(tip(1).isEmpty());
        QVERIFY(tip(2).startsWith(c.base + "/media/song.mp3\naudio/mpeg\n"));
        // The columns, colours and texts stay as they are.
        QCOMPARE(list->CellText(0, 2), QStringLiteral("banner[0].jpg"));

        w.form().show();
        QVERIFY(QTest::qWaitForWindowExposed(w.w.get()));
        QAccessibleInterface *table = QAccessible::queryAccessibleInterface(list);
        QVERIFY(table && table->tableInterface());
        QAccessibleInterface *cell = table->tableInterface()->cellAt(0, 2);
        QVERIFY(cell);
        QCOMPARE(cell->text(QAccessible::Name), QStringLiteral("banner[0].jpg"));
        QCOMPARE(cell->text(QAccessible::Description), tip(0));
        QCOMPARE(table->tableInterface()->cellAt(1, 2)->text(QAccessible::Description), QString());

        // The same when the cache is opened as a place.
        Window opened;
        opened.start(c.dir.path(), c.dir.path() + "/down/");
        opened->SlD_minfilesize->setValue(1);
        opened.browser().Opt_filetype_Click(0);
        QVERIFY(opened->Rlt_iecachesubdir->RowCount() > 0);
        QTRY_VERIFY(!opened->Rlt_iecachesubdir->model()
                         ->index(0, 2)
                         .data(Qt::ToolTipRole)
                         .toString()
                         .isEmpty());
    }

    // Every dig adds its lines to the manifest: copied, kept, failed; with the file's hash as
    // sha256sum reads it and the address its record gives.
    void theManifestRecordsEveryDig()
    {
        MadeCache c;
        const QString down = c.dir.path() + "/down/";
        QDir().mkpath(down);
        Window w;
        w.load(c.root(), down);
        w->SlD_minfilesize->setValue(1);
        w.browser().Opt_filetype_Click(0);
        w->Cmd_autodownall->click();
        const QString tree = down + QString::fromUtf8("挖到的资源/");
        const QString manifest = tree + "manifest.csv";
        QList<QStringList> rows = manifestrows(manifest);
        QCOMPARE(rows.size(), 1 + 7);
        QCOMPARE(rows[0], manifestcolumns());
        QVERIFY(readcontent(manifest).endsWith("\r\n"));
        QSet<QString> addresses;
        QStringList outcomes;
        for (int i = 1; i < rows.size(); ++i) {
            const QStringList &f = rows[i];
            QCOMPARE(f.size(), 12);
            QVERIFY(QDateTime::fromString(f[0], Qt::ISODate).isValid());
            QVERIFY(f[1].startsWith(c.ie5() + "/"));
            outcomes << f[7];
            const QString dug = tree + f[6];
            QVERIFY2(QFileInfo(dug).isFile(), qPrintable(f[6]));
            QCOMPARE(f[6].section('/', 0, 0), f[5]);
            QCOMPARE(f[3].toLongLong(), QFileInfo(dug).size());
            QCOMPARE(f[4], sha256sum(dug));
            QCOMPARE(f[4], sha256sum(f[1] + "/" + f[2]));
            QVERIFY(f[8].startsWith(c.base + "/"));
            QVERIFY(!f[9].isEmpty());
            QCOMPARE(f[10], QStringLiteral("2009-06-09T08:30:00Z"));
            addresses << f[8];
        }
        QCOMPARE(addresses.size(), 7);
        // The two banners hold the same bytes: the second finds the first already there.
        QCOMPARE(outcomes.count("copied"), 6);
        QCOMPARE(outcomes.count("same file kept"), 1);

        // Again: every name is held by the same file, and is kept.
        w->Cmd_autodownall->click();
        rows = manifestrows(manifest);
        QCOMPARE(rows.size(), 1 + 14);
        for (int i = 8; i < rows.size(); ++i) {
            QCOMPARE(rows[i][7], QStringLiteral("same file kept"));
            QCOMPARE(rows[i][4], sha256sum(tree + rows[i][6]));
        }

        // A class folder that is a file: its rows fail, and say so.
        QVERIFY(QDir(tree + "jpg").removeRecursively());
        QVERIFY(writecontent(tree + "jpg", "in the way"));
        w->Cmd_autodownall->click();
        rows = manifestrows(manifest);
        QCOMPARE(rows.size(), 1 + 21);
        int failed = 0;
        for (int i = 15; i < rows.size(); ++i) {
            if (rows[i][5] == QLatin1String("jpg")) {
                QCOMPARE(rows[i][7], QStringLiteral("failed: the class folder cannot be opened"));
                QVERIFY(rows[i][6].isEmpty());
                ++failed;
            } else {
                QCOMPARE(rows[i][7], QStringLiteral("same file kept"));
            }
        }
        QCOMPARE(failed, 2);
        QVERIFY(w.dig().manifestfailure().isEmpty());
        // The report keeps its own text.
        QVERIFY(w.digresultcaption().contains(QString::fromUtf8("本次共提取到文件：5个，")));
    }

    // A manifest that cannot be written is told to the user apart from the report, which
    // keeps its text; the files are dug all the same.
    void aManifestNotWrittenIsTold()
    {
        MadeCache c;
        const QString down = c.dir.path() + "/down/";
        const QString manifest = down + QString::fromUtf8("挖到的资源/manifest.csv");
        QVERIFY(QDir().mkpath(manifest)); // something that is no file holds its name
        Window w;
        w.load(c.root(), down);
        w->SlD_minfilesize->setValue(1);
        w.browser().Opt_filetype_Click(0);
        w->Cmd_autodownall->click();
        QCOMPARE(w.dig().counters().totalfiles(), qint64(7));
        QVERIFY(!w.dig().manifestfailure().isEmpty());
        QCOMPARE(w.dialogs.informs.size(), 1);
        QVERIFY2(w.dialogs.informs[0].contains(manifest), qPrintable(w.dialogs.informs[0]));
        QVERIFY(w.dialogs.informs[0].contains(w.dig().manifestfailure()));
        QCOMPARE(w.digresultcaption(), digreport(w.dig().counters()));
        // Written again: nothing more to tell.
        QVERIFY(QDir(manifest).removeRecursively());
        w->Cmd_autodownall->click();
        QVERIFY(w.dig().manifestfailure().isEmpty());
        QCOMPARE(w.dialogs.informs.size(), 1);
        QCOMPARE(manifestrows(manifest).size(), 1 + 7);
    }

    void csvRecords_data()
    {
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("plain") << QStringList{"a", "b c", ""} << QByteArray("a,b c,\r\n");
        QTest::newRow("comma") << QStringList{"a,b"} << QByteArray("\"a,b\"\r\n");
        QTest::newRow("quote") << QStringList{"say \"hi\""} << QByteArray("\"say \"\"hi\"\"\"\r\n");
        QTest::newRow("line breaks")
            << QStringList{"a\nb", "c\rd"} << QByteArray("\"a\nb\",\"c\rd\"\r\n");
        QTest::newRow("chinese") << QStringList{QString::fromUtf8("挖到的资源")}
                                 << QString::fromUtf8("挖到的资源\r\n").toUtf8();
        // What a spreadsheet would run as a formula gets a leading quote; nothing else changes.
        QTest::newRow("formula") << QStringList{"=HYPERLINK(\"http://x/\",\"y\")", "a=b"}
                                 << QByteArray(
                                        "\"'=HYPERLINK(\"\"http://x/\"\",\"\"y\"\")\",a=b\r\n");
        QTest::newRow("command") << QStringList{"+cmd|' /C calc'!A0"}
                                 << QByteArray("'+cmd|' /C calc'!A0\r\n");
        QTest::newRow("minus, at") << QStringList{"-2+3", "@SUM(A1)", "x-1", "a@b"}
                                   << QByteArray("'-2+3,'@SUM(A1),x-1,a@b\r\n");
        QTest::newRow("tab, carriage return")
            << QStringList{"\t=1", "\r=1", "a\tb"} << QByteArray("'\t=1,\"'\r=1\",a\tb\r\n");
        QTest::newRow("NUL dropped") << QStringList{QString("a") + QChar(0) + "b",
                                                    QString(QChar(0)) + "=1", QString(QChar(0))}
                                     << QByteArray("ab,'=1,\r\n");
        QTest::newRow("quote first") << QStringList{"'=1", " =1"} << QByteArray("'=1, =1\r\n");
    }
    void csvRecords()
    {
        QFETCH(QStringList, fields);
        QFETCH(QByteArray, line);
        QCOMPARE(csvrecord(fields), line);
    }
};

QTEST_MAIN(TestRecords)
#include "tst_records.moc"
