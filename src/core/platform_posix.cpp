#include "platform.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSemaphore>
#include <QThreadPool>
#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vellomar {

bool ishiddenname(const QString &name)
{
    return name.startsWith(QLatin1Char('.'));
}

QString decodedname(std::string_view raw)
{
    // Most cache names are plain ASCII: nothing to check.
    bool ascii = true;
    for (const char c : raw)
        ascii = ascii && (static_cast<unsigned char>(c) < 0x80);
    if (ascii)
        return QString::fromLatin1(raw.data(), qsizetype(raw.size()));
    const QByteArray bytes(raw.data(), qsizetype(raw.size()));
    const QString name = QFile::decodeName(bytes);
    return QFile::encodeName(name) == bytes ? name : QString();
}

namespace {

// An entry's kind from its folder's listing, asking the file system (links not followed) only
// where the listing does not say; false when the entry has gone meanwhile.
bool kindof(int folderfd, const char *name, unsigned char type, EntryKind &kind)
{
    if (type == DT_UNKNOWN) {
        struct stat st;
        if (::fstatat(folderfd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            return false;
        type = S_ISREG(st.st_mode) ? DT_REG : S_ISDIR(st.st_mode) ? DT_DIR : DT_LNK;
    }
    kind = type == DT_REG ? EntryKind::file : type == DT_DIR ? EntryKind::folder : EntryKind::other;
    return true;
}

} // namespace

bool listfolder(int folderfd,
                const std::function<void(std::string_view name, EntryKind kind)> &visit)
{
    // The listing reads through its own descriptor, so the caller's keeps its position.
    const int own = ::openat(folderfd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (own < 0)
        return false;
    DIR *d = ::fdopendir(own);
    if (!d) {
        ::close(own);
        return false;
    }
    const int fd = ::dirfd(d);
    while (const dirent *e = ::readdir(d)) {
        const std::string_view name(e->d_name);
        if (name == "." || name == "..")
            continue;
        EntryKind kind;
        if (kindof(fd, e->d_name, e->d_type, kind))
            visit(name, kind);
    }
    ::closedir(d);
    return true;
}

bool listopenfolder(int folderfd,
                    const std::function<void(std::string_view name, EntryKind kind)> &visit)
{
    // Large enough for a few hundred names a call, small enough for any thread's stack.
    alignas(dirent64) char buffer[16384];
    for (;;) {
        const ssize_t n = ::getdents64(folderfd, buffer, sizeof buffer);
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        for (ssize_t at = 0; at < n;) {
            const auto *e = reinterpret_cast<const dirent64 *>(buffer + at);
            at += e->d_reclen;
            const std::string_view name(e->d_name);
            if (name == "." || name == "..")
                continue;
            EntryKind kind;
            if (kindof(folderfd, e->d_name, e->d_type, kind))
                visit(name, kind);
        }
    }
}

FolderHandle &FolderHandle::operator=(FolderHandle &&other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

FolderHandle::~FolderHandle()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

FolderId FolderHandle::id() const
{
    struct stat st;
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0)
        return {};
    return {quint64(st.st_dev), quint64(st.st_ino)};
}

FolderHandle openbeneath(const QString &base, const QString &below)
{
    FolderHandle h(::open(QFile::encodeName(base).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    for (const QString &part : below.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (!h.valid())
            break;
        if (part == QLatin1String(".."))
            return {};
        h = FolderHandle(::openat(h.fd(), QFile::encodeName(part).constData(),
                                  O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    }
    return h;
}

bool liesinfolder(const QString &path, int folderfd)
{
    struct stat target;
    if (::fstat(folderfd, &target) != 0)
        return false;
    std::string p = nativepath(path);
    FileDescriptor at{::open(p.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)};
    while (at.fd < 0) { // not made yet: its parent is where it would be made
        const size_t slash = p.find_last_of('/');
        if (slash == std::string::npos || p.size() <= 1)
            return false;
        p.erase(std::max<size_t>(slash, 1));
        at.fd = ::open(p.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    }
    // Bounded by the deepest path the system resolves, whatever the folders do meanwhile.
    constexpr int deepest = 4096;
    for (int level = 0; level < deepest; ++level) {
        struct stat st;
        if (::fstat(at.fd, &st) != 0)
            return false;
        if (st.st_dev == target.st_dev && st.st_ino == target.st_ino)
            return true;
        FileDescriptor up{::openat(at.fd, "..", O_PATH | O_DIRECTORY | O_CLOEXEC)};
        struct stat upst;
        if (up.fd < 0 || ::fstat(up.fd, &upst) != 0 ||
            (upst.st_dev == st.st_dev && upst.st_ino == st.st_ino)) // the root
            return false;
        std::swap(at.fd, up.fd);
    }
    return false;
}

namespace {

// The name as a C string when it is ASCII and fits; false otherwise.
bool asciicopy(const QString &name, char *out, size_t room)
{
    if (size_t(name.size()) >= room)
        return false;
    const QChar *p = name.constData();
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t c = p[i].unicode();
        if (c >= 0x80)
            return false;
        out[i] = char(c);
    }
    out[name.size()] = '\0';
    return true;
}

// The sizes of names[from, to) into sizes[from, to).
void sizesof(int fd, const QStringList &names, qsizetype from, qsizetype to,
             std::vector<qint64> &sizes)
{
    char ascii[256];
    for (qsizetype i = from; i < to; ++i) {
        // Most names are short ASCII: their bytes are their characters, and need no allocation.
        const QString &name = names[i];
        const char *native = ascii;
        QByteArray encoded;
        if (!asciicopy(name, ascii, sizeof ascii)) {
            encoded = QFile::encodeName(name);
            native = encoded.constData();
        }
        struct stat st;
        // A name that became a link or a folder since the listing is not a file to show.
        if (::fstatat(fd, native, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
            sizes[size_t(i)] = st.st_size;
    }
}

} // namespace

std::vector<qint64> filesizes(int fd, const QStringList &names)
{
    std::vector<qint64> sizes(size_t(names.size()), -1);
    if (fd < 0)
        return sizes;
    // A long list is asked for in two halves at once, the second on a pooled thread if one is
    // free right now (never queued behind a long task): each query waits on the file system.
    const qsizetype half = names.size() >= 4096 ? names.size() / 2 : 0;
    QSemaphore done;
    const bool shared = half > 0 && QThreadPool::globalInstance()->tryStart([&] {
        sizesof(fd, names, half, names.size(), sizes);
        done.release();
    });
    sizesof(fd, names, 0, shared ? half : names.size(), sizes);
    if (shared)
        done.acquire();
    return sizes;
}

std::string nativepath(const QString &path)
{
    return QFile::encodeName(path).toStdString();
}

QString separator()
{
    return QString(QDir::separator());
}

QString programfolder()
{
    return QCoreApplication::applicationDirPath() + separator();
}

int openplainfile(const std::string &path, long long *size, std::error_code &ec)
{
    return openplainfileat(AT_FDCWD, path, size, ec);
}

int openplainfileat(int folderfd, const std::string &name, long long *size, std::error_code &ec)
{
    const int fd = ::openat(folderfd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        ec = std::error_code(errno, std::generic_category());
        return -1;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ec = std::make_error_code(std::errc::not_supported);
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (size)
        *size = st.st_size;
    return fd;
}

namespace {

FileIdentity identityof(const struct stat &st)
{
    FileIdentity id;
    id.device = quint64(st.st_dev);
    id.inode = quint64(st.st_ino);
    id.size = qint64(st.st_size);
    id.modifiedns = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    id.changedns = qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    return id;
}

} // namespace

FileIdentity fileidentity(int fd)
{
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return {};
    return identityof(st);
}

FileIdentity plainfileidentity(const std::string &path)
{
    return plainfileidentityat(AT_FDCWD, path);
}

FileIdentity plainfileidentityat(int folderfd, const std::string &name)
{
    struct stat st;
    if (folderfd == -1 || ::fstatat(folderfd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(st.st_mode))
        return {};
    return identityof(st);
}

QByteArray readbytes(int fd, qint64 size)
{
    QByteArray bytes(qsizetype(std::max<qint64>(size, 0)), Qt::Uninitialized);
    qsizetype got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::pread(fd, bytes.data() + got, size_t(bytes.size() - got), got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += n;
    }
    bytes.truncate(got);
    return bytes;
}

} // namespace vellomar
