#pragma once

#include <QByteArray>
#include <cstddef>
#include <string>
#include <system_error>

namespace vellomar {

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

// Lower-case hex SHA-256 of the first `size` bytes of the open file; empty when they cannot all be
// read.
QByteArray sumfile(int fd, long long size);

} // namespace vellomar
