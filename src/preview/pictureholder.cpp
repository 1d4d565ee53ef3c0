#include "pictureholder.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <unistd.h>

#include "common/platform.h"
#include "dig/filecopy.h"

namespace vellomar {

bool PictureHolder::load(const QString &path)
{
    clear();
    // A crafted header must not be able to ask for all of memory.
    QImageReader::setAllocationLimit(decodelimitmb);
    std::error_code ec;
    const int fd = openplainfile(nativepath(path), nullptr, ec);
    if (fd < 0)
        return false;
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    m_data = file.readAll();
    file.close();
    QBuffer buffer(&m_data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    const QImage first = reader.read();
    if (first.isNull()) {
        clear();
        return false;
    }
    m_animated = reader.supportsAnimation() && reader.imageCount() > 1;
    m_image = first;
    if (!m_animated)
        m_data.clear();
    return true;
}

void PictureHolder::clear()
{
    m_image = QImage();
    m_data.clear();
    m_animated = false;
}

} // namespace vellomar
