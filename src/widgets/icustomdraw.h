#pragma once

#include "numbers.h"

namespace vellomar {

// Asked by the result list for the colours of every cell it paints.
class ICustomDraw
{
  public:
    virtual ~ICustomDraw() = default;
    virtual bool ICustomDraw_CustomDraw(int row, int column, OleColor &background,
                                        OleColor &textcolour) = 0;
};

} // namespace vellomar
