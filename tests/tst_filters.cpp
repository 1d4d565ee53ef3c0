#include "filelistbox.h"
#include "resultlistcontrol.h"
#include "testsupport.h"

#include <QFileInfo>
#include <QLabel>
#include <QRadioButton>
#include <QSlider>
#include <QtTest>

using namespace vellomar;
using namespace vellomar::test;

namespace {

// One folder holding a file of each interesting kind, 20 KB each unless named otherwise.
struct FilterFixture {
    CacheFixture f;
    Window w;
    FilterFixture()
    {
        const QString d = f.sub("AAAAAAAA") + "/";
        for (const char *n : {"PHOTO.JPG", "clip.jpeg", "logo.gif", "icon.png", "song.mp3",
                              "voice.WMA", "movie.swf", "video.flv", "index", "page.htm"})
            writefile(d + n, 20 * 1024);
        writefile(d + ".hidden.jpg", 20 * 1024);
        writefile(d + "tiny.jpg", 517);      // 0 KB
        writefile(d + "small.jpg", 518);     // 1 KB
        writefile(d + "ten.jpg", 10240);     // exactly the lower bound
        writefile(d + "tenhalf.jpg", 10752); // 10.5 KB counts as 10
        writefile(d + "five00.jpg", 500 * 1024);
        w.load(f.cacheroot(), f.download());
    }
};

} // namespace

class TestFilters : public QObject
{
    Q_OBJECT
  private slots:
    void typeOptions_data()
    {
        QTest::addColumn<int>("option");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("所有文件") << 0 << QStringList{"clip.jpeg", "five00.jpg",  "icon.png",
                                                      "index",     "logo.gif",    "movie.swf",
                                                      "page.htm",  "PHOTO.JPG",   "song.mp3",
                                                      "ten.jpg",   "tenhalf.jpg", "video.flv",
                                                      "voice.WMA"};
        QTest::newRow("所有音画") << 1 << QStringList{"five00.jpg", "icon.png",    "logo.gif",
                                                      "movie.swf",  "PHOTO.JPG",   "song.mp3",
                                                      "ten.jpg",    "tenhalf.jpg", "video.flv",
                                                      "voice.WMA"};
        QTest::newRow("图片文件") << 2 << QStringList{"five00.jpg", "icon.png", "logo.gif",
                                                      "PHOTO.JPG",  "ten.jpg",  "tenhalf.jpg"};
        QTest::newRow("FLV 视频") << 3 << QStringList{"video.flv"};
        QTest::newRow("JPG 文件") << 4
                                  << QStringList{"five00.jpg", "PHOTO.JPG", "ten.jpg",
                                                 "tenhalf.jpg"};
        QTest::newRow("GIF 文件") << 5 << QStringList{"logo.gif"};
        QTest::newRow("MP3＆WMA") << 6 << QStringList{"song.mp3", "voice.WMA"};
        QTest::newRow("SWF 动画") << 7 << QStringList{"movie.swf"};
    }
    void typeOptions()
    {
        QFETCH(int, option);
        QFETCH(QStringList, rows);
        FilterFixture x;
        x.w->Opt_filetype[size_t(option)]->click();
        QCOMPARE(rownames(x.w), rows);
    }

    // A click on the option already chosen keeps the list, its selection and its preview.
    void clickingTheChosenOptionChangesNothing()
    {
        FilterFixture x;
        x.w.form().show();
        QVERIFY(QTest::qWaitForWindowExposed(x.w.w.get()));
        ResultListControl *l = x.w->Rlt_iecachesubdir;
        const QRect second = l->visualRect(l->model()->index(1, 2));
        QTest::mouseClick(l->viewport(), Qt::LeftButton, {}, second.center());
        QVERIFY(l->RowSelected(1) && !l->RowSelected(0));
        const int builds = x.w.rebuilds;
        QRadioButton *chosen = x.w->Opt_filetype[1];
        QVERIFY(chosen->isChecked());
        QTest::mouseClick(chosen, Qt::LeftButton, {}, QPoint(6, chosen->height() / 2));
        QCOMPARE(x.w.rebuilds, builds);
        QVERIFY(l->RowSelected(1) && !l->RowSelected(0));
        QCOMPARE(l->CurrentRow(), 1);
        // Another option is a change.
        QRadioButton *other = x.w->Opt_filetype[0];
        QTest::mouseClick(other, Qt::LeftButton, {}, QPoint(6, other->height() / 2));
        QCOMPARE(x.w.rebuilds, builds + 1);
        QCOMPARE(rownames(x.w).size(), 13);
    }

    void rowCells()
    {
        FilterFixture x;
        x.w.browser().Opt_filetype_Click(0);
        ResultListControl *l = x.w->Rlt_iecachesubdir;
        const int index = rownames(x.w).indexOf("index");
        QCOMPARE(l->CellText(index, 4), QStringLiteral("index"));
        QCOMPARE(l->CellText(index, 6), QStringLiteral("20 K"));
        QCOMPARE(l->CellText(index, 7), QStringLiteral("00000020"));
        QCOMPARE(l->CellText(index, 1), QString());
        const int photo = rownames(x.w).indexOf("PHOTO.JPG");
        QCOMPARE(l->CellText(photo, 4), QStringLiteral("JPG"));
        // The number cell shows the row's position, whatever file lies between.
        QCOMPARE(l->CellText(photo, 0), QString::number(photo + 1));
        // The row's own data travels with it in the model.
        const QModelIndex at = l->model()->index(photo, 0);
        QCOMPARE(at.data(ResultListModel::NameRole).toString(), QStringLiteral("PHOTO.JPG"));
        QCOMPARE(at.data(ResultListModel::TypeRole).toString(), QStringLiteral("JPG"));
        QCOMPARE(at.data(ResultListModel::SizeRole).toLongLong(),
                 QFileInfo(x.w->flt_iecachesubdir->Path() + "/PHOTO.JPG").size());
        QCOMPARE(at.data(ResultListModel::PathRole).toString(),
                 x.w->flt_iecachesubdir->Path() + "/PHOTO.JPG");
    }

