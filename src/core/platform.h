#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>
#include <unistd.h>
#include <utility>
#include <vector>

namespace vellomar {

// Hidden entries: a leading "." on this system.
bool ishiddenname(const QString &name);

// A file name from the system in the user's encoding; empty when the bytes do not survive a
// round trip (such a file cannot be named again, so it is left out rather than shown wrongly).
QString decodedname(std::string_view raw);

enum class EntryKind { file, folder, other };

// Calls `visit` with the raw name and kind of every entry of the open folder but "." and "..",
// in the order the system lists them, from one read of the folder. Links are `other`: never
// followed. False when the folder cannot be read.
bool listfolder(int folderfd,
                const std::function<void(std::string_view name, EntryKind kind)> &visit);

// The same through the descriptor itself, with no other opened: its position moves, so each
// descriptor is listed once.
bool listopenfolder(int folderfd,
                    const std::function<void(std::string_view name, EntryKind kind)> &visit);

// What a folder is, whatever its path: a swapped-in folder or link has another identity.
struct FolderId {
    quint64 device = 0;
    quint64 inode = 0;
    bool operator==(const FolderId &) const = default;
};

// An open file, closed when it goes out of scope.
struct FileDescriptor {
    int fd = -1;
    ~FileDescriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// An open folder, closed with the handle.
class FolderHandle
{
  public:
    FolderHandle() = default;
    explicit FolderHandle(int fd) : m_fd(fd) {}
    FolderHandle(FolderHandle &&other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    FolderHandle &operator=(FolderHandle &&other) noexcept;
    FolderHandle(const FolderHandle &) = delete;
    FolderHandle &operator=(const FolderHandle &) = delete;
    ~FolderHandle();

    bool valid() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    FolderId id() const;

  private:
    int m_fd = -1;
};

// Opens `base` as the system resolves it (the user named it; it may be reached through links)
// and then each "/"-separated folder of `below` without following a link. Invalid when any
// step fails or is not a folder.
FolderHandle openbeneath(const QString &base, const QString &below = {});

// Whether the folder `path` names, or would name once made, is the open folder `folderfd` or
// lies below it, as the system resolves the path: links and ".." go where they lead. The deepest
// part of `path` that exists is walked up to the root, each folder compared by device and inode.
bool liesinfolder(const QString &path, int folderfd);

// The size in bytes of each named plain file of the open folder, one query each; -1 where it
// cannot be read or is not a plain file.
std::vector<qint64> filesizes(int folderfd, const QStringList &names);

// A plain file opened for reading: links are not followed and FIFOs, sockets and devices are
// refused, so that nothing can block or leave the tree. -1 and `ec` set on failure.
int openplainfile(const std::string &path, long long *size, std::error_code &ec);
// The same for a name inside an open folder.
int openplainfileat(int folderfd, const std::string &name, long long *size, std::error_code &ec);

// What a file is and how it stood: another file put at its path, or this one written since,
// has another identity. The change time is the system's own (no user can set it back, as the
// modification time can be), so a file written in place with its time put back is told too.
struct FileIdentity {
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = -1;
    qint64 modifiedns = 0;
    qint64 changedns = 0;
    bool valid() const { return size >= 0; }
    bool operator==(const FileIdentity &) const = default;
};

// Of an open file; invalid when it cannot be asked.
FileIdentity fileidentity(int fd);
// Of the plain file at `path`, asked without following a link: invalid for a link, a FIFO or
// anything else that is no plain file.
FileIdentity plainfileidentity(const std::string &path);
// The same for a name inside an open folder.
FileIdentity plainfileidentityat(int folderfd, const std::string &name);

// The first `size` bytes of the open file, read from its start; fewer when it ends sooner or
// cannot be read further.
QByteArray readbytes(int fd, qint64 size);

// The native form of a path for the C++ file functions.
std::string nativepath(const QString &path);

// The native separator; folder paths kept by the program end with it.
QString separator();

// The folder the program itself lives in, ending with the separator.
QString programfolder();

} // namespace vellomar
