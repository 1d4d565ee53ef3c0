#pragma once

#include "entrysource.h"

#include <QString>
#include <memory>

namespace vellomar {

// The browser's cache at `path` (the cache's own folder; below `anchor`, the folder the user
// named, no link is followed), its entries named, sized and read decoded; null when it is no
// browser's cache.
std::unique_ptr<BrowserSource> openbrowsercache(const QString &path,
                                                const QString &anchor = QString());

// Whether `path` is a browser's cache folder (Content.IE5 is not one of these).
bool isbrowsercache(const QString &path);

} // namespace vellomar
