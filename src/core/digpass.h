#pragma once

#include "digcounters.h"
#include "platform.h"
#include "resourcetree.h"

#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <vector>

namespace vellomar {

class FileSummer;

// One row of the list as the dig pass sees it.
struct DigRow {
    QString name;
    QString type;
    bool chosen = true;
};

// What became of one file, for the record kept of every dig.
struct DigDetail {
    QString storedas;  // the full path it now has in the tree; empty when it has none
    QByteArray sha256; // lower-case hex of its bytes; empty when they could not be read through
    qint64 size = -1;
    QString reason; // why it failed
};

enum class DigOutcome {
    skipped, // not chosen
    missing, // the source is gone or is not a plain file
    copied,  // written under its own name or a "_2" name
    same,    // an identical file already holds the name
    failed,  // the copy could not be completed; nothing was left behind
};

// Digs one file into its class folder. A name already held by a file with other content moves
// on to base + "_2" + ext, then "_2_2", and so on; a name held by an identical file is kept as
// it is. The copy is written beside its target under a temporary name and moved into place
// only when complete, and it never replaces an existing file. Copied and identical files are
// counted. `storedas` receives the full path the file now has in the tree.
//
// No link is followed in the tree: a class folder that is a link fails like one that is a file.
DigOutcome digfile(const QString &sourcefolder, const QString &name, const QString &type,
                   const QString &downloaddir, DigCounters &counters, QString *storedas = nullptr);
// The same from an open source folder: the file is opened in it, never through a link.
// Where a file goes in a site's layout: folders below 挖到的资源 (made as needed, never through a
// link), and its name there. Each is a safe single name (see sitetarget()).
struct SiteTarget {
    QStringList folders;
    QString name;
};
// The class folders of one pass, opened (without following a link) when first used and kept
// open for the rest of it, with the longest name each takes.
class ClassFolders
{
  public:
    int open(const QString &downloaddir, ResourceClass c, long *namelimit);

  private:
    QString m_downloaddir;
    std::array<FolderHandle, 8> m_folders;
    std::array<long, 8> m_limits{};
};

// With `detail`, the file's sum is kept in it: taken on the summer's thread when one is given (it
// is there once the summer has waited), else before this returns.
DigOutcome digfile(int sourcefolderfd, const QString &name, const QString &type,
                   const QString &downloaddir, DigCounters &counters, QString *storedas = nullptr,
                   DigDetail *detail = nullptr, const SiteTarget *site = nullptr,
                   ClassFolders *folders = nullptr, FileSummer *summer = nullptr);

// Called after every row, dug or not, with the row's index and the row count; return false to
// end the pass after this row.
using DigProgress = std::function<bool(qint64 row, qint64 rows)>;

// The dig pass over a snapshot of the list's rows. Returns the outcome of each row reached, in
// row order.
std::vector<DigOutcome> digrows(const QString &sourcefolder, const std::vector<DigRow> &rows,
                                const QString &downloaddir, DigCounters &counters,
                                const DigProgress &progress);
// From an open source folder; an invalid one (-1) makes every chosen row missing.
// With `details`, each row reached gets one.
std::vector<DigOutcome> digrows(int sourcefolderfd, const std::vector<DigRow> &rows,
                                const QString &downloaddir, DigCounters &counters,
                                const DigProgress &progress,
                                std::vector<DigDetail> *details = nullptr);

// The name tried after `attempt` clashes: attempt 0 is the name itself, then "_2" is inserted
// before the last "." once more for each attempt. A name without a "." gets it at the end.
// When the name would be longer than `limit` bytes in the system's encoding, the part before
// the extension is shortened, a whole character at a time, until it fits.
QString candidatename(const QString &name, int attempt, int limit = 255);

} // namespace vellomar
