#include "cachediscovery.h"
#include "cachesearch.h"
#include "platform.h"
#include "registryhive.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtTest>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

using namespace vellomar;
using namespace vellomar::test;

namespace {

// The samples shared beside the checkout, read in place (VELLOMAR_SAMPLES names another).
QString samplesfolder()
{
    const QString named = qEnvironmentVariable("VELLOMAR_SAMPLES");
    return QDir::cleanPath(named.isEmpty() ? QStringLiteral(VELLOMAR_SAMPLES) : named);
}

// A found cache as the tests name it: layout, user, path below the place.
QStringList rows(const std::vector<FoundCache> &caches, const QString &place)
{
    QStringList out;
    for (const FoundCache &c : caches)
        out << layoutname(c.layout) + "|" + c.user + "|" + c.path.mid(place.size() + 1);
    return out;
}

// Sets a registry hive's cache folder with hivex's own shell. For "Shell Folders", the
// "User Shell Folders" key (which Windows reads first) is left without one.
bool sethivecache(const QString &hive, const QString &key, const QString &value)
{
    QProcess sh;
    sh.start(QStringLiteral("hivexsh"), {QStringLiteral("-w"), hive});
    const QString explorer =
        QStringLiteral("cd \\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\");
    QString script = explorer + key + QStringLiteral("\nsetval 1\nCache\nexpandstring:") + value +
                     QStringLiteral("\n");
    if (key == QLatin1String("Shell Folders"))
        script +=
            explorer + QStringLiteral("User Shell Folders\nsetval 1\nHistory\nexpandstring:x\n");
    sh.write((script + QStringLiteral("commit\n")).toUtf8());
    sh.closeWriteChannel();
    return sh.waitForFinished(10000) && sh.exitCode() == 0;
}

} // namespace

class TestDiscovery : public QObject
{
    Q_OBJECT
  private slots:
    // A disk with an XP profile, a Windows 7 profile with its Low cache and a Windows 10 one,
    // in the case Windows wrote them or not.
    void findsEveryLayoutOfADisk()
    {
        DiskFixture d;
        // Beside the disk, a cache a link points to: never reached.
        QVERIFY(writefile(d.dir.path() + "/outside/Content.IE5/OUT00001/x.jpg", 100));
        QVERIFY(QFile::link(d.dir.path() + "/outside", d.root + "/Users/mallory"));
        QVERIFY(QDir().mkpath(d.root + "/Users/bob/AppData/Local/Microsoft/Windows/INetCache"));
        QVERIFY(QFile::link(d.dir.path() + "/outside/Content.IE5",
                            d.root + "/Users/bob/AppData/Local/Microsoft/Windows/INetCache/IE"));
        QVERIFY(writefile(d.root + "/Users/notaprofile", 10));
        QVERIFY(QDir().mkpath(d.root + "/Users/Default User/Documents"));
        // Folders of eight letters beside others are no cache: not the disk, not a profile.
        QVERIFY(QDir().mkpath(d.root + "/PerfLogs"));
        QVERIFY(writefile(d.root + "/Users/bob/PICTURES/holiday.jpg", 20000));
        // A name that cannot be named again exactly stands for nothing; here it would stand
        // for a link out of the disk, named with the bytes it would be mistaken for.
        QByteArray raw = QFile::encodeName(d.root) + "/Users/\xff";
        for (const char *step : {"", "/AppData", "/Local", "/Microsoft", "/Windows", "/INetCache",
                                 "/IE", "/INSIDE01"}) {
            raw += step;
            QVERIFY(::mkdir(raw.constData(), 0755) == 0);
        }
        QVERIFY(writefile(
            d.dir.path() + "/outside/AppData/Local/Microsoft/Windows/INetCache/IE/OUTSIDE1/s.jpg",
            20000));
        QVERIFY(QFile::link(d.dir.path() + "/outside",
                            d.root + "/Users/" + QString(QChar(QChar::ReplacementCharacter))));
        const std::vector<FoundCache> found = findcaches(d.root);
        QCOMPARE(rows(found, d.root),
                 QStringList({"XP|alice|documents and settings/alice/LOCAL SETTINGS/Temporary "
                              "Internet Files/Content.IE5",
                              "Vista/7|bob|Users/bob/AppData/Local/Microsoft/Windows/Temporary "
                              "Internet Files/Content.IE5",
                              "Protected Mode|bob|Users/bob/AppData/Local/Microsoft/Windows/"
                              "Temporary Internet Files/Low/Content.IE5",
                              "8–11|carol|Users/carol/AppData/Local/Microsoft/Windows/INetCache/IE",
                              "Protected Mode|carol|Users/carol/AppData/Local/Microsoft/Windows/"
                              "INetCache/Low/IE"}));
        // What each holds, and the one with the newest files.
        const FoundCache &bob = found[1];
        QCOMPARE(bob.folders, 2);
        QCOMPARE(bob.files, qint64(3));
        QCOMPARE(bob.bytes, qint64(33000)); // the hidden file is not listed, so not counted
        QCOMPARE(newestcache(found), 3);
        QCOMPARE(found[3].newest, qint64(d.newest) * 1000);
        QCOMPARE(newestcache({}), -1);
    }