    void anUnknownOptionKeepsThePatternAndRebuilds()
    {
        FilterFixture x;
        const QStringList before = rownames(x.w);
        const int builds = x.w.rebuilds;
        x.w.browser().Opt_filetype_Click(9);
        QCOMPARE(x.w.rebuilds, builds + 1);
        QCOMPARE(rownames(x.w), before);
    }

    void sliderCoupling_data()
    {
        QTest::addColumn<QString>("slider");
        QTest::addColumn<int>("minstart");
        QTest::addColumn<int>("maxstart");
        QTest::addColumn<int>("moveto");
        QTest::addColumn<int>("minend");
        QTest::addColumn<int>("maxend");
        QTest::addColumn<QString>("minlabel");
        QTest::addColumn<QString>("maxlabel");
        QTest::newRow("lower onto upper pushes it") << "min" << 2 << 10 << 10 << 10 << 11 << "1M"
                                                    << "2M";
        QTest::newRow("upper onto lower pushes it") << "max" << 5 << 16 << 5 << 4 << 5 << "30K"
                                                    << "50K";
        QTest::newRow("lower at 16 stays") << "min" << 2 << 12 << 16 << 16 << 12 << "90M"
                                           << "3M";
        QTest::newRow("upper at 1 stays") << "max" << 6 << 16 << 1 << 6 << 1 << "100K"
                                          << "0K";
        QTest::newRow("lower below upper") << "min" << 2 << 16 << 5 << 5 << 16 << "50K"
                                           << "90M";
        QTest::newRow("upper above lower") << "max" << 2 << 16 << 9 << 2 << 9 << "10K"
                                           << "500K";
    }
    void sliderCoupling()
    {
        QFETCH(QString, slider);
        QFETCH(int, minstart);
        QFETCH(int, maxstart);
        QFETCH(int, moveto);
        QFETCH(int, minend);
        QFETCH(int, maxend);
        QFETCH(QString, minlabel);
        QFETCH(QString, maxlabel);
        FilterFixture x;
        x.w->SlD_maxfilesize->setValue(maxstart);
        x.w->SlD_minfilesize->setValue(minstart);
        QCOMPARE(x.w->SlD_minfilesize->value(), minstart);
        QCOMPARE(x.w->SlD_maxfilesize->value(), maxstart);
        const int before = x.w.rebuilds;
        (slider == "min" ? x.w->SlD_minfilesize : x.w->SlD_maxfilesize)->setValue(moveto);
        QCOMPARE(x.w.rebuilds, before + 1);
        QCOMPARE(x.w->SlD_minfilesize->value(), minend);
        QCOMPARE(x.w->SlD_maxfilesize->value(), maxend);
        QCOMPARE(x.w->lbl_minfilesize->text(), minlabel);
        QCOMPARE(x.w->lbl_maxfilesize->text(), maxlabel);
    }

    void sizeRange()
    {
        FilterFixture x;
        x.w.browser().Opt_filetype_Click(4); // JPG
        QCOMPARE(rownames(x.w), QStringList({"five00.jpg", "PHOTO.JPG", "ten.jpg", "tenhalf.jpg"}));
        // Upper at 500K keeps the 500 KB file, 300K drops it.
        x.w->SlD_maxfilesize->setValue(9);
        QVERIFY(rownames(x.w).contains("five00.jpg"));
        x.w->SlD_maxfilesize->setValue(8);
        QVERIFY(!rownames(x.w).contains("five00.jpg"));
        // Both at the bottom: only files of 0 KB.
        x.w->SlD_minfilesize->setValue(1);
        x.w->SlD_maxfilesize->setValue(1);
        QCOMPARE(x.w->SlD_minfilesize->value(), 1);
        QCOMPARE(rownames(x.w), QStringList({"tiny.jpg"}));
        // Lower at 16 above the upper: nothing, nothing selected.
        x.w->SlD_maxfilesize->setValue(12);
        x.w->SlD_minfilesize->setValue(16);
        QCOMPARE(x.w->Rlt_iecachesubdir->RowCount(), 0);
        QCOMPARE(x.w->Rlt_iecachesubdir->CurrentRow(), -1);
    }

    void rowNumbersHaveNoGaps()
    {
        FilterFixture x;
        x.w.browser().Opt_filetype_Click(0);
        x.w->Rlt_iecachesubdir->resize(400, 600);
        x.w->Rlt_iecachesubdir->grab(); // paint every row
        const int n = x.w->Rlt_iecachesubdir->RowCount();
        QVERIFY(n > 5);
        for (int r = 0; r < n; ++r)
            QCOMPARE(x.w->Rlt_iecachesubdir->CellText(r, 0), QString::number(r + 1));
        // Files left out between rows do not leave holes either.
        QCOMPARE(x.w->Rlt_iecachesubdir->model()
                     ->data(x.w->Rlt_iecachesubdir->model()->index(2, 0), Qt::AccessibleTextRole)
                     .toString(),
                 QStringLiteral("3"));
    }
};

QTEST_MAIN(TestFilters)
#include "tst_filters.moc"
