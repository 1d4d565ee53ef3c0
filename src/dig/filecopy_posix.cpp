#include "filecopy.h"

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
    std::vector<char> buffer(1 << 17);
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
bool publish(const std::string &temp, const std::string &target, std::error_code &ec)
{
    if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS) {
        ec = lasterror();
        return false;
    }
    // File systems without that flag: a hard link fails when the name is taken.
    if (::link(temp.c_str(), target.c_str()) != 0) {
        ec = lasterror();
        return false;
    }
    ::unlink(temp.c_str());
    return true;
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

int openplainfile(const std::string &path, long long *size, std::error_code &ec)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        ec = lasterror();
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

bool samecontent(int a, int b, long long size, std::error_code &ec)
{
    std::vector<char> x(1 << 16), y(1 << 16);
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

bool copyinto(int in, long long size, const std::string &folder, const std::string &target,
              std::error_code &ec)
{
    std::string temp = folder + ".vellomar-XXXXXX";
    const int out = ::mkostemp(temp.data(), O_CLOEXEC);
    if (out < 0) {
        ec = lasterror();
        return false;
    }
    bool ok = copydata(in, out, size, ec);
    if (ok) {
        // Keep the cache's time stamp: when a file was cached is often all a user knows of it.
        struct stat st;
        if (::fstat(in, &st) == 0) {
            const struct timespec times[2] = {st.st_atim, st.st_mtim};
            ::futimens(out, times);
        }
        ::fchmod(out, ordinarymode()); // a dug file is the user's ordinary file
    }
    if (::close(out) != 0 && ok) {
        ec = lasterror();
        ok = false;
    }
    if (ok)
        ok = publish(temp, target, ec);
    if (!ok)
        ::unlink(temp.c_str());
    return ok;
}

} // namespace vellomar
