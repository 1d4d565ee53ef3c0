#include "firefoxold.h"

#include "firefoxmeta.h"

#include <algorithm>
#include <array>
#include <map>
#include <memory>

namespace vellomar {

namespace {

using firefox::be32;

constexpr int blockfiles = 3;
constexpr long long smallestblock = 256;
// The bitmap before the blocks: 4096 bytes in each file up to Firefox 3.6, then one bit per
// block of 32 MiB of blocks (16384, 4096 and 1024 bytes).
constexpr std::array<std::array<long long, blockfiles>, 2> bitmaps{
    {{4096, 4096, 4096}, {16384, 4096, 1024}}};
constexpr int mostblocks = 4; // a record or a body spans one to four blocks
constexpr long long entryheadersize = 36;
constexpr uint32_t majorversion = 1;
constexpr long long mostkey = 1024 * 1024 + 4096; // a URL of 1 MiB and its prefixes
constexpr long long mostmeta = 1024 * 1024;
constexpr long long mostscanned = 40 * 1024 * 1024; // a full block file is 32 MiB and its bitmap
constexpr int buckets = 32;
constexpr long long mapheadersize = 5 * 4 + 2 * buckets * 4;
constexpr long long recordsize = 16;
constexpr long long mostrecords = 32 * 1024 * 1024 / recordsize; // Gecko's own limit
constexpr size_t layoutprobes = 64;
constexpr char mapname[] = "_CACHE_MAP_";
constexpr size_t mostownfiles = 1000000;

// A location of data or metadata, as a map record keeps it.
struct Location {
    uint32_t bits = 0;
    bool initialized() const { return bits & 0x80000000u; }
    int file() const { return int((bits & 0x30000000u) >> 28); } // 0: a file of its own
    long long startblock() const { return bits & 0x00FFFFFFu; }
    int blockcount() const { return int((bits & 0x03000000u) >> 24) + 1; }
    int generation() const { return int(bits & 0xFFu); }
};

long long blocksize(int file)
{
    return smallestblock << (2 * (file - 1));
}

std::string blockfilename(int file)
{
    return "_CACHE_00" + std::to_string(file) + "_";
}

QString blockplace(int file, long long block)
{
    return QStringLiteral("%1 block %2")
        .arg(QString::fromStdString(blockfilename(file)))
        .arg(block);
}

std::string ownfilename(uint32_t hash, bool meta, int generation)
{
    return QString::asprintf("%X/%02X/%05X%c%02X", hash >> 28, (hash >> 20) & 0xFF, hash & 0xFFFFF,
                             meta ? 'm' : 'd', generation)
        .toStdString();
}

// nsDiskCacheEntry: a header of nine numbers, the key and the metadata elements.
struct Record {
    QByteArray key;
    QByteArray elements;
    uint32_t lastfetched = 0, lastmodified = 0;
    long long datasize = 0;
    long long size = 0; // of the record on disk
};

QString parserecord(QByteArrayView bytes, Record &r)
{
    if (bytes.size() < entryheadersize)
        return QStringLiteral("metadata record is cut short");
    const char *h = bytes.data();
    if (be32(h) >> 16 != majorversion)
        return QStringLiteral("not a metadata record");
    const long long keysize = be32(h + 28), metasize = be32(h + 32);
    if (keysize < 1 || keysize > mostkey)
        return QStringLiteral("key size is out of range");
    if (metasize > mostmeta)
        return QStringLiteral("metadata is larger than Firefox writes");
    r.size = entryheadersize + keysize + metasize;
    if (r.size > bytes.size())
        return QStringLiteral("metadata record runs past its space");
    const QByteArrayView key = bytes.sliced(entryheadersize, keysize);
    if (key.back() != '\0' || key.indexOf('\0') != keysize - 1)
        return QStringLiteral("key is not NUL-terminated");
    const QByteArrayView elements = bytes.sliced(entryheadersize + keysize, metasize);
    if (!firefox::elementswhole(elements))
        return QStringLiteral("metadata elements are malformed");
    r.key = key.chopped(1).toByteArray();
    r.elements = elements.toByteArray();
    r.lastfetched = be32(h + 12);
    r.lastmodified = be32(h + 16);
    r.datasize = be32(h + 24);
    return {};
}

// "HTTP:" then, for a POST or an anonymous load, "anon&", "id=<hex>&" and "uri=" before the URL.
QString urlofkey(const QByteArray &key)
{
    const qsizetype colon = key.indexOf(':');
    if (colon < 0)
        return {};
    QByteArray rest = key.sliced(colon + 1);
    if (rest.startsWith("anon&"))
        rest = rest.sliced(5);
    if (rest.startsWith("id=")) {
        const qsizetype amp = rest.indexOf('&');
        if (amp > 0)
            rest = rest.sliced(amp + 1);
    }
    if (rest.startsWith("uri="))
        rest = rest.sliced(4);
    return QString::fromUtf8(rest);
}

CacheEntry entryof(const Record &r)
{
    CacheEntry e;
    e.key = r.key;
    e.address = urlofkey(r.key);
    if (const auto head = firefox::element(r.elements, "response-head")) {
        e.responsehead = *head;
        e.httpstatus = firefox::statusofhead(e.responsehead);
    }
    e.lastfetched = firefox::firefoxtime(r.lastfetched);
    e.lastmodified = firefox::firefoxtime(r.lastmodified);
    return e;
}

struct Cache {
    const ReadOnlyFs &fs;
    std::string folder;
    std::array<std::unique_ptr<ReadOnlyFile>, blockfiles> blocks;
    ReadReport *report;

