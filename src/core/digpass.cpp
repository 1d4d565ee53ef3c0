#include "digpass.h"

#include "filecopy.h"
#include "filesummer.h"
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

// The sum of the open file `fd` (taken over) into the record: on the summer's thread when there
// is one, else now.
void keepsum(FileSummer *summer, int fd, long long size, DigDetail &d)
{
    if (fd < 0)
        return;
    if (summer) {
        summer->add(fd, size, &d.sha256);
        return;
    }
    d.sha256 = sumfile(fd, size);
    ::close(fd);
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

DigOutcome digfile(int sourcefolderfd, const QString &name, const QString &type,
                   const QString &downloaddir, DigCounters &counters, QString *storedas,
                   DigDetail *detail, const SiteTarget *site, ClassFolders *folders,
                   FileSummer *summer)
{
    DigDetail scratch;
    DigDetail &d = detail ? *detail : scratch;
    d = DigDetail();
    // The sum is worked out only for whoever keeps the record.
    const bool summing = detail != nullptr;
    std::error_code ec;
    long long size = 0;
    if (sourcefolderfd < 0 || name.contains(QLatin1Char('/'))) {
        d.reason = QStringLiteral("the cache folder is no longer the one listed");
        return DigOutcome::missing;
    }
    FileDescriptor source{openplainfileat(sourcefolderfd, nativepath(name), &size, ec)};
    if (source.fd < 0) {
        d.reason =
            ec == std::errc::not_supported ? QStringLiteral("not a plain file") : reasonof(ec);
        return DigOutcome::missing;
    }
    d.size = size;

    const ResourceClass cls = classify(type);
    const bool bysite = site && !site->folders.isEmpty();
    ClassFolders own;
    ClassFolders &classes = folders ? *folders : own;
    QString folder;
    FolderHandle sitefolder;
    long limit = 0;
    int targetfd = -1;
    if (bysite) {
        sitefolder = opensitefolder(downloaddir, site->folders, folder);
        targetfd = sitefolder.fd();
        if (targetfd >= 0)
            limit = ::fpathconf(targetfd, _PC_NAME_MAX);
    } else {
        folder = classfolder(downloaddir, cls);
        targetfd = classes.open(downloaddir, cls, &limit);
    }
    if (targetfd < 0) {
        d.reason = bysite ? QStringLiteral("the site's folder cannot be made")
                          : QStringLiteral("the class folder cannot be opened");
        return DigOutcome::failed;
    }
    const QString &targetname = bysite ? site->name : name;

    // The names tried are bounded by the file system's own name length.
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const QString candidate = candidatename(targetname, attempt, limit > 0 ? int(limit) : 255);
        const std::string entry = nativepath(candidate);
        const int kind = entrykind(targetfd, entry);
        if (kind == 2) {
            if (!identical(targetfd, entry, source.fd, size))
                continue;
            counters.add(cls, size);
            d.storedas = folder + candidate;
            if (summing)
                keepsum(summer, ::fcntl(source.fd, F_DUPFD_CLOEXEC, 0), size, d);
            if (storedas)
                *storedas = d.storedas;
            return DigOutcome::same;
        }
        if (kind == 1) {
            if (bysite)
                continue; // in a site's tree a folder may hold a file's name: the next one
            d.reason = QStringLiteral("a folder holds the name");
            return DigOutcome::failed;
        }
        ec.clear();
        int copy = -1;
        if (copyinto(source.fd, size, targetfd, entry, ec, summing ? &copy : nullptr)) {
            counters.add(cls, size);
            d.storedas = folder + candidate;
            keepsum(summer, copy, size, d); // the bytes now in the tree
            if (storedas)
                *storedas = d.storedas;
            return DigOutcome::copied;
        }
        if (ec != std::errc::file_exists) {
            d.reason = reasonof(ec);
            return DigOutcome::failed;
        }
        // The name was taken while copying: look at it again.
        --attempt;
        if (::lseek(source.fd, 0, SEEK_SET) != 0) {
            d.reason = reasonof(std::error_code(errno, std::generic_category()));
            return DigOutcome::failed;
        }
    }
    d.reason = QStringLiteral("no free name");
    return DigOutcome::failed;
}

std::vector<DigOutcome> digrows(const QString &sourcefolder, const std::vector<DigRow> &rows,
                                const QString &downloaddir, DigCounters &counters,
                                const DigProgress &progress)
{
    const FolderHandle source = openbeneath(sourcefolder);
    return digrows(source.fd(), rows, downloaddir, counters, progress);
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

std::vector<DigOutcome> digrows(int sourcefolderfd, const std::vector<DigRow> &rows,
                                const QString &downloaddir, DigCounters &counters,
                                const DigProgress &progress, std::vector<DigDetail> *details)
{
    ClassFolders folders;
    std::vector<DigOutcome> outcomes;
    outcomes.reserve(rows.size());
    // Each detail stays where it is while its sum is being taken.
    std::unique_ptr<FileSummer> summer;
    if (details) {
        details->reserve(details->size() + rows.size());
        summer = std::make_unique<FileSummer>();
    }
    const qint64 n = qint64(rows.size());
    for (qint64 r = 0; r < n; ++r) {
        const DigRow &row = rows[size_t(r)];
        DigDetail *detail = nullptr;
        if (details) {
            details->emplace_back();
            detail = &details->back();
        }
        outcomes.push_back(row.chosen
                               ? digfile(sourcefolderfd, row.name, row.type, downloaddir, counters,
                                         nullptr, detail, nullptr, &folders, summer.get())
                               : DigOutcome::skipped);
        if (progress && !progress(r, n))
            break;
    }
    if (summer)
        summer->wait();
    return outcomes;
}

} // namespace vellomar
