#include "crc32.h"

#include <zlib.h>

#include <algorithm>

namespace vellomar {

uint32_t crc32(const char *data, size_t size, uint32_t crc)
{
    // zlib takes at most a uInt at a time.
    uLong value = crc;
    while (size > 0) {
        const size_t step = std::min<size_t>(size, 1u << 30);
        value = ::crc32(value, reinterpret_cast<const Bytef *>(data), uInt(step));
        data += step;
        size -= step;
    }
    return uint32_t(value);
}

} // namespace vellomar
