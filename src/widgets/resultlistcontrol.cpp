#include "resultlistcontrol.h"

#include "keys.h"
#include "platform.h"
#include "sizes.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>

namespace vellomar {

namespace {

QColor qcolour(OleColor c)
{
    return QColor(redof(c), greenof(c), blueof(c));
}

OleColor olecolour(const QColor &c)
{
    return rgb(c.red(), c.green(), c.blue());
}

Qt::Alignment alignmentof(int code)
{
    switch (code) {
    case 1:
        return Qt::AlignRight | Qt::AlignVCenter;
    case 2:
        return Qt::AlignHCenter | Qt::AlignVCenter;
    default:
        return Qt::AlignLeft | Qt::AlignVCenter;
    }
}

} // namespace

int ResultListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int ResultListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant ResultListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || size_t(index.row()) >= m_rows.size())
        return {};
    const Row &row = m_rows[size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return celltext(index.row(), index.column());
    case NameRole:
        return row.name;
    case TypeRole:
        return row.type;
    case SizeRole:
        return row.bytes;
    case PathRole:
        return pathof(row);
    case AddressRole:
        return row.record ? row.record->address : QString();
    case Qt::ToolTipRole:
    case Qt::AccessibleDescriptionRole:
        // Rows without a record keep no tooltip.
        if (!row.record)
            return QVariant();
        return m_describe ? m_describe(*row.record) : recorddescription(*row.record);
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(alignmentof(m_columns[size_t(index.column())].alignment));
    default:
        return {};
    }
}

QVariant ResultListModel::headerData(int section, Qt::Orientation o, int role) const
{
    if (o != Qt::Horizontal || section < 0 || size_t(section) >= m_columns.size())
        return {};
    const Column &c = m_columns[size_t(section)];
    if (role == Qt::DisplayRole)
        return c.caption;
    if (role == Qt::AccessibleTextRole)
        return c.caption.isEmpty() ? QString() : c.caption;
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(alignmentof(c.alignment));
    return {};
}

bool ResultListModel::addcolumn(const Column &column)
{
    if (m_columns.size() >= size_t(maxcolumns))
        return false;
    if (m_suspended) {
        m_columns.push_back(column);
        return true;
    }
    const int c = int(m_columns.size());
    beginInsertColumns({}, c, c);
    m_columns.push_back(column);
    endInsertColumns();
    return true;
}

