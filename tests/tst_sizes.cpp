#include "digcounters.h"
#include "numbers.h"
#include "sizes.h"

#include <QtTest>

using namespace vellomar;

class TestSizes : public QObject
{
    Q_OBJECT
  private slots:
    void roundsHalvesToEven_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<qint64>("expected");
        QTest::newRow("0.5") << 0.5 << qint64(0);
        QTest::newRow("1.5") << 1.5 << qint64(2);
        QTest::newRow("2.5") << 2.5 << qint64(2);
        QTest::newRow("112.5") << 112.5 << qint64(112);
        QTest::newRow("349.51") << 349.51171875 << qint64(350);
        QTest::newRow("-2.5") << -2.5 << qint64(-2);
    }
    void roundsHalvesToEven()
    {
        QFETCH(double, value);
        QFETCH(qint64, expected);
        QCOMPARE(roundhalfeven(value), expected);
    }

    void sizeTexts_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<qint64>("kb");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("key");
        QTest::newRow("517") << qint64(517) << qint64(0) << "0 K"
                             << "00000000";
        QTest::newRow("518") << qint64(518) << qint64(1) << "1 K"
                             << "00000001";
        QTest::newRow("1536") << qint64(1536) << qint64(2) << "2 K"
                              << "00000002";
        QTest::newRow("2560") << qint64(2560) << qint64(2) << "2 K"
                              << "00000002";
        QTest::newRow("3579") << qint64(3579) << qint64(4) << "4 K"
                              << "00000004";
        QTest::newRow("10240") << qint64(10240) << qint64(10) << "10 K"
                               << "00000010";
        QTest::newRow("10752") << qint64(10752) << qint64(10) << "10 K"
                               << "00000010";
        QTest::newRow("1023K") << qint64(1023 * 1024) << qint64(1023) << "1023 K"
                               << "00001023";
        QTest::newRow("1M") << qint64(1024 * 1024) << qint64(1024) << "1 M"
                            << "00001024";
        QTest::newRow("1100K") << qint64(1100 * 1024) << qint64(1100) << "1.07 M"
                               << "00001100";
        QTest::newRow("1152K") << qint64(1152 * 1024) << qint64(1152) << "1.12 M"
                               << "00001152";
        QTest::newRow("1536K") << qint64(1536 * 1024) << qint64(1536) << "1.5 M"
                               << "00001536";
        QTest::newRow("90M") << qint64(92160) * 1024 << qint64(92160) << "90 M"
                             << "00092160";
        QTest::newRow("5G") << qint64(5) * 1024 * 1024 * 1024 << qint64(5242880) << "5120 M"
                            << "05242880";
    }
    void sizeTexts()
    {
        QFETCH(qint64, bytes);
        QFETCH(qint64, kb);
        QFETCH(QString, text);
        QFETCH(QString, key);
        QCOMPARE(sizekb(bytes), kb);
        QCOMPARE(sizetext(kb), text);
        QCOMPARE(sortkey(kb), key);
    }

    void typeTexts_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("type");
        QTest::newRow("gif") << "logo[1].gif"
                             << "gif";
        QTest::newRow("case kept") << "logo[1].GIF"
                                   << "GIF";
        QTest::newRow("last dot") << "a.b.jpg"
                                  << "jpg";
        QTest::newRow("no dot") << "index"
                                << "index";
        QTest::newRow("final dot") << "name."
                                   << "";
        QTest::newRow("hidden style") << ".htaccess"
                                      << "htaccess";
    }
    void typeTexts()
    {
        QFETCH(QString, name);
        QFETCH(QString, type);
        QCOMPARE(typetext(name), type);
    }

    void sizeSteps()
    {
        const QStringList labels{"0K",   "10K", "20K", "30K", "50K", "100K", "200K", "300K",
                                 "500K", "1M",  "2M",  "3M",  "5M",  "10M",  "30M",  "90M"};
        for (int p = 1; p <= 16; ++p)
            QCOMPARE(sizesteplabel(sizestepbound(p)), labels[p - 1]);
        QCOMPARE(sizestepbound(0), qint64(-1));
        QCOMPARE(sizestepbound(17), qint64(-1));
        QCOMPARE(sizesteplabel(1536), QString("1.5M"));
    }

    void megabytes_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << qint64(0) << "0";
        QTest::newRow("1M") << qint64(1048576) << "1";
        QTest::newRow("1.5M") << qint64(1572864) << "1.5";
        QTest::newRow("0.125 to even") << qint64(131072) << "0.12";
        QTest::newRow("0.375 to even") << qint64(393216) << "0.38";
        QTest::newRow("1000000") << qint64(1000000) << "0.95";
        QTest::newRow("3.375") << qint64(3 * 1048576 + 393216) << "3.38";
        QTest::newRow("400M") << qint64(419430400) << "400";
        QTest::newRow("past 32 bits") << qint64(5) * 1024 * 1024 * 1024 << "5120";
    }
    void megabytes()
    {
        QFETCH(qint64, bytes);
        QFETCH(QString, text);
        QCOMPARE(megabytetext(bytes), text);
    }
};

QTEST_GUILESS_MAIN(TestSizes)
#include "tst_sizes.moc"
