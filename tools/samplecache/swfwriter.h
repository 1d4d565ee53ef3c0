#pragma once

#include <QByteArray>

namespace vellomar::sample {

// A small uncompressed SWF movie drawn from shapes: a coloured square sliding across a
// background over `frames` frames, looping. Real Flash, playable by any SWF player.
// With `reachout`, its first frame also asks for that URL twice: as variables to load and as a
// page to open (for proving that a player lets nothing out).
QByteArray makeswf(int widthpx, int heightpx, int frames, const QByteArray &reachout = {});

} // namespace vellomar::sample