void ResultListModel::clear()
{
    if (m_suspended) {
        m_rows.clear();
        return;
    }
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

int ResultListModel::addrow()
{
    const int r = int(m_rows.size());
    if (m_suspended) {
        m_rows.emplace_back();
        return r;
    }
    beginInsertRows({}, r, r);
    m_rows.emplace_back();
    endInsertRows();
    return r;
}

void ResultListModel::reserve(int rows)
{
    if (rows > 0)
        m_rows.reserve(size_t(rows));
}

int ResultListModel::addfile(const QString &name, const QString &type, qint64 bytes)
{
    const int r = addrow();
    Row &row = m_rows[size_t(r)];
    row.name = name;
    row.type = type;
    row.bytes = bytes;
    row.listed = true;
    return r;
}

QString ResultListModel::pathof(const Row &row) const
{
    return row.listed ? m_folder + separator() + row.name : row.path;
}

QString ResultListModel::celltext(int row, int column) const
{
    if (row < 0 || size_t(row) >= m_rows.size() || column < 0 || column >= maxcolumns)
        return {};
    if (column == m_numbercolumn)
        return QString::number(row + 1);
    const Row &r = m_rows[size_t(row)];
    if (r.cells && !(*r.cells)[size_t(column)].isEmpty())
        return (*r.cells)[size_t(column)];
    if (column == m_filecolumns.name)
        return r.name;
    if (column == m_filecolumns.type)
        return r.type;
    if ((column == m_filecolumns.size || column == m_filecolumns.sortsize) && r.bytes >= 0) {
        const qint64 kb = sizekb(r.bytes);
        return column == m_filecolumns.size ? sizetext(kb) : sortkey(kb);
    }
    return {};
}

ResultRow ResultListModel::rowdata(int row) const
{
    if (row < 0 || size_t(row) >= m_rows.size())
        return {};
    const Row &r = m_rows[size_t(row)];
    return {r.name, r.type, r.bytes, pathof(r), r.record};
}

void ResultListModel::setrowdata(int row, ResultRow data)
{
    if (row < 0 || size_t(row) >= m_rows.size())
        return;
    Row &r = m_rows[size_t(row)];
    r.name = std::move(data.name);
    r.type = std::move(data.type);
    r.bytes = data.bytes;
    r.path = std::move(data.path);
    r.record = std::move(data.record);
    r.listed = false;
    announcedata(row);
}

const QString &ResultListModel::name(int row) const
{
    static const QString none;
    return row >= 0 && size_t(row) < m_rows.size() ? m_rows[size_t(row)].name : none;
}

void ResultListModel::setrecord(int row, std::shared_ptr<const CacheRecord> record)
{
    if (row < 0 || size_t(row) >= m_rows.size())
        return;
    m_rows[size_t(row)].record = std::move(record);
    announcedata(row);
}

void ResultListModel::announcedata(int row)
{
    if (!m_suspended && !m_columns.empty())
        emit dataChanged(index(row, 0), index(row, int(m_columns.size()) - 1),
                         {NameRole, TypeRole, SizeRole, PathRole, AddressRole, Qt::ToolTipRole,
                          Qt::AccessibleDescriptionRole});
}

bool ResultListModel::setcelltext(int row, int column, const QString &text)
{
    if (row < 0 || size_t(row) >= m_rows.size() || column < 0 || column >= maxcolumns)
        return false;
    auto &cells = m_rows[size_t(row)].cells;
    if (!cells) {
        if (text.isEmpty())
            return true;
        cells = std::make_unique<std::array<QString, maxcolumns>>();
    }
    QString &cell = (*cells)[size_t(column)];
    if (cell == text)
        return true;
    cell = text;
    if (!m_suspended && size_t(column) < m_columns.size()) {
        const QModelIndex i = index(row, column);
        emit dataChanged(i, i, {Qt::DisplayRole});
    }
    return true;
}

int ResultListModel::rowstate(int row) const
{
    return row >= 0 && size_t(row) < m_rows.size() ? m_rows[size_t(row)].state : 0;
}

void ResultListModel::setrowstate(int row, int state)
{
    if (row < 0 || size_t(row) >= m_rows.size())
        return;
    m_rows[size_t(row)].state = state;
    if (!m_suspended && !m_columns.empty())
        emit dataChanged(index(row, 0), index(row, int(m_columns.size()) - 1));
}

void ResultListModel::suspend()
{
    if (m_suspended)
        return;
    // Views are told up front that everything changes, and look again only at resume().
    beginResetModel();
    m_suspended = true;
}

void ResultListModel::resume()
{
    if (!m_suspended)
        return;
    m_suspended = false;
    endResetModel();
}

void ResultListDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                               const QModelIndex &index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const bool selected = opt.state & QStyle::State_Selected;
    OleColor back =
        olecolour(selected ? opt.palette.highlight().color() : opt.palette.base().color());
    OleColor fore =
        olecolour(selected ? opt.palette.highlightedText().color() : opt.palette.text().color());
    if (m_handler)
        m_handler->ICustomDraw_CustomDraw(index.row(), index.column(), back, fore);

    painter->save();
    painter->fillRect(opt.rect, qcolour(back));
    const QString text = index.data(Qt::DisplayRole).toString();
    if (!text.isEmpty()) {
        const QRect r = opt.rect.adjusted(2, 0, -2, 0);
        painter->setPen(qcolour(fore));
        painter->setFont(opt.font);
        painter->drawText(r, int(opt.displayAlignment),
                          opt.fontMetrics.elidedText(text, Qt::ElideRight, r.width()));
    }
    painter->restore();
}

ResultListControl::ResultListControl(QWidget *parent)
    : QTableView(parent), m_model(new ResultListModel(this)),
      m_delegate(new ResultListDelegate(this))
{
    setModel(m_model);
    setItemDelegate(m_delegate);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(false);
    setWordWrap(false);
    setTabKeyNavigation(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    horizontalHeader()->setMinimumSectionSize(1);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsClickable(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);

    connect(this, &QAbstractItemView::clicked, this,
            [this](const QModelIndex &i) { emit RowClick(i.row()); });
    connect(this, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex &i) { emit RowDblClick(i.row()); });
    connect(m_model, &QAbstractItemModel::modelReset, this, &ResultListControl::applycolumnwidths);
    connect(m_model, &QAbstractItemModel::columnsInserted, this,
            &ResultListControl::applycolumnwidths);
}

