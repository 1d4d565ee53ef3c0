#include "filecopy.h"

#include "entrystream.h"
#include "platform.h"
#include "sha256.h"

#include <QRandomGenerator>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vellomar {

namespace {

std::error_code lasterror()
{
    return std::error_code(errno, std::generic_category());
}

bool readfull(int fd, char *buffer, size_t want, size_t &got)
{
    got = 0;
    while (got < want) {
        const ssize_t n = ::read(fd, buffer + got, want - got);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            break;
        got += size_t(n);
    }
    return true;
}

// Buffers kept for the thread's next file: a fresh megabyte per file, zeroed or newly mapped,
// cost more than reading a small file.
std::vector<char> &scratch(int which, size_t size)
{
    thread_local std::vector<char> buffers[3];
    std::vector<char> &b = buffers[which];
    if (b.size() < size)
        b.resize(size);
    return b;
}

// The kernel's copy first; plain reads and writes where it is not offered.
bool copydata(int in, int out, long long size, std::error_code &ec)
{
    long long left = size;
    bool kernel = true;
    while (left > 0 && kernel) {
        const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, size_t(left), 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP ||
                errno == EBADF) {
                kernel = false;
                break;
            }
            ec = lasterror();
            return false;
        }
        if (n == 0)
            break; // the source shrank
        left -= n;
    }
    if (kernel) {
        if (left != 0) {
            ec = std::make_error_code(std::errc::io_error);
            return false;
        }
        return true;
    }
    std::vector<char> &buffer = scratch(0, 1 << 20);
    while (left > 0) {
        size_t got = 0;
        if (!readfull(in, buffer.data(), size_t(std::min<long long>(left, buffer.size())), got)) {
            ec = lasterror();
            return false;
        }
        if (got == 0) {
            ec = std::make_error_code(std::errc::io_error);
            return false;
        }
        if (!writefull(out, buffer.data(), got)) {
            ec = lasterror();
            return false;
        }
        left -= got;
    }
    return true;
}

// Moves into place without replacing anything that appeared meanwhile.
bool publish(int dir, const std::string &temp, const std::string &target, std::error_code &ec)
{
    if (::renameat2(dir, temp.c_str(), dir, target.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS) {
        ec = lasterror();
        return false;
    }
    // File systems without that flag: a hard link fails when the name is taken.
    if (::linkat(dir, temp.c_str(), dir, target.c_str(), 0) != 0) {
        ec = lasterror();
        return false;
    }
    ::unlinkat(dir, temp.c_str(), 0);
    return true;
}

const char tempprefix[] = ".vellomar-";
constexpr size_t templetters = 8;
const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";

// A new, private file under a name of our own in the open folder.
int maketemp(int dir, std::string &name, std::error_code &ec, bool readable)
{
    for (int tries = 0; tries < 100; ++tries) {
        name = tempprefix;
        for (size_t i = 0; i < templetters; ++i)
            name += letters[QRandomGenerator::global()->bounded(int(sizeof letters) - 1)];
        const int fd = ::openat(
            dir, name.c_str(),
            (readable ? O_RDWR : O_WRONLY) | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST) {
            if (fd < 0)
                ec = lasterror();
            return fd;
        }
    }
    ec = std::make_error_code(std::errc::file_exists);
    return -1;
}

mode_t ordinarymode()
{
    static const mode_t mode = [] {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        return mode_t(0666 & ~mask);
    }();
    return mode;
}

} // namespace

bool writefull(int fd, const char *buffer, size_t size)
{
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, buffer + done, size - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += size_t(n);
    }
    return true;
}

