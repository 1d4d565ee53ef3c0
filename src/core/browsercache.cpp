#include "browsercache.h"

#include <QtEndian>
#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>

namespace vellomar {

QString browserid(Browser browser)
{
    switch (browser) {
    case Browser::ie:
        return QStringLiteral("ie");
    case Browser::chrome:
        return QStringLiteral("chrome");
    case Browser::chromium:
        return QStringLiteral("chromium");
    case Browser::edge:
        return QStringLiteral("edge");
    case Browser::opera:
        return QStringLiteral("opera");
    case Browser::brave:
        return QStringLiteral("brave");
    case Browser::vivaldi:
        return QStringLiteral("vivaldi");
    case Browser::firefox:
        return QStringLiteral("firefox");
    case Browser::unknown:
        return QStringLiteral("unknown");
    }
    return {};
}

QString formatid(CacheFormat format)
{
    switch (format) {
    case CacheFormat::contentie5:
        return QStringLiteral("content.ie5");
    case CacheFormat::chromiumsimple:
        return QStringLiteral("chromium-simple");
    case CacheFormat::chromiumblockfile:
        return QStringLiteral("chromium-blockfile");
    case CacheFormat::firefoxcache2:
        return QStringLiteral("firefox-cache2");
    case CacheFormat::firefoxold:
        return QStringLiteral("firefox-old");
    }
    return {};
}

namespace {

// Chromium's blockfile index: magic, version, then the entry count, little-endian
// (net/disk_cache/blockfile/disk_format.h, IndexHeader).
constexpr quint32 blockfileindexmagic = 0xC103CAC3;
constexpr int blockfileentriesat = 8;
// Firefox's old _CACHE_MAP_: version, data size, then the entry count, big-endian
// (netwerk/cache/nsDiskCacheMap.h, nsDiskCacheHeader).
constexpr int firefoxmapentriesat = 8;
constexpr int headerbytes = 12;

// A Simple Cache entry's stream file: the key's hash in 16 hex digits, then "_0".
constexpr size_t simplehashdigits = 16;
// A cache2 entry: the key's SHA-1 in 40 hex digits.
constexpr size_t cache2hashdigits = 40;

bool ishex(std::string_view s)
{
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    });
}

bool issimpleentry(std::string_view raw)
{
    return raw.size() == simplehashdigits + 2 && raw.substr(simplehashdigits) == "_0" &&
           ishex(raw.substr(0, simplehashdigits));
}

bool iscache2entry(std::string_view raw)
{
    return raw.size() == cache2hashdigits && ishex(raw);
}

bool samename(std::string_view raw, std::string_view name)
{
    return raw.size() == name.size() &&
           std::equal(raw.begin(), raw.end(), name.begin(), [](char a, char b) {
               return (a >= 'A' && a <= 'Z' ? a + ('a' - 'A') : a) ==
                      (b >= 'A' && b <= 'Z' ? b + ('a' - 'A') : b);
           });
}

// The entries of `listing` of `kind` named `name` without regard to case, the exact spelling
// first, then the others in byte order.
std::vector<const ListedEntry *> named(const std::vector<ListedEntry> &listing,
                                       std::string_view name, EntryKind kind)
{
    std::vector<const ListedEntry *> out;
    for (const ListedEntry &e : listing) {
        if (e.kind == kind && samename(e.raw, name))
            out.push_back(&e);
    }
    std::sort(out.begin(), out.end(), [name](const ListedEntry *a, const ListedEntry *b) {
        const bool ea = a->raw == name, eb = b->raw == name;
        return ea != eb ? ea : a->raw < b->raw;
    });
    return out;
}

// The first bytes of a plain file of `dir`; empty when it cannot be read.
QByteArray header(int dir, const std::string &raw)
{
    long long size = 0;
    std::error_code ec;
    FileDescriptor f{openplainfileat(dir, raw, &size, ec)};
    if (f.fd < 0)
        return {};
    return readbytes(f.fd, std::min<long long>(size, headerbytes));
}

