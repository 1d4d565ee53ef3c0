// Chromium's Simple Cache reader on a small cache in memory: every entry it gives must lie
// inside the cache's files.
#include "cacheentry.h"
#include "chromiumhttp.h"
#include "chromiumsimple.h"
#include "fuzzinput.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace vellomar;
    // The response info's parser on its own too: behind the entries' checksums a mutation rarely
    // reaches it.
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    ChromiumResponseInfo info;
    QString why;
    if (readresponseinfo(bytes, info, why) && (info.httpstatus < 100 || info.httpstatus > 999))
        std::abort();
    (void)chromiumkeyaddress(bytes);

    const MemoryFs fs = fuzz::memoryfs(data, size);
    for (const std::string folder : {"", "Cache_Data"}) {
        (void)issimplecache(fs, folder);
        ReadReport report;
        const std::vector<CacheEntry> entries = readsimplecache(fs, folder, &report);
        fuzz::checkpieces(fs, entries);
        for (const CacheEntry &e : entries) {
            if (e.httpstatus < 100 || e.httpstatus > 999)
                std::abort();
        }
    }
    return 0;
}
