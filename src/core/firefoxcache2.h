#pragma once

#include "cacheentry.h"
#include "cachefs.h"

#include <string>
#include <vector>

namespace vellomar {

// Firefox 32 and later: a cache2 folder (…/cache2, beside its `index`, `doomed/` and `trash*`)
// whose `entries/` holds one file per response, named by 40 hex digits. Each file is the body,
// then the metadata (chunk hashes, a header of version 1 to 4, the key, the elements), then the
// metadata's offset in its last four bytes. The folder given is the cache2 folder; a folder that
// holds entry files itself (a copy of `entries/`) is read as well, its entries stored at "<SHA1>"
// instead of "entries/<SHA1>".
bool iscache2(const ReadOnlyFs &fs, const std::string &folder);

// Every entry of the folder, body pieces of stored bytes (the alternative data, compiled
// scripts, cut off). Content-Type and Content-Encoding are left to the head's parser. Files that
// are not whole entries go to `report` with why; `doomed/` and `trash*` are never read.
std::vector<CacheEntry> readcache2(const ReadOnlyFs &fs, const std::string &folder,
                                   ReadReport *report = nullptr);

} // namespace vellomar
