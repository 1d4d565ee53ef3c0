#include "manifest.h"

#include "cacherecords.h"
#include "digpass.h"
#include "platform.h"
#include "resourcetree.h"
#include "texts.h"

#include <QRandomGenerator>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vellomar {

namespace {

const char manifestname[] = "manifest.csv";
// Hundreds of thousands of lines; a file far beyond that is not ours to rewrite.
constexpr long long largestmanifest = 1LL << 30;

QString isotime(const QDateTime &t)
{
    return t.isValid() ? t.toUTC().toString(Qt::ISODate) : QString();
}

std::error_code lasterror()
{
    return std::error_code(errno, std::generic_category());
}

bool writeall(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += n;
    }
    return true;
}

} // namespace

ManifestLine manifestline(const QDateTime &time, const QString &folder, const QString &name,
                          const QString &type, DigOutcome outcome, const DigDetail &d,
                          const CacheRecord *record, const QString &downloaddir)
{
    const QString tree = downloaddir + texts::resourcefolder + separator();
    ManifestLine l;
    l.time = time;
    l.cachefolder = folder;
    l.cachefile = name;
    l.size = d.size;
    l.sha256 = QString::fromLatin1(d.sha256);
    l.cls = classname(classify(type));
    l.dugas = d.storedas.startsWith(tree) ? d.storedas.mid(tree.size()) : d.storedas;
    l.outcome = outcome == DigOutcome::copied ? QStringLiteral("copied")
                : outcome == DigOutcome::same ? QStringLiteral("same file kept")
                                              : QStringLiteral("failed: ") + d.reason;
    if (record) {
        l.address = record->address;
        l.contenttype = record->contenttype;
        l.lastmodified = record->lastmodified;
        l.lastaccessed = record->lastaccessed;
    }
    return l;
}

QStringList manifestcolumns()
{
    return {QStringLiteral("time"),          QStringLiteral("cache folder"),
            QStringLiteral("cache file"),    QStringLiteral("size"),
            QStringLiteral("sha256"),        QStringLiteral("class"),
            QStringLiteral("dug as"),        QStringLiteral("outcome"),
            QStringLiteral("address"),       QStringLiteral("content type"),
            QStringLiteral("last modified"), QStringLiteral("last accessed")};
}

QStringList manifestfields(const ManifestLine &l)
{
    return {isotime(l.time),
            l.cachefolder,
            l.cachefile,
            l.size >= 0 ? QString::number(l.size) : QString(),
            l.sha256,
            l.cls,
            l.dugas,
            l.outcome,
            l.address,
            l.contenttype,
            isotime(l.lastmodified),
            isotime(l.lastaccessed)};
}

QByteArray csvrecord(const QStringList &fields)
{
    QByteArray out;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            out += ',';
        const QByteArray f = fields[i].toUtf8();
        if (f.contains(',') || f.contains('"') || f.contains('\n') || f.contains('\r')) {
            QByteArray q = f;
            q.replace('"', "\"\"");
            out += '"' + q + '"';
        } else {
            out += f;
        }
    }
    return out + "\r\n";
}

bool appendmanifest(const QString &downloaddir, const std::vector<ManifestLine> &lines,
                    std::error_code &ec)
{
    if (lines.empty())
        return true;
    const FolderHandle tree = openbeneath(downloaddir, texts::resourcefolder);
    if (!tree.valid()) {
        ec = std::make_error_code(std::errc::no_such_file_or_directory);
        return false;
    }
    // One writer at a time: two digs into the same folder keep both their lines.
    while (::flock(tree.fd(), LOCK_EX) != 0 && errno == EINTR) {
    }
    QByteArray content;
    long long size = 0;
    mode_t mode = 0644;
    std::error_code openec;
    const int old = openplainfileat(tree.fd(), manifestname, &size, openec);
    if (old >= 0 && size > largestmanifest) {
        ::close(old);
        ec = std::make_error_code(std::errc::file_too_large); // left as it is, unread
        return false;
    }
    if (old >= 0) {
        struct stat st;
        if (::fstat(old, &st) == 0)
            mode = st.st_mode & 0777;
        content = readbytes(old, size);
        ::close(old);
        if (content.size() != size) {
            ec = std::make_error_code(std::errc::io_error);
            return false;
        }
    } else if (openec != std::errc::no_such_file_or_directory) {
        ec = openec; // something that is no plain file holds the name: leave it be
        return false;
    }
    if (content.isEmpty())
        content = csvrecord(manifestcolumns());
    for (const ManifestLine &l : lines)
        content += csvrecord(manifestfields(l));

    const std::string temp =
        ".manifest-" + std::to_string(QRandomGenerator::global()->generate64()) + ".tmp";
    const int out = ::openat(tree.fd(), temp.c_str(),
                             O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (out < 0) {
        ec = lasterror();
        return false;
    }
    ::fchmod(out, mode); // the file keeps the permissions it had
    bool ok = writeall(out, content) && ::fsync(out) == 0;
    if (!ok)
        ec = lasterror();
    if (::close(out) != 0 && ok) {
        ec = lasterror();
        ok = false;
    }
    if (ok && ::renameat(tree.fd(), temp.c_str(), tree.fd(), manifestname) != 0) {
        ec = lasterror();
        ok = false;
    }
    if (!ok)
        ::unlinkat(tree.fd(), temp.c_str(), 0);
    return ok;
}

} // namespace vellomar
