#include "digpass.h"

#include "common/platform.h"
#include "filecopy.h"

#include <sys/stat.h>
#include <unistd.h>

namespace vellomar {

namespace {

struct Fd {
    int fd = -1;
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// Any entry but a folder holds a name.
bool nametaken(const std::string &path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool isfolder(const std::string &path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// True when the plain file at `path` holds exactly the source's bytes.
bool identical(const std::string &path, int source, long long size)
{
    std::error_code ec;
    long long othersize = 0;
    Fd other{openplainfile(path, &othersize, ec)};
    if (other.fd < 0 || othersize != size)
        return false;
    return samecontent(source, other.fd, size, ec);
}

} // namespace

QString candidatename(const QString &name, int attempt)
{
    if (attempt <= 0)
        return name;
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString base = dot < 0 ? name : name.left(dot);
    const QString ext = dot < 0 ? QString() : name.mid(dot);
    return base + QStringLiteral("_2").repeated(attempt) + ext;
}

DigOutcome digfile(const QString &sourcefolder, const QString &name, const QString &type,
                   const QString &downloaddir, DigCounters &counters, QString *storedas)
{
    std::error_code ec;
    long long size = 0;
    Fd source{openplainfile(nativepath(sourcefolder + separator() + name), &size, ec)};
    if (source.fd < 0)
        return DigOutcome::missing;

    const ResourceClass cls = classify(type);
    const QString folder = classfolder(downloaddir, cls);
    const std::string nativefolder = nativepath(folder);
    if (!isfolder(nativefolder))
        return DigOutcome::failed;

    // The names tried are bounded by the file system's own name length.
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const QString candidate = candidatename(name, attempt);
        const std::string target = nativepath(folder + candidate);
        if (nametaken(target)) {
            if (!identical(target, source.fd, size))
                continue;
            counters.add(cls, size);
            if (storedas)
                *storedas = folder + candidate;
            return DigOutcome::same;
        }
        if (isfolder(target))
            return DigOutcome::failed; // a folder of that name is in the way
        ec.clear();
        if (copyinto(source.fd, size, nativefolder, target, ec)) {
            counters.add(cls, size);
            if (storedas)
                *storedas = folder + candidate;
            return DigOutcome::copied;
        }
        if (ec != std::errc::file_exists)
            return DigOutcome::failed;
        // The name was taken while copying: look at it again.
        --attempt;
        if (::lseek(source.fd, 0, SEEK_SET) != 0)
            return DigOutcome::failed;
    }
    return DigOutcome::failed;
}

void digrows(const QString &sourcefolder, const std::vector<DigRow> &rows,
             const QString &downloaddir, DigCounters &counters, const DigProgress &progress)
{
    const qint64 n = qint64(rows.size());
    for (qint64 r = 0; r < n; ++r) {
        const DigRow &row = rows[size_t(r)];
        if (row.chosen)
            digfile(sourcefolder, row.name, row.type, downloaddir, counters);
        if (progress && !progress(r, n))
            return;
    }
}

} // namespace vellomar
