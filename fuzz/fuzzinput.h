#pragma once

// A fuzz input is a small cache: files one after another, each a line with its path, then a
// line with its size in decimal, then its bytes. Whatever does not parse ends the list, so
// every input gives some files.

#include "cacheentry.h"
#include "cachefs.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace vellomar::fuzz {

inline constexpr size_t mostfiles = 64;

// The input's files, as paths and bytes; none of them longer than `mostbytes`.
inline std::vector<std::pair<std::string, QByteArray>> files(const uint8_t *data, size_t size,
                                                             size_t mostbytes = SIZE_MAX)
{
    std::vector<std::pair<std::string, QByteArray>> out;
    const char *p = reinterpret_cast<const char *>(data);
    const char *end = p + size;
    auto line = [&](std::string &text) {
        const char *nl = static_cast<const char *>(memchr(p, '\n', size_t(end - p)));
        if (!nl)
            return false;
        text.assign(p, nl);
        p = nl + 1;
        return true;
    };
    for (size_t i = 0; i < mostfiles && p < end; ++i) {
        std::string path, length;
        if (!line(path) || !line(length) || path.empty() || length.empty() || length.size() > 9)
            break;
        size_t n = 0;
        for (char c : length) {
            if (c < '0' || c > '9')
                return out;
            n = n * 10 + size_t(c - '0');
        }
        n = std::min({n, size_t(end - p), mostbytes});
        out.emplace_back(path, QByteArray(p, qsizetype(n)));
        p += n;
    }
    return out;
}

inline MemoryFs memoryfs(const uint8_t *data, size_t size)
{
    MemoryFs fs;
    for (auto &[path, bytes] : files(data, size))
        fs.add(path, std::move(bytes));
    return fs;
}

// What a reader gives must hold whatever the input: every piece inside its file, and the
// stored size their sum. A breach aborts, for the fuzzer to keep the input.
inline void checkpieces(const ReadOnlyFs &fs, const std::vector<CacheEntry> &entries)
{
    for (const CacheEntry &e : entries) {
        long long sum = 0;
        for (const BodyPiece &p : e.body) {
            std::error_code ec;
            const auto f = fs.open(p.file, ec);
            if (!f || p.offset < 0 || p.length < 0 || p.offset > f->size() ||
                p.length > f->size() - p.offset)
                std::abort();
            sum += p.length;
        }
        if (sum != e.storedsize)
            std::abort();
    }
}

} // namespace vellomar::fuzz
