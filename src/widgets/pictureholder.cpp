#include "pictureholder.h"

#include "openedfile.h"

#include <QRegularExpression>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <unistd.h>

#include "picturecache.h"
#include "picturesurface.h"
#include "platform.h"

namespace vellomar {

namespace {

bool fits(const QSize &size)
{
    return qint64(size.width()) * size.height() * 4 <= qint64(decodebudgetmb) << 20;
}

// The screen a GIF's frames are drawn on, from its header: the decoder holds a whole frame of
// this size however small the frames are, and its reported size can leave the screen out.
QSize gifscreen(const QByteArray &data)
{
    if (data.size() < 10 || !data.startsWith("GIF8"))
        return {0, 0};
    const auto le16 = [&](int at) {
        return int(uchar(data[at])) | int(uchar(data[at + 1])) << 8;
    };
    return QSize(le16(6), le16(8));
}

} // namespace

bool fitsdecodebudget(const QByteArray &data)
{
    // A crafted header must not be able to ask for more; this also binds QMovie's decoder.
    QImageReader::setAllocationLimit(decodebudgetmb);
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    // A size the headers do not tell is left to the allocation limit.
    return fits(reader.size().expandedTo(gifscreen(data)));
}

bool isdescriptorpath(const QString &path)
{
    static const QRegularExpression own(QStringLiteral("^/proc/self/fd/[0-9]{1,9}$"));
    return own.match(path).hasMatch();
}

int opendescriptorpath(const QString &path, long long *size)
{
    // Opened anew, so that its reading starts at its beginning; only a plain file is read.
    const int fd = ::open(path.toLatin1().constData(), O_RDONLY | O_CLOEXEC);
    struct stat st {
    };
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    if (size)
        *size = st.st_size;
    return fd;
}

bool readpicture(const QString &path, DecodedPicture &picture, PictureSurface *surface)
{
    picture = DecodedPicture();
    std::error_code ec;
    long long size = 0;
    const int fd = isdescriptorpath(path) ? opendescriptorpath(path, &size)
                                          : openplainfile(nativepath(path), &size, ec);
    if (fd < 0)
        return false;
    return readpicturefrom(fd, size, picture, surface);
}

bool readpicturefrom(int fd, long long size, DecodedPicture &picture, PictureSurface *surface)
{
    picture = DecodedPicture();
    picture.file = fileidentity(fd);
    QFile file;
    if (size > maxpicturefilebytes ||
        !file.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    // No more than the file held when opened, should it grow meanwhile.
    QByteArray data = file.read(size);
    file.close();
    if (!fitsdecodebudget(data))
        return false;
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    QImage first;
    if (surface && reader.imageFormat() == QImage::Format_RGB32 && !reader.supportsAnimation())
        first = surface->allocate(reader.size());
    // The decoder fills an image of the size and format it decodes to in place.
    if (!reader.read(&first))
        return false;
    picture.animated = reader.supportsAnimation() && reader.imageCount() > 1;
    picture.image = first;
    if (picture.animated)
        picture.data = data;
    return true;
}

bool PictureHolder::load(const QString &path, PictureCache *ahead, const FileIdentity &standing)
{
    DecodedPicture picture;
    const bool read = ahead && ahead->take(path, standing, picture) ? !picture.image.isNull()
                                                                    : readpicture(path, picture);
    m_picture = read ? std::move(picture) : DecodedPicture();
    return read;
}

bool PictureHolder::loadopened(const OpenedFile &file)
{
    DecodedPicture picture;
    // A descriptor of its own, read from the start whatever the file's own stands at.
    const int fd = opendescriptorpath(QStringLiteral("/proc/self/fd/%1").arg(file.fd()), nullptr);
    const bool read = fd >= 0 && readpicturefrom(fd, file.size(), picture);
    m_picture = read ? std::move(picture) : DecodedPicture();
    return read;
}

void PictureHolder::clear()
{
    m_picture = DecodedPicture();
}

} // namespace vellomar
