#include "firefoxoldrecord.h"

#include "firefoxmeta.h"
#include "httphead.h"

#include <algorithm>

namespace vellomar::firefoxold {

using firefox::be32;

namespace {

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

} // namespace

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

CacheEntry entryof(const Record &r)
{
    CacheEntry e;
    e.key = r.key;
    e.address = urlofkey(r.key);
    if (const auto head = firefox::element(r.elements, "response-head")) {
        e.responsehead = *head;
        e.httpstatus = statusofhead(e.responsehead);
    }
    e.lastfetched = firefox::firefoxtime(r.lastfetched);
    e.lastmodified = firefox::firefoxtime(r.lastmodified);
    return e;
}

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

} // namespace vellomar::firefoxold
