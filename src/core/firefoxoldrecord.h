#pragma once

// The pieces of the cache of Firefox up to 31 that reading by the map and reading without it
// share: where things are, the metadata record, the cache being read.

#include "cacheentry.h"
#include "cachefs.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vellomar::firefoxold {

constexpr int blockfiles = 3;
constexpr long long smallestblock = 256;
// The bitmap before the blocks: 4096 bytes in each file up to Firefox 3.6, then one bit per
// block of 32 MiB of blocks (16384, 4096 and 1024 bytes).
constexpr std::array<std::array<long long, blockfiles>, 2> bitmaps{
    {{4096, 4096, 4096}, {16384, 4096, 1024}}};
constexpr int mostblocks = 4; // a record or a body spans one to four blocks
constexpr long long entryheadersize = 36;
constexpr uint32_t majorversion = 1;
constexpr long long mostkey = 1024 * 1024 + 4096; // a URL of 1 MiB and its prefixes
constexpr long long mostmeta = 1024 * 1024;
constexpr char mapname[] = "_CACHE_MAP_";

// A location of data or metadata, as a map record keeps it.
struct Location {
    uint32_t bits = 0;
    bool initialized() const { return bits & 0x80000000u; }
    int file() const { return int((bits & 0x30000000u) >> 28); } // 0: a file of its own
    long long startblock() const { return bits & 0x00FFFFFFu; }
    int blockcount() const { return int((bits & 0x03000000u) >> 24) + 1; }
    int generation() const { return int(bits & 0xFFu); }
};

long long blocksize(int file);
std::string blockfilename(int file);
QString blockplace(int file, long long block); // "_CACHE_003_ block 18"
// A file of its own in the hex folders: "A/1B/CDEF0d01".
std::string ownfilename(uint32_t hash, bool meta, int generation);

// nsDiskCacheEntry: a header of nine numbers, the key and the metadata elements.
struct Record {
    QByteArray key;
    QByteArray elements;
    uint32_t lastfetched = 0, lastmodified = 0;
    long long datasize = 0;
    long long size = 0; // of the record on disk
};

// Why `bytes` do not begin with a whole record; empty when they do.
QString parserecord(QByteArrayView bytes, Record &r);
CacheEntry entryof(const Record &r);

// The cache being read: its folder, its block files as opened (null when missing), the report.
struct Cache {
    const ReadOnlyFs &fs;
    std::string folder;
    std::array<std::unique_ptr<ReadOnlyFile>, blockfiles> blocks;
    ReadReport *report;

    void leaveout(const QString &storedat, const QString &why) const
    {
        if (report)
            report->leftout.push_back({storedat, why});
    }
};

// Up to `count` blocks from `start`, fewer where the file ends (the last block is seldom whole).
QByteArray readblocks(const Cache &c, int file, long long bitmap, long long start, int count);

// The entries found without the map; `why` is the reason given for those whose data is not.
std::vector<CacheEntry> readbyscanning(const Cache &c, const QString &why);

} // namespace vellomar::firefoxold
