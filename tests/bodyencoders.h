#pragma once

// Real encoders for the tests' bodies: zlib, libbrotlienc and libzstd, as a server would use
// them. Streams of zeros are made a chunk at a time, so a bomb costs no memory to make.

#include <QByteArray>

namespace vellomar::testing {

enum class Wrap { gzip, zlib, raw };

QByteArray deflated(const QByteArray &plain, Wrap wrap, const char *gzipname = nullptr);
QByteArray deflatedzeros(long long count, Wrap wrap);
QByteArray brotlied(const QByteArray &plain);
QByteArray brotliedzeros(long long count);
// With the content size in the frame header, or (`streamed`) without it.
QByteArray zstded(const QByteArray &plain, bool streamed = false);
// With a window of 2^windowlog bytes when it is not 0.
QByteArray zstdedzeros(long long count, int windowlog = 0);

// Bytes that do not compress, the same on every run.
QByteArray noise(qsizetype count, unsigned seed = 1);

} // namespace vellomar::testing
