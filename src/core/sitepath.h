#pragma once

#include "digpass.h"

#include <QString>

namespace vellomar {

// Where a file fetched from `address` goes in a site's layout: <host>/<path>/<name>. Every
// segment is made a safe single name: percent escapes are undone first, then "." and "..",
// separators, characters Windows forbids, control characters, reserved device names (CON, NUL,
// COM1…), trailing dots and blanks, and segments longer than 200 bytes are made harmless, so
// no address can place a file outside the tree. At most 32 folders, the host's included, and
// 1,024 bytes below the tree: the segments beyond join the last folder's name with "~", cut to
// the file system's name limit on a whole character. No folders (and an empty name) when the
// address has no host to go by.
SiteTarget sitetarget(const QString &address);

// One segment made safe as above; `fallback` when nothing is left of it.
QString safesegment(const QString &segment, const QString &fallback);

} // namespace vellomar
