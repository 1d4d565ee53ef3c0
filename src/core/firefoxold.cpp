#include "firefoxold.h"

#include "firefoxmeta.h"
#include "firefoxoldrecord.h"

#include <algorithm>

namespace vellomar {

namespace {

using namespace firefoxold;
using firefox::be32;

constexpr int buckets = 32;
constexpr long long mapheadersize = 5 * 4 + 2 * buckets * 4;
constexpr long long recordsize = 16;
constexpr long long mostrecords = 32 * 1024 * 1024 / recordsize; // Gecko's own limit
constexpr size_t layoutprobes = 64;

struct MapRecord {
    uint32_t hash = 0;
    Location data, meta;
};

// The map's records, or why it cannot be used (`present` false when there is no map at all).
QString readmap(const Cache &c, std::vector<MapRecord> &records, bool &present)
{
    std::error_code ec;
    const auto map = c.fs.open(fsjoin(c.folder, mapname), ec);
    present = bool(map);
    if (!map)
        return QStringLiteral("_CACHE_MAP_ is missing");
    const QByteArray header = map->read(0, mapheadersize, ec);
    if (header.isNull())
        return QStringLiteral("_CACHE_MAP_ is shorter than its header");
    const char *h = header.constData();
    if (be32(h) >> 16 != majorversion)
        return QStringLiteral("_CACHE_MAP_ has an unknown version");
    const long long count = qint32(be32(h + 16));
    if (count <= 0 || count > mostrecords || count % buckets != 0)
        return QStringLiteral("_CACHE_MAP_ has a record count out of range");
    const QByteArray bytes = map->read(mapheadersize, count * recordsize, ec);
    if (bytes.isNull())
        return QStringLiteral("_CACHE_MAP_ is shorter than its records");
    const long long perbucket = count / buckets;
    for (int b = 0; b < buckets; ++b) {
        const long long usage = std::min<long long>(be32(h + 20 + buckets * 4 + b * 4), perbucket);
        for (long long i = 0; i < usage; ++i) {
            const char *r = bytes.constData() + (b * perbucket + i) * recordsize;
            MapRecord m{be32(r), Location{be32(r + 8)}, Location{be32(r + 12)}};
            if (m.hash)
                records.push_back(m);
        }
    }
    return {};
}

// Which bitmap sizes the block files have: the one under which the map's metadata records parse.
size_t layoutof(const Cache &c, const std::vector<MapRecord> &records)
{
    std::array<size_t, bitmaps.size()> parsed{};
    size_t probed = 0;
    for (const MapRecord &m : records) {
        if (!m.meta.initialized() || m.meta.file() == 0)
            continue;
        if (++probed > layoutprobes)
            break;
        for (size_t l = 0; l < bitmaps.size(); ++l) {
            Record r;
            const QByteArray bytes =
                readblocks(c, m.meta.file(), bitmaps[l][size_t(m.meta.file() - 1)],
                           m.meta.startblock(), m.meta.blockcount());
            parsed[l] += parserecord(bytes, r).isEmpty();
        }
    }
    return parsed[1] > parsed[0] ? 1 : 0;
}

void readrecord(const Cache &c, const MapRecord &m, const std::array<long long, blockfiles> &bitmap,
                std::vector<CacheEntry> &entries)
{
    QString metaplace;
    QByteArray metabytes;
    if (!m.meta.initialized()) {
        c.leaveout(QStringLiteral("_CACHE_MAP_ record %1").arg(m.hash, 8, 16, QChar('0')),
                   QStringLiteral("the record has no metadata location"));
        return;
    }
    const int mf = m.meta.file();
    if (mf == 0) {
        const std::string path = ownfilename(m.hash, true, m.meta.generation());
        metaplace = QString::fromStdString(path);
        std::error_code ec;
        const auto f = c.fs.open(fsjoin(c.folder, path), ec);
        if (f && f->size() <= entryheadersize + mostkey + mostmeta)
            metabytes = f->read(0, f->size(), ec);
    } else {
        metaplace = blockplace(mf, m.meta.startblock());
        metabytes =
            readblocks(c, mf, bitmap[size_t(mf - 1)], m.meta.startblock(), m.meta.blockcount());
    }
    if (metabytes.isEmpty()) {
        c.leaveout(metaplace, QStringLiteral("the metadata cannot be read"));
        return;
    }
    Record r;
    if (const QString why = parserecord(metabytes, r); !why.isEmpty()) {
        c.leaveout(metaplace, why);
        return;
    }
    CacheEntry e = entryof(r);
    e.storedat = metaplace;
    if (r.datasize > 0) {
        const int df = m.data.file();
        if (!m.data.initialized()) {
            c.leaveout(metaplace, QStringLiteral("the record has no data location"));
            return;
        }
        BodyPiece piece;
        if (df == 0) {
            const std::string path = ownfilename(m.hash, false, m.data.generation());
            piece.file = fsjoin(c.folder, path);
            e.storedat = QString::fromStdString(path);
            std::error_code ec;
            const auto f = c.fs.open(piece.file, ec);
            if (!f || f->size() < r.datasize) {
                c.leaveout(e.storedat, f ? QStringLiteral("the data file is shorter than its entry")
                                         : QStringLiteral("the data file is missing"));
                return;
            }
        } else {
            const ReadOnlyFile *f = c.blocks[size_t(df - 1)].get();
            const long long bs = blocksize(df);
            piece.file = fsjoin(c.folder, blockfilename(df));
            piece.offset = bitmap[size_t(df - 1)] + m.data.startblock() * bs;
            e.storedat = blockplace(df, m.data.startblock());
            if (!f || r.datasize > m.data.blockcount() * bs ||
                piece.offset + r.datasize > f->size()) {
                c.leaveout(e.storedat, f ? QStringLiteral("the data runs past its blocks")
                                         : QStringLiteral("the block file is missing"));
                return;
            }
        }
        piece.length = r.datasize;
        e.body.push_back(piece);
        e.storedsize = r.datasize;
    }
    entries.push_back(std::move(e));
}

} // namespace

bool isoldfirefoxcache(const ReadOnlyFs &fs, const std::string &folder)
{
    std::vector<FsEntry> files;
    std::error_code ec;
    if (!fs.list(folder, files, ec))
        return false;
    return std::any_of(files.begin(), files.end(), [](const FsEntry &f) {
        if (f.kind != FsEntry::file)
            return false;
        if (f.name == mapname)
            return true;
        for (int file = 1; file <= blockfiles; ++file)
            if (f.name == blockfilename(file))
                return true;
        return false;
    });
}

std::vector<CacheEntry> readoldfirefoxcache(const ReadOnlyFs &fs, const std::string &folder,
                                            ReadReport *report)
{
    Cache c{fs, folder, {}, report};
    for (int file = 1; file <= blockfiles; ++file) {
        std::error_code ec;
        c.blocks[size_t(file - 1)] = fs.open(fsjoin(folder, blockfilename(file)), ec);
    }
    std::vector<MapRecord> records;
    bool present = false;
    if (const QString why = readmap(c, records, present); !why.isEmpty()) {
        if (present)
            c.leaveout(QString::fromLatin1(mapname), why);
        return readbyscanning(
            c,
            QStringLiteral("its data's place is kept in _CACHE_MAP_, which is missing or damaged"));
    }
    const auto &bitmap = bitmaps[layoutof(c, records)];
    std::vector<CacheEntry> entries;
    for (const MapRecord &m : records)
        readrecord(c, m, bitmap, entries);
    return entries;
}

} // namespace vellomar
