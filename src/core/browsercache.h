#pragma once

#include "cacheentry.h"
#include "platform.h"

#include <QString>
#include <optional>
#include <string>
#include <vector>

namespace vellomar {

// The browser that kept a cache, as told by where it was found.
enum class Browser {
    ie,
    chrome,
    chromium,
    edge,
    opera,
    brave,
    vivaldi,
    firefox,
    unknown, // a cache found by its contents alone, in a folder of no browser's naming
};

// Stable identifiers for scripts: "ie", "chrome", …, "unknown"; "content.ie5",
// "chromium-simple", "chromium-blockfile", "firefox-cache2", "firefox-old".
QString browserid(Browser browser);
QString formatid(CacheFormat format);

// One entry of a folder as it was listed.
struct ListedEntry {
    std::string raw;
    EntryKind kind;
};

// What a folder holding a Chromium or Firefox cache holds, counted cheaply.
struct BrowserCacheContents {
    CacheFormat format = CacheFormat::chromiumsimple;
    qint64 entries = -1; // the entries the cache keeps; -1 when its own count cannot be read
    qint64 files = 0;    // plain files of the cache's folder (cache2: of its entries folder)
    qint64 bytes = 0;    // their total size
    qint64 newest = 0;   // the newest one's modification time, in ms since 1970; 0 for none
};

// The Chromium or Firefox cache that the open folder `dir`, listed as `listing`, is, told by
// its contents: `index-dir` or `<16 hex>_0` files (Simple), an `entries` folder of cache2 files
// or such files themselves, `_CACHE_MAP_` or `_CACHE_001_`, an `index` with the blockfile magic.
// Names are matched without regard to case. Lists at most the `entries` folder and reads a
// header only where the names do not tell (the map's, an `index`'s); nullopt for none.
std::optional<BrowserCacheContents> recognisebrowsercache(int dir,
                                                          const std::vector<ListedEntry> &listing);

} // namespace vellomar
