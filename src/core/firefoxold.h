#pragma once

#include "cacheentry.h"
#include "cachefs.h"

#include <string>
#include <vector>

namespace vellomar {

// Firefox up to 31: a Cache folder with `_CACHE_MAP_` (a header, then buckets of records: the
// key's hash, the eviction rank, where the data is and where the metadata is), the block files
// `_CACHE_001_`…`_CACHE_003_` (a bitmap, then blocks of 256, 1024 and 4096 bytes) and larger
// data and metadata in files of their own in hex-named sub-folders ("A/1B/CDEF0d01").
bool isoldfirefoxcache(const ReadOnlyFs &fs, const std::string &folder);

// Every entry the map names. Without a map (or with a damaged one) the metadata records are
// found by scanning the block files and the hex folders; where their data is, only the map
// says, so an entry with data is given only when a file of the hex folders has its key's name
// and its data's size exactly, and goes to `report` otherwise. `storedat` is where the body is
// ("_CACHE_003_ block 18", "A/1B/CDEF0d01"), or the metadata for an entry without one.
std::vector<CacheEntry> readoldfirefoxcache(const ReadOnlyFs &fs, const std::string &folder,
                                            ReadReport *report = nullptr);

} // namespace vellomar
