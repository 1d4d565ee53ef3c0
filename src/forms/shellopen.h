#pragma once

#include <QString>

class QObject;

namespace vellomar {

class Seams;

// Opens a path with the desktop's program for it. The outcome comes later: a failure shows
// the message for that path, unless `context` is gone by then.
void shellopen(QObject *context, const Seams &seams, const QString &path);

} // namespace vellomar
