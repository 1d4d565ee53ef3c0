// Chromium's blockfile cache from one fuzz input: whatever the bytes, the reader ends and every
// piece it gives lies inside a file of the cache.
#include "chromiumblockfile.h"
#include "fuzzinput.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const vellomar::MemoryFs fs = vellomar::fuzz::memoryfs(data, size);
    if (vellomar::isblockfilecache(fs, "") != (vellomar::blockfileentrycount(fs, "") >= 0))
        std::abort();
    vellomar::ReadReport report;
    for (const vellomar::CacheEntry &e : vellomar::readblockfilecache(fs, "", &report)) {
        long long total = 0;
        for (const vellomar::BodyPiece &p : e.body) {
            std::error_code ec;
            const auto file = fs.open(p.file, ec);
            if (!file || p.offset < 0 || p.length <= 0 || p.offset + p.length > file->size())
                std::abort();
            total += p.length;
        }
        if (total != e.storedsize)
            std::abort();
    }
    return 0;
}
