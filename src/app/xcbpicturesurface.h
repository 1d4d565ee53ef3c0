#pragma once

#include "picturesurface.h"

#include <memory>

namespace vellomar {

// Pictures in memory shared with the X server (MIT-SHM, handed over by file descriptor), put
// on a window with one request: the server copies them to the screen, and nothing is copied
// into Qt's backing store on the way.
class XcbPictureSurface : public PictureSurface
{
  public:
    // One for the X server the program draws on, when it shares memory by descriptor and its
    // screen is 24-bit true colour laid out as RGB32; none on any other display.
    static std::unique_ptr<XcbPictureSurface> create();
    // Pictures that outlive it free their memory without a word to the server.
    ~XcbPictureSurface() override;

    QImage allocate(const QSize &size) override;
    bool shares(const QImage &image) const override;
    bool put(QWidget *window, const QImage &image, const QRect &area) override;
    void trim() override;

    struct Block;
    struct Shared;

  private:
    explicit XcbPictureSurface(std::shared_ptr<Shared> shared);
    bool attach(size_t bytes, Block &block);
    std::shared_ptr<Shared> m_shared;
};

} // namespace vellomar