    void leaveout(const QString &storedat, const QString &why) const
    {
        if (report)
            report->leftout.push_back({storedat, why});
    }
};

// Up to `count` blocks from `start`, fewer where the file ends (the last block is seldom whole).
QByteArray readblocks(const Cache &c, int file, long long bitmap, long long start, int count)
{
    const ReadOnlyFile *f = c.blocks[size_t(file - 1)].get();
    if (!f)
        return {};
    const long long at = bitmap + start * blocksize(file);
    if (at >= f->size())
        return {};
    std::error_code ec;
    return f->read(at, std::min(count * blocksize(file), f->size() - at), ec);
}

// Scans one block file's blocks for metadata records: without the map nothing else says where
// they are.
struct Found {
    int file = 0;
    long long block = 0;
    Record record;
};

std::vector<Found> scanblocks(const QByteArray &bytes, int file, long long bitmap)
{
    std::vector<Found> found;
    const long long bs = blocksize(file);
    for (long long at = bitmap; at + entryheadersize <= bytes.size();) {
        Found f;
        const long long room = std::min<long long>(mostblocks * bs, bytes.size() - at);
        if (be32(bytes.constData() + at) >> 16 == majorversion &&
            parserecord(QByteArrayView(bytes.constData() + at, room), f.record).isEmpty()) {
            f.file = file;
            f.block = (at - bitmap) / bs;
            at += (f.record.size + bs - 1) / bs * bs;
            found.push_back(std::move(f));
        } else {
            at += bs;
        }
    }
    return found;
}

// Files of their own, by name in the hex folders: "<5 hex><m or d><2 hex generation>".
struct OwnFile {
    std::string path; // below the cache folder
    long long size = 0;
};
using OwnFiles = std::map<std::string, OwnFile>; // by "<top>/<sub>/<name>"

bool ishex(const std::string &s, size_t n)
{
    return s.size() == n && std::all_of(s.begin(), s.end(), [](char ch) {
               return (ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'F');
           });
}

OwnFiles ownfiles(const Cache &c)
{
    OwnFiles found;
    std::error_code ec;
    std::vector<FsEntry> tops;
    if (!c.fs.list(c.folder, tops, ec))
        return found;
    for (const FsEntry &top : tops) {
        if (top.kind != FsEntry::folder || !ishex(top.name, 1))
            continue;
        std::vector<FsEntry> subs;
        if (!c.fs.list(fsjoin(c.folder, top.name), subs, ec))
            continue;
        for (const FsEntry &sub : subs) {
            if (sub.kind != FsEntry::folder || !ishex(sub.name, 2))
                continue;
            const std::string where = top.name + "/" + sub.name;
            std::vector<FsEntry> files;
            if (!c.fs.list(fsjoin(c.folder, where), files, ec))
                continue;
            for (const FsEntry &f : files) {
                if (f.kind != FsEntry::file || f.name.size() != 8 ||
                    !ishex(f.name.substr(0, 5), 5) || (f.name[5] != 'm' && f.name[5] != 'd') ||
                    !ishex(f.name.substr(6), 2) || found.size() >= mostownfiles)
                    continue;
                const std::string path = where + "/" + f.name;
                const auto opened = c.fs.open(fsjoin(c.folder, path), ec);
                if (opened)
                    found[path] = OwnFile{path, opened->size()};
            }
        }
    }
    return found;
}

// The hash Firefox names a key's files by: Bob Jenkins' in later versions, a shift and xor in
// the earliest.
std::array<uint32_t, 2> keyhashes(const QByteArray &key)
{
    uint32_t h = 0;
    for (const char ch : key)
        h = (h >> 28) ^ (h << 4) ^ static_cast<unsigned char>(ch);
    return {firefox::jenkinshash(key.constData(), size_t(key.size())), h ? h : 0xFFFFFFFFu};
}

// The data file of a record found without the map: one of the key's name, and of its size
// exactly; none when there is no such file, or more than one.
const OwnFile *datafileof(const OwnFiles &files, const Record &r)
{
    const OwnFile *found = nullptr;
    const auto hashes = keyhashes(r.key);
    for (size_t i = 0; i < hashes.size(); ++i) {
        if (i > 0 && hashes[i] == hashes[0])
            break;
        const std::string prefix = ownfilename(hashes[i], false, 0).substr(0, 11);
        for (auto it = files.lower_bound(prefix);
             it != files.end() && it->first.starts_with(prefix); ++it) {
            if (it->second.size != r.datasize)
                continue;
            if (found)
                return nullptr;
            found = &it->second;
        }
    }
    return found;
}

std::vector<CacheEntry> readbyscanning(const Cache &c, const QString &why)
{
    std::array<QByteArray, blockfiles> bytes;
    for (int file = 1; file <= blockfiles; ++file) {
        const ReadOnlyFile *f = c.blocks[size_t(file - 1)].get();
        if (!f)
            continue;
        std::error_code ec;
        bytes[size_t(file - 1)] = f->read(0, std::min(f->size(), mostscanned), ec);
        if (f->size() > mostscanned)
            c.leaveout(QString::fromStdString(blockfilename(file)),
                       QStringLiteral("larger than Firefox makes a block file; only its first "
                                      "40 MiB were scanned"));
    }
    std::vector<Found> best;
    for (const auto &layout : bitmaps) {
        std::vector<Found> all;
        for (int file = 1; file <= blockfiles; ++file) {
            auto found = scanblocks(bytes[size_t(file - 1)], file, layout[size_t(file - 1)]);
            std::move(found.begin(), found.end(), std::back_inserter(all));
        }
        if (all.size() > best.size())
            best = std::move(all);
    }
    const OwnFiles files = ownfiles(c);
    std::vector<CacheEntry> entries;
    const auto give = [&](const Record &r, const QString &metaplace) {
        CacheEntry e = entryof(r);
        e.storedat = metaplace;
        if (r.datasize > 0) {
            const OwnFile *data = datafileof(files, r);
            if (!data) {
                c.leaveout(metaplace, why);
                return;
            }
            e.storedat = QString::fromStdString(data->path);
            e.body.push_back(BodyPiece{fsjoin(c.folder, data->path), 0, r.datasize});
            e.storedsize = r.datasize;
        }
        entries.push_back(std::move(e));
    };
    for (const Found &f : best)
        give(f.record, blockplace(f.file, f.block));
    // Metadata too large for the block files has a file of its own.
    for (const auto &[name, file] : files) {
        if (name[name.size() - 3] != 'm')
            continue;
        Record r;
        std::error_code ec;
        const auto opened = c.fs.open(fsjoin(c.folder, file.path), ec);
        const QByteArray meta = opened && file.size <= entryheadersize + mostkey + mostmeta
                                    ? opened->read(0, file.size, ec)
                                    : QByteArray();
        if (const QString bad = parserecord(meta, r); !bad.isEmpty()) {
            c.leaveout(QString::fromStdString(file.path), bad);
            continue;
        }
        give(r, QString::fromStdString(file.path));
    }
    return entries;
}

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
