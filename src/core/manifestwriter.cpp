#include "manifestwriter.h"

#include "filecopy.h"
#include "platform.h"
#include "resourcetree.h"
#include "texts.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vellomar {

namespace {

constexpr size_t scanchunk = 1 << 20;

std::error_code lasterror()
{
    return std::error_code(errno, std::generic_category());
}

// Held while a line is written and what it records is done.
class WriterLock
{
  public:
    explicit WriterLock(int fd) : m_fd(fd)
    {
        while (::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~WriterLock() { ::flock(m_fd, LOCK_UN); }

  private:
    int m_fd;
};

// Where the last whole record ends: after the last line break outside quotes. A line break
// inside a quoted field (a name may hold one) is no end. -1 when the file cannot be read.
off_t lastrecordend(int fd, off_t size)
{
    std::vector<char> buffer(scanchunk);
    bool quoted = false;
    off_t end = 0;
    for (off_t at = 0; at < size;) {
        const ssize_t n = ::pread(fd, buffer.data(), buffer.size(), at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return -1;
        for (ssize_t i = 0; i < n; ++i) {
            if (buffer[size_t(i)] == '"')
                quoted = !quoted;
            else if (buffer[size_t(i)] == '\n' && !quoted)
                end = at + i + 1;
        }
        at += n;
    }
    return end;
}

// A pass that died while writing its line left part of it: cut off, so the next line does
// not run on from it. The file of that line was never given its name. Returns the size.
off_t repairtail(int fd)
{
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return -1;
    char last = 0;
    if (st.st_size == 0 || ::pread(fd, &last, 1, st.st_size - 1) != 1 || last == '\n')
        return st.st_size;
    const off_t end = lastrecordend(fd, st.st_size);
    if (end < 0)
        return st.st_size; // not read through: nothing is cut
    return ::ftruncate(fd, end) == 0 ? end : -1;
}

} // namespace

ManifestWriter::ManifestWriter(const QString &downloaddir) : m_downloaddir(downloaddir) {}

ManifestWriter::~ManifestWriter()
{
    if (m_fd < 0)
        return;
    // Once per pass: what a finished dig recorded survives a power cut too.
    if (m_written)
        ::fdatasync(m_fd);
    ::close(m_fd);
}

bool ManifestWriter::open(std::error_code &ec)
{
    const FolderHandle tree = openbeneath(m_downloaddir, texts::resourcefolder);
    if (!tree.valid()) {
        ec = std::make_error_code(std::errc::no_such_file_or_directory);
        return false;
    }
    // Something that is no plain file under the name (a FIFO, a folder, a link) is left be.
    const int fd =
        ::openat(tree.fd(), manifestname,
                 O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        ec = lasterror();
        return false;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        ec = std::make_error_code(std::errc::not_supported);
        return false;
    }
    m_fd = fd;
    return true;
}

bool ManifestWriter::record(const ManifestLine &line, const std::function<bool()> &step)
{
    std::error_code ec;
    if (m_fd < 0 && !open(ec)) {
        if (!m_error)
            m_error = ec;
        return !step || step();
    }
    const WriterLock lock(m_fd);
    // Looked at before each line: another pass writing beside this one may have died mid-line.
    const off_t before = repairtail(m_fd);
    QByteArray bytes = before == 0 ? csvrecord(manifestcolumns()) : QByteArray();
    bytes += csvrecord(manifestfields(line));
    bool written = before >= 0 && writefull(m_fd, bytes.constData(), size_t(bytes.size()));
    if (!written) {
        if (!m_error)
            m_error = before >= 0 ? lasterror() : std::make_error_code(std::errc::io_error);
        // No part of a line stays: the next one starts clean.
        if (before >= 0)
            ::ftruncate(m_fd, before);
    }
    m_written = m_written || written;
    const bool done = !step || step();
    if (!done && written)
        ::ftruncate(m_fd, before);
    return done;
}

} // namespace vellomar