    void opensEveryKindOfPlace_data()
    {
        QTest::addColumn<QString>("place");
        QTest::addColumn<QStringList>("expected");
        const QString win = "AppData/Local/Microsoft/Windows/";
        QTest::newRow("a profile")
            << "Users/carol"
            << QStringList{"8–11|carol|" + win + "INetCache/IE",
                           "Protected Mode|carol|" + win + "INetCache/Low/IE"};
        QTest::newRow("the folder holding a cache")
            << "Users/carol/" + win + "INetCache"
            << QStringList{"folder||IE", "Protected Mode||Low/IE"};
        QTest::newRow("a cache itself")
            << "documents and settings/alice/LOCAL SETTINGS/Temporary Internet Files/Content.IE5"
            << QStringList{"folder||"};
        QTest::newRow("a folder of a cache")
            << "Users/carol/" + win + "INetCache/IE/CCCC0001" << QStringList{};
        QTest::newRow("a Wine prefix")
            << "wine" << QStringList{"Wine|dan|drive_c/users/dan/" + win + "INetCache/Content.IE5"};
        QTest::newRow("a Wine drive")
            << "wine/drive_c" << QStringList{"Wine|dan|users/dan/" + win + "INetCache/Content.IE5"};
        QTest::newRow("nothing") << "Users" << QStringList{};
        QTest::newRow("a profile with folders of eight capitals")
            << "Users/bob"
            << QStringList{"Vista/7|bob|" + win + "Temporary Internet Files/Content.IE5",
                           "Protected Mode|bob|" + win +
                               "Temporary Internet Files/Low/Content.IE5"};
        QTest::newRow("folders of eight letters only") << "Albums" << QStringList{};
    }
    void opensEveryKindOfPlace()
    {
        QFETCH(QString, place);
        QFETCH(QStringList, expected);
        DiskFixture d;
        // A Wine prefix beside the disk, as wineboot leaves it.
        const QString prefix = d.root + "/wine";
        QVERIFY(writecontent(prefix + "/user.reg",
                             "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Explorer\\\\"
                             "Shell Folders] 1796864992\n"
                             "\"Cache\"=\"C:\\\\users\\\\dan\\\\AppData\\\\Local\\\\Microsoft\\\\"
                             "Windows\\\\INetCache\"\n"));
        QVERIFY(writefile(prefix + "/drive_c/users/dan/AppData/Local/Microsoft/Windows/INetCache/"
                                   "Content.IE5/WINE0001/w.swf",
                          100));
        QVERIFY(writefile(d.root + "/Users/bob/PICTURES/holiday.jpg", 20000));
        QVERIFY(writefile(d.root + "/Albums/Holidays/beach.jpg", 20000));
        const QString at = place.isEmpty() ? d.root : d.root + "/" + place;
        QCOMPARE(rows(findcaches(at), at), expected);
    }

