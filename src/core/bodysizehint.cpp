// decodedsizehint (bodydecoder.h): a decoded size from an encoded body's own header or trailer.
#include "bodycodecs.h"
#include "bodydecoder.h"
#include "storedbody.h"

#include <zstd.h>

namespace vellomar {

namespace {

constexpr long long unknown = -1;

// gzip (RFC 1952).
constexpr int gzipfixedhead = 10, gziptrailer = 8, gzipheadsearch = 4096;
enum GzipFlag { fhcrc = 2, fextra = 4, fname = 8, fcomment = 16, freserved = 0xE0 };
constexpr long long deflatebest = 1032;    // deflate's greatest ratio: 258 bytes from 2 bits
constexpr long long isizewrap = 1LL << 32; // ISIZE is the size mod 2^32
// The poorest ratio real encoders reach on incompressible data (stored blocks, or fixed codes
// of 9 bits a byte) is above 3/4; a smaller ISIZE is a last member of several, or noise.
constexpr long long poorestnum = 3, poorestden = 4;

// zstd (RFC 8878).
constexpr int zstdmostheader = 18; // magic, descriptor, window, dictionary, content size
constexpr int zstdmagicsize = 4, zstdblockhead = 3, zstdchecksum = 4;
constexpr unsigned zstdmagic = 0xFD2FB528;
enum ZstdBlock { rawblock = 0, rleblock = 1, compressedblock = 2, reservedblock = 3 };
constexpr int mostzstdblocks = 1 << 16; // 8 GiB of full blocks: more is not walked

unsigned le(const unsigned char *b, int n)
{
    unsigned v = 0;
    for (int i = n - 1; i >= 0; --i)
        v = (v << 8) | b[i];
    return v;
}

bool readall(StoredBody &body, unsigned char *out, long long count, long long at)
{
    std::error_code ec;
    return body.readat(reinterpret_cast<char *>(out), count, at, ec) == count;
}

long long gzipsize(StoredBody &body)
{
    const long long stored = body.size();
    unsigned char head[gzipheadsearch];
    const long long n = std::min<long long>(stored, gzipheadsearch);
    if (stored < gzipfixedhead + gziptrailer || !readall(body, head, n, 0))
        return unknown;
    const unsigned flags = head[3];
    if (head[0] != 0x1f || head[1] != 0x8b || head[2] != 8 || (flags & freserved))
        return unknown;
    long long at = gzipfixedhead;
    if (flags & fextra)
        at = at + 2 <= n ? at + 2 + le(head + at, 2) : n + 1;
    for (const unsigned flag : {unsigned(fname), unsigned(fcomment)})
        if (flags & flag) {
            while (at < n && head[at] != 0)
                ++at;
            ++at; // the terminating zero
        }
    if (flags & fhcrc)
        at += 2;
    const long long payload = stored - gziptrailer - at;
    if (at > n || payload <= 0)
        return unknown;
    unsigned char trailer[4];
    if (!readall(body, trailer, 4, stored - 4))
        return unknown;
    const long long isize = le(trailer, 4);
    const long long lowest = payload * poorestnum / poorestden - gzipfixedhead;
    const long long highest = payload * deflatebest + deflatebest;
    // One above `highest` is past the decoding bounds too: decodedsizehint refuses it.
    if (isize < lowest || isize + isizewrap <= highest)
        return unknown;
    return isize;
}

long long zstdsize(StoredBody &body)
{
    const long long stored = body.size();
    unsigned char head[zstdmostheader] = {};
    const long long n = std::min<long long>(stored, sizeof head);
    if (n < zstdmagicsize + 1 || !readall(body, head, n, 0) || le(head, 4) != zstdmagic)
        return unknown;
    const unsigned long long content = ZSTD_getFrameContentSize(head, size_t(n));
    if (content == ZSTD_CONTENTSIZE_UNKNOWN || content == ZSTD_CONTENTSIZE_ERROR)
        return unknown;
    const unsigned descriptor = head[4];
    const bool singlesegment = descriptor & 0x20, checksum = descriptor & 0x04;
    static const int dictsizes[4] = {0, 1, 2, 4}, fcssizes[4] = {0, 2, 4, 8};
    if (descriptor & 3)
        return unknown; // wants a dictionary: it will not decode
    const int fcs = (descriptor >> 6) == 0 && singlesegment ? 1 : fcssizes[descriptor >> 6];
    long long at = zstdmagicsize + 1 + (singlesegment ? 0 : 1) + dictsizes[descriptor & 3] + fcs;
    // One frame, ending where the body ends: otherwise more follows that it does not count.
    for (int blocks = 0; blocks < mostzstdblocks; ++blocks) {
        unsigned char b[zstdblockhead];
        if (at + zstdblockhead > stored || !readall(body, b, zstdblockhead, at))
            return unknown;
        const unsigned header = le(b, zstdblockhead);
        const unsigned type = (header >> 1) & 3;
        if (type == reservedblock)
            return unknown;
        at += zstdblockhead + (type == rleblock ? 1 : (header >> 3));
        if (header & 1) // the last block
            return at + (checksum ? zstdchecksum : 0) == stored ? (long long)content : unknown;
    }
    return unknown;
}

} // namespace

long long decodedsizehint(const ReadOnlyFs &fs, const CacheEntry &e)
{
    StoredBody body;
    std::error_code ec;
    if (!body.open(fs, e.body, ec))
        return unknown;
    const QStringList names = encodingnames(e.contentencoding);
    const long long stored = body.size();
    if (names.isEmpty() || stored == 0)
        return stored;
    BodyEncoding encoding;
    if (names.size() != 1 || !bodyencoding(names.front(), encoding))
        return unknown;
    long long size = unknown;
    if (encoding == BodyEncoding::gzip)
        size = gzipsize(body);
    else if (encoding == BodyEncoding::zstd)
        size = zstdsize(body);
    if (size > BodyReader::mostdecoded ||
        (stored <= BodyReader::mostdecoded / BodyReader::mostratio &&
         size > stored * BodyReader::mostratio))
        return unknown;
    return size;
}

} // namespace vellomar
