#pragma once

#include <QImage>
#include <QRect>
#include <QSize>
#include <QWidget>

namespace vellomar {

// Memory the display reads pictures from directly. A picture decoded into it reaches a window
// without being copied into the window's backing store first: on a full-screen step that copy,
// and the wait for the display before it, cost more than everything else the step does.
class PictureSurface
{
  public:
    virtual ~PictureSurface() = default;
    // A picture of `size` in opaque RGB32 whose memory the display shares, or a null image when
    // there is none to give. Called from worker threads.
    virtual QImage allocate(const QSize &size) = 0;
    // Whether `image` is one allocate() gave (or a copy sharing its memory).
    virtual bool shares(const QImage &image) const = 0;
    // Puts `area` of `image`, at the same place, on the native window of `window`. False when it
    // cannot, and the caller paints the ordinary way.
    virtual bool put(QWidget *window, const QImage &image, const QRect &area) = 0;
    // Lets go of memory kept for pictures to come.
    virtual void trim() = 0;
};

} // namespace vellomar
