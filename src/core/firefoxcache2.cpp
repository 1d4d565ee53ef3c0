#include "firefoxcache2.h"

#include "firefoxmeta.h"
#include "httphead.h"

#include <algorithm>

namespace vellomar {

namespace {

using firefox::be32;

constexpr long long chunksize = 256 * 1024; // Gecko's kChunkSize: one hash per chunk of body
constexpr long long hashsize = 4;           // the metadata's own hash, and the offset at the end
constexpr long long chunkhashsize = 2;
constexpr long long headerv1size = 28; // version 1 has no flags
constexpr long long headersize = 32;
constexpr uint32_t newestversion = 4;
// Version 4 (Firefox 153 writes it) keeps four bytes between the elements and the offset, outside
// the metadata's hash; every such entry seen holds 4 there, so only that is taken.
constexpr uint32_t v4trailer = 4;
constexpr long long v4trailersize = 4;
constexpr long long mostelements = 64 * 1024; // Gecko's kMaxElementsSize
// Firefox takes URLs of up to 1 MiB (network.standard-url.max-length); the key adds its tags.
constexpr long long mostkey = 1024 * 1024 + 4096;
constexpr size_t mostentries = 1000000;
constexpr size_t probes = 8; // files a bare entries folder is tried by
constexpr char entriesfolder[] = "entries";

bool isentryname(const std::string &name)
{
    return name.size() == 40 && std::all_of(name.begin(), name.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
           });
}

// Gecko's key: tags of one character in ASCII order, each with an optional value and a comma
// (",," a comma in a value), then ':' and the URL as it is. False when it is not in that form.
bool urlofkey(const QByteArray &key, QByteArray &url)
{
    qsizetype at = 0;
    char last = 0;
    while (at < key.size()) {
        const char tag = key[at++];
        const auto u = static_cast<unsigned char>(tag);
        if (u < ' ' || u > 0x7f || !(last < tag || tag == ':'))
            return false;
        last = tag;
        if (tag == ':') {
            url = key.sliced(at);
            return true;
        }
        // The value runs to the first comma that is not doubled.
        for (;;) {
            if (at >= key.size())
                return false;
            if (key[at] == ',') {
                if (at + 1 < key.size() && key[at + 1] == ',') {
                    at += 2;
                    continue;
                }
                ++at;
                break;
            }
            ++at;
        }
    }
    url.clear(); // tags alone
    return true;
}

// "1;<offset>,<type>": where the alternative data (a compiled script) begins.
bool altdataoffset(const QByteArray &info, long long &offset)
{
    const qsizetype semicolon = info.indexOf(';');
    const qsizetype comma = info.indexOf(',', semicolon + 1);
    if (semicolon < 0 || comma < 0 || info.left(semicolon) != "1")
        return false;
    const QByteArray digits = info.sliced(semicolon + 1, comma - semicolon - 1);
    if (digits.isEmpty() || digits.size() > 18 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    offset = digits.toLongLong();
    return true;
}

struct Parsed {
    CacheEntry entry;
    QString why; // empty when whole
};

Parsed parseentry(const ReadOnlyFs &fs, const std::string &path)
{
    Parsed p;
    std::error_code ec;
    const auto file = fs.open(path, ec);
    if (!file) {
        p.why = QStringLiteral("cannot be opened: %1").arg(QString::fromStdString(ec.message()));
        return p;
    }
    const long long size = file->size();
    if (size < hashsize + headerv1size + 1 + hashsize) {
        p.why = QStringLiteral("too short for an entry's metadata");
        return p;
    }
    const QByteArray tail = file->read(size - hashsize, hashsize, ec);
    if (tail.size() != hashsize) {
        p.why = QStringLiteral("cannot be read");
        return p;
    }
    const long long metaoffset = be32(tail.constData());
    const long long metapos = size - hashsize; // where the offset itself is kept
    if (metaoffset >= metapos) {
        p.why = QStringLiteral("metadata offset points past the file's end");
        return p;
    }
    const long long hashcount = (metaoffset + chunksize - 1) / chunksize;
    const long long hdr = hashsize + hashcount * chunkhashsize; // in the metadata
    const long long mostmeta = hdr + headersize + mostkey + 1 + mostelements + v4trailersize;
    if (metapos - metaoffset > mostmeta) {
        p.why = QStringLiteral("metadata is larger than Firefox writes");
        return p;
    }
    const QByteArray meta = file->read(metaoffset, metapos - metaoffset, ec);
    if (meta.isNull()) {
        p.why = QStringLiteral("cannot be read");
        return p;
    }
    if (hdr + headerv1size > meta.size()) {
        p.why = QStringLiteral("metadata is cut short");
        return p;
    }
    const char *h = meta.constData() + hdr;
    const uint32_t version = be32(h);
    if (version < 1 || version > newestversion) {
        p.why = QStringLiteral("metadata version %1 is unknown").arg(version);
        return p;
    }
    const long long keyat = hdr + (version == 1 ? headerv1size : headersize);
    const long long keysize = be32(h + 24);
    if (keysize > mostkey) {
        p.why = QStringLiteral("key is longer than Firefox writes");
        return p;
    }
    long long elementsend = meta.size();
    if (version == 4) {
        if (elementsend < keyat + v4trailersize ||
            be32(meta.constData() + elementsend - 4) != v4trailer) {
            p.why = QStringLiteral("version 4 metadata ends in an unknown way");
            return p;
        }
        elementsend -= v4trailersize;
    }
    const long long elementsat = keyat + keysize + 1;
    if (elementsat > elementsend) {
        p.why = QStringLiteral("key runs past the metadata's end");
        return p;
    }
    if (meta[elementsat - 1] != '\0') {
        p.why = QStringLiteral("key is not NUL-terminated");
        return p;
    }
    const QByteArrayView elements(meta.constData() + elementsat, elementsend - elementsat);
    if (!firefox::elementswhole(elements)) {
        p.why = QStringLiteral("metadata elements are malformed");
        return p;
    }
    // Checked last, so that every field above is read before the verdict.
    if (firefox::jenkinshash(meta.constData() + hashsize, size_t(elementsend - hashsize)) !=
        be32(meta.constData())) {
        p.why = QStringLiteral("metadata checksum does not match");
        return p;
    }
    CacheEntry &e = p.entry;
    e.key = meta.sliced(keyat, keysize);
    QByteArray url;
    if (!urlofkey(e.key, url)) {
        p.why = QStringLiteral("key is not in Firefox's form");
        return p;
    }
    e.address = QString::fromUtf8(url);
    long long bodyend = metaoffset;
    if (const auto alt = firefox::element(elements, "alt-data")) {
        long long altat = 0;
        if (!altdataoffset(*alt, altat) || altat > metaoffset) {
            p.why = QStringLiteral("alt-data offset is damaged");
            return p;
        }
        bodyend = altat;
    }
    if (const auto head = firefox::element(elements, "response-head")) {
        e.responsehead = *head;
        e.httpstatus = statusofhead(e.responsehead);
    }
    e.lastfetched = firefox::firefoxtime(be32(h + 8));
    e.lastmodified = firefox::firefoxtime(be32(h + 12));
    if (bodyend > 0)
        e.body.push_back(BodyPiece{path, 0, bodyend});
    e.storedsize = bodyend;
    return p;
}

// The folder the entries are in: `entries/` of the cache2 folder, or the folder itself.
bool entriesof(const ReadOnlyFs &fs, const std::string &folder, std::string &where,
               std::vector<FsEntry> &files)
{
    std::error_code ec;
    std::vector<FsEntry> top;
    if (!fs.list(folder, top, ec))
        return false;
    const auto sub = std::find_if(top.begin(), top.end(), [](const FsEntry &f) {
        return f.kind == FsEntry::folder && f.name == entriesfolder;
    });
    if (sub != top.end()) {
        where = fsjoin(folder, entriesfolder);
        return fs.list(where, files, ec);
    }
    where = folder;
    files = std::move(top);
    return true;
}

} // namespace

bool iscache2(const ReadOnlyFs &fs, const std::string &folder)
{
    std::string where;
    std::vector<FsEntry> files;
    if (!entriesof(fs, folder, where, files))
        return false;
    const bool bare = where == folder;
    size_t tried = 0;
    for (const FsEntry &f : files) {
        if (f.kind != FsEntry::file || !isentryname(f.name))
            continue;
        if (!bare)
            return true;
        if (tried++ >= probes)
            break;
        if (parseentry(fs, fsjoin(where, f.name)).why.isEmpty())
            return true;
    }
    return false;
}

std::vector<CacheEntry> readcache2(const ReadOnlyFs &fs, const std::string &folder,
                                   ReadReport *report)
{
    std::vector<CacheEntry> entries;
    std::string where;
    std::vector<FsEntry> files;
    if (!entriesof(fs, folder, where, files))
        return entries;
    std::sort(files.begin(), files.end(),
              [](const FsEntry &a, const FsEntry &b) { return a.name < b.name; });
    const std::string prefix = where == folder ? std::string() : std::string(entriesfolder) + '/';
    size_t seen = 0;
    for (const FsEntry &f : files) {
        if (f.kind != FsEntry::file || !isentryname(f.name))
            continue;
        if (++seen > mostentries)
            break;
        Parsed p = parseentry(fs, fsjoin(where, f.name));
        const QString storedat = QString::fromStdString(prefix + f.name);
        if (!p.why.isEmpty()) {
            if (report)
                report->leftout.push_back({storedat, p.why});
            continue;
        }
        p.entry.storedat = storedat;
        entries.push_back(std::move(p.entry));
    }
    return entries;
}

} // namespace vellomar
