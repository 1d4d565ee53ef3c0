#pragma once

#include <QString>

namespace vellomar {

enum class PreviewGroup { picture, flash, audio, other };

// Decided by the last three characters of the path, found anywhere in the group's text without
// regard to case: "jpg.peg.gif", then "swf.flv", then "mp3.wma". PNG is not a picture here.
PreviewGroup previewgroup(const QString &path);

// Whether a double-click on this name opens the viewer ("jpg.peg.gif.swf.flv").
bool opensinviewer(const QString &name);

// The factor that fits a picture of w x h into a box of bw x bh, touching two of its edges;
// on a tie the height decides. Single precision, as the layout is computed.
float fitscale(float w, float h, float bw, float bh);

struct Placement {
    float left, top, width, height;
};

// A picture of w x h scaled by f and centred in a box of bw x bh; edges may fall outside.
Placement centred(float w, float h, float f, float bw, float bh);

// Pixels to twips for a picture's natural size.
qint32 twipsofpixels(int pixels);

} // namespace vellomar
