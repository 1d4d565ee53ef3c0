#pragma once

#include "cachediscovery.h"

#include <QStringList>
#include <vector>

namespace vellomar {

// Where a layout keeps a cache, below the folder it is tried from.
struct CachePattern {
    QStringList components; // matched without regard to case; `anyfolder` matches every one
    CacheLayout layout;
    // ie: a Content.IE5 cache is looked for there; any other: a Chromium or Firefox cache,
    // told by its contents.
    Browser browser = Browser::ie;
};

// No folder's name holds a slash.
inline const QString anyfolder = QStringLiteral("/");

// The caches of a user's profile (Windows) or home (Linux, macOS), in the order they are listed.
const std::vector<CachePattern> &profilepatterns();

// The place opened, when it is a cache itself or the folder holding one.
const std::vector<CachePattern> &placepatterns();

} // namespace vellomar
