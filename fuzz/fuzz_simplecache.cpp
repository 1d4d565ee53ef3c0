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
        for (const CacheEntry &e : readsimplecache(fs, folder, &report)) {
            long long total = 0;
            for (const BodyPiece &p : e.body) {
                std::error_code ec;
                auto file = fs.open(p.file, ec);
                if (!file || p.offset < 0 || p.length < 0 || p.offset > file->size() ||
                    p.length > file->size() - p.offset)
                    std::abort();
                total += p.length;
            }
            if (total != e.storedsize || e.httpstatus < 100 || e.httpstatus > 999)
                std::abort();
        }
    }
    return 0;
}
