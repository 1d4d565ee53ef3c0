#include "browsertooltip.h"

#include <QLocale>
#include <QStringList>

namespace vellomar {

QString browserrecorddescription(const CacheRecord &r, CacheFormat format)
{
    const QLocale locale;
    QStringList lines{r.address};
    if (!r.contenttype.isEmpty())
        lines << QStringLiteral("类型：") + r.contenttype;
    if (!r.contentencoding.isEmpty())
        lines << QStringLiteral("编码：") + r.contentencoding;
    // The record keeps a format's two times in these two: Chromium's response and request,
    // Firefox's last modified and last fetched.
    const bool chromium =
        format == CacheFormat::chromiumsimple || format == CacheFormat::chromiumblockfile;
    const QString first = chromium ? QStringLiteral("响应时间：") : QStringLiteral("修改时间：");
    const QString second = chromium ? QStringLiteral("请求时间：") : QStringLiteral("获取时间：");
    if (r.lastmodified.isValid())
        lines << first + locale.toString(r.lastmodified.toLocalTime(), QLocale::ShortFormat);
    if (r.lastaccessed.isValid())
        lines << second + locale.toString(r.lastaccessed.toLocalTime(), QLocale::ShortFormat);
    return lines.join(QLatin1Char('\n'));
}

} // namespace vellomar
