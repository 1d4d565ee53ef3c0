#include "sizefilter.h"

#include "sizes.h"

namespace vellomar {

SizeFilter::Move SizeFilter::minmoved(int position, int other)
{
    const qint64 bound = sizestepbound(position);
    if (bound >= 0)
        m_minkb = bound;
    if (position < other || position == sizesteplast)
        return {true, 0};
    return {false, position + 1};
}

SizeFilter::Move SizeFilter::maxmoved(int position, int other)
{
    const qint64 bound = sizestepbound(position);
    if (bound >= 0)
        m_maxkb = bound;
    if (position > other || position == sizestepfirst)
        return {true, 0};
    return {false, position - 1};
}

void SizeFilter::reset(qint64 minkb, qint64 maxkb)
{
    m_minkb = minkb;
    m_maxkb = maxkb;
}

} // namespace vellomar
