#include "digpass.h"

#include "entrystream.h"
#include "filecopy.h"
#include "platform.h"
#include "resourcetree.h"
#include "texts.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vellomar {

namespace {

// What a name in the open folder is, links not followed: 0 nothing, 1 a folder, 2 anything else.
int entrykind(int dir, const std::string &name)
{
    struct stat st;
    if (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return 0;
    return S_ISDIR(st.st_mode) ? 1 : 2;
}

// True when the plain file `name` of the open folder holds exactly the source's bytes.
bool identical(int dir, const std::string &name, int source, long long size)
{
    std::error_code ec;
    long long othersize = 0;
    FileDescriptor other{openplainfileat(dir, name, &othersize, ec)};
    if (other.fd < 0 || othersize != size)
        return false;
    return samecontent(source, other.fd, size, ec);
}

// A site's folders below the tree, made as needed one level at a time, never through a link.
// A file of the site may already hold a folder's name: the folder moves on to name_2, as a file
// does. `path` receives the folder's path, ending with the separator.
FolderHandle opensitefolder(const QString &downloaddir, const QStringList &folders, QString &path)
{
    FolderHandle at = openbeneath(downloaddir, texts::resourcefolder);
    path = downloaddir + texts::resourcefolder + separator();
    for (const QString &f : folders) {
        FolderHandle next;
        QString made;
        for (int attempt = 0; attempt < 3 && at.valid() && !next.valid(); ++attempt) {
            made = f + QStringLiteral("_2").repeated(attempt);
            const std::string raw = nativepath(made);
            ::mkdirat(at.fd(), raw.c_str(), 0777);
            next = FolderHandle(
                ::openat(at.fd(), raw.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        }
        at = std::move(next);
        path += made + separator();
    }
    return at;
}

QString reasonof(const std::error_code &ec)
{
    return QString::fromLocal8Bit(ec.message().c_str());
}

// One character back from the end, keeping surrogate pairs whole.
void chopcharacter(QString &s)
{
    const bool pair =
        s.size() >= 2 && s.back().isLowSurrogate() && s.at(s.size() - 2).isHighSurrogate();
    s.chop(pair ? 2 : 1);
}

} // namespace

QString candidatename(const QString &name, int attempt, int limit)
{
    if (attempt <= 0)
        return name;
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    QString base = dot < 0 ? name : name.left(dot);
    const QString ext = dot < 0 ? QString() : name.mid(dot);
    const QString tail = QStringLiteral("_2").repeated(attempt) + ext;
    while (!base.isEmpty() && QFile::encodeName(base + tail).size() > limit)
        chopcharacter(base);
    return base + tail;
}

DigOutcome digfile(const QString &sourcefolder, const QString &name, const QString &type,
                   const QString &downloaddir, DigCounters &counters, QString *storedas)
{
    const FolderHandle source = openbeneath(sourcefolder);
    return digfile(source.fd(), name, type, downloaddir, counters, storedas);
}

namespace {

enum class NameState { free, same, held, failed };
struct NameChoice {
    NameState state = NameState::failed;
    int attempt = 0;
    QString candidate;
    QString reason;
};

// The first name from attempt `from` on that the file may take in the open folder: a free one,
// or one held by an identical file (`content` holds its bytes).
NameChoice choosename(const PendingFile &p, int from, int content,
                      const std::function<bool(const QString &)> &held)
{
    // The names tried are bounded by the file system's own name length.
    for (int attempt = from; attempt < 1000; ++attempt) {
        const QString candidate = candidatename(p.targetname, attempt, p.limit);
        if (held && held(p.folder + candidate))
            return {NameState::held, attempt, candidate, {}};
        const std::string entry = nativepath(candidate);
        const int kind = entrykind(p.targetfd, entry);
        if (kind == 2) {
            if (identical(p.targetfd, entry, content, p.size))
                return {NameState::same, attempt, candidate, {}};
            continue;
        }
        if (kind == 1) {
            if (p.bysite)
                continue; // in a site's tree a folder may hold a file's name: the next one
            return {NameState::failed, attempt, {}, QStringLiteral("a folder holds the name")};
        }
        return {NameState::free, attempt, candidate, {}};
    }
    return {NameState::failed, 0, {}, QStringLiteral("no free name")};
}

bool nameonly(DigOutcome, const DigDetail &, const std::function<bool()> &name)
{
    return !name || name();
}

// Where a file of the pass goes: its target folder opened (or made, for a site), its name limit
// and the name wanted. False, with the reason, when the folder cannot be had.
bool preparetarget(const QString &name, const QString &type, const QString &downloaddir,
                   const SiteTarget *site, ClassFolders &folders, PendingFile &p, DigDetail &d)
{
    p.outcome = DigOutcome::failed;
    p.cls = classify(type);
    p.bysite = site && !site->folders.isEmpty();
    long limit = 0;
    if (p.bysite) {
        p.sitefolder = opensitefolder(downloaddir, site->folders, p.folder);
        p.targetfd = p.sitefolder.fd();
        if (p.targetfd >= 0)
            limit = ::fpathconf(p.targetfd, _PC_NAME_MAX);
    } else {
        p.folder = classfolder(downloaddir, p.cls);
        p.targetfd = folders.open(downloaddir, p.cls, &limit);
    }
    if (p.targetfd < 0) {
        d.reason = p.bysite ? QStringLiteral("the site's folder cannot be made")
                            : QStringLiteral("the class folder cannot be opened");
        return false;
    }
    p.limit = limit > 0 ? int(limit) : 255;
    p.targetname = p.bysite ? site->name : name;

    return true;
}

} // namespace

bool stagefile(int sourcefolderfd, const QString &name, const QString &type,
               const QString &downloaddir, const SiteTarget *site, ClassFolders &folders,
               const std::function<bool(const QString &)> &held, PendingFile &p, DigDetail &d,
               int *sumfd)
{
    p = PendingFile();
    d = DigDetail();
    if (sumfd)
        *sumfd = -1;
    std::error_code ec;
    long long size = 0;
    if (sourcefolderfd < 0 || name.contains(QLatin1Char('/'))) {
        d.reason = QStringLiteral("the cache folder is no longer the one listed");
        return true;
    }
    FileDescriptor source{openplainfileat(sourcefolderfd, nativepath(name), &size, ec)};
    if (source.fd < 0) {
        d.reason =
            ec == std::errc::not_supported ? QStringLiteral("not a plain file") : reasonof(ec);
        return true;
    }
    d.size = p.size = size;
    if (!preparetarget(name, type, downloaddir, site, folders, p, d))
        return true;

    const NameChoice choice = choosename(p, 0, source.fd, held);
    p.attempt = choice.attempt;
    p.candidate = choice.candidate;
    switch (choice.state) {
    case NameState::held:
        p = PendingFile();
        return false;
    case NameState::failed:
        d.reason = choice.reason;
        return true;
    case NameState::same:
        p.outcome = DigOutcome::same;
        if (sumfd)
            *sumfd = ::fcntl(source.fd, F_DUPFD_CLOEXEC, 0);
        return true;
    case NameState::free:
        break;
    }
    if (!stagecopy(source.fd, size, p.targetfd, p.copy, ec)) {
        d.reason = reasonof(ec);
        return true;
    }
    p.outcome = DigOutcome::copied;
    if (sumfd)
        *sumfd = ::fcntl(p.copy.fd, F_DUPFD_CLOEXEC, 0); // the bytes now in the tree
    return true;
}

void stagestreamfile(EntryStream *in, const QString &why, const QString &name, const QString &type,
                     long long modifiedns, const QString &downloaddir, const SiteTarget *site,
                     ClassFolders &folders, PendingFile &p, DigDetail &d)
{
    p = PendingFile();
    d = DigDetail();
    if (!in) {
        d.reason = why;
        return;
    }
    if (!preparetarget(name, type, downloaddir, site, folders, p, d))
        return;
    std::error_code ec;
    long long written = 0;
    const bool read = stagestream(*in, p.targetfd, p.copy, written, modifiedns, ec);
    QString changed;
    // Never dug half-changed: what a running browser rewrote or cut meanwhile, even when that
    // ended the reading, is missing for this pass.
    if (!in->unchanged(changed)) {
        discardcopy(p.copy);
        p.outcome = DigOutcome::missing;
        d.reason = changed;
        return;
    }
    if (!read) {
        d.reason = reasonof(ec);
        return;
    }
    d.size = p.size = written;
    d.note = in->note();
    p.outcome = DigOutcome::copied;
}

bool namestaged(PendingFile &p, const std::function<bool(const QString &)> &held, DigDetail &d,
                int *sumfd)
{
    if (sumfd)
        *sumfd = -1;
    if (p.outcome != DigOutcome::copied)
        return true;
    const NameChoice choice = choosename(p, 0, p.copy.fd, held);
    if (choice.state == NameState::held)
        return false;
    p.attempt = choice.attempt;
    p.candidate = choice.candidate;
    if (choice.state == NameState::failed) {
        d.reason = choice.reason;
        discardcopy(p.copy);
        p.outcome = DigOutcome::failed;
        return true;
    }
    if (sumfd)
        *sumfd = ::fcntl(p.copy.fd, F_DUPFD_CLOEXEC, 0);
    if (choice.state == NameState::same) {
        discardcopy(p.copy); // the sum is taken of the bytes read, through the descriptor kept
        p.outcome = DigOutcome::same;
    }
    return true;
}

DigOutcome settlefile(PendingFile &p, DigCounters &counters, DigDetail &d, const DigRecord &record)
{
    if (p.outcome == DigOutcome::same) {
        d.storedas = p.folder + p.candidate;
        counters.add(p.cls, p.size);
        record(p.outcome, d, {});
        return p.outcome;
    }
    if (p.outcome != DigOutcome::copied) {
        record(p.outcome, d, {});
        return p.outcome;
    }
    // Another program may take the name between the choice and the naming: bounded retries.
    for (int round = 0; round < 1000; ++round) {
        d.storedas = p.folder + p.candidate;
        std::error_code ec;
        const std::string entry = nativepath(p.candidate);
        if (record(DigOutcome::copied, d, [&] { return publishcopy(p.copy, entry, ec); })) {
            counters.add(p.cls, p.size);
            return DigOutcome::copied;
        }
        d.storedas.clear();
        if (ec != std::errc::file_exists) {
            d.reason = reasonof(ec);
            break;
        }
        // The name was taken meanwhile: look at it again, then on.
        const NameChoice choice = choosename(p, p.attempt, p.copy.fd, {});
        p.attempt = choice.attempt;
        p.candidate = choice.candidate;
        if (choice.state == NameState::same) {
            discardcopy(p.copy);
            p.outcome = DigOutcome::same;
            return settlefile(p, counters, d, record);
        }
        if (choice.state == NameState::failed) {
            d.reason = choice.reason;
            break;
        }
    }
    if (d.reason.isEmpty())
        d.reason = QStringLiteral("no free name");
    discardcopy(p.copy);
    p.outcome = DigOutcome::failed;
    record(p.outcome, d, {});
    return p.outcome;
}

DigOutcome digfile(int sourcefolderfd, const QString &name, const QString &type,
                   const QString &downloaddir, DigCounters &counters, QString *storedas,
                   DigDetail *detail, const SiteTarget *site)
{
    DigDetail scratch;
    DigDetail &d = detail ? *detail : scratch;
    ClassFolders folders;
    PendingFile p;
    int sumfd = -1;
    // The sum is worked out only for whoever keeps the record.
    stagefile(sourcefolderfd, name, type, downloaddir, site, folders, {}, p, d,
              detail ? &sumfd : nullptr);
    if (sumfd >= 0) {
        d.sha256 = sumfile(sumfd, p.size);
        ::close(sumfd);
    }
    const DigOutcome outcome = settlefile(p, counters, d, nameonly);
    if (storedas && (outcome == DigOutcome::copied || outcome == DigOutcome::same))
        *storedas = d.storedas;
    return outcome;
}

int ClassFolders::open(const QString &downloaddir, ResourceClass c, long *namelimit)
{
    if (downloaddir != m_downloaddir) {
        m_downloaddir = downloaddir;
        for (FolderHandle &h : m_folders)
            h = FolderHandle();
    }
    FolderHandle &h = m_folders[size_t(c)];
    if (!h.valid()) {
        // The download directory is the user's to name; below it, no link is taken.
        h = openbeneath(downloaddir, texts::resourcefolder + separator() + classname(c));
        m_limits[size_t(c)] = h.valid() ? ::fpathconf(h.fd(), _PC_NAME_MAX) : 0;
    }
    *namelimit = m_limits[size_t(c)];
    return h.fd();
}

} // namespace vellomar
