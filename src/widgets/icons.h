#pragma once

#include <QIcon>

namespace vellomar {

enum class ButtonIcon { choosefolder, openfolder, emptyfolders, clearcache, refresh };

// The theme's icon where the desktop has one, else the program's own drawing.
QIcon buttonicon(ButtonIcon which);

// The program's own icon.
QIcon appicon();

} // namespace vellomar
