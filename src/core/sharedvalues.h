#pragma once

#include <QtGlobal>

namespace vellomar {

// Picture values shared by the main window and the full-screen viewer (twips).
struct SharedPictureValues {
    qint32 picwidth = 0;
    qint32 picheight = 0;
    float previewscale = 0.0f;
    float fullscreenscale = 0.0f;
    bool picorisize = true;
    bool picfullscreenopen = true;
};

} // namespace vellomar
