#pragma once

#include <QString>
#include <QStringList>

#include <cstddef>
#include <memory>

namespace vellomar {

// The Content-Encodings a body can be decoded from.
enum class BodyEncoding { gzip, deflate, brotli, zstd };

// A Content-Encoding list's items in the order applied, lower-case, "identity" left out.
QStringList encodingnames(const QString &contentencoding);

// A Content-Encoding's name ("gzip", "x-gzip", "deflate", "br", "zstd") as one of them; false
// for any other.
bool bodyencoding(const QString &name, BodyEncoding &encoding);

// One encoding's streaming decoder, over zlib, libbrotlidec or libzstd. Memory is the
// library's window and state alone: zstd's window is held to 8 MiB as browsers hold it.
class BodyCodec
{
  public:
    enum Step {
        more,  // went on, or needs more input or room
        end,   // a stream ended
        error, // see why()
    };
    virtual ~BodyCodec() = default;
    // Decodes from `in` into `out`, moving both and their counts on.
    virtual Step step(const unsigned char *&in, size_t &inleft, unsigned char *&out,
                      size_t &outleft) = 0;
    // At a stream's end: whether the next input bytes begin another stream that goes on with
    // the body (a gzip member, a zstd frame), made ready for it.
    virtual bool another(const unsigned char *next, size_t count) { return false; }
    // The first bytes a decoder needs to choose how to read the rest.
    virtual size_t lookahead() const { return 0; }
    QString why() const { return m_why; }

  protected:
    QString m_why;
};

std::unique_ptr<BodyCodec> makecodec(BodyEncoding encoding);

} // namespace vellomar
