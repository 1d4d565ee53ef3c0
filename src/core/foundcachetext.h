#pragma once

#include "cachediscovery.h"

#include <QString>
#include <vector>

namespace vellomar {

// A found cache as the lines of `--find` print it: layout, user and path, each escaped as a
// field, tab-separated; a cache of another browser than Internet Explorer has its browser and
// format after them ("chrome", "chromium-simple"), so that Internet Explorer's lines stay as
// they were.
QString findline(const FoundCache &cache);

// What kind of cache it is, in the window's words: "Internet Explorer（Content.IE5）",
// "Chrome（Simple Cache）", "Firefox（cache2）"; a cache of browser unknown by its format
// alone ("Chromium Simple Cache").
QString cachekindtext(const FoundCache &cache);

// Whether every cache is Internet Explorer's: the texts then say "IE缓存" as they always did.
bool onlyinternetexplorer(const std::vector<FoundCache> &caches);

} // namespace vellomar
