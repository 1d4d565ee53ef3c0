#pragma once

#include <QByteArray>

namespace vellomar::sample
{

// A small uncompressed SWF movie drawn from shapes: a coloured square sliding across a
// background over `frames` frames, looping. Real Flash, playable by any SWF player.
QByteArray makeswf(int widthpx, int heightpx, int frames);

} // namespace vellomar::sample
