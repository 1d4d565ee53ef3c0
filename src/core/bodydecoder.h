#pragma once

#include "cacheentry.h"
#include "cachefs.h"

#include <QString>

#include <memory>
#include <system_error>

namespace vellomar {

// Reads an entry's body from the cache, decoded while it is read: Content-Encoding gzip,
// x-gzip, deflate (zlib-wrapped or raw, as browsers take both), br and zstd. A chain
// ("gzip, br": gzip applied first) is decoded last encoding first, up to `mostencodings` of
// them. Memory stays bounded: input goes through in chunks of `chunk` bytes, and nothing holds
// the whole body.
//
// Decoding fails when the bytes are not what the encoding says, end early, or would decode past
// `mostdecoded` bytes or to more than `mostratio` times the stored size (a bomb stops there).
// Then open() or read() gives false or -1 with failure() saying why, and the caller reads the
// body as stored with openstored(), which keeps that reason for the manifest. A failure() left
// empty means the stored bytes themselves cannot be read (`ec`); reading them as stored will
// not help.
class BodyReader
{
  public:
    static constexpr long long mostdecoded = 1LL << 30; // 1 GiB
    static constexpr long long mostratio = 1000;        // decoded size to stored size
    static constexpr long long chunk = 256 * 1024;
    static constexpr int mostencodings = 4;

    BodyReader();
    ~BodyReader();
    BodyReader(const BodyReader &) = delete;
    BodyReader &operator=(const BodyReader &) = delete;

    // Opens e's pieces to be read decoded by e.contentencoding (an empty or "identity" one
    // reads as stored). False, with `ec`, when a piece cannot be opened or lies past its file's
    // end, or the encoding is one this cannot decode (failure() says which).
    bool open(const ReadOnlyFs &fs, const CacheEntry &e, std::error_code &ec);
    // Opens e's pieces to be read as stored, keeping failure() from before.
    bool openstored(const ReadOnlyFs &fs, const CacheEntry &e, std::error_code &ec);
    // Up to `max` bytes; 0 at the end; -1, with `ec`, on a failure (see above).
    long long read(char *buffer, long long max, std::error_code &ec);

    // Why decoding failed; empty while it has not.
    QString failure() const;
    // Whether the bytes read are decoded ones (an encoded body opened with open()).
    bool decoded() const;
    // The stored size: the sum of the pieces' lengths.
    long long storedsize() const;

  private:
    struct Private;
    std::unique_ptr<Private> d;
};

// The decoded size, known without decoding where that is cheap; -1 when unknown (the caller
// decodes to find out). No encoding: the stored size. gzip: the trailer's ISIZE (the size
// mod 2^32), trusted only when it is the one size the stored size allows: no smaller than
// real encoders leave incompressible data (3/4 of the deflate data; smaller tells a last member
// of several), and with no other value of ISIZE + k·2^32 that deflate's greatest ratio (1032)
// could reach. A gzip of several members whose last is the larger is not told apart: a hint. zstd:
// a single frame's declared content size, the frame walked block by block to see that it ends where
// the body ends. A size past the decoding bounds is -1: decoding it would fail, and the body would
// be read as stored.
long long decodedsizehint(const ReadOnlyFs &fs, const CacheEntry &e);

} // namespace vellomar
