#pragma once

#include <cstddef>
#include <cstdint>

namespace vellomar {

// zlib's CRC-32 (the reflected 0xEDB88320 polynomial), continued from `crc` (0 to start).
uint32_t crc32(const char *data, size_t size, uint32_t crc = 0);

} // namespace vellomar
