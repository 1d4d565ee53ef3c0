#pragma once

#include <QString>

namespace vellomar {

// The "Cache" folder a Windows user's registry hive (NTUSER.DAT) names, as Windows wrote it
// (under Explorer's "User Shell Folders", else "Shell Folders"), e.g.
// "%USERPROFILE%\AppData\Local\Microsoft\Windows\INetCache". Empty when the hive cannot be
// read, is not a hive, or names none. The hive is read through the open file `fd`.
QString hivecachefolder(int fd);

} // namespace vellomar
