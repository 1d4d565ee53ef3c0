#include "cachechooser.h"

#include "foundcachetext.h"
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
    const bool onlyie = onlyinternetexplorer(caches);
    const QString word = texts::cachesword(onlyie);
    setWindowTitle(onlyie ? texts::choosecachetitle : QStringLiteral("选择") + word);
    auto *layout = new QVBoxLayout(this);
    auto *intro = new QLabel(
        QStringLiteral("“%1”中有%2个%3，请选择一个：").arg(place).arg(caches.size()).arg(word),
        this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("caches"));
    m_list->setAccessibleName(QStringLiteral("找到的") + word);
    m_list->setRootIsDecorated(false);
    m_list->setAllColumnsShowFocus(true);
    m_list->setHeaderLabels({QStringLiteral("用户"), QStringLiteral("浏览器"),
                             QStringLiteral("布局"), QStringLiteral("位置"),
                             QStringLiteral("文件夹"), QStringLiteral("文件"),
                             QStringLiteral("大小"), QStringLiteral("最新文件")});
    const QLocale locale;
    for (const FoundCache &c : caches) {
        auto *item = new QTreeWidgetItem(m_list);
        item->setText(0, c.user);
        item->setText(1, cachekindtext(c));
        item->setText(2, layoutname(c.layout));
        item->setText(3, c.path);
        item->setText(4, QString::number(c.folders));
        // Another browser's cache keeps its entries in a few large files, or one file each:
        // what it holds is its count of entries.
        item->setText(5, c.format == CacheFormat::contentie5 ? QString::number(c.files)
                         : c.entries < 0                     ? QStringLiteral("条目数未知")
                                         : QStringLiteral("%1个条目").arg(c.entries));
        item->setText(6, bytestext(c.bytes));
        item->setText(7, c.newest > 0 ? locale.toString(QDateTime::fromMSecsSinceEpoch(c.newest),
                                                        QLocale::ShortFormat)
                                      : QString());
        item->setToolTip(3, c.path);
        for (int col : {4, 5, 6})
            item->setTextAlignment(col, Qt::AlignRight | Qt::AlignVCenter);
    }
    m_list->header()->setStretchLastSection(false);
    m_list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_list->header()->setSectionResizeMode(3, QHeaderView::Stretch);
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
