#include "bodycodecs.h"

#include <brotli/decode.h>
#include <zlib.h>
#include <zstd.h>
#include <zstd_errors.h>

#include <algorithm>
#include <climits>

namespace vellomar {

namespace {

constexpr size_t mostperstep = size_t(1) << 30; // within zlib's uInt
constexpr int zlibwindow = 15;
constexpr int gzipwrapper = 16;   // added to the window bits: gzip's header and trailer
constexpr int zstdwindowlog = 23; // 8 MiB, the most browsers accept
constexpr unsigned char gzipmagic[2] = {0x1f, 0x8b};

// Whether two bytes are a zlib header (RFC 1950): deflate, a window of at most 32 KiB, and the
// check bits right.
bool zlibheader(const unsigned char *b)
{
    return (b[0] & 0x0f) == Z_DEFLATED && (b[0] >> 4) <= 7 && ((b[0] << 8) | b[1]) % 31 == 0;
}

class ZlibCodec : public BodyCodec
{
  public:
    explicit ZlibCodec(bool gzip) : m_gzip(gzip) {}
    ~ZlibCodec() override
    {
        if (m_started)
            inflateEnd(&m_z);
    }
    size_t lookahead() const override { return 2; }

    Step step(const unsigned char *&in, size_t &inleft, unsigned char *&out,
              size_t &outleft) override
    {
        if (!m_started && !start(in, inleft))
            return error;
        m_z.next_in = const_cast<unsigned char *>(in);
        m_z.avail_in = uInt(std::min(inleft, mostperstep));
        m_z.next_out = out;
        m_z.avail_out = uInt(std::min(outleft, mostperstep));
        const uInt availin = m_z.avail_in, availout = m_z.avail_out;
        const int r = inflate(&m_z, Z_NO_FLUSH);
        in += availin - m_z.avail_in;
        inleft -= availin - m_z.avail_in;
        out += availout - m_z.avail_out;
        outleft -= availout - m_z.avail_out;
        if (r == Z_STREAM_END)
            return end;
        if (r == Z_OK || r == Z_BUF_ERROR)
            return more;
        m_why = QStringLiteral("%1 data is corrupt (%2)")
                    .arg(m_gzip ? QStringLiteral("gzip") : QStringLiteral("deflate"),
                         QString::fromLatin1(m_z.msg ? m_z.msg : "no message"));
        return error;
    }

    bool another(const unsigned char *next, size_t count) override
    {
        // Concatenated gzip members are one body, as gzip itself reads them.
        if (!m_gzip || count < 2 || next[0] != gzipmagic[0] || next[1] != gzipmagic[1])
            return false;
        return inflateReset(&m_z) == Z_OK;
    }

  private:
    bool start(const unsigned char *in, size_t inleft)
    {
        int bits = zlibwindow;
        if (m_gzip) {
            if ((inleft >= 1 && in[0] != gzipmagic[0]) || (inleft >= 2 && in[1] != gzipmagic[1])) {
                m_why = QStringLiteral("not gzip data");
                return false;
            }
            bits += gzipwrapper;
        } else if (inleft < 2 || !zlibheader(in)) {
            bits = -zlibwindow; // raw deflate, which browsers accept too
        }
        if (inflateInit2(&m_z, bits) != Z_OK) {
            m_why = QStringLiteral("zlib cannot start");
            return false;
        }
        m_started = true;
        return true;
    }

    bool m_gzip;
    bool m_started = false;
    z_stream m_z{};
};

class BrotliCodec : public BodyCodec
{
  public:
    BrotliCodec() : m_state(BrotliDecoderCreateInstance(nullptr, nullptr, nullptr)) {}
    ~BrotliCodec() override { BrotliDecoderDestroyInstance(m_state); }