    // Folders whose names differ only in case (two disks' profiles copied into one folder, a
    // case-sensitive file system) are each searched, at every level names are matched at.
    void everyCaseVariantIsSearched_data()
    {
        QTest::addColumn<QString>("place");
        QTest::addColumn<QStringList>("caches"); // below the place, made in this order
        QTest::addColumn<QStringList>("expected");
        const QString win = "AppData/Local/Microsoft/Windows/";
        QTest::newRow("Users and users")
            << ""
            << QStringList{"Users/bob/" + win + "INetCache/IE",
                           "users/dave/" + win + "INetCache/IE"}
            << QStringList{"8–11|bob|Users/bob/" + win + "INetCache/IE",
                           "8–11|dave|users/dave/" + win + "INetCache/IE"};
        QTest::newRow("two Documents and Settings")
            << ""
            << QStringList{"documents and settings/eve/Local Settings/Temporary Internet "
                           "Files/Content.IE5",
                           "Documents and Settings/fay/Local Settings/Temporary Internet "
                           "Files/Content.IE5"}
            << QStringList{"XP|fay|Documents and Settings/fay/Local Settings/Temporary Internet "
                           "Files/Content.IE5",
                           "XP|eve|documents and settings/eve/Local Settings/Temporary Internet "
                           "Files/Content.IE5"};
        QTest::newRow("inside a profile")
            << "Users/bob"
            << QStringList{"AppData/Local/Microsoft/Windows/INetCache/IE",
                           "appdata/local/microsoft/windows/inetcache/ie",
                           "AppData/Local/Microsoft/WINDOWS/INetCache/IE"}
            << QStringList{"8–11|bob|AppData/Local/Microsoft/Windows/INetCache/IE",
                           "8–11|bob|AppData/Local/Microsoft/WINDOWS/INetCache/IE",
                           "8–11|bob|appdata/local/microsoft/windows/inetcache/ie"};
        QTest::newRow("the cache's own folder")
            << "INetCache" << QStringList{"IE", "ie", "Low/IE", "LOW/ie"}
            << QStringList{"folder||IE", "folder||ie", "Protected Mode||Low/IE",
                           "Protected Mode||LOW/ie"};
        QTest::newRow("a Wine prefix's drive")
            << "wine"
            << QStringList{"drive_c/users/dan/" + win + "INetCache/Content.IE5",
                           "Drive_C/users/dan/" + win + "INetCache/Content.IE5"}
            << QStringList{"Wine|dan|drive_c/users/dan/" + win + "INetCache/Content.IE5",
                           "Wine|dan|Drive_C/users/dan/" + win + "INetCache/Content.IE5"};
    }
    void everyCaseVariantIsSearched()
    {
        QFETCH(QString, place);
        QFETCH(QStringList, caches);
        QFETCH(QStringList, expected);
        QTemporaryDir dir;
        const QString at = place.isEmpty() ? dir.path() : dir.path() + "/" + place;
        int n = 0;
        for (const QString &c : caches)
            QVERIFY(writefile(at + "/" + c + QString("/CASE000%1/f.jpg").arg(++n), 100));
        if (place == "wine")
            QVERIFY(writecontent(at + "/user.reg",
                                 "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Explorer"
                                 "\\\\Shell Folders]\n\"Cache\"=\"C:\\\\users\\\\dan\\\\AppData\\\\"
                                 "Local\\\\Microsoft\\\\Windows\\\\INetCache\"\n"));
        QCOMPARE(rows(findcaches(at), at), expected);
    }

