#pragma once

#include "cacherecords.h"
#include "icustomdraw.h"

#include <QAbstractTableModel>
#include <QStyledItemDelegate>
#include <QTableView>
#include <array>
#include <functional>
#include <memory>
#include <vector>

namespace vellomar {

// What a row stands for, kept with it in the model: nothing is read back from display text.
struct ResultRow {
    QString name; // the file's name in the folder listed
    QString type; // its class, as the type column shows it
    qint64 bytes = -1;
    QString path;                              // the file's full path when it was listed
    std::shared_ptr<const CacheRecord> record; // what the cache's index.dat says of it
};

// Rows and columns of the result list. While painting is suspended, rows are added without
// telling any view; the view learns of them in one reset when painting resumes.
class ResultListModel : public QAbstractTableModel
{
    Q_OBJECT
  public:
    static constexpr int maxcolumns = 8;
    enum Role { NameRole = Qt::UserRole + 1, TypeRole, SizeRole, PathRole, AddressRole };

    // Columns that show a row's own data rather than a stored text (one stored wins): its
    // name, its type, its size ("15 K") and the size's sort key; -1 for none.
    struct FileColumns {
        int name = -1;
        int type = -1;
        int size = -1;
        int sortsize = -1;
    };

    struct Column {
        QString key;
        QString caption;
        int alignment = 0;
        int width = 0;
        bool flag1 = true;
        bool flag2 = true;
    };

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

    bool addcolumn(const Column &column);
    const Column &column(int c) const { return m_columns[size_t(c)]; }
    void clear();
    int addrow();
    void reserve(int rows);
    // The column that shows each row's position (counting from 1) instead of a stored text.
    void setnumbercolumn(int column) { m_numbercolumn = column; }
    void setfilecolumns(const FileColumns &columns) { m_filecolumns = columns; }
    // The folder listed: a row added by addfile() has the path of its name in it.
    void setfolder(const QString &folder) { m_folder = folder; }
    // A row for a file of the folder; `type` is best shared between rows of one type.
    int addfile(const QString &name, const QString &type, qint64 bytes);
    QString celltext(int row, int column) const;
    // The row's own data; an empty row for one that does not exist.
    ResultRow rowdata(int row) const;
    void setrowdata(int row, ResultRow data);
    // The row's name alone; empty for a row that does not exist.
    const QString &name(int row) const;
    void setrecord(int row, std::shared_ptr<const CacheRecord> record);
    bool setcelltext(int row, int column, const QString &text);
    int rowstate(int row) const;
    void setrowstate(int row, int state);

    void suspend();
    void resume();
    bool suspended() const { return m_suspended; }

  private:
    // Lean, as a cache folder may list a hundred thousand files: a listed file's path and its
    // size texts are worked out when asked for, and stored texts take room only once set.
    struct Row {
        QString name;
        QString type;
        qint64 bytes = -1;
        std::shared_ptr<const CacheRecord> record;
        QString path; // as given with the row's data; empty for a listed file
        std::unique_ptr<std::array<QString, maxcolumns>> cells;
        int state = 0;
        bool listed = false; // added by addfile(): its path is the folder's and its name
    };
    QString pathof(const Row &row) const;
    void announcedata(int row);

    std::vector<Column> m_columns;
    std::vector<Row> m_rows;
    bool m_suspended = false;
    int m_numbercolumn = -1;
    FileColumns m_filecolumns;
    QString m_folder;
    std::function<QString(const CacheRecord &)> m_describe;

  public:
    // The words a row's record shows as its tooltip; recorddescription() when none is set.
    void setdescriber(std::function<QString(const CacheRecord &)> describe)
    {
        m_describe = std::move(describe);
    }
};

// Paints each cell in the colours the draw handler chooses.
class ResultListDelegate : public QStyledItemDelegate
{
    Q_OBJECT
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void sethandler(ICustomDraw *handler) { m_handler = handler; }
    ICustomDraw *handler() const { return m_handler; }
    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;

  private:
    ICustomDraw *m_handler = nullptr;
};

// The result list control: a table view with the operations and notifications the main
// window relies on. Changes made through these operations raise no notification.
class ResultListControl : public QTableView
{
    Q_OBJECT
  public:
    explicit ResultListControl(QWidget *parent = nullptr);

    void Clear();
    bool AddColumn(const QString &key, const QString &caption, int alignment, int width, bool flag1,
                   bool flag2);
    int AddRow();
    QString CellText(int row, int column) const;
    void setCellText(int row, int column, const QString &text);
    // The row's own data; an empty row for one that does not exist.
    ResultRow RowData(int row) const;
    void setRowData(int row, ResultRow data);
    void setNumberColumn(int column) { m_model->setnumbercolumn(column); }
    void setFileColumns(const ResultListModel::FileColumns &columns)
    {
        m_model->setfilecolumns(columns);
    }
    void setFolder(const QString &folder) { m_model->setfolder(folder); }
    void ReserveRows(int rows) { m_model->reserve(rows); }
    int AddFileRow(const QString &name, const QString &type, qint64 bytes)
    {
        return m_model->addfile(name, type, bytes);
    }
    const QString &RowName(int row) const { return m_model->name(row); }
    void setRowRecord(int row, std::shared_ptr<const CacheRecord> record)
    {
        m_model->setrecord(row, std::move(record));
    }
    bool RowSelected(int row) const;
    void setRowSelected(int row, bool selected);
    int RowState(int row) const;
    void setRowState(int row, int state);
    int RowCount() const;
    int CurrentRow() const;
    void setCurrentRow(int row);
    bool Redraw() const;
    void setRedraw(bool on);
    // Off while something covers the list: the current row moves without scrolling, and the list
    // scrolls to it once it follows again.
    void setfollowscurrent(bool on);
    ICustomDraw *CustomDrawHandler() const;
    void setCustomDrawHandler(ICustomDraw *handler);

    ResultListModel *listmodel() const { return m_model; }

  signals:
    void RowClick(int row);
    void RowDblClick(int row);
    void ListKey(int keycode, int shift);

  protected:
    void keyPressEvent(QKeyEvent *event) override;

  private:
    void applycolumnwidths();

    ResultListModel *m_model;
    ResultListDelegate *m_delegate;
    bool m_follows = true;
};

} // namespace vellomar
