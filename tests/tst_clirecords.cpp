// The record `vellomar-dig` keeps of its digs, seen through the real command: the manifest as a
// spreadsheet reads it, a manifest that cannot be written, and a dig killed midway.
#include "testsupport.h"
#include "texts.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>
#include <sys/mount.h>
#include <unistd.h>

using namespace vellomar;
using namespace vellomar::test;

namespace {

Run dig(const QStringList &args)
{
    return runprogram(QStringLiteral(VELLOMAR_DIG), args);
}

// The records of a CSV file as RFC 4180 reads them. `rest` receives what follows the last
// record's line end (empty for a file that ends cleanly).
QList<QStringList> csvrecords(const QByteArray &bytes, QByteArray *rest = nullptr)
{
    QList<QStringList> records;
    QStringList fields;
    QByteArray field;
    bool quoted = false;
    qsizetype start = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (quoted) {
            if (c == '"' && i + 1 < bytes.size() && bytes[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields << QString::fromUtf8(field);
            field.clear();
        } else if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
            fields << QString::fromUtf8(field);
            field.clear();
            records << fields;
            fields.clear();
            start = ++i + 1;
        } else {
            field += c;
        }
    }
    if (rest)
        *rest = bytes.mid(start);
    return records;
}

QString sha256of(const QString &path)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(readcontent(path), QCryptographicHash::Sha256).toHex());
}

QString treeof(const QString &downloaddir)
{
    return downloaddir + texts::resourcefolder + QLatin1Char('/');
}

// The files under their own names in a class folder.
QStringList named(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

// Every temporary file of the program below the tree.
QStringList temporaries(const QString &tree)
{
    QStringList found;
    QDirIterator it(tree, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString p = it.next();
        if (QFileInfo(p).fileName().startsWith(QLatin1String(".vellomar-")))
            found << p;
    }
    return found;
}

} // namespace

class TestCliRecords : public QObject
{
    Q_OBJECT
  private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // Names a site chose can read as formulas: the manifest writes them so that a spreadsheet
    // shows them as text, and keeps every other character as it was.
    void formulasAreWrittenAsText()
    {
        CacheFixture f;
        const QStringList names = {
            "=1+2.jpg", "+cmd|' C calc'!A0.jpg",      "-x.jpg", "@SUM(A1).jpg", "\t=1.jpg",
            "a=b.jpg",  "=HYPERLINK(\"x\",\"y\").jpg"};
        for (int i = 0; i < names.size(); ++i)
            QVERIFY(writefile(f.sub("AAAAAAAA") + "/" + names[i], 100 + i));
        const QString down = f.download();
        const Run r = dig({"--type", "all", "--min", "0K", f.cacheroot(), down});
        QCOMPARE(r.status, 0);
        QByteArray rest;
        const QList<QStringList> records =
            csvrecords(readcontent(treeof(down) + "manifest.csv"), &rest);
        QVERIFY(rest.isEmpty());
        QCOMPARE(records.size(), 1 + names.size());
        QStringList files, dugas;
        for (int i = 1; i < records.size(); ++i) {
            QCOMPARE(records[i].size(), 12);
            files << records[i][2];
            dugas << records[i][6];
        }
        QStringList expected, stored;
        for (const QString &n : names) {
            expected << (QStringLiteral("=+-@\t").contains(n.front()) ? "'" + n : n);
            stored << "jpg/" + n;
        }
        files.sort();
        expected.sort();
        dugas.sort();
        stored.sort();
        QCOMPARE(files, expected);
        QCOMPARE(dugas, stored);
    }