    // A folder the user chose for the cache, named in the user's registry hive: under the
    // profile, or on the disk's own C:.
    void theRegistryNamesTheCache_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("fromdisk"); // found only when the whole disk is opened
        QTest::newRow("in the profile") << "User Shell Folders"
                                        << "%USERPROFILE%\\My Cache"
                                        << "Users/frank/My Cache/Content.IE5" << false;
        QTest::newRow("on C:") << "User Shell Folders"
                               << "C:\\Caches\\Frank"
                               << "Caches/Frank/Content.IE5" << true;
        QTest::newRow("only in Shell Folders") << "Shell Folders"
                                               << "%USERPROFILE%\\Old"
                                               << "Users/frank/Old/Content.IE5" << false;
        QTest::newRow("IE's own folder name") << "User Shell Folders"
                                              << "%LOCALAPPDATA%\\Elsewhere"
                                              << "Users/frank/AppData/Local/Elsewhere/IE" << false;
    }
    void theRegistryNamesTheCache()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QString, folder);
        QFETCH(bool, fromdisk);
        DiskFixture d;
        const QString profile = d.root + "/Users/frank";
        QVERIFY(QDir().mkpath(profile));
        QVERIFY(QFile::copy(QFINDTESTDATA("data/ntuser/NTUSER.DAT"), profile + "/NTUSER.DAT"));
        QFile(profile + "/NTUSER.DAT").setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        QVERIFY(sethivecache(profile + "/NTUSER.DAT", key, value));
        QVERIFY(writefile(d.root + "/" + folder + "/FRNK0001/f.jpg", 500));

        const QStringList fromroot = rows(findcaches(d.root), d.root);
        QVERIFY2(fromroot.contains("registry|frank|" + folder), qPrintable(fromroot.join('\n')));
        const QStringList fromprofile = rows(findcaches(profile), profile);
        const QString below = folder.mid(QStringLiteral("Users/frank/").size());
        QCOMPARE(fromprofile.contains("registry|frank|" + below), !fromdisk);
    }

    // A hive as its system wrote it names the usual folder: that cache is listed once. Wine's
    // names INetCache (carol's layout); the Windows 7 and XP hives of the shared samples name
    // Temporary Internet Files (bob's and alice's).
    void aHiveNamingTheUsualFolderAddsNothing_data()
    {
        QTest::addColumn<QString>("hive");
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QString>("names");
        const QString local = "%USERPROFILE%\\AppData\\Local\\Microsoft\\Windows\\";
        QTest::newRow("Wine") << QFINDTESTDATA("data/ntuser/NTUSER.DAT") << "Users/carol"
                              << local + "INetCache";
        const QString samples = samplesfolder() + "/plaso-more/";
        QTest::newRow("Windows 7") << samples + "NTUSER-sample.DAT"
                                   << "Users/bob" << local + "Temporary Internet Files";
        QTest::newRow("Windows 7, another") << samples + "plaso-NTUSER-win7.DAT"
                                            << "Users/bob" << local + "Temporary Internet Files";
        QTest::newRow("XP") << samples + "plaso-NTUSER-xp.DAT"
                            << "documents and settings/alice"
                            << "%USERPROFILE%\\Local Settings\\Temporary Internet Files";
    }
    void aHiveNamingTheUsualFolderAddsNothing()
    {
        QFETCH(QString, hive);
        QFETCH(QString, profile);
        QFETCH(QString, names);
        if (!QFile::exists(hive))
            QSKIP(qPrintable(QFileInfo(hive).path() + " is not here (the shared samples)"));
        long long size = 0;
        std::error_code ec;
        const int fd = openplainfile(hive.toStdString(), &size, ec);
        QVERIFY(fd >= 0);
        const QString named = hivecachefolder(fd);
        ::close(fd);
        QCOMPARE(named, names);
        DiskFixture d;
        QVERIFY(QFile::copy(hive, d.root + "/" + profile + "/NTUSER.DAT"));
        QCOMPARE(findcaches(d.root).size(), size_t(5));
    }

    // A hive that is no hive, or a damaged one, is skipped.
    void aDamagedHiveIsSkipped_data()
    {
        QTest::addColumn<QByteArray>("content");
        QByteArray real = readcontent(QFINDTESTDATA("data/ntuser/NTUSER.DAT"));
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("text") << QByteArray("regf but not really");
        QTest::newRow("truncated") << real.left(5000);
        QByteArray flipped = real;
        for (int i = 4096; i < flipped.size(); i += 997)
            flipped[i] = char(flipped[i] ^ 0x5a);
        QTest::newRow("bit flips") << flipped;
    }
    void aDamagedHiveIsSkipped()
    {
        QFETCH(QByteArray, content);
        DiskFixture d;
        QVERIFY(writecontent(d.root + "/Users/bob/NTUSER.DAT", content));
        QCOMPARE(findcaches(d.root).size(), size_t(5));
    }

    void windowsPathsOnTheDisk_data()
    {
        QTest::addColumn<QString>("winpath");
        QTest::addColumn<QStringList>("below");
        const QStringList profile{"Users", "bob"};
        QTest::newRow("profile") << "%USERPROFILE%\\AppData\\X"
                                 << QStringList{"Users", "bob", "AppData", "X"};
        QTest::newRow("profile, other case")
            << "%userprofile%\\Y" << QStringList{"Users", "bob", "Y"};
        QTest::newRow("local app data")
            << "%LOCALAPPDATA%\\Z" << QStringList{"Users", "bob", "AppData", "Local", "Z"};
        QTest::newRow("drive C") << "C:\\Caches\\bob" << QStringList{"Caches", "bob"};
        QTest::newRow("drive c, slashes") << "c:/Caches//bob/" << QStringList{"Caches", "bob"};
        QTest::newRow("system drive") << "%SystemDrive%\\T" << QStringList{"T"};
        QTest::newRow("drive D") << "D:\\Caches" << QStringList{};
        QTest::newRow("network") << "\\\\server\\share\\cache" << QStringList{};
        QTest::newRow("climbing out") << "%USERPROFILE%\\..\\..\\etc" << QStringList{};
        QTest::newRow("another variable") << "%TEMP%\\cache" << QStringList{};
        QTest::newRow("a variable inside") << "C:\\%TEMP%\\cache" << QStringList{};
        QTest::newRow("empty") << "" << QStringList{};
    }
    void windowsPathsOnTheDisk()
    {
        QFETCH(QString, winpath);
        QFETCH(QStringList, below);
        QCOMPARE(windowspathbelowroot(winpath, {"Users", "bob"}), below);
    }

    // Run as a user permissions apply to (its own test entry runs it as "nobody").
    void anUnreadableProfileIsSkipped()
    {
        if (::geteuid() == 0)
            QSKIP("permissions do not stop root (tst_discovery_unprivileged runs this)");
        DiskFixture d;
        QVERIFY(::chmod(QFile::encodeName(d.root + "/Users/bob").constData(), 0) == 0);
        const QStringList found = rows(findcaches(d.root), d.root);
        ::chmod(QFile::encodeName(d.root + "/Users/bob").constData(), 0755);
        QCOMPARE(found.size(), 3);
        QVERIFY(!found.join('\n').contains("|bob|"));
    }

    // Each empty profile costs one open of its folder and one read of its entries (two calls,
    // the second finding the end), whatever the number of layouts tried in it: counted on the
    // program's own system calls, against a disk with no profiles.
    void eachProfileFolderIsReadOnce()
    {
        const auto calls = [](const QString &root, const QString &log) {
            QProcess p;
            // LeakSanitizer cannot run under ptrace; the sanitizer build's leaks are found
            // elsewhere.
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":detect_leaks=0");
            p.setProcessEnvironment(env);
            p.start("strace", {"-f", "-qq", "-e", "trace=openat,open,getdents64,getdents", "-o",
                               log, VELLOMAR_PROGRAM, "--find", root});
            if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
                return QMap<QString, int>();
            QMap<QString, int> n;
            for (const QByteArray &line : readcontent(log).split('\n')) {
                const QByteArray t = line.simplified(); // "pid call(arguments) = result"
                const QByteArray call = t.mid(t.indexOf(' ') + 1);
                n[QString::fromLatin1(call.left(call.indexOf('(')))] += 1;
            }
            return n;
        };
        QTemporaryDir dir;
        const int profiles = 300;
        QVERIFY(QDir().mkpath(dir.path() + "/none/Users"));
        for (int i = 0; i < profiles; ++i)
            QVERIFY(QDir().mkpath(dir.path() + QString("/many/Users/user%1").arg(i)));
        const QMap<QString, int> none = calls(dir.path() + "/none", dir.path() + "/none.log");
        const QMap<QString, int> many = calls(dir.path() + "/many", dir.path() + "/many.log");
        QVERIFY2(none.value("openat") > 0, "strace saw no open");
        const int slack = 8; // the larger folder of profiles may take another read or two
        QCOMPARE_LE(many.value("openat") - none.value("openat"), profiles + slack);
        QCOMPARE_LE(many.value("getdents64") - none.value("getdents64"), 2 * profiles + slack);
    }

    // The search counts the folders it reads, stops at the next one once cancelled, and runs
    // as a job whose end comes back on the thread that started it.
    void aSearchCountsAndStops()
    {
        DiskFixture d;
        SearchControl whole;
        QCOMPARE(findcaches(d.root, &whole).size(), size_t(5));
        QVERIFY(whole.folders > 20);
        SearchControl cancelled;
        cancelled.cancel = true;
        QVERIFY(findcaches(d.root, &cancelled).empty());
        QCOMPARE(cancelled.folders.load(), qint64(0));

        CacheSearch job;
        std::vector<std::pair<size_t, bool>> ends;
        connect(&job, &CacheSearch::finished, this,
                [&](const QString &place, const std::vector<FoundCache> &caches, bool stopped) {
                    QCOMPARE(place, d.root);
                    ends.emplace_back(caches.size(), stopped);
                });
        job.start(d.root);
        QVERIFY(job.running());
        QVERIFY(QTest::qWaitFor([&] { return !ends.empty(); }, 30000));
        QCOMPARE(ends, (std::vector<std::pair<size_t, bool>>{{5, false}}));
        QVERIFY(!job.running());
        QCOMPARE(job.foldersread(), whole.folders.load());
        // A search replaced by another is never announced.
        ends.clear();
        job.start(d.root);
        job.start(d.root);
        QVERIFY(QTest::qWaitFor([&] { return !ends.empty(); }, 30000));
        QTest::qWait(50);
        QCOMPARE(ends.size(), size_t(1));
    }

    // The program's own headless listing.
    void findCommandListsTheCaches()
    {
        DiskFixture d;
        QProcess p;
        p.start(QStringLiteral(VELLOMAR_PROGRAM), {QStringLiteral("--find"), d.root});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 0);
        const QStringList lines =
            QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 5);
        QCOMPARE(lines[3], "8–11\tcarol\t" + d.root +
                               "/Users/carol/AppData/Local/Microsoft/Windows/INetCache/IE");
        p.start(QStringLiteral(VELLOMAR_PROGRAM), {QStringLiteral("--find"), d.root + "/Users"});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 3);
        QVERIFY(p.readAllStandardOutput().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestDiscovery)
#include "tst_discovery.moc"
