#include "crc32.h"

#include <array>

namespace vellomar {

namespace {

constexpr uint32_t polynomial = 0xEDB88320u;

constexpr std::array<uint32_t, 256> maketable()
{
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 1) ? polynomial ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    return table;
}

constexpr std::array<uint32_t, 256> table = maketable();

} // namespace

uint32_t crc32(const char *data, size_t size, uint32_t crc)
{
    crc = ~crc;
    for (size_t i = 0; i < size; ++i)
        crc = table[(crc ^ uint8_t(data[i])) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

} // namespace vellomar
