#pragma once

#include "cacheformat.h"
#include "entrysource.h"

#include <QString>
#include <memory>
#include <vector>

namespace vellomar {

// The readers of the browsers' caches this build knows, each reading the head of every entry it
// gives (status, content type, encoding).
const std::vector<FormatReader> &browserreaders();

// What the window and the command make of a browser's entry: rows only for whole responses,
// named from the address, the type and the decoded first bytes, sized and read decoded (a body
// whose decoding fails is read as stored, and the manifest says why).
BodyHandling decodedbodies();

// The browser's cache at `path` (the folder itself, opened without following links below
// `anchor`), or null when it is no cache of theirs.
std::unique_ptr<BrowserSource> openbrowsercache(const QString &path,
                                                const QString &anchor = QString());

// Whether `path` is a browser's cache folder (Content.IE5 is not one of these).
bool isbrowsercache(const QString &path);

} // namespace vellomar