// A count kept in a header; -1 when the header is too short or the count is negative.
qint64 countat(const QByteArray &h, int at, bool bigendian)
{
    if (h.size() < at + 4)
        return -1;
    const auto *p = reinterpret_cast<const uchar *>(h.constData() + at);
    const qint32 n = bigendian ? qFromBigEndian<qint32>(p) : qFromLittleEndian<qint32>(p);
    return n < 0 ? -1 : qint64(n);
}

// Counts the plain files of `dir` (hidden ones left out, as the lists leave them out).
void measure(int dir, const std::vector<ListedEntry> &listing, BrowserCacheContents &c)
{
    for (const ListedEntry &e : listing) {
        struct stat st;
        if (e.kind != EntryKind::file || e.raw.front() == '.' ||
            ::fstatat(dir, e.raw.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
            continue;
        ++c.files;
        c.bytes += st.st_size;
        c.newest = std::max<qint64>(c.newest, qint64(st.st_mtim.tv_sec) * 1000 +
                                                  st.st_mtim.tv_nsec / 1000000);
    }
}

// A folder of cache2 entries and nothing else: the `entries` folder itself.
bool iscache2entries(const std::vector<ListedEntry> &listing)
{
    bool any = false;
    for (const ListedEntry &e : listing) {
        if (e.raw.front() == '.')
            continue;
        if (e.kind != EntryKind::file || !iscache2entry(e.raw))
            return false;
        any = true;
    }
    return any;
}

qint64 cache2entries(const std::vector<ListedEntry> &listing)
{
    return std::count_if(listing.begin(), listing.end(), [](const ListedEntry &e) {
        return e.kind == EntryKind::file && iscache2entry(e.raw);
    });
}

} // namespace

std::optional<BrowserCacheContents> recognisebrowsercache(int dir,
                                                          const std::vector<ListedEntry> &listing)
{
    // Told first by names alone; a header is read last, and only where nothing else tells.
    BrowserCacheContents c;
    const qint64 simple = std::count_if(listing.begin(), listing.end(), [](const ListedEntry &e) {
        return e.kind == EntryKind::file && issimpleentry(e.raw);
    });
    if (simple > 0 || !named(listing, "index-dir", EntryKind::folder).empty()) {
        c.format = CacheFormat::chromiumsimple;
        c.entries = simple;
        measure(dir, listing, c);
        return c;
    }

    c.format = CacheFormat::firefoxcache2;
    const auto entries = named(listing, "entries", EntryKind::folder);
    if (!entries.empty()) {
        const FolderHandle sub(::openat(dir, entries.front()->raw.c_str(),
                                        O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        std::vector<ListedEntry> inside;
        if (sub.valid() && listopenfolder(sub.fd(), [&inside](std::string_view raw, EntryKind k) {
                inside.push_back({std::string(raw), k});
            })) {
            c.entries = cache2entries(inside);
            if (c.entries > 0) {
                measure(sub.fd(), inside, c);
                return c;
            }
        }
    }
    if (iscache2entries(listing)) {
        c.entries = cache2entries(listing);
        measure(dir, listing, c);
        return c;
    }

    const auto map = named(listing, "_CACHE_MAP_", EntryKind::file);
    if (!map.empty() || !named(listing, "_CACHE_001_", EntryKind::file).empty()) {
        c.format = CacheFormat::firefoxold;
        c.entries =
            map.empty() ? -1 : countat(header(dir, map.front()->raw), firefoxmapentriesat, true);
        measure(dir, listing, c);
        return c;
    }

    for (const ListedEntry *index : named(listing, "index", EntryKind::file)) {
        const QByteArray h = header(dir, index->raw);
        if (h.size() >= 4 && qFromLittleEndian<quint32>(h.constData()) == blockfileindexmagic) {
            c.format = CacheFormat::chromiumblockfile;
            c.entries = countat(h, blockfileentriesat, false);
            measure(dir, listing, c);
            return c;
        }
    }
    return std::nullopt;
}

} // namespace vellomar
