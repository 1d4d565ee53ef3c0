#pragma once

#include "cachediscovery.h"

#include <QDialog>
#include <vector>

class QTreeWidget;

namespace vellomar {

// Lists the caches found in a place (user, browser and format, layout, path, sub-folders, files
// or entries, size, newest file)
// for the user to pick one.
class CacheChooser : public QDialog
{
    Q_OBJECT
  public:
    CacheChooser(const QString &place, const std::vector<FoundCache> &caches, int preselected,
                 QWidget *parent = nullptr);
    // The row picked; -1 when none.
    int chosen() const;

  private:
    QTreeWidget *m_list;
};

// "1.5 MB", "320 KB", "12 bytes".
QString bytestext(qint64 bytes);

} // namespace vellomar
