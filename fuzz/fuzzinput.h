#pragma once

// A fuzz input is a small cache: files one after another, each a line with its path, then a
// line with its size in decimal, then its bytes. Whatever does not parse ends the list, so
// every input gives some files.

#include "cachefs.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace vellomar::fuzz {

inline constexpr size_t mostfiles = 64;

inline MemoryFs memoryfs(const uint8_t *data, size_t size)
{
    MemoryFs fs;
    const char *p = reinterpret_cast<const char *>(data);
    const char *end = p + size;
    auto line = [&](std::string &out) {
        const char *nl = static_cast<const char *>(memchr(p, '\n', size_t(end - p)));
        if (!nl)
            return false;
        out.assign(p, nl);
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
                return fs;
            n = n * 10 + size_t(c - '0');
        }
        n = std::min(n, size_t(end - p));
        fs.add(path, QByteArray(p, qsizetype(n)));
        p += n;
    }
    return fs;
}

} // namespace vellomar::fuzz