    Step step(const unsigned char *&in, size_t &inleft, unsigned char *&out,
              size_t &outleft) override
    {
        if (!m_state) {
            m_why = QStringLiteral("brotli cannot start");
            return error;
        }
        const size_t before = outleft;
        const BrotliDecoderResult r =
            BrotliDecoderDecompressStream(m_state, &inleft, &in, &outleft, &out, nullptr);
        m_out += before - outleft;
        if (r == BROTLI_DECODER_RESULT_SUCCESS)
            return end;
        if (r != BROTLI_DECODER_RESULT_ERROR)
            return more;
        m_why = m_out == 0 ? QStringLiteral("not brotli data")
                           : QStringLiteral("brotli data is corrupt (%1)")
                                 .arg(QString::fromLatin1(
                                     BrotliDecoderErrorString(BrotliDecoderGetErrorCode(m_state))));
        return error;
    }

  private:
    BrotliDecoderState *m_state;
    unsigned long long m_out = 0;
};

class ZstdCodec : public BodyCodec
{
  public:
    ZstdCodec() : m_stream(ZSTD_createDStream())
    {
        if (m_stream)
            ZSTD_DCtx_setParameter(m_stream, ZSTD_d_windowLogMax, zstdwindowlog);
    }
    ~ZstdCodec() override { ZSTD_freeDStream(m_stream); }

    Step step(const unsigned char *&in, size_t &inleft, unsigned char *&out,
              size_t &outleft) override
    {
        if (!m_stream) {
            m_why = QStringLiteral("zstd cannot start");
            return error;
        }
        ZSTD_inBuffer ib{in, inleft, 0};
        ZSTD_outBuffer ob{out, outleft, 0};
        const size_t r = ZSTD_decompressStream(m_stream, &ob, &ib);
        in += ib.pos;
        inleft -= ib.pos;
        out += ob.pos;
        outleft -= ob.pos;
        m_out += ob.pos;
        if (ZSTD_isError(r)) {
            const ZSTD_ErrorCode code = ZSTD_getErrorCode(r);
            if (code == ZSTD_error_prefix_unknown && m_out == 0)
                m_why = QStringLiteral("not zstd data");
            else if (code == ZSTD_error_frameParameter_windowTooLarge)
                m_why = QStringLiteral("zstd window larger than 8 MiB");
            else
                m_why = QStringLiteral("zstd data is corrupt (%1)")
                            .arg(QString::fromLatin1(ZSTD_getErrorName(r)));
            return error;
        }
        return r == 0 ? end : more;
    }

    // Frames follow one another; the stream begins the next by itself.
    bool another(const unsigned char *, size_t count) override { return count > 0; }

  private:
    ZSTD_DStream *m_stream;
    unsigned long long m_out = 0;
};

} // namespace

QStringList encodingnames(const QString &contentencoding)
{
    QStringList names;
    for (const QString &item : contentencoding.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString name = item.trimmed().toLower();
        if (!name.isEmpty() && name != QLatin1String("identity"))
            names << name;
    }
    return names;
}

bool bodyencoding(const QString &name, BodyEncoding &encoding)
{
    if (name == QLatin1String("gzip") || name == QLatin1String("x-gzip"))
        encoding = BodyEncoding::gzip;
    else if (name == QLatin1String("deflate"))
        encoding = BodyEncoding::deflate;
    else if (name == QLatin1String("br"))
        encoding = BodyEncoding::brotli;
    else if (name == QLatin1String("zstd"))
        encoding = BodyEncoding::zstd;
    else
        return false;
    return true;
}

std::unique_ptr<BodyCodec> makecodec(BodyEncoding encoding)
{
    switch (encoding) {
    case BodyEncoding::gzip:
        return std::make_unique<ZlibCodec>(true);
    case BodyEncoding::deflate:
        return std::make_unique<ZlibCodec>(false);
    case BodyEncoding::brotli:
        return std::make_unique<BrotliCodec>();
    case BodyEncoding::zstd:
        return std::make_unique<ZstdCodec>();
    }
    return nullptr;
}

} // namespace vellomar
