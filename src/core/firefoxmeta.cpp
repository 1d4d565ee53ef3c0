#include "firefoxmeta.h"

namespace vellomar::firefox {

uint32_t be32(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return (uint32_t(u[0]) << 24) | (uint32_t(u[1]) << 16) | (uint32_t(u[2]) << 8) | u[3];
}

namespace {

void mix(uint32_t &a, uint32_t &b, uint32_t &c)
{
    a -= b, a -= c, a ^= c >> 13;
    b -= c, b -= a, b ^= a << 8;
    c -= a, c -= b, c ^= b >> 13;
    a -= b, a -= c, a ^= c >> 12;
    b -= c, b -= a, b ^= a << 16;
    c -= a, c -= b, c ^= b >> 5;
    a -= b, a -= c, a ^= c >> 3;
    b -= c, b -= a, b ^= a << 10;
    c -= a, c -= b, c ^= b >> 15;
}

uint32_t le32(const unsigned char *k)
{
    return k[0] | (uint32_t(k[1]) << 8) | (uint32_t(k[2]) << 16) | (uint32_t(k[3]) << 24);
}

} // namespace

uint32_t jenkinshash(const char *data, size_t size)
{
    const auto *k = reinterpret_cast<const unsigned char *>(data);
    uint32_t a = 0x9e3779b9, b = a, c = 0;
    size_t left = size;
    for (; left >= 12; k += 12, left -= 12) {
        a += le32(k);
        b += le32(k + 4);
        c += le32(k + 8);
        mix(a, b, c);
    }
    c += uint32_t(size);
    // The last bytes go in from the highest; c's low byte holds the length.
    static constexpr int word[11] = {0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2};
    static constexpr int shift[11] = {0, 8, 16, 24, 0, 8, 16, 24, 8, 16, 24};
    uint32_t *words[3] = {&a, &b, &c};
    for (size_t i = 0; i < left; ++i)
        *words[word[i]] += uint32_t(k[i]) << shift[i];
    mix(a, b, c);
    return c;
}

bool elementswhole(QByteArrayView elements)
{
    if (elements.isEmpty())
        return true;
    if (elements.back() != '\0')
        return false;
    return elements.count('\0') % 2 == 0;
}

std::optional<QByteArray> element(QByteArrayView elements, QByteArrayView name)
{
    qsizetype at = 0;
    while (at < elements.size()) {
        const qsizetype nameend = elements.indexOf('\0', at);
        if (nameend < 0)
            return std::nullopt;
        const qsizetype valueend = elements.indexOf('\0', nameend + 1);
        if (valueend < 0)
            return std::nullopt;
        if (elements.sliced(at, nameend - at) == name)
            return elements.sliced(nameend + 1, valueend - nameend - 1).toByteArray();
        at = valueend + 1;
    }
    return std::nullopt;
}

QDateTime firefoxtime(uint32_t seconds)
{
    return seconds ? QDateTime::fromSecsSinceEpoch(qint64(seconds), Qt::UTC) : QDateTime();
}

} // namespace vellomar::firefox
