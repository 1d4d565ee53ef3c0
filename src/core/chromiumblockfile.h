#pragma once

// Chromium's blockfile disk cache (versions 2.0, 2.1 and 3.0): `index`, data_0…data_N and
// external f_xxxxxx files in one folder.

#include "cacheentry.h"
#include "cachefs.h"

#include <string>
#include <vector>

namespace vellomar {

// The folder holds an `index` file with the blockfile magic.
bool isblockfilecache(const ReadOnlyFs &fs, const std::string &folder);

// Every entry whose body can be read, in the index's order. Sparse children are folded into
// their parents' bodies; entries whose record or body cannot be read go to `report`.
std::vector<CacheEntry> readblockfilecache(const ReadOnlyFs &fs, const std::string &folder,
                                           ReadReport *report = nullptr);

// The entry count the index's header keeps, read cheaply; -1 when the folder is not one.
int blockfileentrycount(const ReadOnlyFs &fs, const std::string &folder);

} // namespace vellomar
