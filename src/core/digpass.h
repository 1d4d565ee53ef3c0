#pragma once

#include "digcounters.h"
#include "filecopy.h"
#include "platform.h"
#include "resourcetree.h"

#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <vector>

namespace vellomar {

struct CacheRecord;

// One row of the list as the dig pass sees it.
struct DigRow {
    QString name;
    QString type;
    bool chosen = true;
    const CacheRecord *record = nullptr; // what the cache says of it, for the manifest
};

// What became of one file, for the record kept of every dig.
struct DigDetail {
    QString storedas;  // the full path it now has in the tree; empty when it has none
    QByteArray sha256; // lower-case hex of its bytes; empty when they could not be read through
    qint64 size = -1;
    QString reason; // why it failed
    QString note;   // what the manifest says beside a copy ("dug as stored: ...")
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

// With `detail`, the file's sum is kept in it before this returns. A pass that records its
// files digs them through a DigSession instead.
DigOutcome digfile(int sourcefolderfd, const QString &name, const QString &type,
                   const QString &downloaddir, DigCounters &counters, QString *storedas = nullptr,
                   DigDetail *detail = nullptr, const SiteTarget *site = nullptr);

// A file of a pass between its copy and its name: its name in the tree is chosen and its copy
// written beside it (or an identical file found holding it). It takes the name in
// settlefile(), once its line for the manifest can be written.
struct PendingFile {
    DigOutcome outcome = DigOutcome::missing; // copied: the copy waits for its name
    ResourceClass cls = ResourceClass::others;
    qint64 size = -1;
    QString folder;     // the target folder's path, ending with the separator
    QString targetname; // the name wanted, before any "_2"
    QString candidate;  // the name chosen
    int attempt = 0;
    int limit = 255;
    bool bysite = false;
    int targetfd = -1;
    FolderHandle sitefolder; // a site's folder, open until the file has its name
    StagedCopy copy;
};

// The first half of digging a file. `held(path)` names the paths that files of the pass still
// waiting for their names will take: when the file would take one, nothing is done and false
// is returned, for the pass to settle those first. `sumfd`, when given, receives a new
// descriptor to the bytes the file's sum is to be taken of (-1 when there are none).
bool stagefile(int sourcefolderfd, const QString &name, const QString &type,
               const QString &downloaddir, const SiteTarget *site, ClassFolders &folders,
               const std::function<bool(const QString &)> &held, PendingFile &p, DigDetail &d,
               int *sumfd);

class EntryStream;

// The first half for an entry read as a stream (`in`; null when it could not be opened, `why`
// saying why): its bytes are copied beside their target first, then the name is chosen by the
// copy (namestaged()). Nothing is left for naming when the bytes could not all be read, or the
// entry changed while they were (then it is missing). `modifiedns` dates the copy (-1: now).
void stagestreamfile(EntryStream *in, const QString &why, const QString &name, const QString &type,
                     long long modifiedns, const QString &downloaddir, const SiteTarget *site,
                     ClassFolders &folders, PendingFile &p, DigDetail &d);
// Chooses a staged copy's name, as stagefile() does; false when a waiting file holds it.
bool namestaged(PendingFile &p, const std::function<bool(const QString &)> &held, DigDetail &d,
                int *sumfd);

// Keeps the record of a file: `name`, for a copy, is the step that gives it its name, to be
// taken only once the record says so; returns whether that step succeeded (true without one).
using DigRecord =
    std::function<bool(DigOutcome outcome, const DigDetail &d, const std::function<bool()> &name)>;

// The second half: a copy takes its name, moving on to the next "_2" name when another file
// took it meanwhile (or keeping that one when identical). Copied and identical files are
// counted; every file is recorded once, with what became of it.
DigOutcome settlefile(PendingFile &p, DigCounters &counters, DigDetail &d, const DigRecord &record);

// The name tried after `attempt` clashes: attempt 0 is the name itself, then "_2" is inserted
// before the last "." once more for each attempt. A name without a "." gets it at the end.
// When the name would be longer than `limit` bytes in the system's encoding, the part before
// the extension is shortened, a whole character at a time, until it fits.
QString candidatename(const QString &name, int attempt, int limit = 255);

} // namespace vellomar
