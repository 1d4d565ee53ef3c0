#pragma once

#include <QByteArray>

#include <map>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

namespace vellomar {

// A file a cache reader reads: bytes at an offset, and a size fixed when it was opened.
class ReadOnlyFile
{
  public:
    virtual ~ReadOnlyFile() = default;
    virtual long long size() const = 0;
    // Up to `count` bytes from `offset`: fewer at the file's end, none past it. -1, with `ec`,
    // when the read fails.
    virtual long long readat(char *buffer, long long count, long long offset,
                             std::error_code &ec) const = 0;
    // A descriptor of a plain file on the local disk, for the fast paths (copy_file_range);
    // -1 when the file is no such thing. Owned by the file.
    virtual int fd() const { return -1; }

    // `count` bytes from `offset`, all of them or none (empty, with `ec`). Refuses counts past
    // the file's end before allocating anything.
    QByteArray read(long long offset, long long count, std::error_code &ec) const;
};

// One thing in a folder of a ReadOnlyFs.
struct FsEntry {
    enum Kind { file, folder, other };
    std::string name;  // bytes as the file system keeps them
    Kind kind = other; // a link, FIFO, device or socket is `other`: never followed nor read
};

// The files a cache reader may reach: a folder on the local disk, later a disk image. Paths are
// relative to its root, "/"-separated, never leading with "/" and never holding "." or "..";
// "" is the root. Nothing is ever written through it.
class ReadOnlyFs
{
  public:
    virtual ~ReadOnlyFs() = default;
    // The folder's entries, in no particular order; false, with `ec`, when it cannot be read.
    virtual bool list(const std::string &folder, std::vector<FsEntry> &entries,
                      std::error_code &ec) const = 0;
    // A plain file, reached without following any link on the way or at its end; FIFOs,
    // devices and sockets are refused. Null, with `ec`, otherwise.
    virtual std::unique_ptr<ReadOnlyFile> open(const std::string &path,
                                               std::error_code &ec) const = 0;
};

// The local disk beneath an open folder (the descriptor is duplicated; the caller keeps its own).
std::unique_ptr<ReadOnlyFs> localfs(int rootfd);

// Files held in memory: the fuzz targets' and the tests' file system. Folders are implied by
// the paths of the files added.
class MemoryFs : public ReadOnlyFs
{
  public:
    void add(const std::string &path, QByteArray bytes);
    // Something at `path` that is not a plain file (as a link or a FIFO would be).
    void addother(const std::string &path);
    bool list(const std::string &folder, std::vector<FsEntry> &entries,
              std::error_code &ec) const override;
    std::unique_ptr<ReadOnlyFile> open(const std::string &path, std::error_code &ec) const override;

  private:
    std::map<std::string, QByteArray> m_files;
    std::map<std::string, bool> m_others;
};

// A path joined of a folder and a name in it ("" + "x" is "x").
std::string fsjoin(const std::string &folder, const std::string &name);

} // namespace vellomar
