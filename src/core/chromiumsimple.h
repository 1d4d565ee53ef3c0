#pragma once

#include "cacheentry.h"
#include "cachefs.h"

#include <string>
#include <vector>

namespace vellomar {

// Chromium's Simple Cache (net/disk_cache/simple): one "<16 hex>_0" file an entry, holding its
// key, body (stream 1) and pickled response info (stream 0); "_1" holds other data and "_s" the
// ranges of a body fetched in parts.

// Whether `folder` is such a cache, from one listing: an entry file, or index-dir/the-real-index.
bool issimplecache(const ReadOnlyFs &fs, const std::string &folder);

// The cache's entries in the order of their file names. The entries that cannot be read go to
// `report`, each with why. Reads no body.
std::vector<CacheEntry> readsimplecache(const ReadOnlyFs &fs, const std::string &folder,
                                        ReadReport *report = nullptr);

} // namespace vellomar
