#pragma once

#include <QString>
#include <QtGlobal>

namespace vellomar {

// Fractions become whole numbers with halves going to the even neighbour.
qint64 roundhalfeven(double value);

// A count of hundredths written with at most two decimals and no trailing zeros: 107 -> "1.07",
// 150 -> "1.5", 200 -> "2", 12 -> "0.12".
QString hundredthstext(qint64 hundredths);

// Twips are the unit of the window layout: 15 to a pixel.
constexpr int twipsperpixel = 15;
constexpr int pixels(int twips)
{
    return (twips + twipsperpixel / 2) / twipsperpixel;
}

// Colours as the list control passes them: red in the low byte, then green, then blue.
using OleColor = quint32;
constexpr OleColor rgb(int r, int g, int b)
{
    return OleColor(r) | (OleColor(g) << 8) | (OleColor(b) << 16);
}
constexpr int redof(OleColor c)
{
    return int(c & 0xff);
}
constexpr int greenof(OleColor c)
{
    return int((c >> 8) & 0xff);
}
constexpr int blueof(OleColor c)
{
    return int((c >> 16) & 0xff);
}

} // namespace vellomar
