#pragma once

#include "platform.h"

#include <QByteArray>
#include <QImage>
#include <QSize>

namespace vellomar {

class PictureCache;
class PictureSurface;
class OpenedFile;

// The most one decoded frame may take, at four bytes a pixel: a 6000 x 4000 photo (96 MB) fits
// with room to spare, and an animation holds a couple of frames in each control playing it.
constexpr int decodebudgetmb = 128;
// A cached picture is a few megabytes at most; a file beyond this (one that grew after it was
// listed, say) is refused unread.
constexpr qint64 maxpicturefilebytes = qint64(64) << 20;

// Whether the picture in `data` can be decoded, and played if animated, within the budget: its
// frame, and for a GIF the screen every frame is drawn on, checked from the headers before any
// pixel is decoded. Also sets the decoder's allocation limit to the budget.
bool fitsdecodebudget(const QByteArray &data);

// A picture read from its file: the first frame, the file's bytes when it is animated, and
// which file it came from (the picture stands for that file only while it is unchanged).
struct DecodedPicture {
    QImage image;
    QByteArray data;
    bool animated = false;
    FileIdentity file;
};

// Reads a plain file (no link followed, nothing over the size cap) and decodes its first frame
// within the budget. False when it is no picture the decoder can read so; `picture.file` is set
// whenever the file could be opened, decoded or not. An opaque still picture is decoded into
// `surface`'s memory when it has some to give.
bool readpicture(const QString &path, DecodedPicture &picture, PictureSurface *surface = nullptr);
// A path by which this process reads a file it holds open ("/proc/self/fd/N": an entry's decoded
// bytes); it is opened as its descriptor leads, the only path here that is.
bool isdescriptorpath(const QString &path);
int opendescriptorpath(const QString &path, long long *size);
// The same from a descriptor of `size` bytes at its start, which it takes.
bool readpicturefrom(int fd, long long size, DecodedPicture &picture,
                     PictureSurface *surface = nullptr);

// The measuring image: holds one decoded picture and its natural size, never shown.
class PictureHolder
{
  public:
    // Reads the file once and decodes its first frame. False, and empty, when it is no picture
    // the decoder can read within the budget. What `ahead` decoded of the same file, unchanged
    // (`standing` is the file's identity as it stands now), is taken instead of decoding it again.
    bool load(const QString &path, PictureCache *ahead = nullptr,
              const FileIdentity &standing = {});
    // The same from a file already opened (an entry's decoded bytes), never decoded ahead.
    bool loadopened(const OpenedFile &file);
    void clear();
    bool isempty() const { return m_picture.image.isNull(); }

    const QImage &image() const { return m_picture.image; }
    // The file's bytes, kept for animation so that the file is not read a second time.
    const QByteArray &data() const { return m_picture.data; }
    bool animated() const { return m_picture.animated; }
    QSize naturalsize() const { return m_picture.image.size(); }

  private:
    DecodedPicture m_picture;
};

} // namespace vellomar
