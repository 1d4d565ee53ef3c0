#include "cacheformat.h"

#include "chromiumblockfile.h"
#include "chromiumsimple.h"
#include "firefoxcache2.h"
#include "firefoxold.h"

namespace vellomar {

const std::vector<FormatReader> &formatreaders()
{
    // The blockfile index is read last: the others are told by their names alone.
    static const std::vector<FormatReader> readers{
        {CacheFormat::chromiumsimple, issimplecache, readsimplecache},
        {CacheFormat::firefoxcache2, iscache2, readcache2},
        {CacheFormat::firefoxold, isoldfirefoxcache, readoldfirefoxcache},
        {CacheFormat::chromiumblockfile, isblockfilecache, readblockfilecache},
    };
    return readers;
}

CacheFormat detectformat(const ReadOnlyFs &fs, const std::string &folder,
                         const std::vector<FormatReader> &readers)
{
    for (const FormatReader &r : readers) {
        if (r.is && r.is(fs, folder))
            return r.format;
    }
    return CacheFormat::contentie5;
}

std::unique_ptr<BrowserSource> browsersource(const QString &cachepath, CacheFormat format,
                                             std::unique_ptr<ReadOnlyFs> fs,
                                             const std::string &folder,
                                             const std::vector<FormatReader> &readers,
                                             const BodyHandling &handling)
{
    for (const FormatReader &r : readers) {
        if (r.format == format && r.read)
            return std::make_unique<BrowserSource>(cachepath, format, std::move(fs), folder, r.read,
                                                   handling);
    }
    return nullptr;
}

} // namespace vellomar
