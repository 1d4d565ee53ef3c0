#include "cachelocation.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QtTest>

using namespace vellomar;
using namespace vellomar::test;

namespace {

// As wineboot writes it: escaped backslashes, a \x escape for a non-ASCII user name.
const QByteArray userreg =
    "WINE REGISTRY Version 2\n"
    ";; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n"
    "\n"
    "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Explorer\\\\User Shell Folders] "
    "1796864992\n"
    "#time=1dd884329379050\n"
    "\"Cache\"=str(2):\"%USERPROFILE%\\\\AppData\\\\Local\\\\Microsoft\\\\Windows\\\\INetCache\"\n"
    "\n"
    "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Explorer\\\\Shell Folders] 1796864992\n"
    "#time=1dd884329379050\n"
    "\"AppData\"=\"C:\\\\users\\\\Jos\\xe9\\\\AppData\\\\Roaming\"\n"
    "\"Cache\"=\"C:"
    "\\\\users\\\\Jos\\xe9\\\\AppData\\\\Local\\\\Microsoft\\\\Windows\\\\INetCache\"\n"
    "\"Cookies\"=\"C:"
    "\\\\users\\\\Jos\\xe9\\\\AppData\\\\Roaming\\\\Microsoft\\\\Windows\\\\Cookies\"\n"
    "\n";

} // namespace

class TestCacheLocation : public QObject
{
    Q_OBJECT
  private slots:
    void unescapes_data()
    {
        QTest::addColumn<QString>("escaped");
        QTest::addColumn<QString>("plain");
        QTest::newRow("backslashes") << R"(C:\\users\\bob)"
                                     << R"(C:\users\bob)";
        QTest::newRow("short hex") << R"(Jos\xe9)" << QString::fromUtf8("José");
        QTest::newRow("four hex then digit") << R"(\x4e2d1)" << QString::fromUtf8("中1");
        QTest::newRow("quote") << R"(a\"b)"
                               << "a\"b";
        QTest::newRow("trailing backslash") << R"(a\)"
                                            << R"(a\)";
    }
    void unescapes()
    {
        QFETCH(QString, escaped);
        QFETCH(QString, plain);
        QCOMPARE(unescaperegstring(escaped), plain);
    }

    void readsTheShellFolderValue()
    {
        const QString key =
            QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders");
        QCOMPARE(
            regvalue(userreg, key, QStringLiteral("Cache")),
            QString::fromUtf8("C:\\users\\José\\AppData\\Local\\Microsoft\\Windows\\INetCache"));
        // The "User Shell Folders" key before it is another key, not a match.
        QCOMPARE(regvalue(userreg, key + QStringLiteral("X"), QStringLiteral("Cache")), QString());
        QCOMPARE(regvalue(userreg, key, QStringLiteral("History")), QString());
        QCOMPARE(regvalue(QByteArray("garbage\n[\n\"Cache\"=\"x"), key, QStringLiteral("Cache")),
                 QString());
    }

    void findsTheCacheOfAWinePrefix()
    {
        QTemporaryDir dir;
        const QString prefix = dir.path() + QStringLiteral("/prefix");
        QVERIFY(writecontent(prefix + QStringLiteral("/user.reg"), userreg));
        const QString cache =
            prefix +
            QString::fromUtf8("/drive_c/users/José/AppData/Local/Microsoft/Windows/INetCache");
        QVERIFY(QDir().mkpath(cache + QStringLiteral("/Content.IE5")));
        QDir().mkpath(prefix + QStringLiteral("/dosdevices"));
        QVERIFY(
            QFile::link(QStringLiteral("../drive_c"), prefix + QStringLiteral("/dosdevices/c:")));

        CacheLookup lookup;
        lookup.wineprefix = prefix;
        QCOMPARE(findcachefolder(lookup), QFileInfo(cache).canonicalFilePath());

        // Without dosdevices, C: still maps to drive_c.
        QFile::remove(prefix + QStringLiteral("/dosdevices/c:"));
        QCOMPARE(QFileInfo(findcachefolder(lookup)).canonicalFilePath(),
                 QFileInfo(cache).canonicalFilePath());

        // Without WINEPREFIX the prefix is ~/.wine, and only that.
        const QString home = dir.path() + QStringLiteral("/home");
        QVERIFY(QDir().mkpath(home));
        QVERIFY(QFile::rename(prefix, home + QStringLiteral("/.wine")));
        CacheLookup byhome;
        byhome.home = home;
        const QString moved =
            home + QString::fromUtf8(
                       "/.wine/drive_c/users/José/AppData/Local/Microsoft/Windows/INetCache");
        QVERIFY(!findcachefolder(byhome).isEmpty());
        QCOMPARE(QFileInfo(findcachefolder(byhome)).canonicalFilePath(),
                 QFileInfo(moved).canonicalFilePath());
        CacheLookup elsewhere;
        elsewhere.home = dir.path() + QStringLiteral("/nohome");
        QCOMPARE(findcachefolder(elsewhere), QString());
    }

    void matchesPathComponentsWithoutCase()
    {
        QTemporaryDir dir;
        QVERIFY(QDir().mkpath(dir.path() + QStringLiteral("/drive_c/Users/bob/AppData")));
        QCOMPARE(winepathtolocal(dir.path(), QStringLiteral("C:\\users\\BOB\\appdata")),
                 QFileInfo(dir.path() + QStringLiteral("/drive_c")).canonicalFilePath() +
                     QStringLiteral("/Users/bob/AppData"));
        QCOMPARE(winepathtolocal(dir.path(), QStringLiteral("D:\\x")), QString());
        QCOMPARE(winepathtolocal(dir.path(), QStringLiteral("C:\\..\\..\\etc")), QString());
        QCOMPARE(winepathtolocal(dir.path(), QStringLiteral("relative")), QString());
    }

    void environmentWins()
    {
        CacheLookup lookup;
        lookup.hascacheenv = true;
        lookup.cacheenv = QStringLiteral("/data/cache/");
        lookup.wineprefix = QStringLiteral("/nonexistent");
        QCOMPARE(findcachefolder(lookup), QStringLiteral("/data/cache"));
        lookup.cacheenv.clear();
        QCOMPARE(findcachefolder(lookup), QString());
    }
};

QTEST_GUILESS_MAIN(TestCacheLocation)
#include "tst_cachelocation.moc"
