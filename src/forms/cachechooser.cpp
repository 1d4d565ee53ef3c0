#include "cachechooser.h"

#include "texts.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vellomar {

QString bytestext(qint64 bytes)
{
    return QLocale().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}

CacheChooser::CacheChooser(const QString &place, const std::vector<FoundCache> &caches,
                           int preselected, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("cachechooser"));
    setWindowTitle(texts::choosecachetitle);
    auto *layout = new QVBoxLayout(this);
    auto *intro = new QLabel(
        QStringLiteral("“%1”中有%2个IE缓存，请选择一个：").arg(place).arg(caches.size()), this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("caches"));
    m_list->setAccessibleName(QStringLiteral("找到的IE缓存"));
    m_list->setRootIsDecorated(false);
    m_list->setAllColumnsShowFocus(true);
    m_list->setHeaderLabels({QStringLiteral("用户"), QStringLiteral("布局"), QStringLiteral("位置"),
                             QStringLiteral("文件夹"), QStringLiteral("文件"),
                             QStringLiteral("大小"), QStringLiteral("最新文件")});
    const QLocale locale;
    for (const FoundCache &c : caches) {
        auto *item = new QTreeWidgetItem(m_list);
        item->setText(0, c.user);
        item->setText(1, layoutname(c.layout));
        item->setText(2, c.path);
        item->setText(3, QString::number(c.folders));
        item->setText(4, QString::number(c.files));
        item->setText(5, bytestext(c.bytes));
        item->setText(6, c.newest > 0 ? locale.toString(QDateTime::fromMSecsSinceEpoch(c.newest),
                                                        QLocale::ShortFormat)
                                      : QString());
        item->setToolTip(2, c.path);
        for (int col : {3, 4, 5})
            item->setTextAlignment(col, Qt::AlignRight | Qt::AlignVCenter);
    }
    m_list->header()->setStretchLastSection(false);
    m_list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_list->header()->setSectionResizeMode(2, QHeaderView::Stretch);
    if (preselected >= 0 && preselected < m_list->topLevelItemCount())
        m_list->setCurrentItem(m_list->topLevelItem(preselected));
    layout->addWidget(m_list);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Open | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Open)->setText(QStringLiteral("打开"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_list, &QTreeWidget::itemActivated, this, &QDialog::accept);
    resize(760, 300);
}

int CacheChooser::chosen() const
{
    const QTreeWidgetItem *item = m_list->currentItem();
    return item ? m_list->indexOfTopLevelItem(const_cast<QTreeWidgetItem *>(item)) : -1;
}

} // namespace vellomar
