#include "browseropen.h"

#include "cacheformat.h"
#include "entrydecoding.h"
#include "platform.h"

namespace vellomar {

namespace {

FolderHandle openfolder(const QString &path, const QString &anchor)
{
    if (anchor.isEmpty() || !path.startsWith(anchor))
        return openbeneath(path);
    QString below = path.mid(anchor.size());
    while (below.startsWith(separator()))
        below.remove(0, 1);
    return openbeneath(anchor, below);
}

} // namespace

std::unique_ptr<BrowserSource> openbrowsercache(const QString &path, const QString &anchor)
{
    const FolderHandle root = openfolder(path, anchor);
    if (!root.valid())
        return nullptr;
    std::unique_ptr<ReadOnlyFs> fs = localfs(root.fd());
    const CacheFormat format = detectformat(*fs, std::string());
    if (format == CacheFormat::contentie5)
        return nullptr;
    QString cachepath = path;
    while (cachepath.size() > 1 && cachepath.endsWith(separator()))
        cachepath.chop(1);
    return browsersource(cachepath, format, std::move(fs), std::string(), formatreaders(),
                         decodedbodies());
}

bool isbrowsercache(const QString &path)
{
    const FolderHandle root = openbeneath(path);
    if (!root.valid())
        return false;
    const std::unique_ptr<ReadOnlyFs> fs = localfs(root.fd());
    return detectformat(*fs, std::string()) != CacheFormat::contentie5;
}

} // namespace vellomar
