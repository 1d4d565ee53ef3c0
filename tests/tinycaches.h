#pragma once

#include "testsupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QtEndian>

// The least of each browser's cache that tells it by its contents: the names and the header
// bytes discovery reads, nothing of the entries' own records.
namespace vellomar::test::tiny {

// Chromium's blockfile index header: magic, version, entry count (little-endian).
inline QByteArray blockfileindex(qint32 entries, quint32 magic = 0xC103CAC3)
{
    QByteArray h(368, '\0'); // as large as Chromium's IndexHeader
    qToLittleEndian<quint32>(magic, h.data());
    qToLittleEndian<quint32>(0x30000, h.data() + 4);
    qToLittleEndian<qint32>(entries, h.data() + 8);
    return h;
}

// Firefox's old _CACHE_MAP_ header: version, data size, entry count (big-endian).
inline QByteArray firefoxmap(qint32 entries)
{
    QByteArray h(276, '\0');
    qToBigEndian<quint32>(0x00010013, h.data());
    qToBigEndian<qint32>(entries, h.data() + 8);
    return h;
}

inline const char *cache2name(int i)
{
    static const char *names[] = {"0EDDF8C091E2FED62E44BEDDDC1723F5BF38FE4F",
                                  "1F4B3A4FC81FB19C530758231FA54313BE8F6FA2",
                                  "9e599395b8e39ed759c56fc9cd6bbd80fbb426dc"};
    return names[i % 3];
}

// Builds a cache of `kind` in `folder` and gives the files its folder holds (for cache2, its
// entries folder); false when it cannot be written.
//   simple      two `<16 hex>_0` entries, an `_1` and an `_s`, `index`, `index-dir/the-real-index`
//   indexdir    `index-dir` alone: a Simple Cache with no entry yet
//   blockfile   an `index` counting 7 entries, data_0, data_1 and an f_ file
//   cache2      `entries/` of three cache2 files, `index` and `doomed/` beside it
//   bareentries three cache2 files: a copy of the entries folder itself
//   firefoxold  `_CACHE_MAP_` counting 5, `_CACHE_001_`…`_CACHE_003_`, a hex folder
//   firefoxblocks `_CACHE_001_` and `_CACHE_002_` without their map
inline bool build(const QString &folder, const QString &kind, int *files = nullptr)
{
    const QString f = folder + QLatin1Char('/');
    const auto put = [&f](const QString &name, const QByteArray &bytes) {
        return writecontent(f + name, bytes);
    };
    bool ok = QDir().mkpath(folder);
    int n = 0;
    if (kind == QLatin1String("simple")) {
        ok = ok && put("0123456789abcdef_0", QByteArray(300, 'a')) &&
             put("fedcba9876543210_0", QByteArray(200, 'b')) &&
             put("fedcba9876543210_1", QByteArray(100, 'c')) &&
             put("00000000000000ff_s", QByteArray(50, 'd')) &&
             put("index", QByteArray::fromHex("305c72a71b6dfbfc0600000000000000")) &&
             put("index-dir/the-real-index", QByteArray(40, 'i'));
        n = 5;
    } else if (kind == QLatin1String("indexdir")) {
        ok = ok && put("index-dir/the-real-index", QByteArray(40, 'i'));
    } else if (kind == QLatin1String("blockfile")) {
        ok = ok && put("index", blockfileindex(7)) && put("data_0", QByteArray(8192, '0')) &&
             put("data_1", QByteArray(8192, '1')) && put("f_00000a", QByteArray(5000, 'f'));
        n = 4;
    } else if (kind == QLatin1String("cache2") || kind == QLatin1String("bareentries")) {
        const QString in = kind == QLatin1String("cache2") ? QStringLiteral("entries/") : QString();
        for (int i = 0; i < 3; ++i)
            ok = ok && put(in + cache2name(i), QByteArray(100 + i, 'e'));
        if (!in.isEmpty())
            ok = ok && put("index", QByteArray::fromHex("0000000a00000000")) &&
                 QDir().mkpath(f + "doomed");
        n = 3;
    } else if (kind == QLatin1String("firefoxold")) {
        ok = ok && put("_CACHE_MAP_", firefoxmap(5)) && put("_CACHE_001_", QByteArray(4096, '1')) &&
             put("_CACHE_002_", QByteArray(4096, '2')) &&
             put("_CACHE_003_", QByteArray(4096, '3')) && put("A/1C/9E8F1A00d01", "big");
        n = 4;
    } else if (kind == QLatin1String("firefoxblocks")) {
        ok = ok && put("_CACHE_001_", QByteArray(4096, '1')) &&
             put("_CACHE_002_", QByteArray(4096, '2'));
        n = 2;
    } else {
        return false;
    }
    if (files)
        *files = n;
    return ok;
}

// Copies the folder `from` (a shared sample, read-only) to `to`, which may not exist yet.
inline bool copytree(const QString &from, const QString &to)
{
    if (!QDir().mkpath(to))
        return false;
    QDirIterator it(from, QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString p = it.next();
        const QString target = to + p.mid(from.size());
        if (it.fileInfo().isDir() ? !QDir().mkpath(target) : !QFile::copy(p, target))
            return false;
    }
    return true;
}

} // namespace vellomar::test::tiny
