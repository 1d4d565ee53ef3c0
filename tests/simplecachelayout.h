#pragma once

// Chromium's Simple Cache laid out as net/disk_cache/simple writes it, for the tests: entry and
// sparse files, the pickled response info, the file names, and what a reader's entries read.
#include "cacheentry.h"
#include "cachefs.h"
#include "crc32.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QtEndian>

#include <string>

namespace vellomar::test {

// The samples shared beside the checkout, read in place (VELLOMAR_SAMPLES names another).
inline const QString samplefolder = QDir::cleanPath(
    (qEnvironmentVariableIsEmpty("VELLOMAR_SAMPLES") ? QStringLiteral(VELLOMAR_SAMPLES)
                                                     : qEnvironmentVariable("VELLOMAR_SAMPLES")) +
    "/simplecache/testdata");
inline const QString seedfile = QStringLiteral(VELLOMAR_SIMPLESEED);

inline constexpr quint64 initialmagic = 0xfcfb6d1ba7725c30ULL;
inline constexpr quint64 finalmagic = 0xf4fa6f45970d41d8ULL;
inline constexpr quint64 sparsemagic = 0xeb97bf016553676bULL;

template <typename T> inline void put(QByteArray &out, T value)
{
    value = qToLittleEndian(value);
    out.append(reinterpret_cast<const char *>(&value), sizeof value);
}

// base::Time of 2024-05-06 07:08:09 UTC, in microseconds from 1601.
constexpr qint64 sometime = (1714979289LL + 11644473600LL) * 1000000LL;

// A pickled HttpResponseInfo as Chromium 156 writes it: flags with the extra-flags bit, the
// original response time, the raw headers '\0'-ended, then the socket address.
inline QByteArray responseinfo(const QByteArrayList &lines, qint64 request = sometime,
                               qint64 response = sometime + 1000, bool extra = true)
{
    QByteArray payload;
    const quint32 version = 3, hasconnectioninfo = 1u << 18, hasextra = 1u << 31;
    put<quint32>(payload, version | hasconnectioninfo | (extra ? hasextra : 0));
    if (extra)
        put<quint32>(payload, 1u << 2);
    put<qint64>(payload, request);
    put<qint64>(payload, response);
    if (extra)
        put<qint64>(payload, response);
    QByteArray raw = lines.join('\0') + QByteArray(2, '\0');
    put<qint32>(payload, qint32(raw.size()));
    payload += raw;
    while (payload.size() % 4)
        payload += '\0';
    put<qint32>(payload, 9);
    payload += "127.0.0.1";
    payload += QByteArray(3, '\0');
    put<quint16>(payload, 80);
    payload += QByteArray(2, '\0');
    put<qint32>(payload, 1);
    QByteArray pickle;
    put<quint32>(pickle, quint32(payload.size()));
    return pickle + payload;
}

struct Layout {
    int header, eof, range;
};
constexpr Layout wide{24, 24, 32}, narrow{20, 20, 28};

inline QByteArray eofrecord(const Layout &l, quint32 flags, quint32 crc, quint32 size)
{
    QByteArray out;
    put<quint64>(out, finalmagic);
    put<quint32>(out, flags);
    put<quint32>(out, crc);
    put<quint32>(out, size);
    return out.leftJustified(l.eof, '\0');
}

inline QByteArray fileheader(const Layout &l, quint32 version, qsizetype keylength)
{
    QByteArray out;
    put<quint64>(out, initialmagic);
    put<quint32>(out, version);
    put<quint32>(out, quint32(keylength));
    put<quint32>(out, 0x12345678); // the key's hash: not read
    return out.leftJustified(l.header, '\0');
}

// An entry's _0 file, laid out as SimpleSynchronousEntry writes it.
inline QByteArray entryfile(const QByteArray &key, const QByteArray &body,
                            const QByteArray &stream0, const Layout &l = wide, bool withcrc = true,
                            bool withsha = true)
{
    const quint32 hascrc = 1, hassha = 2;
    QByteArray out = fileheader(l, 5, key.size()) + key + body;
    out += eofrecord(l, withcrc ? hascrc : 0, withcrc ? crc32(body.constData(), body.size()) : 0,
                     quint32(body.size()));
    out += stream0;
    if (withsha)
        out += QCryptographicHash::hash(key, QCryptographicHash::Sha256);
    out += eofrecord(l, (withcrc ? hascrc : 0) | (withsha ? hassha : 0),
                     withcrc ? crc32(stream0.constData(), stream0.size()) : 0,
                     quint32(stream0.size()));
    return out;
}

struct Range {
    quint64 offset;
    QByteArray data;
};

inline QByteArray sparsefile(const QByteArray &key, const QList<Range> &ranges,
                             const Layout &l = wide)
{
    QByteArray out = fileheader(l, 1, key.size()) + key;
    for (const Range &r : ranges) {
        QByteArray h;
        put<quint64>(h, sparsemagic);
        put<quint64>(h, r.offset);
        put<quint64>(h, quint64(r.data.size()));
        put<quint32>(h, crc32(r.data.constData(), r.data.size()));
        out += h.leftJustified(l.range, '\0') + r.data;
    }
    return out;
}

inline const QByteArray somekey =
    "1/0/_dk_https://example.com https://example.com https://cdn.example.com/a.png";
inline const QByteArray someaddress = "https://cdn.example.com/a.png";
inline const QByteArray otherkey =
    "1/0/_dk_https://example.com https://example.com https://cdn.example.com/b.png";

// An entry's file name: the first 8 bytes of its key's SHA-1 as a little-endian number, in hex.
inline std::string entryname(const QByteArray &key, char suffix = '0')
{
    const QByteArray sha1 = QCryptographicHash::hash(key, QCryptographicHash::Sha1);
    QByteArray hex;
    for (int i = 7; i >= 0; --i)
        hex += QByteArray(1, sha1[i]).toHex();
    return hex.toStdString() + "_" + suffix;
}
const QByteArrayList okhead{"HTTP/1.1 200 OK", "Content-Type: image/png", "Content-Length: 4"};

inline QByteArray bodyof(const ReadOnlyFs &fs, const CacheEntry &e)
{
    QByteArray out;
    for (const BodyPiece &p : e.body) {
        std::error_code ec;
        auto f = fs.open(p.file, ec);
        if (!f)
            return "(cannot open " + QByteArray::fromStdString(p.file) + ")";
        QByteArray bytes = f->read(p.offset, p.length, ec);
        if (ec)
            return "(piece past its file)";
        out += bytes;
    }
    return out;
}

inline QString sha256hex(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

inline QByteArray readall(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline QStringList reasons(const ReadReport &report)
{
    QStringList out;
    for (const auto &l : report.leftout)
        out << l.storedat + ": " + l.reason;
    return out;
}

} // namespace vellomar::test