QByteArray sumfile(int fd, long long size)
{
    Sha256 hash;
    std::vector<char> &buffer = scratch(0, 1 << 20);
    long long offset = 0;
    while (offset < size) {
        const ssize_t n = ::pread(
            fd, buffer.data(), size_t(std::min<long long>(size - offset, buffer.size())), offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return {};
        hash.update(buffer.data(), size_t(n));
        offset += n;
    }
    return hash.hex();
}

bool samecontent(int a, int b, long long size, std::error_code &ec)
{
    std::vector<char> &x = scratch(1, comparereadsize), &y = scratch(2, comparereadsize);
    long long offset = 0;
    while (offset < size) {
        const size_t want = size_t(std::min<long long>(size - offset, x.size()));
        const ssize_t na = ::pread(a, x.data(), want, offset);
        const ssize_t nb = ::pread(b, y.data(), want, offset);
        if (na < 0 || nb < 0) {
            ec = lasterror();
            return false;
        }
        if (na != nb || na == 0 || std::memcmp(x.data(), y.data(), size_t(na)) != 0)
            return false;
        offset += na;
    }
    return true;
}

bool copyinto(int in, long long size, int folderfd, const std::string &target, std::error_code &ec,
              int *readback)
{
    StagedCopy copy;
    if (!stagecopy(in, size, folderfd, copy, ec) || !publishcopy(copy, target, ec))
        return false;
    if (readback)
        *readback = std::exchange(copy.fd, -1);
    return true;
}

StagedCopy::~StagedCopy()
{
    discardcopy(*this);
}

StagedCopy &StagedCopy::operator=(StagedCopy &&other) noexcept
{
    if (this != &other) {
        discardcopy(*this);
        fd = std::exchange(other.fd, -1);
        folder = std::exchange(other.folder, -1);
        tempname = std::exchange(other.tempname, {});
    }
    return *this;
}

namespace {

// A new file for a copy in the open folder: unnamed where the file system makes such files, so
// that a crash leaves nothing behind.
int openstaged(int folderfd, StagedCopy &copy, std::error_code &ec)
{
    discardcopy(copy);
    copy.folder = folderfd;
    int out = ::openat(folderfd, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (out < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
        ec = lasterror();
        return -1;
    }
    if (out < 0)
        out = maketemp(folderfd, copy.tempname, ec, true);
    if (out >= 0)
        copy.fd = out;
    return out;
}

// The copy's times and permissions once its bytes are in; `times` null keeps them as made.
bool finishstaged(int out, const struct timespec *times, StagedCopy &copy, std::error_code &ec)
{
    if (times)
        ::futimens(out, times);
    ::fchmod(out, ordinarymode()); // a dug file is the user's ordinary file
    // A network file system reports a failed write when a descriptor closes: close one,
    // keep the other for reading the copy back and for its name.
    copy.fd = ::fcntl(out, F_DUPFD_CLOEXEC, 0);
    if (copy.fd < 0 || ::close(out) != 0) {
        ec = lasterror();
        if (copy.fd < 0)
            copy.fd = out;
        return false;
    }
    return true;
}

// `count` bytes of `in` from `offset` to the end of `out`: the kernel's copy first.
bool copyrange(int in, long long offset, int out, long long count, std::error_code &ec)
{
    off_t from = off_t(offset);
    long long left = count;
    while (left > 0) {
        const ssize_t n = ::copy_file_range(in, &from, out, nullptr, size_t(left), 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP ||
                errno == EBADF)
                break;
            ec = lasterror();
            return false;
        }
        if (n == 0) {
            ec = std::make_error_code(std::errc::io_error); // the source shrank
            return false;
        }
        left -= n;
    }
    std::vector<char> &buffer = scratch(0, 1 << 20);
    while (left > 0) {
        const ssize_t n =
            ::pread(in, buffer.data(), size_t(std::min<long long>(left, buffer.size())), from);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ec = n < 0 ? lasterror() : std::make_error_code(std::errc::io_error);
            return false;
        }
        if (!writefull(out, buffer.data(), size_t(n))) {
            ec = lasterror();
            return false;
        }
        from += n;
        left -= n;
    }
    return true;
}

bool copystream(EntryStream &in, int out, long long &written, std::error_code &ec)
{
    written = 0;
    std::vector<char> &buffer = scratch(0, 1 << 20);
    // Every call moves on by at least a byte or ends the copy: bounded by the bytes there are.
    for (;;) {
        int fd = -1;
        long long offset = 0, count = 0;
        if (in.plainrange(fd, offset, count) && count > 0) {
            if (!copyrange(fd, offset, out, count, ec))
                return false;
            in.skip(count);
            written += count;
            continue;
        }
        const long long n = in.read(buffer.data(), (long long)buffer.size(), ec);
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        if (!writefull(out, buffer.data(), size_t(n))) {
            ec = lasterror();
            return false;
        }
        written += n;
    }
}

} // namespace

