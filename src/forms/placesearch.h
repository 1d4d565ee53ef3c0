#pragma once

#include "cachediscovery.h"

#include <QObject>
#include <QString>
#include <vector>

class QLabel;
class QPushButton;
class QShortcut;
class QTimer;
class QWidget;

namespace vellomar {

class CacheSearch;

// A place's caches searched while the window goes on: over the preview board, what is being
// searched and how many folders were read so far, with a button (and Escape) that cancels.
class PlaceSearch : public QObject
{
    Q_OBJECT
  public:
    // The shortcut acts in `form`'s window; the progress covers `board`.
    PlaceSearch(QWidget *form, QWidget *board);
    ~PlaceSearch() override;

    void start(const QString &place);
    // The search ends at its next folder, and what it found is not announced.
    void cancel();
    bool searching() const;

  signals:
    // The search of `place` ended (not cancelled) with these caches.
    void found(const QString &place, const std::vector<vellomar::FoundCache> &caches);

  private:
    void showprogress();

    CacheSearch *m_search;
    QWidget *pic_searchbox;
    QLabel *lbl_search;
    QPushButton *cmd_cancelsearch;
    QShortcut *m_escape;
    QTimer *m_ticker;
    bool m_dropped = false; // cancelled: a result already on its way is not announced
};

} // namespace vellomar
