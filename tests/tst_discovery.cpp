#include "cachediscovery.h"
#include "cachesearch.h"
#include "platform.h"
#include "registryhive.h"
#include "testsupport.h"
#include "tinycaches.h"

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

// A found cache of any browser as the tests name it: layout, user, browser, format, entries, path
// below the place.
QStringList browserrows(const std::vector<FoundCache> &caches, const QString &place)
{
    QStringList out;
    for (const FoundCache &c : caches)
        out << QStringList{layoutname(c.layout),       c.user,
                           browserid(c.browser),       formatid(c.format),
                           QString::number(c.entries), c.path.mid(place.size() + 1)}
                   .join('|');
    return out;
}

// The program's own system calls while it runs `--find` over `root`, counted by call.
QMap<QString, int> findcalls(const QString &root, const QString &log)
{
    QProcess p;
    // LeakSanitizer cannot run under ptrace; the sanitizer build's leaks are found elsewhere.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":detect_leaks=0");
    p.setProcessEnvironment(env);
    p.start("strace", {"-f", "-qq", "-e", "trace=openat,open,getdents64,getdents", "-o", log,
                       VELLOMAR_PROGRAM, "--find", root});
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
        return QMap<QString, int>();
    QMap<QString, int> n;
    for (const QByteArray &line : readcontent(log).split('\n')) {
        const QByteArray t = line.simplified(); // "pid call(arguments) = result"
        const QByteArray call = t.mid(t.indexOf(' ') + 1);
        n[QString::fromLatin1(call.left(call.indexOf('(')))] += 1;
    }
    return n;
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

    // Each browser's cache where each system keeps it: Windows XP and later, a Linux home's
    // .cache, .config and .mozilla, a macOS home, in any case; and nothing where the contents
    // are not the browser's own.
    void findsEachBrowsersCache_data()
    {
        QTest::addColumn<QString>("place");    // below the disk; empty for the disk itself
        QTest::addColumn<QString>("cache");    // below the disk
        QTest::addColumn<QString>("kind");     // as tiny::build makes it
        QTest::addColumn<QString>("expected"); // browserrows' row, the path below the place
        const QString xp = "documents and settings/zed/Local Settings/Application Data/";
        const QString local = "Users/zed/AppData/Local/";
        QTest::newRow("Chrome, XP")
            << "" << xp + "Google/Chrome/User Data/Default/Cache"
            << "blockfile"
            << "XP|zed|chrome|chromium-blockfile|7|" + xp + "Google/Chrome/User Data/Default/Cache";
        QTest::newRow("Chrome, Cache_Data")
            << "" << local + "Google/Chrome/User Data/Default/Cache/Cache_Data"
            << "simple"
            << "Vista–11|zed|chrome|chromium-simple|2|" + local +
                   "Google/Chrome/User Data/Default/Cache/Cache_Data";
        QTest::newRow("Chrome, another profile's Cache")
            << "" << local + "Google/Chrome/User Data/Profile 1/Cache"
            << "simple"
            << "Vista–11|zed|chrome|chromium-simple|2|" + local +
                   "Google/Chrome/User Data/Profile 1/Cache";
        QTest::newRow("Chrome, Media Cache")
            << "" << local + "Google/Chrome/User Data/Default/Media Cache"
            << "blockfile"
            << "Vista–11|zed|chrome|chromium-blockfile|7|" + local +
                   "Google/Chrome/User Data/Default/Media Cache";
        QTest::newRow("Chromium") << "" << local + "Chromium/User Data/Default/Cache"
                                  << "blockfile"
                                  << "Vista–11|zed|chromium|chromium-blockfile|7|" + local +
                                         "Chromium/User Data/Default/Cache";
        QTest::newRow("Edge") << "" << local + "Microsoft/Edge/User Data/Default/Cache/Cache_Data"
                              << "simple"
                              << "Vista–11|zed|edge|chromium-simple|2|" + local +
                                     "Microsoft/Edge/User Data/Default/Cache/Cache_Data";
        QTest::newRow("Opera, its cache in its own folder")
            << "" << local + "Opera Software/Opera Stable/Cache"
            << "simple"
            << "Vista–11|zed|opera|chromium-simple|2|" + local +
                   "Opera Software/Opera Stable/Cache";
        QTest::newRow("Brave")
            << "" << local + "BraveSoftware/Brave-Browser/User Data/Default/Cache/Cache_Data"
            << "simple"
            << "Vista–11|zed|brave|chromium-simple|2|" + local +
                   "BraveSoftware/Brave-Browser/User Data/Default/Cache/Cache_Data";
        QTest::newRow("Vivaldi") << "" << local + "Vivaldi/User Data/Default/Cache"
                                 << "blockfile"
                                 << "Vista–11|zed|vivaldi|chromium-blockfile|7|" + local +
                                        "Vivaldi/User Data/Default/Cache";
        QTest::newRow("Firefox cache2")
            << "" << local + "Mozilla/Firefox/Profiles/k3x9.default/cache2"
            << "cache2"
            << "Vista–11|zed|firefox|firefox-cache2|3|" + local +
                   "Mozilla/Firefox/Profiles/k3x9.default/cache2";
        QTest::newRow("Firefox's old cache, XP")
            << "" << xp + "Mozilla/Firefox/Profiles/k3x9.default/Cache"
            << "firefoxold"
            << "XP|zed|firefox|firefox-old|5|" + xp + "Mozilla/Firefox/Profiles/k3x9.default/Cache";
        QTest::newRow("Firefox's old cache without its map")
            << "" << local + "Mozilla/Firefox/Profiles/k3x9.default/Cache"
            << "firefoxblocks"
            << "Vista–11|zed|firefox|firefox-old|-1|" + local +
                   "Mozilla/Firefox/Profiles/k3x9.default/Cache";
        QTest::newRow("in any case")
            << ""
            << "users/zed/APPDATA/local/GOOGLE/chrome/user data/Default/cache/CACHE_DATA"
            << "simple"
            << "Vista–11|zed|chrome|chromium-simple|2|users/zed/APPDATA/local/GOOGLE/chrome/"
               "user data/Default/cache/CACHE_DATA";
        QTest::newRow("a Linux disk's home") << ""
                                             << "home/zed/.cache/google-chrome/Default/Cache"
                                             << "simple"
                                             << "Linux|zed|chrome|chromium-simple|2|home/zed/"
                                                ".cache/google-chrome/Default/Cache";
        QTest::newRow("a Linux home, Cache_Data")
            << "home/zed"
            << "home/zed/.cache/chromium/Default/Cache/Cache_Data"
            << "simple"
            << "Linux|zed|chromium|chromium-simple|2|.cache/chromium/Default/Cache/Cache_Data";
        QTest::newRow("a Linux home's .config")
            << "home/zed"
            << "home/zed/.config/google-chrome/Default/Cache"
            << "blockfile"
            << "Linux|zed|chrome|chromium-blockfile|7|.config/google-chrome/Default/Cache";
        QTest::newRow("a Linux home, Firefox")
            << "home/zed"
            << "home/zed/.cache/mozilla/firefox/k3x9.default-release/cache2"
            << "cache2"
            << "Linux|zed|firefox|firefox-cache2|3|.cache/mozilla/firefox/k3x9.default-release/"
               "cache2";
        QTest::newRow("a Linux home, old Firefox")
            << "home/zed"
            << "home/zed/.mozilla/firefox/k3x9.default/Cache"
            << "firefoxold"
            << "Linux|zed|firefox|firefox-old|5|.mozilla/firefox/k3x9.default/Cache";
        QTest::newRow("a macOS home, Chrome")
            << ""
            << "Users/zed/Library/Caches/Google/Chrome/Default/Cache"
            << "blockfile"
            << "macOS|zed|chrome|chromium-blockfile|7|Users/zed/Library/Caches/Google/Chrome/"
               "Default/Cache";
        QTest::newRow("a macOS home, Firefox")
            << "Users/zed"
            << "Users/zed/Library/Caches/Firefox/Profiles/k3x9.default/cache2"
            << "cache2"
            << "macOS|zed|firefox|firefox-cache2|3|Library/Caches/Firefox/Profiles/k3x9.default/"
               "cache2";
        QTest::newRow("Firefox's folder holding a Chromium cache")
            << "" << local + "Mozilla/Firefox/Profiles/k3x9.default/cache2"
            << "simple"
            << "";
        QTest::newRow("Chrome's folder holding Firefox's")
            << "" << local + "Google/Chrome/User Data/Default/Cache"
            << "cache2"
            << "";
        QTest::newRow("Chrome's folder with no cache in it")
            << "" << local + "Google/Chrome/User Data/Default/Code Cache/js"
            << "blockfile"
            << "";
    }
    void findsEachBrowsersCache()
    {
        QFETCH(QString, place);
        QFETCH(QString, cache);
        QFETCH(QString, kind);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const QString disk = dir.path() + "/disk";
        int files = 0;
        QVERIFY(tiny::build(disk + "/" + cache, kind, &files));
        // The folders a browser keeps beside its cache, and a profile's own files.
        QVERIFY(
            writefile(disk + "/Users/zed/AppData/Local/Google/Chrome/User Data/Local State", 10));
        QVERIFY(QDir().mkpath(disk + "/Users/zed/AppData/Local/Google/Chrome/User Data/Crashpad"));
        const QString at = place.isEmpty() ? disk : disk + "/" + place;
        const std::vector<FoundCache> found = findcaches(at);
        QCOMPARE(browserrows(found, at),
                 expected.isEmpty() ? QStringList() : QStringList{expected});
        if (!found.empty()) {
            QCOMPARE(found[0].files, qint64(files));
            QCOMPARE(found[0].folders, 1);
            QVERIFY(found[0].bytes > 0);
            QVERIFY(found[0].newest > 0);
        }
    }

    // A cache copied anywhere is told by its contents, the place itself or the profile's folder
    // holding it, its browser unknown; a folder only looking like one is none.
    void aCopiedCacheIsToldByItsContents_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("below"); // the cache below the place opened
        QTest::addColumn<QString>("expected");
        QTest::newRow("Simple Cache") << "simple"
                                      << ""
                                      << "chromium-simple|2";
        QTest::newRow("Simple Cache with no entry yet") << "indexdir"
                                                        << ""
                                                        << "chromium-simple|0";
        QTest::newRow("blockfile") << "blockfile"
                                   << ""
                                   << "chromium-blockfile|7";
        QTest::newRow("cache2") << "cache2"
                                << ""
                                << "firefox-cache2|3";
        QTest::newRow("cache2's entries folder") << "bareentries"
                                                 << ""
                                                 << "firefox-cache2|3";
        QTest::newRow("Firefox's old cache") << "firefoxold"
                                             << ""
                                             << "firefox-old|5";
        QTest::newRow("Firefox's old block files") << "firefoxblocks"
                                                   << ""
                                                   << "firefox-old|-1";
        QTest::newRow("a profile's Cache") << "blockfile"
                                           << "Cache"
                                           << "chromium-blockfile|7";
        QTest::newRow("a profile's Cache_Data") << "simple"
                                                << "Cache/Cache_Data"
                                                << "chromium-simple|2";
        QTest::newRow("a Cache holding Cache_Data") << "simple"
                                                    << "Cache_Data"
                                                    << "chromium-simple|2";
        QTest::newRow("a Firefox profile") << "cache2"
                                           << "CACHE2"
                                           << "firefox-cache2|3";
        QTest::newRow("index with the wrong magic") << "wrongmagic"
                                                    << ""
                                                    << "";
        QTest::newRow("index with the magic big-endian") << "bigendianmagic"
                                                         << ""
                                                         << "";
        QTest::newRow("index cut short") << "shortindex"
                                         << ""
                                         << "";
        QTest::newRow("index whose count is negative") << "negativecount"
                                                       << ""
                                                       << "chromium-blockfile|-1";
        QTest::newRow("index as a folder") << "indexfolder"
                                           << ""
                                           << "";
        QTest::newRow("_0 files of other names") << "notsimple"
                                                 << ""
                                                 << "";
        QTest::newRow("an empty entries folder") << "emptyentries"
                                                 << ""
                                                 << "";
        QTest::newRow("entries of other files") << "otherentries"
                                                << ""
                                                << "";
        QTest::newRow("hex names beside a folder") << "hexandfolder"
                                                   << ""
                                                   << "";
        QTest::newRow("block files without the first") << "firefoxlater"
                                                       << ""
                                                       << "";
    }
    void aCopiedCacheIsToldByItsContents()
    {
        QFETCH(QString, kind);
        QFETCH(QString, below);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const QString place = dir.path() + "/copied";
        const QString cache = below.isEmpty() ? place : place + "/" + below;
        const QByteArray magic = tiny::blockfileindex(7);
        if (kind == "wrongmagic")
            QVERIFY(tiny::build(cache, "blockfile") &&
                    writecontent(cache + "/index", tiny::blockfileindex(7, 0xC103CAC4)));
        else if (kind == "bigendianmagic")
            QVERIFY(tiny::build(cache, "blockfile") &&
                    writecontent(cache + "/index", tiny::blockfileindex(7, 0xC3CA03C1)));
        else if (kind == "shortindex")
            QVERIFY(tiny::build(cache, "blockfile") &&
                    writecontent(cache + "/index", magic.left(3)));
        else if (kind == "negativecount")
            QVERIFY(tiny::build(cache, "blockfile") &&
                    writecontent(cache + "/index", tiny::blockfileindex(-2)));
        else if (kind == "indexfolder")
            QVERIFY(QDir().mkpath(cache + "/index") && writefile(cache + "/data_0", 10));
        else if (kind == "notsimple")
            QVERIFY(writefile(cache + "/0123456789abcdeg_0", 10) &&
                    writefile(cache + "/0123456789abcdef_1", 10) &&
                    writefile(cache + "/0123456789abcdef0_0", 10) &&
                    QDir().mkpath(cache + "/0123456789abcdef_0"));
        else if (kind == "emptyentries")
            QVERIFY(QDir().mkpath(cache + "/entries") && writefile(cache + "/index", 8));
        else if (kind == "otherentries")
            QVERIFY(writefile(cache + "/entries/readme.txt", 8) &&
                    writefile(cache + "/entries/0EDDF8C091E2FED62E44BEDDDC1723F5BF38FE4", 8));
        else if (kind == "hexandfolder")
            QVERIFY(tiny::build(cache, "bareentries") && QDir().mkpath(cache + "/doomed"));
        else if (kind == "firefoxlater")
            QVERIFY(writefile(cache + "/_CACHE_002_", 10) && writefile(cache + "/_CACHE_003_", 10));
        else
            QVERIFY(tiny::build(cache, kind));
        QCOMPARE(browserrows(findcaches(place), place),
                 expected.isEmpty() ? QStringList()
                                    : QStringList{"folder||unknown|" + expected + "|" + below});
    }

    // The shared samples as their browsers wrote them, placed where those browsers keep them.
    void theSamplesAreFound_data()
    {
        QTest::addColumn<QString>("sample"); // below the samples folder
        QTest::addColumn<QString>("at");     // the copy, below the disk
        QTest::addColumn<QString>("expected");
        const QString local = "Users/zed/AppData/Local/";
        QTest::newRow("blockfile 2.1")
            << "plaso/test_data/chrome_cache" << local + "Google/Chrome/User Data/Default/Cache"
            << "Vista–11|zed|chrome|chromium-blockfile|217|" + local +
                   "Google/Chrome/User Data/Default/Cache";
        QTest::newRow("blockfile 3.0")
            << "plaso/test_data/chrome_cache_v3"
            << "home/zed/.cache/chromium/Default/Cache"
            << "Linux|zed|chromium|chromium-blockfile|862|home/zed/.cache/chromium/Default/Cache";
        QTest::newRow("Simple Cache")
            << "simplecache/testdata" << local + "Microsoft/Edge/User Data/Default/Cache/Cache_Data"
            << "Vista–11|zed|edge|chromium-simple|19|" + local +
                   "Microsoft/Edge/User Data/Default/Cache/Cache_Data";
        QTest::newRow("cache2 entries")
            << "plaso/test_data/firefox_cache/cache2"
            << local + "Mozilla/Firefox/Profiles/k3x9.default/cache2/entries"
            << "Vista–11|zed|firefox|firefox-cache2|5|" + local +
                   "Mozilla/Firefox/Profiles/k3x9.default/cache2";
        QTest::newRow("cache2")
            << "dtformats/test_data/firefox_cache2"
            << "Users/zed/Library/Caches/Firefox/Profiles/k3x9.default/cache2"
            << "macOS|zed|firefox|firefox-cache2|13|Users/zed/Library/Caches/Firefox/Profiles/"
               "k3x9.default/cache2";
        QTest::newRow("Firefox's old block files")
            << "plaso/test_data/firefox_cache/firefox3"
            << "home/zed/.mozilla/firefox/k3x9/Cache"
            << "Linux|zed|firefox|firefox-old|-1|home/zed/.mozilla/firefox/k3x9/Cache";
    }
    void theSamplesAreFound()
    {
        QFETCH(QString, sample);
        QFETCH(QString, at);
        QFETCH(QString, expected);
        const QString from = samplesfolder() + "/" + sample;
        if (!QFileInfo(from).isDir())
            QSKIP(qPrintable(from + " is not here (the shared samples)"));
        QTemporaryDir dir;
        const QString disk = dir.path() + "/disk";
        QVERIFY(tiny::copytree(from, disk + "/" + at));
        const std::vector<FoundCache> found = findcaches(disk);
        QCOMPARE(browserrows(found, disk), QStringList{expected});
        // The copy as it is, opened where it lies: the same cache, of browser unknown.
        const QString alone = found[0].path;
        QCOMPARE(browserrows(findcaches(alone), alone),
                 QStringList{"folder||unknown|" + expected.section('|', 3, 4) + "|"});
    }

    // The browsers' folders cost one open and one read each, however many patterns pass
    // through them, and a blockfile's or old Firefox's cache one read of its header: counted
    // on the program's own system calls, per profile, against a disk of empty profiles.
    void eachBrowserFolderIsReadOnce_data()
    {
        QTest::addColumn<QStringList>("caches"); // below each profile: folder and kind
        const QString local = "AppData/Local/";
        QTest::newRow("Chrome's Cache_Data")
            << QStringList{local + "Google/Chrome/User Data/Default/Cache/Cache_Data", "simple"};
        QTest::newRow("three of Chrome's profiles")
            << QStringList{local + "Google/Chrome/User Data/Default/Cache",         "blockfile",
                           local + "Google/Chrome/User Data/Profile 1/Cache",       "simple",
                           local + "Google/Chrome/User Data/Profile 2/Media Cache", "blockfile"};
        QTest::newRow("every browser and IE")
            << QStringList{local + "Microsoft/Windows/INetCache/IE/ABCD0001",
                           "simple",
                           local + "Microsoft/Edge/User Data/Default/Cache/Cache_Data",
                           "simple",
                           local + "Opera Software/Opera Stable/Cache",
                           "blockfile",
                           local + "Mozilla/Firefox/Profiles/a.default/cache2",
                           "cache2",
                           local + "Mozilla/Firefox/Profiles/b.default/Cache",
                           "firefoxold"};
        QTest::newRow("a Linux home")
            << QStringList{".cache/google-chrome/Default/Cache",      "simple",
                           ".config/google-chrome/Default/Cache",     "blockfile",
                           ".cache/mozilla/firefox/a.default/cache2", "cache2"};
    }
    void eachBrowserFolderIsReadOnce()
    {
        QFETCH(QStringList, caches);
        QTemporaryDir dir;
        const int profiles = 40;
        QVERIFY(QDir().mkpath(dir.path() + "/none/Users"));
        for (int i = 0; i < profiles; ++i)
            QVERIFY(QDir().mkpath(dir.path() + QString("/none/Users/user%1").arg(i)));
        for (int i = 0; i < profiles; ++i) {
            for (int c = 0; c + 1 < caches.size(); c += 2)
                QVERIFY(tiny::build(dir.path() + QString("/many/Users/user%1/").arg(i) + caches[c],
                                    caches[c + 1]));
        }
        // The folders of one profile, itself included, and the headers read in it.
        int folders = 1, headers = 0;
        QDirIterator it(dir.path() + "/many/Users/user0",
                        QDir::Dirs | QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString p = it.next();
            const QString name = it.fileName();
            if (it.fileInfo().isDir())
                folders += !p.contains("/index-dir") && !p.contains("/doomed") &&
                           !p.contains("/A/1C") && !p.endsWith("/A");
            else
                headers += name == "_CACHE_MAP_" ||
                           (name == "index" && readcontent(p).startsWith("\xc3\xca\x03\xc1"));
        }
        const std::vector<FoundCache> found = findcaches(dir.path() + "/many");
        QCOMPARE(found.size(), size_t(profiles * caches.size() / 2));
        const QMap<QString, int> none = findcalls(dir.path() + "/none", dir.path() + "/none.log");
        const QMap<QString, int> many = findcalls(dir.path() + "/many", dir.path() + "/many.log");
        QVERIFY2(none.value("openat") > 0, "strace saw no open");
        const int slack = 8; // the larger folder of profiles may take another read or two
        QCOMPARE_LE(many.value("openat") - none.value("openat"),
                    profiles * (folders + headers) - profiles + slack);
        QCOMPARE_LE(many.value("getdents64") - none.value("getdents64"),
                    2 * profiles * (folders - 1) + slack);
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
