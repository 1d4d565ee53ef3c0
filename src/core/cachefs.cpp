#include "cachefs.h"

#include "platform.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace vellomar {

QByteArray ReadOnlyFile::read(long long offset, long long count, std::error_code &ec) const
{
    const long long total = size();
    if (offset < 0 || count < 0 || offset > total || count > total - offset) {
        ec = std::make_error_code(std::errc::result_out_of_range);
        return {};
    }
    if (count > (long long)(std::numeric_limits<int>::max)() - 1) {
        ec = std::make_error_code(std::errc::value_too_large);
        return {};
    }
    QByteArray bytes(qsizetype(count), Qt::Uninitialized);
    long long done = 0;
    while (done < count) {
        const long long n = readat(bytes.data() + done, count - done, offset + done, ec);
        if (n < 0)
            return {};
        if (n == 0) {
            ec = std::make_error_code(std::errc::io_error); // shorter than it was
            return {};
        }
        done += n;
    }
    return bytes;
}

std::string fsjoin(const std::string &folder, const std::string &name)
{
    return folder.empty() ? name : folder + '/' + name;
}

namespace {

bool validpath(const std::string &path)
{
    if (path.empty())
        return true;
    if (path.front() == '/' || path.back() == '/' || path.find('\0') != std::string::npos)
        return false;
    size_t start = 0;
    for (;;) {
        const size_t slash = path.find('/', start);
        const std::string_view part(path.data() + start,
                                    (slash == std::string::npos ? path.size() : slash) - start);
        if (part.empty() || part == "." || part == "..")
            return false;
        if (slash == std::string::npos)
            return true;
        start = slash + 1;
    }
}

class LocalFile : public ReadOnlyFile
{
  public:
    LocalFile(int fd, long long size) : m_fd(fd), m_size(size) {}
    ~LocalFile() override { ::close(m_fd); }
    long long size() const override { return m_size; }
    int fd() const override { return m_fd; }
    long long readat(char *buffer, long long count, long long offset,
                     std::error_code &ec) const override
    {
        if (offset >= m_size || count <= 0)
            return 0;
        count = std::min(count, m_size - offset);
        for (;;) {
            const ssize_t n = ::pread(m_fd, buffer, size_t(count), off_t(offset));
            if (n >= 0)
                return n;
            if (errno != EINTR) {
                ec = std::error_code(errno, std::generic_category());
                return -1;
            }
        }
    }

  private:
    int m_fd;
    long long m_size;
};

class LocalFs : public ReadOnlyFs
{
  public:
    explicit LocalFs(int rootfd) : m_root(::fcntl(rootfd, F_DUPFD_CLOEXEC, 0)) {}

    bool list(const std::string &folder, std::vector<FsEntry> &entries,
              std::error_code &ec) const override
    {
        FolderHandle f = openfolder(folder, ec);
        if (!f.valid())
            return false;
        entries.clear();
        const bool ok = listopenfolder(f.fd(), [&](std::string_view name, EntryKind kind) {
            FsEntry e;
            e.name = std::string(name);
            e.kind = kind == EntryKind::file     ? FsEntry::file
                     : kind == EntryKind::folder ? FsEntry::folder
                                                 : FsEntry::other;
            entries.push_back(std::move(e));
        });
        if (!ok)
            ec = std::make_error_code(std::errc::io_error);
        return ok;
    }

    std::unique_ptr<ReadOnlyFile> open(const std::string &path, std::error_code &ec) const override
    {
        if (path.empty() || !validpath(path)) {
            ec = std::make_error_code(std::errc::invalid_argument);
            return nullptr;
        }
        const size_t slash = path.rfind('/');
        long long size = 0;
        int fd;
        if (slash == std::string::npos) {
            // A name at the root is opened beneath it directly: openat moves no position.
            fd = openplainfileat(m_root, path, &size, ec);
        } else {
            FolderHandle f = openfolder(path.substr(0, slash), ec);
            if (!f.valid())
                return nullptr;
            fd = openplainfileat(f.fd(), path.substr(slash + 1), &size, ec);
        }
        if (fd < 0)
            return nullptr;
        return std::make_unique<LocalFile>(fd, size);
    }

