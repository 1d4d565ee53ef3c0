#pragma once

#include <QByteArray>
#include <cstddef>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

namespace vellomar {

class EntryStream;

// How much of each file a comparison reads at a time: large reads cost fewer calls.
inline constexpr size_t comparereadsize = size_t(1) << 20;

// Whether the two open files hold the same bytes (sizes already equal).
bool samecontent(int a, int b, long long size, std::error_code &ec);

// Copies `size` bytes from `in` to a new file in the open folder and moves it to the name
// `target` there only when the copy is complete. The target must not exist: an existing one is
// never replaced (errc::file_exists). Nothing is left behind on failure.
// With `readback`, it receives a new descriptor from which the copy can be read (-1 on failure).
bool copyinto(int in, long long size, int folderfd, const std::string &target, std::error_code &ec,
              int *readback = nullptr);

// A complete copy that has no name in its folder yet: an unnamed file where the file system
// makes them, so that a crash leaves nothing behind, else a hidden temporary name of the
// program's own (istempcopyname()). Dropped, with that name, when it goes out of scope unnamed.
struct StagedCopy {
    int fd = -1;          // open for reading and writing
    int folder = -1;      // the open folder it is in (not owned)
    std::string tempname; // empty when unnamed
    StagedCopy() = default;
    StagedCopy(StagedCopy &&other) noexcept
        : fd(std::exchange(other.fd, -1)), folder(std::exchange(other.folder, -1)),
          tempname(std::exchange(other.tempname, {}))
    {
    }
    StagedCopy &operator=(StagedCopy &&other) noexcept;
    ~StagedCopy();
};

// Copies `size` bytes from `in` into a new file in the open folder, with the source's times and
// the user's ordinary permissions. Nothing is left behind on failure.
bool stagecopy(int in, long long size, int folderfd, StagedCopy &copy, std::error_code &ec);
// The same from an entry's bytes as they are read: ranges of a local plain file through the
// kernel's copy, the rest through a buffer. `written` receives how many bytes it holds; its
// times are `modifiedns` (nanoseconds since 1970) when that is not negative.
bool stagestream(EntryStream &in, int folderfd, StagedCopy &copy, long long &written,
                 long long modifiedns, std::error_code &ec);
// Gives the copy the name `target` in its folder. An existing name is never replaced
// (errc::file_exists): the copy then stays as it was, to be named again.
bool publishcopy(StagedCopy &copy, const std::string &target, std::error_code &ec);
// Closes the copy, and removes its temporary name.
void discardcopy(StagedCopy &copy);
// Whether `name` has the form of the program's temporary copies.
bool istempcopyname(std::string_view name);

// Writes all `size` bytes, through interruptions; false, with errno, when a write fails.
bool writefull(int fd, const char *buffer, size_t size);

// Lower-case hex SHA-256 of the first `size` bytes of the open file; empty when they cannot all be
// read.
QByteArray sumfile(int fd, long long size);

} // namespace vellomar
