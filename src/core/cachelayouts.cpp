#include "cachelayouts.h"

namespace vellomar {

namespace {

QStringList parts(std::initializer_list<const char *> names)
{
    QStringList out;
    for (const char *n : names)
        out << QString::fromUtf8(n);
    return out;
}

// A Chromium browser's caches below the folder of one of its profiles: `Cache` (its files in
// `Cache_Data` since Chrome 96) and, in the Flash years, `Media Cache` beside it.
void chromium(std::vector<CachePattern> &out, const QStringList &profile, CacheLayout layout,
              Browser browser)
{
    const QString cache = QStringLiteral("Cache");
    out.push_back({profile + QStringList{cache}, layout, browser});
    out.push_back({profile + QStringList{cache, QStringLiteral("Cache_Data")}, layout, browser});
    out.push_back({profile + QStringList{QStringLiteral("Media Cache")}, layout, browser});
}

// Firefox's below the folder of one of its profiles: cache2 (Firefox 32 on), Cache before.
void firefox(std::vector<CachePattern> &out, const QStringList &profile, CacheLayout layout)
{
    out.push_back({profile + QStringList{QStringLiteral("cache2")}, layout, Browser::firefox});
    out.push_back({profile + QStringList{QStringLiteral("Cache")}, layout, Browser::firefox});
}

struct Vendor {
    QStringList folder;
    Browser browser;
};

} // namespace

const std::vector<CachePattern> &profilepatterns()
{
    static const std::vector<CachePattern> patterns = [] {
        const QStringList windows = parts({"AppData", "Local", "Microsoft", "Windows"});
        const QString ie5 = QStringLiteral("Content.IE5");
        const QString low = QStringLiteral("Low");
        const QString tif = QStringLiteral("Temporary Internet Files");
        const QString inet = QStringLiteral("INetCache");
        const QString ie = QStringLiteral("IE");
        std::vector<CachePattern> out{
            {{QStringLiteral("Local Settings"), tif, ie5}, CacheLayout::xp},
            {windows + QStringList{tif, ie5}, CacheLayout::vista7},
            {windows + QStringList{tif, low, ie5}, CacheLayout::protectedmode},
            {windows + QStringList{inet, ie}, CacheLayout::win8},
            {windows + QStringList{inet, low, ie}, CacheLayout::protectedmode},
            // Wine keeps its cache in INetCache itself.
            {windows + QStringList{inet, ie5}, CacheLayout::wine},
        };

        // Windows: each browser's folder in the local application data, its profiles in
        // "User Data" but Opera's, whose one profile is its folder.
        const std::vector<Vendor> windowsvendors{
            {{"Google", "Chrome"}, Browser::chrome},
            {{"Chromium"}, Browser::chromium},
            {{"Microsoft", "Edge"}, Browser::edge},
            {{"BraveSoftware", "Brave-Browser"}, Browser::brave},
            {{"Vivaldi"}, Browser::vivaldi},
        };
        const std::pair<QStringList, CacheLayout> appdata[] = {
            {parts({"Local Settings", "Application Data"}), CacheLayout::xp},
            {parts({"AppData", "Local"}), CacheLayout::localappdata},
        };
        for (const auto &[local, layout] : appdata) {
            for (const Vendor &v : windowsvendors)
                chromium(out, local + v.folder + QStringList{"User Data", anyfolder}, layout,
                         v.browser);
            chromium(out, local + parts({"Opera Software", "Opera Stable"}), layout,
                     Browser::opera);
            firefox(out, local + parts({"Mozilla", "Firefox", "Profiles"}) + QStringList{anyfolder},
                    layout);
        }

        // Linux: the caches in the XDG cache folder, and where older versions kept them.
        const std::vector<Vendor> linuxvendors{
            {{"google-chrome"}, Browser::chrome},
            {{"chromium"}, Browser::chromium},
            {{"microsoft-edge"}, Browser::edge},
            {{"BraveSoftware", "Brave-Browser"}, Browser::brave},
            {{"vivaldi"}, Browser::vivaldi},
        };
        for (const char *base : {".cache", ".config"}) {
            for (const Vendor &v : linuxvendors)
                chromium(out, parts({base}) + v.folder + QStringList{anyfolder},
                         CacheLayout::linuxhome, v.browser);
        }
        for (const QStringList &profiles :
             {parts({".cache", "mozilla", "firefox"}), parts({".config", "mozilla", "firefox"}),
              parts({".mozilla", "firefox"})})
            firefox(out, profiles + QStringList{anyfolder}, CacheLayout::linuxhome);

        // macOS: the user's Library/Caches.
        const QStringList caches = parts({"Library", "Caches"});
        const std::vector<Vendor> macvendors{
            {{"Google", "Chrome"}, Browser::chrome},
            {{"Chromium"}, Browser::chromium},
            {{"Microsoft Edge"}, Browser::edge},
            {{"BraveSoftware", "Brave-Browser"}, Browser::brave},
        };
        for (const Vendor &v : macvendors)
            chromium(out, caches + v.folder + QStringList{anyfolder}, CacheLayout::macoshome,
                     v.browser);
        firefox(out, caches + parts({"Firefox", "Profiles"}) + QStringList{anyfolder},
                CacheLayout::macoshome);
        return out;
    }();
    return patterns;
}

const std::vector<CachePattern> &placepatterns()
{
    static const std::vector<CachePattern> patterns = [] {
        const QString ie5 = QStringLiteral("Content.IE5"), ie = QStringLiteral("IE"),
                      low = QStringLiteral("Low"), cache = QStringLiteral("Cache");
        return std::vector<CachePattern>{
            {{}, CacheLayout::folder},
            {{ie5}, CacheLayout::folder},
            {{low, ie5}, CacheLayout::protectedmode},
            {{ie}, CacheLayout::folder},
            {{low, ie}, CacheLayout::protectedmode},
            // A Chromium or Firefox cache, or a browser profile's folder holding one.
            {{}, CacheLayout::folder, Browser::unknown},
            {{QStringLiteral("Cache_Data")}, CacheLayout::folder, Browser::unknown},
            {{cache}, CacheLayout::folder, Browser::unknown},
            {{cache, QStringLiteral("Cache_Data")}, CacheLayout::folder, Browser::unknown},
            {{QStringLiteral("cache2")}, CacheLayout::folder, Browser::unknown},
        };
    }();
    return patterns;
}

} // namespace vellomar
