#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vellomar {

// Hidden entries: a leading "." on this system.
bool ishiddenname(const QString &name);

// A file name from the system in the user's encoding; empty when the bytes do not survive a
// round trip (such a file cannot be named again, so it is left out rather than shown wrongly).
QString decodedname(std::string_view raw);

enum class EntryKind { file, folder, other };

// Calls `visit` with the raw name and kind of every entry of `folder` but "." and "..", in the
// order the system lists them, from one read of the folder. Links are `other`: never followed.
// False when the folder cannot be read.
bool listfolder(const QString &folder,
                const std::function<void(std::string_view name, EntryKind kind)> &visit);

// The size in bytes of each named file of `folder`, one query each; -1 where it cannot be read.
std::vector<qint64> filesizes(const QString &folder, const QStringList &names);

// The native form of a path for the C++ file functions.
std::string nativepath(const QString &path);

// The native separator; folder paths kept by the program end with it.
QString separator();

// The folder the program itself lives in, ending with the separator.
QString programfolder();

} // namespace vellomar
