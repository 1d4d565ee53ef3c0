#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <string>
#include <vector>

namespace vellomar {

// The formats of cache the program reads.
enum class CacheFormat {
    contentie5,        // Internet Explorer: plain files in sub-folders, records in index.dat
    chromiumsimple,    // Chromium's Simple Cache: index-dir/the-real-index, <16 hex>_0, _1, _s
    chromiumblockfile, // Chromium's blockfile cache: index, data_0…data_3, f_xxxxxx
    firefoxcache2,     // Firefox 32 and later: cache2/entries/<SHA1>
    firefoxold,        // Firefox up to 31: _CACHE_MAP_, _CACHE_001_…_CACHE_003_, hex folders
};

// A run of an entry's stored bytes: `length` bytes of a file of the cache from `offset`.
struct BodyPiece {
    std::string file; // the file's path in the cache's ReadOnlyFs
    long long offset = 0;
    long long length = 0;
};

// One response a browser kept, as a reader of its format found it. The body is given as the
// stored bytes (encoded as it came over the wire); decoding is not the reader's business.
struct CacheEntry {
    QByteArray key;          // the key as the format keeps it (with any partition prefix)
    QString address;         // the URL it was fetched from
    QByteArray responsehead; // the HTTP response's status line and headers, "\r\n"-separated
    int httpstatus = 0;      // from the status line; 0 when the entry keeps none
    QString contenttype;     // the Content-Type header's media type, lower-case; empty if none
    QString contentencoding; // the Content-Encoding header, lower-case; empty if none
    // Chromium keeps when the request went out and the response came; Firefox, when the
    // entry was last fetched and the Last-Modified it was sent with. UTC; invalid when not kept.
    QDateTime requesttime, responsetime;
    QDateTime lastfetched, lastmodified;
    // Where it is stored, as the manifest says it: "Cache_Data/1a2b…_0", "f_0000a3",
    // "data_1 block 42", "entries/<SHA1>".
    QString storedat;
    std::vector<BodyPiece> body; // the stored bytes in order; several for a sparse entry
    long long storedsize = 0;    // the sum of the pieces' lengths
};

// What a reader saw beside its entries: the entries it left out, each with why ("data_3 is
// missing", "body runs past its file's end"), for the chooser, the command and the manifest.
struct ReadReport {
    struct LeftOut {
        QString storedat;
        QString reason;
    };
    std::vector<LeftOut> leftout;
};

} // namespace vellomar
