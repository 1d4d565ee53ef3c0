#include "numbers.h"

#include <cfenv>
#include <cmath>

namespace vellomar {

qint64 roundhalfeven(double value)
{
    // nearbyint follows the current rounding mode; make sure it is to-nearest-even.
    const int saved = std::fegetround();
    if (saved != FE_TONEAREST)
        std::fesetround(FE_TONEAREST);
    const double r = std::nearbyint(value);
    if (saved != FE_TONEAREST)
        std::fesetround(saved);
    return qint64(r);
}

QString hundredthstext(qint64 hundredths)
{
    const bool negative = hundredths < 0;
    const quint64 v = negative ? quint64(-hundredths) : quint64(hundredths);
    QString text = QString::number(v / 100);
    const quint64 frac = v % 100;
    if (frac != 0) {
        text += QLatin1Char('.');
        text += QLatin1Char(char('0' + frac / 10));
        if (frac % 10 != 0)
            text += QLatin1Char(char('0' + frac % 10));
    }
    return negative ? QLatin1Char('-') + text : text;
}

} // namespace vellomar
