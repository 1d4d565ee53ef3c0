#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

namespace vellomar {

// The measuring image: holds one decoded picture and its natural size, never shown.
class PictureHolder
{
  public:
    static constexpr int decodelimitmb = 512;

    // Reads the file once and decodes its first frame. False, and empty, when it is no picture
    // the decoder can read within its memory limit.
    bool load(const QString &path);
    void clear();
    bool isempty() const { return m_image.isNull(); }

    const QImage &image() const { return m_image; }
    // The file's bytes, kept for animation so that the file is not read a second time.
    const QByteArray &data() const { return m_data; }
    bool animated() const { return m_animated; }
    QSize naturalsize() const { return m_image.size(); }

  private:
    QImage m_image;
    QByteArray m_data;
    bool m_animated = false;
};

} // namespace vellomar
