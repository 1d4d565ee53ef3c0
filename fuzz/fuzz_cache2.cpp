// cache2 entries: every input is a folder of files; those at its top and those in `entries/` are
// read as entries.
#include "firefoxcache2.h"
#include "fuzzinput.h"

#include <cstdlib>

namespace {

void checkpieces(const vellomar::ReadOnlyFs &fs, const std::vector<vellomar::CacheEntry> &entries)
{
    for (const auto &e : entries) {
        long long sum = 0;
        for (const auto &p : e.body) {
            std::error_code ec;
            const auto f = fs.open(p.file, ec);
            if (!f || p.offset < 0 || p.length < 0 || p.offset + p.length > f->size())
                abort();
            sum += p.length;
        }
        if (sum != e.storedsize)
            abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const vellomar::MemoryFs fs = vellomar::fuzz::memoryfs(data, size);
    vellomar::iscache2(fs, "");
    vellomar::ReadReport report;
    checkpieces(fs, vellomar::readcache2(fs, "", &report));
    return 0;
}
