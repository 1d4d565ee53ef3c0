#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>

#include <cstdint>
#include <optional>

namespace vellomar::firefox {

// Both of Firefox's disk caches keep numbers big-endian.
uint32_t be32(const char *p);

// Bob Jenkins' hash as Gecko's CacheHash::Hash computes it (initial value 0): cache2 checks its
// metadata with it.
uint32_t jenkinshash(const char *data, size_t size);

// Metadata elements are "name\0value\0" pairs; whole when they end in a NUL and hold an even
// number of them (Gecko's own test before it trusts them).
bool elementswhole(QByteArrayView elements);
// The value of the first element named `name`; none when there is no such element.
std::optional<QByteArray> element(QByteArrayView elements, QByteArrayView name);

// Seconds since the epoch as Firefox keeps them; invalid for 0, which means "not kept".
QDateTime firefoxtime(uint32_t seconds);

} // namespace vellomar::firefox
