// A cache of the tests' own format, read by a real reader of it: a "toc" file whose lines name
// each entry (where it is stored, its address, content type, and the ranges of the cache's files
// its body is), beside the files themselves. It stands where a browser's reader will, so that
// the dig of entries stored as ranges of larger files is tried without one.
#pragma once

#include "cacheentry.h"
#include "cacheformat.h"
#include "cachefs.h"

#include <QByteArray>
#include <QList>
#include <string>
#include <vector>

namespace tablecache {

inline constexpr long long mosttoc = 1 << 20;

// One line: storedat \t address \t content type \t file@offset+length;file@offset+length...
// and, when the body is encoded, \t its Content-Encoding (kept in the head only, as the readers
// leave it to the head's parser).
inline QByteArray line(const QByteArray &storedat, const QByteArray &address,
                       const QByteArray &type, const QByteArray &pieces,
                       const QByteArray &encoding = {})
{
    return storedat + '\t' + address + '\t' + type + '\t' + pieces +
           (encoding.isEmpty() ? QByteArray() : '\t' + encoding) + '\n';
}

inline std::vector<vellomar::CacheEntry>
read(const vellomar::ReadOnlyFs &fs, const std::string &folder, vellomar::ReadReport *report)
{
    using namespace vellomar;
    std::vector<CacheEntry> entries;
    std::error_code ec;
    const std::unique_ptr<ReadOnlyFile> toc = fs.open(fsjoin(folder, "toc"), ec);
    if (!toc || toc->size() > mosttoc)
        return entries;
    const QByteArray text = toc->read(0, toc->size(), ec);
    for (const QByteArray &l : text.split('\n')) {
        const QList<QByteArray> f = l.split('\t');
        if (f.size() != 4 && f.size() != 5) {
            if (!l.isEmpty() && report)
                report->leftout.push_back({QString::fromUtf8(l), QStringLiteral("not a line")});
            continue;
        }
        CacheEntry e;
        e.storedat = QString::fromUtf8(f[0]);
        e.key = f[1];
        e.address = QString::fromUtf8(f[1]);
        e.contenttype = QString::fromUtf8(f[2]);
        e.httpstatus = 200;
        e.responsehead = "HTTP/1.1 200 OK\r\nContent-Type: " + f[2] + "\r\n";
        if (f.size() == 5) {
            e.responsehead += "Content-Encoding: " + f[4] + "\r\n";
        }
        e.responsetime = QDateTime(QDate(2009, 5, 1), QTime(12, 0), Qt::UTC);
        for (const QByteArray &p : f[3].split(';')) {
            const qsizetype at = p.indexOf('@'), plus = p.indexOf('+');
            if (at < 0 || plus < at)
                continue;
            BodyPiece piece;
            piece.file = fsjoin(folder, p.left(at).toStdString());
            piece.offset = p.mid(at + 1, plus - at - 1).toLongLong();
            piece.length = p.mid(plus + 1).toLongLong();
            e.body.push_back(piece);
            e.storedsize += piece.length;
        }
        entries.push_back(std::move(e));
    }
    return entries;
}

inline bool is(const vellomar::ReadOnlyFs &fs, const std::string &folder)
{
    std::error_code ec;
    return fs.open(vellomar::fsjoin(folder, "toc"), ec) != nullptr;
}

// The table of readers with this one, as the Simple Cache's would stand.
inline std::vector<vellomar::FormatReader> readers()
{
    return {{vellomar::CacheFormat::chromiumsimple, is, read}};
}

} // namespace tablecache
