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
    const auto entries = vellomar::readblockfilecache(fs, "", &report);
    vellomar::fuzz::checkpieces(fs, entries);
    for (const vellomar::CacheEntry &e : entries) {
        for (const vellomar::BodyPiece &p : e.body) {
            if (p.length == 0) // the reader gives no empty pieces
                std::abort();
        }
    }
    return 0;
}
