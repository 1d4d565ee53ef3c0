#pragma once

#include <QDateTime>
#include <QHash>
#include <QLocale>
#include <QString>
#include <chrono>
#include <vector>

namespace vellomar {

// What the cache's own index.dat says of one cached file.
struct CacheRecord {
    QString address; // where it was fetched from
    QString folder;  // the cache sub-folder it lies in
    QString file;    // its name there
    // The address and name as the index keeps them, in the code page of the Windows that wrote
    // them; the two above are these as text, in the code page the cache's files bear out.
    QByteArray addressbytes, filebytes;
    QDateTime lastmodified, lastaccessed, lastchecked, expires; // UTC; invalid when not kept
    qint64 storedsize = -1;
    quint32 hits = 0;
    // From the HTTP response kept with the record.
    QString contenttype, contentencoding, httplastmodified;
};

// The URL records of a cache's index.dat, read with libmsiecf. A missing, truncated, locked or
// hostile index.dat gives no records, or those that could be read: never an error.
class CacheRecords
{
  public:
    // Reads "index.dat" in the open cache folder (the one holding the sub-folders). The file is
    // read by libmsiecf in a helper process of its own (`vellomar-index`), within a time (the
    // file's readingbudget) and a memory limit: the library loops forever, or reads out of
    // bounds, on some damaged files. `stopped`, when given, tells whether the reader was stopped.
    static CacheRecords read(int cachefolderfd, bool *stopped = nullptr);
    // The records of each open cache folder, in their order, read at once (a few readers at a
    // time), so that caches with damaged files cost one budget rather than one each.
    static std::vector<CacheRecords> readall(const std::vector<int> &cachefolderfds);
    // The reading itself, as the helper does it: an index.dat's bytes in, records out.
    static CacheRecords parse(QByteArray bytes);
    // The records as the helper hands them over, and back.
    QByteArray serialize() const;
    static CacheRecords deserialize(const QByteArray &bytes);

    // The record of `file` in sub-folder `folder` (both without regard to case); null for none.
    const CacheRecord *find(const QString &folder, const QString &file) const;
    qsizetype size() const { return m_records.size(); }
    bool isEmpty() const { return m_records.isEmpty(); }

  private:
    // The names and addresses as text, in the code page under which the names match the files
    // in the open cache folder's sub-folders; an address no code page fits stays percent-escaped.
    void decodekept(int cachefolderfd);

    QHash<QString, CacheRecord> m_records;
};

// How long the reader of an index.dat of `bytes` runs before it is given up on: a start
// allowance and so much a megabyte, at most the longest any index is given.
std::chrono::milliseconds readingbudget(qint64 bytes);

// What a row's tooltip says of its record: the address, the content type, when the file was
// last modified and last accessed, in the user's locale; one per line.
QString recorddescription(const CacheRecord &record);

// Where the helper that reads index.dat files is: $VELLOMAR_INDEX_READER, else beside the
// program, else in ../libexec/vellomar/ from it.
QString indexreaderpath();

// The fields of HTTP response headers kept in a record ("HTTP/1.1 200 OK\r\nContent-Type: ...").
QString httpheader(const QByteArray &headers, const QByteArray &name);

// Windows FILETIME (100 ns since 1601) and FAT date and time (date in the low 16 bits) as UTC;
// invalid for 0 or nonsense.
QDateTime fromfiletime(quint64 filetime);
QDateTime fromfatdatetime(quint32 fat);

} // namespace vellomar
