#pragma once

#include <QString>
#include <array>

namespace vellomar {

// A file's size in whole KB: rounded to hundredths of a KB first, then to a whole KB,
// halves to even both times (517 bytes -> 0, 518 -> 1, 3579 -> 4).
qint64 sizekb(qint64 bytes);

// "15 K" below 1024 KB, else MB with at most two decimals: "1.07 M".
QString sizetext(qint64 kb);

// Eight digits, zero padded, so a text sort equals a numeric one.
QString sortkey(qint64 kb);

// What follows the last "." of a name, case kept; the whole name without a ".".
QString typetext(const QString &name);
// The same, without a copy.
QStringView typeview(QStringView name);

// The sixteen slider positions and their bounds in KB.
inline constexpr std::array<qint64, 16> SizeSteps = {
    0, 10, 20, 30, 50, 100, 200, 300, 500, 1024, 2048, 3072, 5120, 10240, 30720, 92160};
inline constexpr int sizestepfirst = 1;
inline constexpr int sizesteplast = 16;

// The bound of a slider position, or -1 outside 1..16.
qint64 sizestepbound(int position);

// "10K", "500K", "1M", "90M": no blank before the unit.
QString sizesteplabel(qint64 kb);

} // namespace vellomar
