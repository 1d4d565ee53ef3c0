#pragma once

#include "digcounters.h"
#include "digpass.h"
#include "digsession.h"
#include "entrysource.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

namespace vellomar {

class PassLock;

// The rows of a cache a dig goes through: the entries of its folders (every one, or those
// named, without regard to case) whose names match `pattern` and whose sizes the range admits.
std::vector<SourceEntry> listentries(const EntrySource &source, const QString &pattern,
                                     const SizeFilter &sizes, const QStringList &folders = {});

// Where an entry goes in a site's layout (by its record's address); no folders when it goes to
// its class folder.
SiteTarget entrytarget(const SourceEntry &entry, bool sitelayout);

// One dig into one download directory over the rows of one or more caches: every row it goes
// through gets its line in the manifest, failures included, and is counted.
class DigJob
{
  public:
    // With no `lock`, the job takes the download directory's own when it first digs.
    DigJob(const QString &downloaddir, DigCounters &counters, const PassLock *lock = nullptr,
           const QDateTime &started = QDateTime::currentDateTimeUtc());
    ~DigJob();
    DigJob(const DigJob &) = delete;
    DigJob &operator=(const DigJob &) = delete;

    // Digs the rows chosen (every one when `chosen` is empty) of one cache, calling `progress`
    // after each row. Returns each reached row's outcome, in row order.
    std::vector<DigOutcome> dig(const EntrySource &source, const std::vector<SourceEntry> &rows,
                                const std::vector<bool> &chosen = {}, bool sitelayout = false,
                                const DigProgress &progress = {});

    // "<where>: <why>" for every row that was neither dug nor found already there.
    const QStringList &failures() const { return m_failures; }
    // Why the manifest could not be written; empty when every line was.
    const QString &manifestfailure() const { return m_manifestfailure; }
    const QString &downloaddir() const { return m_downloaddir; }

  private:
    QString m_downloaddir;
    DigCounters &m_counters;
    const PassLock *m_lock;
    std::unique_ptr<PassLock> m_ownlock;
    QDateTime m_started;
    QStringList m_failures;
    QString m_manifestfailure;
};

} // namespace vellomar