    // Files dug while the manifest cannot be written: they are there, and the command says
    // the record failed (exit 1, on standard error and in its JSON report).
    void aManifestNotWrittenIsAFailure()
    {
        if (::geteuid() != 0)
            QSKIP("mounting a small tmpfs needs root");
        CacheFixture f;
        for (int i = 0; i < 6; ++i)
            QVERIFY(writefile(f.sub("AAAAAAAA") + QStringLiteral("/f%1.jpg").arg(i), 20000,
                              char('a' + i)));
        QTemporaryDir mnt;
        if (::mount("tmpfs", QFile::encodeName(mnt.path()).constData(), "tmpfs", 0, "size=512k") !=
            0)
            QSKIP("cannot mount tmpfs here");
        const QByteArray point = QFile::encodeName(mnt.path());
        const QString down = mnt.path() + "/";
        const QStringList args = {"--json", "--type", "all", "--min", "0K", f.cacheroot(), down};
        Run r = dig(args);
        QCOMPARE(r.status, 0);
        QVERIFY(r.out.contains("\"manifesterror\":null"));
        // The disk is full: the files are there already, their lines cannot be written.
        QVERIFY(QFile::remove(treeof(down) + "manifest.csv"));
        {
            QFile filler(down + "filler");
            QVERIFY(filler.open(QIODevice::WriteOnly));
            const QByteArray block(4096, 'f');
            for (int i = 0; i < 1000 && filler.write(block) == block.size(); ++i)
                filler.flush();
        }
        r = dig(args);
        const QStringList left = named(treeof(down) + "jpg");
        const QByteArray manifest = readcontent(treeof(down) + "manifest.csv");
        ::umount2(point.constData(), MNT_DETACH);
        QCOMPARE(left.size(), 6);
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains("manifest.csv: No space left on device"), r.err.constData());
        const QJsonObject report = QJsonDocument::fromJson(r.out.trimmed()).object();
        QCOMPARE(report.value("files").toInt(), 6);
        QCOMPARE(report.value("failed").toInt(), 0); // every file is there
        QCOMPARE(report.value("manifesterror").toString(),
                 QStringLiteral("No space left on device"));
        QVERIFY(manifest.isEmpty()); // no part of a line
    }

    // Killed midway: every file under its own name has its line, with its sum; the next dig
    // leaves no temporary file behind and counts each file once.
    void aKilledDigLeavesEveryFileRecorded()
    {
        CacheFixture f;
        constexpr int perfolder = 1000;
        const QStringList folders = {"AAAAAAAA", "BBBBBBBB", "CCCCCCCC", "DDDDDDDD"};
        for (const QString &folder : folders)
            for (int i = 0; i < perfolder; ++i) {
                QByteArray bytes(1000 + (i * 37) % 3000, char('a' + i % 26));
                bytes.prepend((folder + QString::number(i)).toLatin1());
                QVERIFY(writecontent(
                    f.sub(folder) + QStringLiteral("/%1_%2.jpg").arg(folder).arg(i), bytes));
            }
        const int total = perfolder * int(folders.size());
        const QString down = f.download();
        const QString jpg = treeof(down) + "jpg/";
        const QStringList args = {"--json", "--type", "all", "--min", "0K", f.cacheroot(), down};

        QProcess p;
        p.start(QStringLiteral(VELLOMAR_DIG), args);
        QVERIFY(p.waitForStarted());
        QElapsedTimer clock;
        clock.start();
        while (named(jpg).size() < 300 && p.state() == QProcess::Running && clock.elapsed() < 30000)
            QThread::msleep(2);
        QCOMPARE(p.state(), QProcess::Running); // still digging
        p.kill();
        QVERIFY(p.waitForFinished(10000));
        const QStringList dug = named(jpg);
        QVERIFY(dug.size() >= 300 && dug.size() < total);

        QByteArray rest;
        const QList<QStringList> records =
            csvrecords(readcontent(treeof(down) + "manifest.csv"), &rest);
        QVERIFY(!records.isEmpty());
        QCOMPARE(records.first().size(), 12);
        QMap<QString, QStringList> sums; // the sums the lines give each name dug as
        for (const QStringList &r : records.mid(1)) {
            QCOMPARE(r.size(), 12);
            sums[r[6]] << r[4];
        }
        for (const QString &name : dug) {
            const QStringList s = sums.value("jpg/" + name);
            QVERIFY2(s.size() == 1, qPrintable(name));
            QCOMPARE(s.first(), sha256of(jpg + name));
        }
        // A line may be there whose file was not named yet when the kill came: one at most.
        QVERIFY(sums.size() - dug.size() <= 1);

        // A dead pass's temporary file, as a file system without unnamed files leaves it.
        QVERIFY(writecontent(jpg + ".vellomar-Dead0001", "half a copy"));
        const Run again = dig(args);
        QCOMPARE(again.status, 0);
        QCOMPARE(QJsonDocument::fromJson(again.out.trimmed()).object().value("files").toInt(),
                 total);
        QCOMPARE(temporaries(treeof(down)), QStringList());
        QCOMPARE(named(jpg).size(), total); // no file dug twice under another name
        const QByteArray manifest = readcontent(treeof(down) + "manifest.csv");
        const QList<QStringList> after = csvrecords(manifest, &rest);
        QVERIFY(rest.isEmpty());
        QMap<QString, int> copied;
        for (const QStringList &r : after.mid(1)) {
            QCOMPARE(r.size(), 12);
            if (r[7] == QLatin1String("copied")) {
                ++copied[r[6]];
                QCOMPARE(r[4], sha256of(treeof(down) + r[6]));
            }
        }
        QCOMPARE(copied.size(), total);
        QVERIFY(std::count_if(copied.begin(), copied.end(), [](int n) { return n > 1; }) <= 1);
    }
};

QTEST_MAIN(TestCliRecords)
#include "tst_clirecords.moc"
