#pragma once

#include "sharedvalues.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <vector>

namespace vellomar {

// What the full-screen viewer needs of the window that opened it.
class ViewerHost
{
  public:
    virtual ~ViewerHost() = default;

    virtual int rowcount() const = 0;
    virtual int currentrow() const = 0;
    // Makes `row` the current one and previews it.
    virtual void gotorow(int row) = 0;
    virtual QString rowname(int row) const = 0;

    // The picture previewed (none when the row is no picture), its bytes when animated, and the
    // sizes and options the preview worked out for it.
    virtual const QImage &picture() const = 0;
    virtual const QByteArray &animation() const = 0;
    virtual bool pictureshown() const = 0;
    virtual const SharedPictureValues &values() const = 0;

    // The rows the viewer is likeliest to show next, the likeliest first: their pictures are
    // decoded ahead, and let go when the viewer closes.
    virtual void prefetch(const std::vector<int> &rows) = 0;

    // The viewer has gone away, by whatever path.
    virtual void viewerclosed() = 0;
};

} // namespace vellomar
