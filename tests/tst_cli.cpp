#include "lineescape.h"
#include "samplecache.h"
#include "sitepath.h"
#include "testsupport.h"
#include "texts.h"
#include "tinycaches.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QJsonDocument>
#include <QJsonObject>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QtTest>

using namespace vellomar;
using namespace vellomar::test;

namespace {

Run dig(const QStringList &args,
        const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
{
    return runprogram(QStringLiteral(VELLOMAR_DIG), args, env);
}

// Every file below `folder`: its path there and a hash of its bytes. The manifest is left out:
// its lines carry the time of the dig.
QMap<QString, QByteArray> tree(const QString &folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString p = it.next();
        if (!p.endsWith(QLatin1String("/manifest.csv")))
            files[p.mid(folder.size())] =
                QCryptographicHash::hash(readcontent(p), QCryptographicHash::Sha256);
    }
    return files;
}

// The manifest's lines as file name and SHA-256 (the fields before them hold no comma), sorted.
QStringList sumsof(const QString &downloaddir)
{
    QStringList lines =
        QString::fromUtf8(readcontent(downloaddir + QString::fromUtf8("挖到的资源/manifest.csv")))
            .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    lines.removeFirst(); // the header
    for (QString &line : lines)
        line = line.section(u',', 2, 2) + u',' + line.section(u',', 4, 4);
    lines.sort();
    return lines;
}

// A realistic cache (the program's own sample), made once.
const QString &samplecache()
{
    static QTemporaryDir dir;
    static bool made = sample::makesamplecache(dir.path());
    Q_UNUSED(made);
    static const QString root = dir.path();
    return root;
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT
  private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(QFileInfo(samplecache() + "/Content.IE5").isDir());
    }

    // The command and the window, on the same cache with the same filters, dig the same tree
    // and report the same.
    void sameAsTheWindow_data()
    {
        QTest::addColumn<int>("option");
        QTest::addColumn<QString>("type");
        QTest::addColumn<int>("minstep");
        QTest::addColumn<QString>("min");
        QTest::addColumn<int>("maxstep");
        QTest::addColumn<QString>("max");
        QTest::newRow("as the window starts") << 1 << "media" << 2 << "10K" << 16 << "90M";
        QTest::newRow("every file") << 0 << "all" << 1 << "0K" << 16 << "90M";
        QTest::newRow("pictures, 20K to 1M") << 2 << "pictures" << 3 << "20K" << 10 << "1M";
        QTest::newRow("jpg up to 10M") << 4 << "jpg" << 1 << "0K" << 14 << "10M";
        QTest::newRow("audio") << 6 << "audio" << 1 << "0K" << 16 << "90M";
        QTest::newRow("swf") << 7 << "swf" << 1 << "0K" << 16 << "90M";
    }
    void sameAsTheWindow()
    {
        QFETCH(int, option);
        QFETCH(QString, type);
        QFETCH(int, minstep);
        QFETCH(QString, min);
        QFETCH(int, maxstep);
        QFETCH(QString, max);
        QTemporaryDir dir;
        const QString bywindow = dir.path() + "/window/";
        const QString bycommand = dir.path() + "/command/";
        QDir().mkpath(bywindow);

        Window w;
        w.load(samplecache(), bywindow);
        w->Opt_filetype[size_t(option)]->click();
        w->SlD_maxfilesize->setValue(maxstep);
        w->SlD_minfilesize->setValue(minstep);
        w->Cmd_autodownall->click();

        const Run r = dig({"--type", type, "--min", min, "--max", max, samplecache(), bycommand});
        QCOMPARE(r.status, 0);
        QVERIFY(r.err.isEmpty()); // no progress bar: standard error is no terminal
        QCOMPARE(QString::fromUtf8(r.out), texts::forlabel(w.digresultcaption()) + "\n");
        const QMap<QString, QByteArray> expected = tree(bywindow);
        QVERIFY(!expected.isEmpty());
        QCOMPARE(tree(bycommand), expected);
        // Both keep the same lines in their manifests, times aside, each with the sum of the
        // file it dug.
        const QStringList bycommandlines = sumsof(bycommand);
        QCOMPARE(bycommandlines, sumsof(bywindow));
        for (const QString &line : bycommandlines)
            QVERIFY2(line.section(u',', 1, 1).size() == 64, qPrintable(line));
    }

