#include "foundcachetext.h"

#include "lineescape.h"

#include <algorithm>

namespace vellomar {

QString findline(const FoundCache &cache)
{
    QString line = layoutname(cache.layout) + QLatin1Char('\t') + lineescaped(cache.user) +
                   QLatin1Char('\t') + lineescaped(cache.path);
    if (cache.format != CacheFormat::contentie5)
        line += QLatin1Char('\t') + browserid(cache.browser) + QLatin1Char('\t') +
                formatid(cache.format);
    return line;
}

namespace {

QString browsertext(Browser browser)
{
    switch (browser) {
    case Browser::ie:
        return QStringLiteral("Internet Explorer");
    case Browser::chrome:
        return QStringLiteral("Chrome");
    case Browser::chromium:
        return QStringLiteral("Chromium");
    case Browser::edge:
        return QStringLiteral("Edge");
    case Browser::opera:
        return QStringLiteral("Opera");
    case Browser::brave:
        return QStringLiteral("Brave");
    case Browser::vivaldi:
        return QStringLiteral("Vivaldi");
    case Browser::firefox:
        return QStringLiteral("Firefox");
    case Browser::unknown:
        break;
    }
    return {};
}

// The format as named beside its browser, and the family it belongs to when named alone.
std::pair<QString, QString> formattext(CacheFormat format)
{
    switch (format) {
    case CacheFormat::contentie5:
        return {QStringLiteral("Content.IE5"), QString()};
    case CacheFormat::chromiumsimple:
        return {QStringLiteral("Simple Cache"), QStringLiteral("Chromium ")};
    case CacheFormat::chromiumblockfile:
        return {QStringLiteral("块文件缓存"), QStringLiteral("Chromium")};
    case CacheFormat::firefoxcache2:
        return {QStringLiteral("cache2"), QStringLiteral("Firefox ")};
    case CacheFormat::firefoxold:
        return {QStringLiteral("旧式缓存"), QStringLiteral("Firefox")};
    }
    return {};
}

} // namespace

QString cachekindtext(const FoundCache &cache)
{
    const auto [format, family] = formattext(cache.format);
    const QString browser = browsertext(cache.browser);
    if (browser.isEmpty())
        return family + format;
    return browser + QStringLiteral("（") + format + QStringLiteral("）");
}

bool onlyinternetexplorer(const std::vector<FoundCache> &caches)
{
    return std::all_of(caches.begin(), caches.end(),
                       [](const FoundCache &c) { return c.format == CacheFormat::contentie5; });
}

} // namespace vellomar
