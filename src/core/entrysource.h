#pragma once

#include "cacheentry.h"
#include "cachefs.h"
#include "cacherecords.h"
#include "entrystream.h"
#include "platform.h"
#include "sizefilter.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace vellomar {

// One entry of a cache as the list shows it and the dig takes it.
struct SourceEntry {
    QString folder; // the cache folder it is listed in, by its name
    QString name;   // as the list shows it
    QString type;   // typetext(name)
    qint64 size = 0;
    const CacheRecord *record = nullptr; // what the cache says of it (owned by the source)
    QString storedat; // the manifest's "cache file": the file's name, or where in the cache
    size_t index = 0; // the source's own
};

// The one place where a cache says what its entries are and how their bytes are read. A
// source reads the cache as it stood when it was made; an entry changed since is refused at
// open(). Nothing is ever written through it.
class EntrySource
{
  public:
    virtual ~EntrySource() = default;
    virtual CacheFormat format() const = 0;
    // The cache's path as it was found.
    virtual QString path() const = 0;
    // The cache's folders as the window lists them.
    virtual QStringList folders() const = 0;
    // The entries of one folder whose names match `pattern` and whose sizes the range admits,
    // in the list's order.
    virtual std::vector<SourceEntry> entries(const QString &folder, const QString &pattern,
                                             const SizeFilter &sizes) const = 0;
    // Whether every entry is a plain file of its own, named as listed in its folder: the dig
    // then reads it by its name from plainfolder().
    virtual bool plainfiles() const { return false; }
    // The open folder a plain-file entry lies in (-1 when it is no longer the one listed).
    virtual int plainfolder(const SourceEntry &entry) const;
    // An entry's bytes as they will be dug; null, with why, when they cannot be read now.
    virtual std::unique_ptr<EntryStream> open(const SourceEntry &entry, QString &why) const = 0;
    // When the bytes were cached, for the dug file's time (nanoseconds since 1970; -1 unknown).
    virtual long long cachedns(const SourceEntry &entry) const;

    // The path of the folder an entry is listed in, for the manifest's "cache folder".
    virtual QString folderpath(const SourceEntry &entry) const;
    // Where an entry is, as a path to show ("from" of a dry run, a failure's line).
    virtual QString shownpath(const SourceEntry &entry) const;
};

// A plain file's bytes, whole, from its descriptor; unchanged while its identity is.
class PlainFileStream : public EntryStream
{
  public:
    PlainFileStream(int fd, long long size); // takes the descriptor
    ~PlainFileStream() override;
    long long read(char *buffer, long long count, std::error_code &ec) override;
    bool plainrange(int &fd, long long &offset, long long &count) const override;
    void skip(long long count) override;
    bool unchanged(QString &why) const override;

  private:
    int m_fd;
    long long m_size, m_done = 0;
    FileIdentity m_identity;
};

// Internet Explorer's Content.IE5: its sub-folders' plain files, with the records of its
// index.dat. Below `place` (the folder the user named) every folder is opened a level at a time
// without following a link.
class Ie5Source : public EntrySource
{
  public:
    Ie5Source(const QString &place, const QString &cachepath, int rootfd, CacheRecords records);
    CacheFormat format() const override { return CacheFormat::contentie5; }
    QString path() const override { return m_path; }
    QStringList folders() const override { return m_folders; }
    std::vector<SourceEntry> entries(const QString &folder, const QString &pattern,
                                     const SizeFilter &sizes) const override;
    bool plainfiles() const override { return true; }
    int plainfolder(const SourceEntry &entry) const override;
    std::unique_ptr<EntryStream> open(const SourceEntry &entry, QString &why) const override;
    const CacheRecords &records() const { return m_records; }

  private:
    FolderHandle openfolder(const QString &sub) const;

    QString m_place, m_path;
    QStringList m_folders;
    CacheRecords m_records;
    mutable QString m_lastfolder; // the folder last dug from, kept open for the next entry
    mutable FolderHandle m_last;
};

// One folder of plain files already open, as the window lists it (its rows are the list's):
// the folder's path and the names in it.
class OpenFolderSource : public EntrySource
{
  public:
    OpenFolderSource(int folderfd, const QString &folderpath); // the descriptor stays the caller's
    CacheFormat format() const override { return CacheFormat::contentie5; }
    QString path() const override { return m_path; }
    QStringList folders() const override;
    std::vector<SourceEntry> entries(const QString &folder, const QString &pattern,
                                     const SizeFilter &sizes) const override;
    bool plainfiles() const override { return true; }
    int plainfolder(const SourceEntry &) const override { return m_fd; }
    std::unique_ptr<EntryStream> open(const SourceEntry &entry, QString &why) const override;
    QString folderpath(const SourceEntry &) const override { return m_path; }
    QString shownpath(const SourceEntry &entry) const override;

  private:
    int m_fd;
    QString m_path;
};

// Reads one format's entries from a folder of a file system (the readers: readsimplecache,
// readblockfilecache, readcache2, readoldfirefoxcache).
using CacheReader =
    std::function<std::vector<CacheEntry>(const ReadOnlyFs &, const std::string &, ReadReport *)>;

// What is made of an entry's stored body: its name, its size as dug, and its bytes (the stored
// stream decoded). Left empty, an entry is named from its address, and dug as stored.
struct BodyHandling {
    std::function<void(CacheEntry &)> prepare;    // first: what the reader left to the head
    std::function<bool(const CacheEntry &)> keep; // whether it is a row at all
    std::function<QString(const ReadOnlyFs &, const CacheEntry &)> name;
    std::function<long long(const ReadOnlyFs &, const CacheEntry &)> size;
    std::function<std::unique_ptr<EntryStream>(const ReadOnlyFs &, const CacheEntry &,
                                               std::unique_ptr<EntryStream> stored, QString &why)>
        decode;
};

// A browser's cache: one folder of entries a reader gives, their bytes read through the file
// system as ranges of its files. The files an entry's body lies in are stamped as listed.
class BrowserSource : public EntrySource
{
  public:
    BrowserSource(const QString &cachepath, CacheFormat format, std::unique_ptr<ReadOnlyFs> fs,
                  const std::string &folder, const CacheReader &read,
                  const BodyHandling &handling = {});
    CacheFormat format() const override { return m_format; }
    QString path() const override { return m_path; }
    QStringList folders() const override { return {m_foldername}; }
    std::vector<SourceEntry> entries(const QString &folder, const QString &pattern,
                                     const SizeFilter &sizes) const override;
    std::unique_ptr<EntryStream> open(const SourceEntry &entry, QString &why) const override;
    long long cachedns(const SourceEntry &entry) const override;

    const std::vector<CacheEntry> &cacheentries() const { return m_entries; }
    const ReadReport &report() const { return m_report; }

  private:
    QString m_path, m_foldername;
    CacheFormat m_format;
    std::unique_ptr<ReadOnlyFs> m_fs;
    BodyHandling m_handling;
    ReadReport m_report;
    std::vector<CacheEntry> m_entries;
    std::vector<CacheRecord> m_records; // one per entry, never resized after the listing
    std::vector<SourceEntry> m_rows;    // in the list's order
    std::map<std::string, FileStamp> m_stamps;
};

// What the manifest and the tooltip take of an entry a reader gave.
CacheRecord recordof(const CacheEntry &entry, const QString &folder);
// The name an entry lists as until it is named from its bytes: its address's last segment,
// made safe; the host's name plus "index" when the address has none.
QString provisionalname(const CacheEntry &entry);

} // namespace vellomar