bool stagecopy(int in, long long size, int folderfd, StagedCopy &copy, std::error_code &ec)
{
    const int out = openstaged(folderfd, copy, ec);
    if (out < 0)
        return false;
    bool ok = copydata(in, out, size, ec);
    if (ok) {
        // Keep the cache's time stamp: when a file was cached is often all a user knows of it.
        struct stat st {
        };
        const bool dated = ::fstat(in, &st) == 0;
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        ok = finishstaged(out, dated ? times : nullptr, copy, ec);
    }
    if (!ok)
        discardcopy(copy);
    return ok;
}

bool stagestream(EntryStream &in, int folderfd, StagedCopy &copy, long long &written,
                 long long modifiedns, std::error_code &ec)
{
    const int out = openstaged(folderfd, copy, ec);
    if (out < 0)
        return false;
    bool ok = copystream(in, out, written, ec);
    if (!ok && in.rewind()) {
        // Made again from the front: nothing of the first attempt stays in the copy.
        ec.clear();
        ok = ::ftruncate(out, 0) == 0 && ::lseek(out, 0, SEEK_SET) == 0;
        if (!ok)
            ec = lasterror();
        else
            ok = copystream(in, out, written, ec);
    }
    if (ok) {
        const struct timespec when = {time_t(modifiedns / 1000000000),
                                      long(modifiedns % 1000000000)};
        const struct timespec times[2] = {when, when};
        ok = finishstaged(out, modifiedns >= 0 ? times : nullptr, copy, ec);
    }
    if (!ok)
        discardcopy(copy);
    return ok;
}

bool publishcopy(StagedCopy &copy, const std::string &target, std::error_code &ec)
{
    if (copy.fd < 0) {
        ec = std::make_error_code(std::errc::bad_file_descriptor);
        return false;
    }
    if (!copy.tempname.empty()) {
        if (!publish(copy.folder, copy.tempname, target, ec))
            return false;
        copy.tempname.clear();
        return true;
    }
    if (::linkat(copy.fd, "", copy.folder, target.c_str(), AT_EMPTY_PATH) == 0)
        return true;
    if (errno != ENOENT) {
        ec = lasterror();
        return false;
    }
    // Older kernels let only a privileged caller link a descriptor; its name in /proc will do.
    const std::string self = "/proc/self/fd/" + std::to_string(copy.fd);
    if (::linkat(AT_FDCWD, self.c_str(), copy.folder, target.c_str(), AT_SYMLINK_FOLLOW) == 0)
        return true;
    ec = lasterror();
    return false;
}

void discardcopy(StagedCopy &copy)
{
    if (!copy.tempname.empty())
        ::unlinkat(copy.folder, copy.tempname.c_str(), 0);
    copy.tempname.clear();
    if (copy.fd >= 0)
        ::close(copy.fd);
    copy.fd = -1;
}

bool istempcopyname(std::string_view name)
{
    const std::string_view prefix(tempprefix);
    if (name.size() != prefix.size() + templetters || !name.starts_with(prefix))
        return false;
    for (char c : name.substr(prefix.size())) {
        if (!std::strchr(letters, c) || c == 0)
            return false;
    }
    return true;
}

} // namespace vellomar
