#pragma once

#include "digcounters.h"
#include "digpass.h"
#include "filesummer.h"
#include "manifestwriter.h"

#include <QDateTime>
#include <QSet>
#include <QString>
#include <deque>
#include <functional>
#include <vector>

namespace vellomar {

struct CacheRecord;
class EntrySource;
class PassLock;
struct SourceEntry;

// The files of one dig pass into one download directory, each recorded in the manifest
// before it takes its name, so that after any crash every dug file has its line. Copies are
// made on the calling thread and their sums taken on a thread of their own; each file takes
// its name, in order, once its sum is in, a few files behind the copying.
class DigSession
{
  public:
    // The lock must be held for the session's life: it keeps the copies' temporary files from
    // other passes' clean-up.
    DigSession(const PassLock &lock, const QString &downloaddir, const QDateTime &started,
               DigCounters &counters);
    ~DigSession();
    DigSession(const DigSession &) = delete;
    DigSession &operator=(const DigSession &) = delete;

    // Digs the file `name` of the open cache folder `sourcefolderfd`, listed as `cachefolder`;
    // `record` is what the cache says of it (or null). Its outcome is known after finish().
    void dig(int sourcefolderfd, const QString &cachefolder, const QString &name,
             const QString &type, const CacheRecord *record, const SiteTarget *site = nullptr);
    // Digs an entry of a cache: a plain file by its name, as above, else its bytes as the source
    // reads them, recorded with where the cache stores it.
    void dig(const EntrySource &source, const SourceEntry &entry, const SiteTarget *site = nullptr);
    // Names and records every file still waiting.
    void finish();

    // Each file dug, in order: what became of it and the record kept (after finish()).
    const std::vector<DigOutcome> &outcomes() const { return m_outcomes; }
    const std::deque<DigDetail> &details() const { return m_details; }
    // Why the manifest could not be written; none when every line was.
    const std::error_code &manifesterror() const { return m_writer.error(); }

  private:
    struct Waiting {
        size_t index;
        PendingFile file;
        qint64 ticket; // of its sum; 0 when it has none to wait for
        QString cachefolder, name, type;
        const CacheRecord *record;
    };
    void settlefront();
    void wait(Waiting &&w, int sumfd);

    QString m_downloaddir;
    QDateTime m_started;
    DigCounters &m_counters;
    ClassFolders m_folders;
    ManifestWriter m_writer;
    std::vector<DigOutcome> m_outcomes;
    std::deque<DigDetail> m_details; // each stays where it is while its sum is taken
    std::deque<Waiting> m_waiting;
    QSet<QString> m_held; // the paths the waiting copies will take
    FileSummer m_summer;  // last: it ends first, while the details it writes are still there
};

// Called after every row, dug or not, with the row's index and the row count; return false to
// end the pass after this row.
using DigProgress = std::function<bool(qint64 row, qint64 rows)>;

// The window's pass over a snapshot of the list's rows, from the open cache folder
// `sourcefolderfd` listed as `cachefolder` (an invalid one, -1, makes every chosen row
// missing). Returns the outcome of each row reached, in row order; the session keeps the
// details of the rows dug.
std::vector<DigOutcome> digrows(int sourcefolderfd, const QString &cachefolder,
                                const std::vector<DigRow> &rows, DigSession &session,
                                const DigProgress &progress);

} // namespace vellomar
