#pragma once

#include <QString>

namespace vellomar {

// A field of a tab-separated output line, as the command line tools print it: "\", TAB, LF and
// CR become "\\", "\t", "\n" and "\r", so that a name holding them stays one field of one line.
// Everything else is kept as it is.
QString lineescaped(const QString &field);

} // namespace vellomar
