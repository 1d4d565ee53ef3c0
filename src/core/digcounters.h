#pragma once

#include "resourcetree.h"

#include <QString>
#include <array>

namespace vellomar {

// Files and bytes dug per class during one dig command. 64-bit: no figure is ever capped.
struct DigCounters {
    std::array<qint64, 8> files{};
    std::array<qint64, 8> bytes{};

    void reset()
    {
        files.fill(0);
        bytes.fill(0);
    }
    void add(ResourceClass c, qint64 size)
    {
        files[size_t(c)] += 1;
        bytes[size_t(c)] += size;
    }
    qint64 filesof(ResourceClass c) const { return files[size_t(c)]; }
    qint64 bytesof(ResourceClass c) const { return bytes[size_t(c)]; }
    qint64 totalfiles() const;
    qint64 totalbytes() const;
};

// Megabytes with at most two decimals, halves to even, "0" before the point below 1.
QString megabytetext(qint64 bytes);

// The report shown after a dig; lines break with a lone carriage return.
QString digreport(const DigCounters &counters);

// "正在处理IE缓存文件夹（k/m），请稍候……" CR CR "（p%）" after row r (from 0) of n.
QString progresstext(int folderposition, int foldercount, qint64 row, qint64 rows);

// The percentage of the progress text, halves to even.
qint64 progresspercent(qint64 row, qint64 rows);

} // namespace vellomar
