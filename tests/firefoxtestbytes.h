#pragma once

// What the tests of Firefox's caches share: the samples' folder, a local file system on a
// folder, big-endian numbers, metadata elements, and the check that stored bytes lie in files.

#include "cacheentry.h"
#include "cachefs.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
#include <QPair>
#include <QString>
#include <fcntl.h>
#include <memory>
#include <unistd.h>
#include <vector>

namespace vellomar::test {

inline QString samplesfolder()
{
    const QString named = qEnvironmentVariable("VELLOMAR_SAMPLES");
    return QDir::cleanPath(named.isEmpty() ? QStringLiteral(VELLOMAR_SAMPLES) : named);
}

inline std::unique_ptr<ReadOnlyFs> openlocal(const QString &folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return nullptr;
    auto fs = localfs(fd);
    ::close(fd);
    return fs;
}

QByteArray be32(uint32_t v)
{
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = char(v >> (24 - 8 * i));
    return b;
}

inline QByteArray pairs(const QList<QPair<QByteArray, QByteArray>> &pairs)
{
    QByteArray out;
    for (const auto &[name, value] : pairs)
        out += name + '\0' + value + '\0';
    return out;
}

inline const QByteArray okhead = "HTTP/1.1 200 OK\r\nContent-Type: image/png\r\n";

// Every stored byte a reader names lies in its file.
inline bool piecesinside(const ReadOnlyFs &fs, const std::vector<CacheEntry> &entries)
{
    for (const CacheEntry &e : entries) {
        long long sum = 0;
        for (const BodyPiece &p : e.body) {
            std::error_code ec;
            const auto f = fs.open(p.file, ec);
            if (!f || p.offset < 0 || p.length < 0 || p.offset + p.length > f->size())
                return false;
            sum += p.length;
        }
        if (sum != e.storedsize)
            return false;
    }
    return true;
}

} // namespace vellomar::test
