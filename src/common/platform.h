#pragma once

#include <QString>
#include <string>

namespace vellomar
{

// Hidden entries: a leading "." on this system.
bool ishiddenname(const QString &name);

// A file name from the system in the user's encoding; empty when the bytes do not survive a
// round trip (such a file cannot be named again, so it is left out rather than shown wrongly).
QString decodedname(const std::string &raw);

// The native form of a path for the C++ file functions.
std::string nativepath(const QString &path);

// The native separator; folder paths kept by the program end with it.
QString separator();

// The folder the program itself lives in, ending with the separator.
QString programfolder();

} // namespace vellomar
