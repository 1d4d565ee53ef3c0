#include "firefoxoldrecord.h"

#include "firefoxmeta.h"

#include <algorithm>
#include <map>

namespace vellomar::firefoxold {

using firefox::be32;

namespace {

constexpr long long mostscanned = 40 * 1024 * 1024; // a full block file is 32 MiB and its bitmap
constexpr size_t mostownfiles = 1000000;

struct Found {
    int file = 0;
    long long block = 0;
    Record record;
};

// Scans one block file's blocks for metadata records: without the map nothing else says where
// they are. A record found is stepped over whole.
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

} // namespace

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

} // namespace vellomar::firefoxold
