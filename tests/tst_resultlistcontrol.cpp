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

    void fileRowsShowTheirOwnData_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("size");
        QTest::addColumn<QString>("sortsize");
        QTest::newRow("empty file") << qint64(0) << "0 K"
                                    << "00000000";
        QTest::newRow("kilobytes") << qint64(15 * 1024) << "15 K"
                                   << "00000015";
        QTest::newRow("megabytes") << qint64(1100 * 1024) << "1.07 M"
                                   << "00001100";
        QTest::newRow("no size") << qint64(-1) << ""
                                 << "";
    }
    void fileRowsShowTheirOwnData()
    {
        QFETCH(qint64, bytes);
        QFETCH(QString, size);
        QFETCH(QString, sortsize);
        ResultListControl list;
        addcolumns(list);
        list.setNumberColumn(0);
        list.setFileColumns({2, 4, 6, 7});
        list.setFolder(QStringLiteral("/cache/AB12CD34"));
        list.ReserveRows(2);
        const int r = list.AddFileRow(QStringLiteral("a[1].JPG"), QStringLiteral("JPG"), bytes);
        QCOMPARE(r, 0);
        QCOMPARE(list.CellText(r, 0), QStringLiteral("1"));
        QCOMPARE(list.CellText(r, 2), QStringLiteral("a[1].JPG"));
        QCOMPARE(list.CellText(r, 4), QStringLiteral("JPG"));
        QCOMPARE(list.CellText(r, 6), size);
        QCOMPARE(list.CellText(r, 7), sortsize);
        QCOMPARE(list.CellText(r, 1), QString());
        const QModelIndex i = list.model()->index(r, 6);
        QCOMPARE(i.data(Qt::DisplayRole).toString(), size);
        QCOMPARE(i.data(Qt::AccessibleTextRole).toString(), size);
        QCOMPARE(i.data(ResultListModel::NameRole).toString(), QStringLiteral("a[1].JPG"));
        QCOMPARE(i.data(ResultListModel::TypeRole).toString(), QStringLiteral("JPG"));
        QCOMPARE(i.data(ResultListModel::SizeRole).toLongLong(), bytes);
        // Its path is the folder's and its name.
        const QString path = QStringLiteral("/cache/AB12CD34/a[1].JPG");
        QCOMPARE(i.data(ResultListModel::PathRole).toString(), path);
        const ResultRow row = list.RowData(r);
        QCOMPARE(row.name, QStringLiteral("a[1].JPG"));
        QCOMPARE(row.type, QStringLiteral("JPG"));
        QCOMPARE(row.bytes, bytes);
        QCOMPARE(row.path, path);
        QVERIFY(!row.record);
        QCOMPARE(list.RowName(r), QStringLiteral("a[1].JPG"));
        QCOMPARE(list.RowName(5), QString());
        // A text stored in a cell is what it shows.
        list.setCellText(r, 4, QStringLiteral("other"));
        QCOMPARE(list.CellText(r, 4), QStringLiteral("other"));
        QCOMPARE(list.CellText(r, 2), QStringLiteral("a[1].JPG"));
    }

    void rowsGivenTheirDataKeepIt()
    {
        ResultListControl list;
        addcolumns(list);
        list.setFileColumns({2, 4, 6, 7});
        list.setFolder(QStringLiteral("/cache/AB12CD34"));
        const int r = list.AddRow();
        list.setRowData(r, {QStringLiteral("b.gif"),
                            QStringLiteral("gif"),
                            2048,
                            QStringLiteral("/elsewhere/b.gif"),
                            {}});
        QCOMPARE(list.RowData(r).path, QStringLiteral("/elsewhere/b.gif"));
        QCOMPARE(list.model()->index(r, 0).data(ResultListModel::PathRole).toString(),
                 QStringLiteral("/elsewhere/b.gif"));
        QCOMPARE(list.CellText(r, 6), QStringLiteral("2 K"));
        // A listed file's row given data of its own keeps that too.
        const int f = list.AddFileRow(QStringLiteral("c.gif"), QStringLiteral("gif"), 1);
        list.setRowData(f, {QStringLiteral("c.gif"),
                            QStringLiteral("gif"),
                            1,
                            QStringLiteral("/moved/c.gif"),
                            {}});
        QCOMPARE(list.RowData(f).path, QStringLiteral("/moved/c.gif"));
        QCOMPARE(list.RowData(7).name, QString());
        QCOMPARE(list.RowData(7).bytes, qint64(-1));
    }

    void aRecordIsSharedWithItsRow()
    {
        ResultListControl list;
        addcolumns(list);
        list.setFileColumns({2, 4, 6, 7});
        list.AddFileRow(QStringLiteral("a.jpg"), QStringLiteral("jpg"), 100);
        list.AddFileRow(QStringLiteral("b.jpg"), QStringLiteral("jpg"), 100);
        auto record = std::make_shared<CacheRecord>();
        record->address = QStringLiteral("http://example.com/a.jpg");
        record->contenttype = QStringLiteral("image/jpeg");
        QSignalSpy changes(list.model(), &QAbstractItemModel::dataChanged);
        list.setRowRecord(0, record);
        list.setRowRecord(9, record); // no such row: nothing happens
        QCOMPARE(changes.count(), 1);
        const QModelIndex a = list.model()->index(0, 2), b = list.model()->index(1, 2);
        QCOMPARE(a.data(ResultListModel::AddressRole).toString(), record->address);
        QCOMPARE(a.data(Qt::ToolTipRole).toString(), recorddescription(*record));
        QCOMPARE(a.data(Qt::AccessibleDescriptionRole).toString(), recorddescription(*record));
        QCOMPARE(list.RowData(0).record.get(), record.get());
        QCOMPARE(b.data(ResultListModel::AddressRole).toString(), QString());
        QVERIFY(!b.data(Qt::ToolTipRole).isValid());
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
