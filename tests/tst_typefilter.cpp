#include "typefilter.h"

#include <QtTest>

using namespace vellomar;

class TestTypeFilter : public QObject
{
    Q_OBJECT
  private slots:
    void masks_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("mask");
        QTest::addColumn<bool>("matches");
        QTest::newRow("plain") << "logo[1].gif"
                               << "*.gif" << true;
        QTest::newRow("upper case name") << "PHOTO.JPG"
                                         << "*.jpg" << true;
        QTest::newRow("upper case mask") << "photo.jpg"
                                         << "*.JPG" << true;
        QTest::newRow("jpeg is not jpg") << "clip.jpeg"
                                         << "*.jpg" << false;
        QTest::newRow("jpg.x is not jpg") << "a.jpg.htm"
                                          << "*.jpg" << false;
        QTest::newRow("star dot star, no dot") << "index"
                                               << "*.*" << true;
        QTest::newRow("star dot star, dot") << "a.b.c"
                                            << "*.*" << true;
        QTest::newRow("no extension vs jpg") << "jpg"
                                             << "*.jpg" << false;
        QTest::newRow("question mark") << "a1.gif"
                                       << "a?.gif" << true;
        QTest::newRow("brackets literal") << "x[1].swf"
                                          << "x[1].swf" << true;
        QTest::newRow("empty mask") << "a"
                                    << "" << false;
        // Letters alone differ by case: "@" and "`", "[" and "{" differ by the same bit.
        QTest::newRow("at is not backquote") << "a@.gif"
                                             << "a`.gif" << false;
        QTest::newRow("bracket is not brace") << "x[1].swf"
                                              << "x{1}.swf" << false;
        QTest::newRow("mixed case letters") << "MoViE.SwF"
                                            << "mOvIe.sWf" << true;
        // Beyond ASCII a letter matches what it folds to.
        QTest::newRow("Kelvin sign is k") << QString::fromUtf8("\u212A.gif") << "k.gif" << true;
        QTest::newRow("accented upper case") << QString::fromUtf8("\u00C9T\u00C9.jpg")
                                             << QString::fromUtf8("\u00E9t\u00E9.JPG") << true;
        QTest::newRow("accent is not plain") << QString::fromUtf8("\u00E9.jpg") << "e.jpg" << false;
    }
    void masks()
    {
        QFETCH(QString, name);
        QFETCH(QString, mask);
        QFETCH(bool, matches);
        QCOMPARE(matchesmask(name, mask), matches);
    }

    void options_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("selectedBy"); // indexes of the options that list it
        QTest::newRow("PHOTO.JPG") << "PHOTO.JPG"
                                   << "0124";
        QTest::newRow("clip.jpeg") << "clip.jpeg"
                                   << "0";
        QTest::newRow("logo.gif") << "logo.gif"
                                  << "0125";
        QTest::newRow("icon.png") << "icon.png"
                                  << "012";
        QTest::newRow("song.Mp3") << "song.Mp3"
                                  << "016";
        QTest::newRow("voice.wma") << "voice.wma"
                                   << "016";
        QTest::newRow("movie.swf") << "movie.swf"
                                   << "017";
        QTest::newRow("video.FLV") << "video.FLV"
                                   << "013";
        QTest::newRow("index") << "index"
                               << "0";
        QTest::newRow("page.htm") << "page.htm"
                                  << "0";
    }
    void options()
    {
        QFETCH(QString, name);
        QFETCH(QString, selectedBy);
        QString got;
        for (int i = 0; i < int(typeoptions.size()); ++i) {
            if (matchespattern(name, QString::fromUtf16(typeoptions[size_t(i)].pattern)))
                got += QString::number(i);
        }
        QCOMPARE(got, selectedBy);
    }

    void longNamesStayLinear()
    {
        // A hostile name full of stars' worth of backtracking still answers at once.
        const QString name = QString(5000, QLatin1Char('a'));
        QVERIFY(!matchesmask(name, QStringLiteral("*a*a*a*a*a*a*b")));
    }
};

QTEST_GUILESS_MAIN(TestTypeFilter)
#include "tst_typefilter.moc"
