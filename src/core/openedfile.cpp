#include "openedfile.h"

#include "platform.h"

#include <unistd.h>

namespace vellomar {

OpenedFile::~OpenedFile()
{
    ::close(m_fd);
}

std::shared_ptr<const OpenedFile> OpenedFile::adopt(int fd, long long size)
{
    if (fd < 0)
        return nullptr;
    return std::shared_ptr<const OpenedFile>(new OpenedFile(fd, size));
}

std::shared_ptr<const OpenedFile> OpenedFile::adoptfilled(int fd, qint64 size)
{
    return adopt(fd, size);
}

std::shared_ptr<const OpenedFile> OpenedFile::openat(int folderfd, const QString &name)
{
    if (folderfd < 0 || name.isEmpty() || name == QLatin1String(".") ||
        name == QLatin1String("..") || name.contains(QLatin1Char('/')))
        return nullptr;
    std::error_code ec;
    long long size = 0;
    const int fd = openplainfileat(folderfd, nativepath(name), &size, ec);
    return adopt(fd, size);
}

std::shared_ptr<const OpenedFile> OpenedFile::open(const QString &path)
{
    std::error_code ec;
    long long size = 0;
    const int fd = openplainfile(nativepath(path), &size, ec);
    return adopt(fd, size);
}

QByteArray OpenedFile::head(int count) const
{
    return readbytes(m_fd, count);
}

} // namespace vellomar
