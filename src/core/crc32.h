#pragma once

#include <cstddef>
#include <cstdint>

namespace vellomar {

// The CRC-32 Chromium keeps of its streams (zlib's), continued from `crc` (0 to start).
uint32_t crc32(const char *data, size_t size, uint32_t crc = 0);

} // namespace vellomar
