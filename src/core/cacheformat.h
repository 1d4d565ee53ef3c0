#pragma once

#include "cacheentry.h"
#include "cachefs.h"
#include "entrysource.h"

#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vellomar {

// A format of browser cache the program reads: how a folder is told to be one, and its reader.
struct FormatReader {
    CacheFormat format;
    std::function<bool(const ReadOnlyFs &, const std::string &folder)> is;
    CacheReader read;
};

// The readers of every format but Content.IE5, tried in order.
const std::vector<FormatReader> &formatreaders();

// What a folder is: the first format whose reader knows it, else Content.IE5 (whose caches are
// found as they always were).
CacheFormat detectformat(const ReadOnlyFs &fs, const std::string &folder,
                         const std::vector<FormatReader> &readers = formatreaders());

// A browser's cache at `cachepath` (the folder `folder` of `fs`) read by its format's reader;
// null when no reader knows the format.
std::unique_ptr<BrowserSource>
browsersource(const QString &cachepath, CacheFormat format, std::unique_ptr<ReadOnlyFs> fs,
              const std::string &folder, const std::vector<FormatReader> &readers = formatreaders(),
              const BodyHandling &handling = {});

} // namespace vellomar
