// cache2 entries: every input is a folder of files; those at its top and those in `entries/` are
// read as entries.
#include "firefoxcache2.h"
#include "fuzzinput.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const vellomar::MemoryFs fs = vellomar::fuzz::memoryfs(data, size);
    vellomar::iscache2(fs, "");
    vellomar::ReadReport report;
    vellomar::fuzz::checkpieces(fs, vellomar::readcache2(fs, "", &report));
    return 0;
}
