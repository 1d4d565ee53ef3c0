#pragma once

#include <QString>

namespace vellomar {

// Whether an icon theme of this name can hold action icons (open, delete, play). hicolor, the
// theme Qt falls back to where the desktop names none, holds application icons only: looking an
// action up there walks each of its hundreds of folders for nothing, at every start.
inline bool holdsactionicons(const QString &theme)
{
    return !theme.isEmpty() && theme != QLatin1String("hicolor");
}

} // namespace vellomar
