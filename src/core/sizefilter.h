#pragma once

#include <QtGlobal>

namespace vellomar {

// The size range the two sliders choose, in KB, and how the sliders hold each other apart: the
// smallest size stays below the largest, except at the ends of the scale.
class SizeFilter
{
  public:
    // What one slider's move asks for: a rebuilt list, or first the other slider moved to
    // `push` (whose own move then rebuilds).
    struct Move {
        bool rebuild = false;
        int push = 0; // 0: leave the other slider where it is
    };

    // The smallest size's slider moved to `position` while the largest is at `other`.
    Move minmoved(int position, int other);
    Move maxmoved(int position, int other);

    qint64 minkb() const { return m_minkb; }
    qint64 maxkb() const { return m_maxkb; }
    bool admits(qint64 kb) const { return kb >= m_minkb && kb <= m_maxkb; }
    void reset(qint64 minkb, qint64 maxkb);

  private:
    qint64 m_minkb = 10;
    qint64 m_maxkb = 92160;
};

} // namespace vellomar