void ResultListControl::applycolumnwidths()
{
    for (int c = 0; c < m_model->columnCount(); ++c) {
        const auto &col = m_model->column(c);
        // Columns added with the first flag off are the one-pixel separators.
        horizontalHeader()->setSectionResizeMode(c, col.flag1 ? QHeaderView::Interactive
                                                              : QHeaderView::Fixed);
        horizontalHeader()->resizeSection(c, col.flag1 ? col.width : 1);
    }
}

void ResultListControl::Clear()
{
    m_model->clear();
}

bool ResultListControl::AddColumn(const QString &key, const QString &caption, int alignment,
                                  int width, bool flag1, bool flag2)
{
    return m_model->addcolumn({key, caption, alignment, width, flag1, flag2});
}

int ResultListControl::AddRow()
{
    return m_model->addrow();
}

QString ResultListControl::CellText(int row, int column) const
{
    return m_model->celltext(row, column);
}

void ResultListControl::setCellText(int row, int column, const QString &text)
{
    m_model->setcelltext(row, column, text);
}

ResultRow ResultListControl::RowData(int row) const
{
    return m_model->rowdata(row);
}

void ResultListControl::setRowData(int row, ResultRow data)
{
    m_model->setrowdata(row, std::move(data));
}

bool ResultListControl::RowSelected(int row) const
{
    if (m_model->suspended() || row < 0 || row >= m_model->rowCount())
        return false;
    return selectionModel()->isRowSelected(row, {});
}

void ResultListControl::setRowSelected(int row, bool selected)
{
    if (m_model->suspended() || row < 0 || row >= m_model->rowCount())
        return;
    selectionModel()->select(m_model->index(row, 0), (selected ? QItemSelectionModel::Select
                                                               : QItemSelectionModel::Deselect) |
                                                         QItemSelectionModel::Rows);
}

int ResultListControl::RowState(int row) const
{
    return m_model->rowstate(row);
}

void ResultListControl::setRowState(int row, int state)
{
    m_model->setrowstate(row, state);
}

int ResultListControl::RowCount() const
{
    return m_model->rowCount();
}

int ResultListControl::CurrentRow() const
{
    if (m_model->suspended())
        return -1;
    const QModelIndex i = selectionModel()->currentIndex();
    return i.isValid() ? i.row() : -1;
}

void ResultListControl::setCurrentRow(int row)
{
    if (m_model->suspended() || row < 0 || row >= m_model->rowCount())
        return;
    const QModelIndex i = m_model->index(row, 0);
    if (!m_follows) {
        // A scroll asks the display where the pointer is: not for every step of a covered list.
        const bool scrolls = hasAutoScroll();
        setAutoScroll(false);
        selectionModel()->setCurrentIndex(i, QItemSelectionModel::NoUpdate);
        setAutoScroll(scrolls);
        return;
    }
    selectionModel()->setCurrentIndex(i, QItemSelectionModel::NoUpdate);
    scrollTo(i);
}

void ResultListControl::setfollowscurrent(bool on)
{
    if (std::exchange(m_follows, on) == on || !on)
        return;
    if (const QModelIndex i = selectionModel()->currentIndex(); i.isValid())
        scrollTo(i);
}

bool ResultListControl::Redraw() const
{
    return !m_model->suspended();
}

void ResultListControl::setRedraw(bool on)
{
    if (on) {
        m_model->resume();
        setUpdatesEnabled(true);
    } else {
        setUpdatesEnabled(false);
        m_model->suspend();
    }
}

ICustomDraw *ResultListControl::CustomDrawHandler() const
{
    return m_delegate->handler();
}

void ResultListControl::setCustomDrawHandler(ICustomDraw *handler)
{
    m_delegate->sethandler(handler);
    viewport()->update();
}

void ResultListControl::keyPressEvent(QKeyEvent *event)
{
    const int code = keycode(event->key());
    int shift = 0;
    if (event->modifiers() & Qt::ShiftModifier)
        shift |= 1;
    if (event->modifiers() & Qt::ControlModifier)
        shift |= 2;
    if (event->modifiers() & Qt::AltModifier)
        shift |= 4;
    emit ListKey(code, shift);
    if (isopenkey(code)) {
        event->accept();
        return;
    }
    const int before = CurrentRow();
    QTableView::keyPressEvent(event);
    // Moving through the list with the keyboard previews like a click does.
    const int after = CurrentRow();
    if (after != before && after >= 0)
        emit RowClick(after);
}

} // namespace vellomar
