#include "entryfiles.h"

#include "platform.h"

#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vellomar {

namespace {

constexpr long long copychunk = 256 * 1024;
constexpr mode_t privatefile = 0600;

bool writeall(int fd, const char *data, long long count)
{
    while (count > 0) {
        const ssize_t n = ::write(fd, data, size_t(count));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        count -= n;
    }
    return true;
}

// Copies the entry's bytes into `fd` a chunk at a time; its length, or -1 with `why`.
long long filldescriptor(const EntrySource &source, const SourceEntry &entry, int fd, QString &why)
{
    const std::unique_ptr<EntryStream> stream = source.open(entry, why);
    if (!stream)
        return -1;
    std::vector<char> buffer(static_cast<size_t>(copychunk));
    long long total = 0;
    for (;;) {
        std::error_code ec;
        const long long n = stream->read(buffer.data(), copychunk, ec);
        if (n < 0) {
            why = QString::fromStdString(ec.message());
            return -1;
        }
        if (n == 0)
            break;
        if (!writeall(fd, buffer.data(), n)) {
            why = QString::fromLocal8Bit(std::strerror(errno));
            return -1;
        }
        total += n;
    }
    if (!stream->unchanged(why))
        return -1;
    return total;
}

} // namespace

QString privatetempfolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir() && QFileInfo(runtime).isWritable())
        return runtime;
    return QDir::tempPath();
}

std::shared_ptr<const OpenedFile> decodedfile(const EntrySource &source, const SourceEntry &entry,
                                              QString &why)
{
    const QByteArray folder = QFile::encodeName(privatetempfolder());
    const int fd = ::open(folder.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, privatefile);
    if (fd < 0) {
        why = QString::fromLocal8Bit(std::strerror(errno));
        return nullptr;
    }
    const long long size = filldescriptor(source, entry, fd, why);
    // Read through a descriptor of its own, opened read-only, from its start.
    const int readfd =
        size < 0 ? -1
                 : ::open(QStringLiteral("/proc/self/fd/%1").arg(fd).toLatin1().constData(),
                          O_RDONLY | O_CLOEXEC);
    if (size >= 0 && readfd < 0)
        why = QString::fromLocal8Bit(std::strerror(errno));
    ::close(fd);
    if (readfd < 0)
        return nullptr;
    return OpenedFile::adoptfilled(readfd, size);
}

QString descriptorpath(const OpenedFile &file)
{
    return QStringLiteral("/proc/self/fd/%1").arg(file.fd());
}

PrivateCopy::~PrivateCopy()
{
    if (!m_path.isEmpty())
        ::unlink(QFile::encodeName(m_path).constData());
    if (!m_folder.isEmpty())
        ::rmdir(QFile::encodeName(m_folder).constData());
}

std::unique_ptr<PrivateCopy> PrivateCopy::make(const EntrySource &source, const SourceEntry &entry,
                                               QString &why)
{
    std::unique_ptr<PrivateCopy> copy(new PrivateCopy);
    QByteArray pattern =
        QFile::encodeName(privatetempfolder() + QStringLiteral("/vellomar-XXXXXX"));
    // mkdtemp makes the folder 0700.
    if (!::mkdtemp(pattern.data())) {
        why = QString::fromLocal8Bit(std::strerror(errno));
        return nullptr;
    }
    copy->m_folder = QFile::decodeName(pattern);
    // The list's names are already safe as one segment of a path.
    const QString name = entry.name.isEmpty() || entry.name.contains(QLatin1Char('/')) ||
                                 entry.name.startsWith(QLatin1Char('.'))
                             ? QStringLiteral("entry")
                             : entry.name;
    const QString path = copy->m_folder + QLatin1Char('/') + name;
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, privatefile);
    if (fd < 0) {
        why = QString::fromLocal8Bit(std::strerror(errno));
        return nullptr;
    }
    copy->m_path = path;
    const long long size = filldescriptor(source, entry, fd, why);
    ::close(fd);
    if (size < 0)
        return nullptr;
    return copy;
}

} // namespace vellomar
