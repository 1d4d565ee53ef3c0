#include "fitting.h"

#include "numbers.h"

namespace vellomar {

namespace {
bool lastthreein(const QString &path, const QString &text)
{
    const QString tail = path.right(3);
    return text.contains(tail, Qt::CaseInsensitive);
}
} // namespace

PreviewGroup previewgroup(const QString &path)
{
    if (lastthreein(path, QStringLiteral("jpg.peg.gif")))
        return PreviewGroup::picture;
    if (lastthreein(path, QStringLiteral("swf.flv")))
        return PreviewGroup::flash;
    if (lastthreein(path, QStringLiteral("mp3.wma")))
        return PreviewGroup::audio;
    return PreviewGroup::other;
}

bool opensinviewer(const QString &name)
{
    return lastthreein(name, QStringLiteral("jpg.peg.gif.swf.flv"));
}

float fitscale(float w, float h, float bw, float bh)
{
    const float rw = w / bw;
    const float rh = h / bh;
    return rh >= rw ? bh / h : bw / w;
}

Placement centred(float w, float h, float f, float bw, float bh)
{
    const float width = w * f;
    const float height = h * f;
    return {(bw - width) / 2.0f, (bh - height) / 2.0f, width, height};
}

qint32 twipsofpixels(int pixels)
{
    return qint32(pixels) * twipsperpixel;
}

} // namespace vellomar
