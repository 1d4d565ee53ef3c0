#include "bodyencoders.h"

#include <brotli/encode.h>
#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace vellomar::testing {

namespace {

constexpr qsizetype piece = 1 << 20;

int windowbits(Wrap wrap)
{
    return wrap == Wrap::gzip ? 15 + 16 : wrap == Wrap::zlib ? 15 : -15;
}

// Feeds `count` bytes (the plain ones, or zeros when plain is null) through deflate.
QByteArray deflatestream(const QByteArray *plain, long long count, Wrap wrap, const char *name)
{
    z_stream z{};
    deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, windowbits(wrap), 9, Z_DEFAULT_STRATEGY);
    gz_header header{};
    if (name) {
        header.name = reinterpret_cast<Bytef *>(const_cast<char *>(name));
        deflateSetHeader(&z, &header);
    }
    const QByteArray zeros(piece, '\0');
    std::vector<unsigned char> out(piece);
    QByteArray result;
    long long done = 0;
    int flush = Z_NO_FLUSH;
    for (;;) {
        const long long n = std::min<long long>(piece, count - done);
        const char *src = plain ? plain->constData() + done : zeros.constData();
        z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(src));
        z.avail_in = uInt(n);
        done += n;
        flush = done == count ? Z_FINISH : Z_NO_FLUSH;
        int r;
        do {
            z.next_out = out.data();
            z.avail_out = uInt(out.size());
            r = deflate(&z, flush);
            result.append(reinterpret_cast<const char *>(out.data()),
                          qsizetype(out.size() - z.avail_out));
        } while (z.avail_out == 0 || (flush == Z_FINISH && r != Z_STREAM_END));
        if (flush == Z_FINISH)
            break;
    }
    deflateEnd(&z);
    return result;
}

QByteArray brotlistream(const QByteArray *plain, long long count)
{
    BrotliEncoderState *s = BrotliEncoderCreateInstance(nullptr, nullptr, nullptr);
    BrotliEncoderSetParameter(s, BROTLI_PARAM_QUALITY, 5);
    BrotliEncoderSetParameter(s, BROTLI_PARAM_LGWIN, 22);
    const QByteArray zeros(piece, '\0');
    std::vector<uint8_t> out(piece);
    QByteArray result;
    long long done = 0;
    for (;;) {
        const long long n = std::min<long long>(piece, count - done);
        const uint8_t *in = reinterpret_cast<const uint8_t *>(plain ? plain->constData() + done
                                                                    : zeros.constData());
        size_t inleft = size_t(n);
        done += n;
        const BrotliEncoderOperation op =
            done == count ? BROTLI_OPERATION_FINISH : BROTLI_OPERATION_PROCESS;
        while (inleft > 0 || (op == BROTLI_OPERATION_FINISH && !BrotliEncoderIsFinished(s)) ||
               BrotliEncoderHasMoreOutput(s)) {
            size_t outleft = out.size();
            uint8_t *o = out.data();
            BrotliEncoderCompressStream(s, op, &inleft, &in, &outleft, &o, nullptr);
            result.append(reinterpret_cast<const char *>(out.data()),
                          qsizetype(out.size() - outleft));
        }
        if (op == BROTLI_OPERATION_FINISH)
            break;
    }
    BrotliEncoderDestroyInstance(s);
    return result;
}

QByteArray zstdstream(const QByteArray *plain, long long count, int windowlog = 0)
{
    ZSTD_CCtx *c = ZSTD_createCCtx();
    ZSTD_CCtx_setParameter(c, ZSTD_c_compressionLevel, 3);
    if (windowlog)
        ZSTD_CCtx_setParameter(c, ZSTD_c_windowLog, windowlog);
    const QByteArray zeros(piece, '\0');
    std::vector<char> out(ZSTD_CStreamOutSize());
    QByteArray result;
    long long done = 0;
    for (;;) {
        const long long n = std::min<long long>(piece, count - done);
        ZSTD_inBuffer in{plain ? plain->constData() + done : zeros.constData(), size_t(n), 0};
        done += n;
        const ZSTD_EndDirective mode = done == count ? ZSTD_e_end : ZSTD_e_continue;
        size_t left;
        do {
            ZSTD_outBuffer o{out.data(), out.size(), 0};
            left = ZSTD_compressStream2(c, &o, &in, mode);
            result.append(out.data(), qsizetype(o.pos));
        } while (mode == ZSTD_e_end ? left != 0 : in.pos < in.size);
        if (mode == ZSTD_e_end)
            break;
    }
    ZSTD_freeCCtx(c);
    return result;
}

} // namespace

QByteArray deflated(const QByteArray &plain, Wrap wrap, const char *gzipname)
{
    return deflatestream(&plain, plain.size(), wrap, gzipname);
}

QByteArray deflatedzeros(long long count, Wrap wrap)
{
    return deflatestream(nullptr, count, wrap, nullptr);
}

QByteArray brotlied(const QByteArray &plain)
{
    return brotlistream(&plain, plain.size());
}

QByteArray brotliedzeros(long long count)
{
    return brotlistream(nullptr, count);
}

QByteArray zstded(const QByteArray &plain, bool streamed)
{
    if (streamed)
        return zstdstream(&plain, plain.size());
    QByteArray out(qsizetype(ZSTD_compressBound(size_t(plain.size()))), Qt::Uninitialized);
    const size_t n =
        ZSTD_compress(out.data(), size_t(out.size()), plain.constData(), size_t(plain.size()), 3);
    out.truncate(qsizetype(n));
    return out;
}

QByteArray zstdedzeros(long long count, int windowlog)
{
    return zstdstream(nullptr, count, windowlog);
}

QByteArray noise(qsizetype count, unsigned seed)
{
    QByteArray out(count, Qt::Uninitialized);
    unsigned x = seed * 2654435761u + 1;
    for (qsizetype i = 0; i < count; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        out[i] = char(x >> 24);
    }
    return out;
}

} // namespace vellomar::testing
