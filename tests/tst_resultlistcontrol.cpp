#include "resultlistcontrol.h"

#include <QSignalSpy>
#include <QtTest>

using namespace vellomar;

namespace {

class RecordingDraw : public ICustomDraw
{
  public:
    QList<QPair<int, int>> cells;
    bool ICustomDraw_CustomDraw(int row, int column, OleColor &background, OleColor &text) override
    {
        cells << qMakePair(row, column);
        background = rgb(1, 2, 3);
        text = rgb(4, 5, 6);
        return true;
    }
};

void addcolumns(ResultListControl &list)
{
    const char *keys[] = {"id", "l1", "fn", "l2", "type", "l3", "size", "sortsize"};
    for (int c = 0; c < 8; ++c)
        QVERIFY(list.AddColumn(keys[c], QStringLiteral("c%1").arg(c), 2, 50, c % 2 == 0 || c == 7,
                               true));
}

} // namespace

class TestResultListControl : public QObject
{
    Q_OBJECT
  private slots:
    void operations()
    {
        ResultListControl list;
        addcolumns(list);
        QVERIFY(!list.AddColumn("extra", "extra", 2, 10, true, true)); // eight is all it holds
        QCOMPARE(list.RowCount(), 0);
        QCOMPARE(list.CurrentRow(), -1);
        QCOMPARE(list.AddRow(), 0);
        QCOMPARE(list.AddRow(), 1);
        list.setCellText(1, 2, QStringLiteral("b.jpg"));
        QCOMPARE(list.CellText(1, 2), QStringLiteral("b.jpg"));
        QCOMPARE(list.CellText(5, 2), QString());
        QCOMPARE(list.model()->headerData(2, Qt::Horizontal).toString(), QStringLiteral("c2"));

        list.setRowSelected(0, true);
        list.setRowSelected(1, true);
        QVERIFY(list.RowSelected(0) && list.RowSelected(1));
        list.setRowSelected(0, false);
        QVERIFY(!list.RowSelected(0) && list.RowSelected(1));
        list.setCurrentRow(1);
        QCOMPARE(list.CurrentRow(), 1);
        QCOMPARE(list.RowState(1), 0);
        list.setRowState(1, 2);
        QCOMPARE(list.RowState(1), 2);

        list.Clear();
        QCOMPARE(list.RowCount(), 0);
        QCOMPARE(list.model()->columnCount(), 8);
    }

    void separatorsAreOnePixel()
    {
        ResultListControl list;
        addcolumns(list);
        QCOMPARE(list.columnWidth(1), 1);
        QCOMPARE(list.columnWidth(3), 1);
        QCOMPARE(list.columnWidth(5), 1);
        QCOMPARE(list.columnWidth(2), 50);
    }

    void suspendedRowsArriveInOneReset()
    {
        ResultListControl list;
        addcolumns(list);
        QSignalSpy resets(list.model(), &QAbstractItemModel::modelReset);
        QSignalSpy inserts(list.model(), &QAbstractItemModel::rowsInserted);
        list.setRedraw(false);
        QVERIFY(!list.Redraw());
        for (int i = 0; i < 1000; ++i)
            list.setCellText(list.AddRow(), 2, QString::number(i));
        list.setRedraw(true);
        QVERIFY(list.Redraw());
        QCOMPARE(resets.count(), 1);
        QCOMPARE(inserts.count(), 0);
        QCOMPARE(list.RowCount(), 1000);
        QCOMPARE(list.CellText(999, 2), QStringLiteral("999"));
    }

    void notificationsComeFromTheUserOnly()
    {
        ResultListControl list;
        addcolumns(list);
        for (int i = 0; i < 3; ++i)
            list.setCellText(list.AddRow(), 2, QStringLiteral("row%1").arg(i));
        list.resize(400, 300);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        QSignalSpy clicks(&list, &ResultListControl::RowClick);
        QSignalSpy doubles(&list, &ResultListControl::RowDblClick);
        QSignalSpy keys(&list, &ResultListControl::ListKey);

        list.setRowSelected(1, true);
        list.setCurrentRow(1);
        QCOMPARE(clicks.count(), 0);

        const QPoint row2 = list.visualRect(list.model()->index(2, 2)).center();
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, row2);
        QCOMPARE(clicks.count(), 1);
        QCOMPARE(clicks.last().at(0).toInt(), 2);
        QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, row2);
        QCOMPARE(doubles.count(), 1);
        QCOMPARE(doubles.last().at(0).toInt(), 2);

        QTest::keyClick(&list, Qt::Key_Return);
        QCOMPARE(keys.last().at(0).toInt(), 13);
        QTest::keyClick(&list, Qt::Key_Escape, Qt::ShiftModifier);
        QCOMPARE(keys.last().at(0).toInt(), 27);
        QCOMPARE(keys.last().at(1).toInt(), 1);
        // Up moves the current row and previews it like a click.
        const int before = clicks.count();
        QTest::keyClick(&list, Qt::Key_Up);
        QCOMPARE(keys.last().at(0).toInt(), 38);
        QCOMPARE(list.CurrentRow(), 1);
        QCOMPARE(clicks.count(), before + 1);
        QCOMPARE(clicks.last().at(0).toInt(), 1);
    }

    void drawHandlerColoursEveryPaintedCell()
    {
        ResultListControl list;
        addcolumns(list);
        list.setCellText(list.AddRow(), 2, QStringLiteral("a"));
        list.setCellText(list.AddRow(), 2, QStringLiteral("b"));
        RecordingDraw draw;
        list.setCustomDrawHandler(&draw);
        QCOMPARE(list.CustomDrawHandler(), &draw);
        list.resize(500, 200);
        const QImage shot = list.grab().toImage();
        for (int r = 0; r < 2; ++r)
            for (int c = 0; c < 8; ++c)
                QVERIFY2(draw.cells.contains(qMakePair(r, c)),
                         qPrintable(QStringLiteral("%1,%2").arg(r).arg(c)));
        const QRect cell = list.visualRect(list.model()->index(0, 4));
        const QPoint at = list.viewport()->mapTo(&list, cell.topLeft() + QPoint(1, 1));
        QCOMPARE(shot.pixelColor(at), QColor(1, 2, 3));
    }
};

QTEST_MAIN(TestResultListControl)
#include "tst_resultlistcontrol.moc"
