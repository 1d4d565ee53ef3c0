#include "sizes.h"

#include "numbers.h"

namespace vellomar {

qint64 sizekb(qint64 bytes)
{
    const qint64 hundredths = roundhalfeven(double(bytes) / 1024.0 * 100.0);
    return roundhalfeven(double(hundredths) / 100.0);
}

QString sizetext(qint64 kb)
{
    if (kb < 1024)
        return QString::number(kb) + QStringLiteral(" K");
    return hundredthstext(roundhalfeven(double(kb) / 1024.0 * 100.0)) + QStringLiteral(" M");
}

QString sortkey(qint64 kb)
{
    if (kb < 0 || kb > 99999999)
        return QStringLiteral("%1").arg(kb, 8, 10, QLatin1Char('0'));
    char digits[8];
    for (int i = 7; i >= 0; --i, kb /= 10)
        digits[i] = char('0' + kb % 10);
    return QString::fromLatin1(digits, 8);
}

QString typetext(const QString &name)
{
    const QStringView type = typeview(name);
    return type.size() == name.size() ? name : type.toString();
}

QStringView typeview(QStringView name)
{
    return name.mid(name.lastIndexOf(u'.') + 1);
}

qint64 sizestepbound(int position)
{
    if (position < sizestepfirst || position > sizesteplast)
        return -1;
    return SizeSteps[size_t(position - 1)];
}

QString sizesteplabel(qint64 kb)
{
    if (kb <= 500)
        return QString::number(kb) + QLatin1Char('K');
    return hundredthstext(roundhalfeven(double(kb) / 1024.0 * 100.0)) + QLatin1Char('M');
}

} // namespace vellomar