    ~LocalFs() override
    {
        if (m_root >= 0)
            ::close(m_root);
    }

  private:
    // Each step is opened without following a link.
    FolderHandle openfolder(const std::string &folder, std::error_code &ec) const
    {
        if (m_root < 0 || !validpath(folder)) {
            ec = std::make_error_code(std::errc::invalid_argument);
            return {};
        }
        // A fresh open of the root, not a duplicate: a listing moves its descriptor's position,
        // which a duplicate would share with every later listing.
        FolderHandle at(::openat(m_root, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        size_t start = 0;
        while (at.valid() && start < folder.size()) {
            size_t slash = folder.find('/', start);
            if (slash == std::string::npos)
                slash = folder.size();
            const std::string part = folder.substr(start, slash - start);
            at = FolderHandle(
                ::openat(at.fd(), part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            start = slash + 1;
        }
        if (!at.valid())
            ec = std::error_code(errno ? errno : EBADF, std::generic_category());
        return at;
    }

    int m_root;
};

class MemoryFile : public ReadOnlyFile
{
  public:
    explicit MemoryFile(QByteArray bytes) : m_bytes(std::move(bytes)) {}
    long long size() const override { return m_bytes.size(); }
    long long readat(char *buffer, long long count, long long offset,
                     std::error_code &) const override
    {
        if (offset < 0 || offset >= m_bytes.size() || count <= 0)
            return 0;
        const long long n = std::min(count, (long long)m_bytes.size() - offset);
        std::copy_n(m_bytes.constData() + offset, n, buffer);
        return n;
    }

  private:
    QByteArray m_bytes;
};

} // namespace

std::unique_ptr<ReadOnlyFs> localfs(int rootfd)
{
    return std::make_unique<LocalFs>(rootfd);
}

void MemoryFs::add(const std::string &path, QByteArray bytes)
{
    m_files[path] = std::move(bytes);
}

void MemoryFs::addother(const std::string &path)
{
    m_others[path] = true;
}

bool MemoryFs::list(const std::string &folder, std::vector<FsEntry> &entries,
                    std::error_code &ec) const
{
    entries.clear();
    const std::string prefix = folder.empty() ? std::string() : folder + '/';
    std::set<std::string> folders;
    bool found = folder.empty();
    auto visit = [&](const std::string &path, FsEntry::Kind kind) {
        if (path.compare(0, prefix.size(), prefix) != 0 || path.size() == prefix.size())
            return;
        found = true;
        const std::string rest = path.substr(prefix.size());
        const size_t slash = rest.find('/');
        if (slash == std::string::npos)
            entries.push_back({rest, kind});
        else if (folders.insert(rest.substr(0, slash)).second)
            entries.push_back({rest.substr(0, slash), FsEntry::folder});
    };
    for (const auto &[path, bytes] : m_files)
        visit(path, FsEntry::file);
    for (const auto &[path, unused] : m_others)
        visit(path, FsEntry::other);
    if (!found)
        ec = std::make_error_code(std::errc::no_such_file_or_directory);
    return found;
}

std::unique_ptr<ReadOnlyFile> MemoryFs::open(const std::string &path, std::error_code &ec) const
{
    if (!validpath(path) || path.empty()) {
        ec = std::make_error_code(std::errc::invalid_argument);
        return nullptr;
    }
    if (m_others.count(path)) {
        ec = std::make_error_code(std::errc::not_supported);
        return nullptr;
    }
    const auto it = m_files.find(path);
    if (it == m_files.end()) {
        ec = std::make_error_code(std::errc::no_such_file_or_directory);
        return nullptr;
    }
    return std::make_unique<MemoryFile>(it->second);
}

} // namespace vellomar
