#pragma once

#include "cachediscovery.h"

#include <QObject>
#include <QString>
#include <memory>
#include <thread>
#include <vector>

namespace vellomar {

// Finds the caches of a place on a thread of its own (the walk `--find` runs), so that the
// window need not wait for a large disk; the result comes back on the owner's thread.
class CacheSearch : public QObject
{
    Q_OBJECT
  public:
    explicit CacheSearch(QObject *parent = nullptr);
    // A search still running is cancelled and waited for; its result is not delivered.
    ~CacheSearch() override;

    // Searches `place`; a search still running is cancelled first and its result dropped.
    void start(const QString &place);
    // The running search ends at its next folder; `finished` says it was cancelled.
    void cancel();
    bool running() const { return m_control != nullptr; }
    QString place() const { return m_place; }
    // Folders read by the running (or last) search.
    qint64 foldersread() const;

  signals:
    void finished(const QString &place, const std::vector<vellomar::FoundCache> &caches,
                  bool cancelled);

  private:
    void stop();

    std::shared_ptr<SearchControl> m_control;
    qint64 m_lastread = 0;
    QString m_place;
    std::thread m_thread;
};

} // namespace vellomar