    void exitStatuses_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::newRow("no place") << QStringList{} << 2;
        QTest::newRow("three places") << QStringList{"a", "b", "c"} << 2;
        QTest::newRow("unknown type") << QStringList{"--type", "png", "PLACE"} << 2;
        QTest::newRow("unknown size") << QStringList{"--min", "ten", "PLACE"} << 2;
        QTest::newRow("min above max") << QStringList{"--min", "2M", "--max", "1M", "PLACE"} << 2;
        QTest::newRow("cache and all") << QStringList{"--cache", "1", "--all-caches", "PLACE"} << 2;
        QTest::newRow("unknown layout") << QStringList{"--layout", "flat", "PLACE"} << 2;
        QTest::newRow("unknown option") << QStringList{"--frobnicate", "PLACE"} << 2;
        QTest::newRow("no cache there") << QStringList{"NOWHERE"} << 3;
        QTest::newRow("several caches") << QStringList{"DISK"} << 2;
        QTest::newRow("no such cache") << QStringList{"--cache", "9", "DISK"} << 2;
        QTest::newRow("one of several") << QStringList{"--cache", "4", "DISK", "DEST"} << 0;
        QTest::newRow("all of several") << QStringList{"--all-caches", "DISK", "DEST"} << 0;
        QTest::newRow("help") << QStringList{"--help"} << 0;
        QTest::newRow("a copy fails") << QStringList{"--cache", "4", "DISK", "BLOCKED"} << 1;
    }
    void exitStatuses()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        DiskFixture d;
        const QString blocked = d.dir.path() + "/blocked/";
        QVERIFY(writecontent(blocked + QString::fromUtf8("挖到的资源/png"), "in the way"));
        for (QString &a : args) {
            a.replace("PLACE", samplecache());
            a.replace("NOWHERE", d.root + "/Users");
            a.replace("DISK", d.root);
            a.replace("DEST", d.dir.path() + "/dest");
            a.replace("BLOCKED", blocked);
        }
        const Run r = dig(args);
        QCOMPARE(r.status, status);
        if (status == 1) {
            // The failure is named on standard error and in the manifest; the report is printed.
            QVERIFY(r.err.contains("f.png"));
            QVERIFY(readcontent(blocked + QString::fromUtf8("挖到的资源/manifest.csv"))
                        .contains("failed: the class folder cannot be opened"));
            QVERIFY(r.out.contains(QString::fromUtf8("挖掘结果统计").toUtf8()));
        }
        if (status == 2 && !args.isEmpty() && args.first() != "--help")
            QVERIFY(!r.err.isEmpty());
    }

    // Every output can be read as JSON: one object per line.
    void jsonParses_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("key");
        QTest::newRow("find") << QStringList{"--find", "--json", "DISK"} << "layout";
        QTest::newRow("list") << QStringList{"--list", "--json", "--type", "all",
                                             "--min",  "0K",     "CACHE"}
                              << "address";
        QTest::newRow("dry run") << QStringList{"--dry-run", "--json", "--cache",
                                                "2",         "DISK",   "DEST"}
                                 << "to";
        QTest::newRow("report") << QStringList{"--json", "--cache", "2", "DISK", "DEST"}
                                << "report";
    }
    void jsonParses()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, key);
        DiskFixture d;
        for (QString &a : args) {
            a.replace("DISK", d.root);
            a.replace("CACHE", QFINDTESTDATA("data/iecache"));
            a.replace("DEST", d.dir.path() + "/dest");
        }
        const Run r = dig(args);
        QCOMPARE(r.status, 0);
        const QList<QByteArray> lines = r.out.trimmed().split('\n');
        QVERIFY(!lines.isEmpty());
        for (const QByteArray &line : lines) {
            QJsonParseError e;
            const QJsonDocument doc = QJsonDocument::fromJson(line, &e);
            QVERIFY2(e.error == QJsonParseError::NoError && doc.isObject(), line.constData());
            QVERIFY2(doc.object().contains(key), line.constData());
        }
        if (key == "address")
            QVERIFY(r.out.contains("/img/banner.jpg"));
        if (key == "to") // a dry run writes nothing
            QVERIFY(!QFileInfo::exists(d.dir.path() + "/dest"));
        if (key == "report")
            QCOMPARE(QJsonDocument::fromJson(lines.first()).object().value("files").toInt(), 3);
    }

    // Another browser's cache is listed by both commands with its browser and format after the
    // fields Internet Explorer's keep, and in JSON with its count of entries.
    void findNamesTheBrowserAndFormat_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QStringList>("lines"); // the last three
        const QString zed = "DISK/Users/zed/AppData/Local/";
        const QString chrome = zed + "Google/Chrome/User Data/Default/Cache/Cache_Data";
        const QString firefox = zed + "Mozilla/Firefox/Profiles/k3x9.default/cache2";
        const QString carol = "DISK/Users/carol/AppData/Local/Microsoft/Windows/INetCache/Low/IE";
        QTest::newRow("vellomar") << VELLOMAR_PROGRAM << QStringList{"--find", "DISK"}
                                  << QStringList{"Protected Mode\tcarol\t" + carol,
                                                 QString::fromUtf8("Vista–11\tzed\t") + chrome +
                                                     "\tchrome\tchromium-simple",
                                                 QString::fromUtf8("Vista–11\tzed\t") + firefox +
                                                     "\tfirefox\tfirefox-cache2"};
        QTest::newRow("vellomar-dig")
            << VELLOMAR_DIG << QStringList{"--find", "DISK"}
            << QStringList{
                   "5\tProtected Mode\tcarol\t" + carol,
                   QString::fromUtf8("6\tVista–11\tzed\t") + chrome + "\tchrome\tchromium-simple",
                   QString::fromUtf8("7\tVista–11\tzed\t") + firefox + "\tfirefox\tfirefox-cache2"};
        QTest::newRow("vellomar-dig, JSON")
            << VELLOMAR_DIG << QStringList{"--find", "--json", "DISK"}
            << QStringList{"5|ie|content.ie5|1|1|" + carol,
                           "6|chrome|chromium-simple|2|5|" + chrome,
                           "7|firefox|firefox-cache2|3|3|" + firefox};
    }
    void findNamesTheBrowserAndFormat()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, args);
        QFETCH(QStringList, lines);
        DiskFixture d;
        const QString zed = d.root + "/Users/zed/AppData/Local/";
        QVERIFY(tiny::build(zed + "Google/Chrome/User Data/Default/Cache/Cache_Data", "simple"));
        QVERIFY(tiny::build(zed + "Mozilla/Firefox/Profiles/k3x9.default/cache2", "cache2"));
        args.replaceInStrings("DISK", d.root);
        lines.replaceInStrings("DISK", d.root);
        const Run r = runprogram(program, args);
        QCOMPARE(r.status, 0);
        QStringList out = QString::fromUtf8(r.out).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(out.size(), 7);
        if (args.contains("--json")) {
            for (QString &line : out) {
                const QJsonObject o = QJsonDocument::fromJson(line.toUtf8()).object();
                line = QStringList{QString::number(o.value("number").toInt()),
                                   o.value("browser").toString(),
                                   o.value("format").toString(),
                                   QString::number(o.value("entries").toInteger(-1)),
                                   QString::number(o.value("files").toInteger(-1)),
                                   o.value("path").toString()}
                           .join('|');
            }
        }
        QCOMPARE(out.mid(4), lines);
    }

    // A field of an output line keeps to its field and its line.
    void lineEscapes_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("line");
        QTest::newRow("plain") << "Content.IE5/AB12CD34/a[1].jpg"
                               << "Content.IE5/AB12CD34/a[1].jpg";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("tab") << "a\tb"
                             << R"(a\tb)";
        QTest::newRow("line feed") << "a\nb"
                                   << R"(a\nb)";
        QTest::newRow("carriage return") << "a\rb"
                                         << R"(a\rb)";
        QTest::newRow("backslash") << "a\\b"
                                   << R"(a\\b)";
        // Escaped already, or looking so: the backslash is what tells them apart.
        QTest::newRow("backslash before t") << R"(a\tb)"
                                            << R"(a\\tb)";
        QTest::newRow("all at once") << "\\\t\n\r\r\n"
                                     << R"(\\\t\n\r\r\n)";
        QTest::newRow("other controls kept") << QString("a\x01b\x0bc") << QString("a\x01b\x0bc");
        QTest::newRow("Chinese and emoji") << QString::fromUtf8("挖到\t的\xF0\x9F\x98\x80")
                                           << QString::fromUtf8("挖到\\t的\xF0\x9F\x98\x80");
    }
    void lineEscapes()
    {
        QFETCH(QString, field);
        QFETCH(QString, line);
        QCOMPARE(lineescaped(field), line);
    }

    // A user, cache folder and file name holding a tab, a line feed, a carriage return and a
    // backslash: every line of every command is one record still.
    void linesStayWhole_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("line");
        const QString path = "DISK/Users/" + QString(R"(x\ty\nz\\)") +
                             "/AppData/Local/Microsoft/Windows/INetCache/IE";
        const QString name = R"(a\tb\nc\rd\\e.jpg)";
        QTest::newRow("vellomar --find")
            << VELLOMAR_PROGRAM << QStringList{"--find", "DISK"}
            << QString::fromUtf8("8–11\t") + R"(x\ty\nz\\)" + "\t" + path;
        QTest::newRow("vellomar-dig --find")
            << VELLOMAR_DIG << QStringList{"--find", "DISK"}
            << QString::fromUtf8("1\t8–11\t") + R"(x\ty\nz\\)" + "\t" + path;
        QTest::newRow("vellomar-dig --list")
            << VELLOMAR_DIG << QStringList{"--list", "--type", "all", "--min", "0K", "DISK"}
            << R"(S\tUB\n1)" + QString("\t") + name + "\tjpg\t11000\t";
        QTest::newRow("vellomar-dig --dry-run")
            << VELLOMAR_DIG
            << QStringList{"--dry-run", "--type", "all", "--min", "0K", "DISK", "DEST"}
            << path + R"(/S\tUB\n1/)" + name + " -> DEST/" + QString::fromUtf8("挖到的资源") +
                   "/jpg/" + name;
    }
    void linesStayWhole()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, args);
        QFETCH(QString, line);
        QTemporaryDir dir;
        const QString disk = dir.path() + "/disk";
        const QString ie = disk + "/Users/x\ty\nz\\/AppData/Local/Microsoft/Windows/INetCache/IE";
        QVERIFY(writefile(ie + "/index.dat", 100));
        QVERIFY(writefile(ie + "/S\tUB\n1/a\tb\nc\rd\\e.jpg", 11000));
        for (QString &a : args) {
            a.replace("DISK", disk);
            a.replace("DEST", dir.path() + "/dest");
        }
        line.replace("DISK", disk);
        line.replace("DEST", dir.path() + "/dest");
        const Run r = runprogram(program, args);
        QCOMPARE(r.status, 0);
        QCOMPARE(QString::fromUtf8(r.out), line + "\n");
    }

    // A destination inside the cache to be dug is refused before anything is written, however
    // the path reaches it; one beside it is not.
    void destinationInsideTheCache_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::newRow("the cache") << QStringList{"CA", "CA/Content.IE5"} << 2;
        QTest::newRow("a cache folder") << QStringList{"CA", "CA/Content.IE5/AAAA0001"} << 2;
        QTest::newRow("not made yet") << QStringList{"CA", "CA/Content.IE5/new/deeper"} << 2;
        QTest::newRow("through a link") << QStringList{"CA", "OUT/link/Content.IE5/x"} << 2;
        QTest::newRow("a link into the cache") << QStringList{"CA", "OUT/inlink"} << 2;
        QTest::newRow("the place through a link")
            << QStringList{"OUT/link", "CA/Content.IE5/AAAA0001/x"} << 2;
        QTest::newRow("up and down again")
            << QStringList{"CA", "OUT/../ca/Content.IE5/AAAA0001/../new"} << 2;
        QTest::newRow("a dry run") << QStringList{"--dry-run", "CA", "CA/Content.IE5"} << 2;
        QTest::newRow("beside the cache") << QStringList{"CA", "CA"} << 0;
        QTest::newRow("a link beside it") << QStringList{"CA", "OUT/link"} << 0;
        QTest::newRow("elsewhere") << QStringList{"CA", "OUT/dest"} << 0;
    }
    void destinationInsideTheCache()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QTemporaryDir dir;
        const QString ca = dir.path() + "/ca";
        QVERIFY(writefile(ca + "/Content.IE5/AAAA0001/a.jpg", 20000));
        QVERIFY(writefile(ca + "/Content.IE5/index.dat", 100));
        QVERIFY(QDir().mkpath(dir.path() + "/out"));
        QVERIFY(QFile::link(ca, dir.path() + "/out/link"));
        QVERIFY(QFile::link(ca + "/Content.IE5/AAAA0001", dir.path() + "/out/inlink"));
        const auto entries = [&] {
            QStringList all;
            QDirIterator it(ca + "/Content.IE5",
                            QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                            QDirIterator::Subdirectories);
            while (it.hasNext())
                all << it.next();
            return all;
        };
        const QStringList before = entries();
        for (QString &a : args) {
            a.replace("CA", ca);
            a.replace("OUT", dir.path() + "/out");
        }
        const Run r = dig(QStringList{"--type", "all", "--min", "0K"} + args);
        QCOMPARE(r.status, status);
        QCOMPARE(entries(), before);
        if (status == 2)
            QVERIFY2(r.err.contains(QString::fromUtf8("之内").toUtf8()), r.err.constData());
        else
            QVERIFY(r.out.contains(QString::fromUtf8("JPG图片：1 张").toUtf8()));
    }

    // A tree an earlier dig left inside the cache is no cache folder: neither the command nor
    // the window lists it, digs it or shows it among the cache's folders.
    void aTreeInTheCacheIsNoCacheFolder()
    {
        CacheFixture c;
        QVERIFY(writefile(c.sub("AAAA0001") + "/a.jpg", 20000));
        QVERIFY(writefile(c.ie5() + "/index.dat", 100));
        const QString old = c.ie5() + QString::fromUtf8("/挖到的资源");
        QVERIFY(writefile(old + "/jpg/a.jpg", 20000));
        QVERIFY(writefile(old + "/manifest.csv", 300));
        QVERIFY(writefile(c.sub("OLDTREE1") + "/manifest.csv", 300));
        QVERIFY(writefile(c.sub("OLDTREE1") + "/gif/b.gif", 20000));

        const Run list = dig({"--list", "--type", "all", "--min", "0K", c.ie5()});
        QCOMPARE(list.status, 0);
        QCOMPARE(QString::fromUtf8(list.out), QString("AAAA0001\ta.jpg\tjpg\t20000\t\n"));
        const Run dug = dig({"--quiet", "--type", "all", "--min", "0K", c.ie5(), c.download()});
        QCOMPARE(dug.status, 0);
        QCOMPARE(tree(c.download() + QString::fromUtf8("挖到的资源")).keys(),
                 QStringList{"/jpg/a.jpg"});

        // The window, with its download directory the cache itself: it makes its tree there at
        // start, and lists the cache's own folder only.
        Window w;
        w.load(c.cacheroot(), c.ie5() + "/");
        QVERIFY(QFileInfo(old + "/png").isDir());
        QCOMPARE(w->lst_TmpIntDir->count(), 1);
        QCOMPARE(w->lst_TmpIntDir->item(0)->text(), QStringLiteral("AAAA0001"));
    }

    // The caches' records are read at once: with four caches, all four readers run together.
    // Each reader marks its start and waits (a bounded while) until four have started before
    // reading as the real one does; read one after another, the first saw only itself.
    void allCachesAreReadAtOnce()
    {
        QTemporaryDir dir;
        const QString made = QFINDTESTDATA("data/iecache/Content.IE5");
        for (int i = 1; i <= 4; ++i) {
            const QString to =
                dir.path() + QStringLiteral("/disk/Users/u%1/AppData/Local/Microsoft/Windows/"
                                            "Temporary Internet Files/Content.IE5")
                                 .arg(i);
            QDirIterator it(made, QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext()) {
                const QString p = it.next();
                QVERIFY(writecontent(to + p.mid(made.size()), readcontent(p)));
            }
        }
        const QString marks = dir.path() + "/marks";
        QVERIFY(QDir().mkpath(marks));
        const QString reader = dir.path() + "/reader";
        const QString real = qEnvironmentVariable("VELLOMAR_INDEX_READER");
        QVERIFY(QFileInfo(real).isExecutable());
        QVERIFY(writecontent(reader, QStringLiteral("#!/bin/sh\n"
                                                    "m='%1'\n"
                                                    ": > \"$m/started.$$\"\n"
                                                    "i=0\n"
                                                    "while [ $i -lt 150 ]; do\n"
                                                    "  set -- \"$m\"/started.*\n"
                                                    "  [ $# -ge 4 ] && break\n"
                                                    "  sleep 0.01; i=$((i + 1))\n"
                                                    "done\n"
                                                    "set -- \"$m\"/started.*\n"
                                                    "echo $# > \"$m/saw.$$\"\n"
                                                    "exec '%2'\n")
                                         .arg(marks, real)
                                         .toUtf8()));
        QVERIFY(QFile::setPermissions(reader, QFile::ReadOwner | QFile::ExeOwner));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VELLOMAR_INDEX_READER", reader);
        const Run r = dig(
            {"--list", "--all-caches", "--type", "all", "--min", "0K", dir.path() + "/disk"}, env);
        QCOMPARE(r.status, 0);
        // Every cache's rows have their records: two banners each, at two addresses.
        QCOMPARE(r.out.count("/img/banner.jpg"), 8);
        const QStringList saw = QDir(marks).entryList({"saw.*"}, QDir::Files);
        QCOMPARE(saw.size(), 4);
        for (const QString &s : saw)
            QCOMPARE(readcontent(marks + "/" + s).trimmed(), QByteArray("4"));
    }

    // Caches written by Wine as a Chinese Windows (code pages 936 and 950) keep names and
    // addresses in that code page, while the files are named in UTF-8: each row finds its record
    // and its address reads as the site's, in the list and in the manifest. When no code page
    // makes the names fit (the files renamed), an address keeps its bytes, percent-escaped.
    void codePagesOfTheCache_data()
    {
        QTest::addColumn<QString>("cache");
        QTest::addColumn<bool>("renamed");
        QTest::addColumn<QStringList>("rows"); // name, TAB, the address after the server's
        QTest::newRow("GBK") << "iecache-gbk" << false
                             << QStringList{"photo[0].jpg\t/img/photo.jpg?q=图片",
                                            "图片[0].jpg\t/img/图片.jpg",
                                            "风景[0].gif\t/图库/风景.gif"};
        QTest::newRow("Big5") << "iecache-big5" << false
                              << QStringList{"photo[0].jpg\t/img/photo.jpg?q=圖片",
                                             "圖片[0].jpg\t/img/圖片.jpg",
                                             "風景[0].gif\t/圖庫/風景.gif"};
        QTest::newRow("GBK, no name fits")
            << "iecache-gbk" << true
            << QStringList{"a[0].jpg\t", "b[0].gif\t",
                           "photo[0].jpg\t/img/photo.jpg?q=%CD%BC%C6%AC"};
        QTest::newRow("Big5, no name fits")
            << "iecache-big5" << true
            << QStringList{"a[0].jpg\t", "b[0].gif\t",
                           "photo[0].jpg\t/img/photo.jpg?q=%B9%CF%A4%F9"};
    }
    void codePagesOfTheCache()
    {
        QFETCH(QString, cache);
        QFETCH(bool, renamed);
        QFETCH(QStringList, rows);
        QTemporaryDir dir;
        const QString made = QFINDTESTDATA("data/" + cache);
        const QString root = dir.path() + "/cache";
        QDirIterator it(made, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString p = it.next();
            QString to = root + p.mid(made.size());
            if (renamed && !to.contains("photo") && !to.endsWith(".dat") && to.contains("[0]"))
                to = QFileInfo(to).path() + (to.endsWith(".jpg") ? "/a[0].jpg" : "/b[0].gif");
            QVERIFY(writecontent(to, readcontent(p)));
        }
        const QString base =
            "http://127.0.0.1:" + QString::fromLatin1(readcontent(made + "/port").trimmed());
        const Run r = dig({"--list", "--json", "--type", "all", "--min", "0K", root});
        QCOMPARE(r.status, 0);
        QStringList listed;
        for (const QByteArray &line : r.out.trimmed().split('\n')) {
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            QString address = o.value("address").toString();
            QVERIFY2(address.isEmpty() || address.startsWith(base + "/"), qPrintable(address));
            listed << o.value("name").toString() + "\t" + address.mid(base.size());
        }
        listed.sort();
        QCOMPARE(listed, rows);

        // The manifest holds the same addresses.
        const Run d = dig({"--type", "all", "--min", "0K", root, dir.path() + "/dest"});
        QCOMPARE(d.status, 0);
        const QString manifest = QString::fromUtf8(
            readcontent(dir.path() + QString::fromUtf8("/dest/挖到的资源/manifest.csv")));
        for (const QString &row : rows) {
            const QString address = row.section('\t', 1);
            if (!address.isEmpty())
                QVERIFY2(manifest.contains("," + base + address + ","), qPrintable(address));
        }
    }

    // A site's layout: each file where its address says, below the tree.
    void siteLayout()
    {
        QTemporaryDir dir;
        const Run r = dig({"--layout", "site", "--type", "all", "--min", "0K",
                           QFINDTESTDATA("data/iecache"), dir.path()});
        QCOMPARE(r.status, 0);
        const QString port =
            QString::fromLatin1(readcontent(QFINDTESTDATA("data/iecache/port")).trimmed());
        const QStringList files = tree(dir.path() + QString::fromUtf8("/挖到的资源/")).keys();
        QCOMPARE(files,
                 QStringList(
                     {"127.0.0.1_" + port + "/img/banner.jpg",
                      "127.0.0.1_" + port + "/img/logo.gif", "127.0.0.1_" + port + "/img/photo.png",
                      "127.0.0.1_" + port + "/index.html", "127.0.0.1_" + port + "/media/game.swf",
                      "127.0.0.1_" + port + "/media/song.mp3"}));
    }

    // A record whose address has 32,000 segments (kept by Wine's wininet): its file lies 32
    // folders down, not 32,000.
    void deepSiteLayout()
    {
        QTemporaryDir dir;
        const Run r = dig({"--layout", "site", "--type", "all", "--min", "0K",
                           QFINDTESTDATA("data/deepcache"), dir.path()});
        QCOMPARE(r.status, 0);
        const QString resources = dir.path() + QString::fromUtf8("/挖到的资源/");
        const QString folders =
            "deep.example/" + QString("a/").repeated(30) + "a" + QString("~a").repeated(125);
        QCOMPARE(tree(resources).keys(), QStringList{folders + "/deep.jpg"});
        int made = 0;
        QDirIterator it(resources + "deep.example", QDir::Dirs | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext() && made <= 100) {
            it.next();
            ++made;
        }
        QCOMPARE(made, 31);
    }

    // No address can place a file outside the tree, or name one the system would misread.
    void hostileAddresses_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QStringList>("folders");
        QTest::addColumn<QString>("name");
        const QString long300 = QString(300, u'a');
        QTest::newRow("plain") << "http://www.Example.com/a/b/c.jpg"
                               << QStringList{"www.example.com", "a", "b"} << "c.jpg";
        QTest::newRow("dot dot") << "http://h/../../etc/passwd" << QStringList{"h", "etc"}
                                 << "passwd";
        QTest::newRow("escaped dot dot")
            << "http://h/%2e%2e/%2E%2E/x.gif" << QStringList{"h"} << "x.gif";
        QTest::newRow("escaped slash")
            << "http://h/a%2fb%2f..%2fc.jpg" << QStringList{"h", "a", "b"} << "c.jpg";
        // Not an address the strict reading accepts: the file goes to its class folder.
        QTest::newRow("backslashes") << "http://h/a\\..\\..\\b.jpg" << QStringList{} << "";
        QTest::newRow("absolute path")
            << "http://h//etc/passwd" << QStringList{"h", "etc"} << "passwd";
        QTest::newRow("folder address") << "http://h/a/" << QStringList{"h", "a"} << "index.html";
        QTest::newRow("port") << "http://h:8080/x" << QStringList{"h_8080"} << "x";
        QTest::newRow("reserved names")
            << "http://h/CON/nul.txt/com1" << QStringList{"h", "_CON", "_nul.txt"} << "_com1";
        QTest::newRow("hidden and trailing dots")
            << "http://h/.ssh/x.jpg." << QStringList{"h", "_.ssh"} << "x.jpg";
        QTest::newRow("control characters")
            << "http://h/a%0Ab%00c.jpg" << QStringList{"h"} << "a_b_c.jpg";
        QTest::newRow("long segment") << "http://h/" + long300 + "/" + long300 + ".jpg"
                                      << QStringList{"h", QString(200, u'a')} << QString(200, u'a');
        QTest::newRow("a host named as the manifest")
            << "http://manifest.csv/x.jpg" << QStringList{"_manifest.csv"} << "x.jpg";
        QTest::newRow("a host named as a class")
            << "http://JPG/game.swf" << QStringList{"_jpg"} << "game.swf";
        QTest::newRow("no host") << "file:///etc/passwd" << QStringList{} << "";
        QTest::newRow("not an address") << "javascript:alert(1)" << QStringList{} << "";
        QTest::newRow("empty") << "" << QStringList{} << "";
    }
    void hostileAddresses()
    {
        QFETCH(QString, address);
        QFETCH(QStringList, folders);
        QFETCH(QString, name);
        const SiteTarget t = sitetarget(address);
        QCOMPARE(t.folders, folders);
        QCOMPARE(t.name, name);
        // Each segment on its own, whatever the address parser already did.
        QCOMPARE(safesegment(QStringLiteral(".."), QStringLiteral("x")), QStringLiteral("x"));
        QCOMPARE(safesegment(QStringLiteral("."), QString()), QString());
        QCOMPARE(safesegment(QStringLiteral("a/../b"), QString()), QStringLiteral("a_.._b"));
        for (const QString &s : t.folders + QStringList{t.name}) {
            if (s.isEmpty())
                continue;
            QVERIFY(s != "." && s != ".." && !s.contains('/') && !s.contains('\\'));
            QVERIFY(s.toUtf8().size() <= 200);
        }
    }

    // An address of thousands of segments: at most 32 folders and 1,024 bytes below the tree,
    // the rest joined into the last folder's name, cut on a whole character.
    void deepAddresses_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("levels");
        QTest::addColumn<QString>("last");
        const auto segments = [](const QString &s, int n) {
            return (s + "/").repeated(n);
        };
        QTest::newRow("32 folders kept whole")
            << "http://h/" + segments("a", 31) + "x.jpg" << 32 << "a";
        QTest::newRow("one more joins the last")
            << "http://h/" + segments("a", 31) + "b/x.jpg" << 32 << "a~b";
        QTest::newRow("32,000 segments") << "http://h/" + segments("a", 32000) + "x.jpg" << 32
                                         << "a" + QString("~a").repeated(125);
        const QString smile = QString::fromUtf8("\xF0\x9F\x98\x80"); // four bytes, two QChars
        QTest::newRow("emoji not split") << "http://h/" + segments(smile, 100) + "x.jpg" << 32
                                         << smile + ("~" + smile).repeated(49) + "~";
        // Six folders of 200 bytes would pass 1,024: the fifth takes the rest, up to the limit.
        QTest::newRow("long segments") << "http://h/" + segments(QString(200, u'b'), 5) +
                                              segments(QString(200, u'c'), 3) + "x.jpg"
                                       << 6 << QString(200, u'b') + "~" + QString(11, u'c');
        QTest::newRow("a long name counts")
            << "http://h/" + segments(QString(200, u'b'), 5) + QString(200, u'n') << 5
            << QString(200, u'b') + "~" + QString(17, u'b');
        QTest::newRow("a long segment of Chinese")
            << "http://h/" + QString(100, u'图') + "/x.jpg" << 2 << QString(66, u'图');
        QTest::newRow("a long segment cut before a dot")
            << "http://h/" + QString(199, u'a') + ".b/x.jpg" << 2 << QString(199, u'a');
        QTest::newRow("a cut before a dot")
            << "http://h/" + segments(QString(200, u'b'), 4) + QString(200, u'd') + "/" +
                   QString(10, u'e') + "." + QString(30, u'f') + "/x.jpg"
            << 6 << QString(200, u'd') + "~" + QString(10, u'e');
    }
    void deepAddresses()
    {
        QFETCH(QString, address);
        QFETCH(int, levels);
        QFETCH(QString, last);
        const SiteTarget t = sitetarget(address);
        QCOMPARE(t.name, address.section(u'/', -1));
        QCOMPARE(t.folders.size(), levels);
        QCOMPARE(t.folders.back(), last);
        QVERIFY(QString(t.folders.join('/') + '/' + t.name).toUtf8().size() <= 1024);
        for (const QString &f : t.folders)
            QVERIFY(f.toUtf8().size() <= 251 && QString::fromUtf8(f.toUtf8()) == f);
    }
};

QTEST_MAIN(TestCli)
#include "tst_cli.moc"
