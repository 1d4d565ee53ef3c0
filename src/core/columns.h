#pragma once

#include <array>

namespace vellomar {

// The result list's columns, in order; the narrow ones between are separators.
namespace col {
inline constexpr int position = 0;
inline constexpr int name = 2;
inline constexpr int type = 4;
inline constexpr int size = 6;
inline constexpr int sortsize = 7;
inline constexpr int count = 8;
} // namespace col

struct ColumnSpec {
    const char *key;
    const char16_t *caption;
    int width;
    bool flag1;
};

inline constexpr std::array<ColumnSpec, col::count> resultcolumns = {{
    {"id", u"序号", 35, true},
    {"l1", u"", 1, false},
    {"fn", u"原始文件名", 150, true},
    {"l2", u"", 1, false},
    {"type", u"类型", 35, true},
    {"l3", u"", 1, false},
    {"size", u"实际大小", 60, true},
    {"sortsize", u"排序大小", 60, true},
}};

inline bool isseparatorcolumn(int c)
{
    return c == 1 || c == 3 || c == 5;
}

} // namespace vellomar
