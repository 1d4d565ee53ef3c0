#pragma once

#include "cacheentry.h"
#include "cachefs.h"
#include "platform.h"

#include <QString>
#include <map>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

namespace vellomar {

// An entry's bytes as they are dug, read once from the front. A stream whose next bytes are a
// range of a plain file on the local disk says so, so that the kernel copies them.
class EntryStream
{
  public:
    virtual ~EntryStream() = default;
    // The next bytes: up to `count`, none at the end; -1, with `ec`, when they cannot be read.
    virtual long long read(char *buffer, long long count, std::error_code &ec) = 0;
    // When the next bytes are `count` bytes of the local file `fd` from `offset`, as stored:
    // true, and the caller copies them and calls skip(count). False when they must be read.
    virtual bool plainrange(int &fd, long long &offset, long long &count) const
    {
        (void)fd, (void)offset, (void)count;
        return false;
    }
    virtual void skip(long long count) { (void)count; }
    // After the last byte: whether what was read is still what was listed (no file of it
    // written, replaced or cut meanwhile). False, with `why`, when it is not.
    virtual bool unchanged(QString &why) const = 0;
    // What the manifest should say beside the outcome ("decoding failed: dug as stored"); none
    // for a body dug as it should be.
    virtual QString note() const { return {}; }
    // After a failed read: whether the stream starts again from the front another way (a body
    // whose decoding failed, as stored), for the copy to be made again. At most once.
    virtual bool rewind() { return false; }
};

// How a file of a cache stood when its entries were listed.
struct FileStamp {
    long long size = -1;
    FileIdentity identity; // invalid for a file that is not on the local disk
    bool operator==(const FileStamp &) const = default;
};
FileStamp stampof(const ReadOnlyFile &file);

// The stored bytes of an entry's pieces, read through the cache's file system. Each file is
// opened once; a file whose stamp differs from the one listed, or a piece that runs past its
// file's end, is refused at open().
class PieceStream : public EntryStream
{
  public:
    // `stamps` holds the files as listed (a file missing from it is taken as it is found).
    static std::unique_ptr<PieceStream> open(const ReadOnlyFs &fs,
                                             const std::vector<BodyPiece> &body,
                                             const std::map<std::string, FileStamp> &stamps,
                                             QString &why);
    long long read(char *buffer, long long count, std::error_code &ec) override;
    bool plainrange(int &fd, long long &offset, long long &count) const override;
    void skip(long long count) override;
    bool unchanged(QString &why) const override;
    // The files still stand at their paths as they were opened: none replaced meanwhile (for
    // bytes read through the paths by another reader).
    bool samefiles(const ReadOnlyFs &fs, QString &why) const;

  private:
    struct Piece {
        size_t file; // into m_files
        long long offset, length;
    };
    struct File {
        std::string path;
        std::unique_ptr<ReadOnlyFile> file;
        FileStamp stamp;
    };
    std::vector<File> m_files;
    std::vector<Piece> m_pieces;
    size_t m_at = 0;      // the piece being read
    long long m_done = 0; // of it
};

// The stored size of the pieces, or -1 when a length is negative or they add up past what a
// file can hold.
long long storedlength(const std::vector<BodyPiece> &body);

} // namespace vellomar
