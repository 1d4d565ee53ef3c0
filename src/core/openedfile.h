#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

namespace vellomar {

// A plain file opened once and read from that descriptor by whoever shows it: what later stands
// at its path (another file, a link, a folder swapped for a link) is not what they read. Closed
// with its last holder.
class OpenedFile
{
  public:
    ~OpenedFile();
    OpenedFile(const OpenedFile &) = delete;
    OpenedFile &operator=(const OpenedFile &) = delete;

    // A name directly in the open folder, as the list shows it: no link, no FIFO or device, and
    // no path. Null when it is not such a file.
    static std::shared_ptr<const OpenedFile> openat(int folderfd, const QString &name);
    // A path the caller chose itself; its last step is not followed when it is a link.
    static std::shared_ptr<const OpenedFile> open(const QString &path);

    // A descriptor the caller made and filled (an unnamed temporary file): the file takes it.
    static std::shared_ptr<const OpenedFile> adoptfilled(int fd, qint64 size);

    int fd() const { return m_fd; }
    // The size when it was opened.
    qint64 size() const { return m_size; }
    // Up to `count` bytes from its start, whatever the descriptor's position.
    QByteArray head(int count) const;

  private:
    OpenedFile(int fd, qint64 size) : m_fd(fd), m_size(size) {}
    static std::shared_ptr<const OpenedFile> adopt(int fd, long long size);

    int m_fd;
    qint64 m_size;
};

} // namespace vellomar
