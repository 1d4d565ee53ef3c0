#pragma once

#include "platform.h"

#include <QString>
#include <QStringList>

namespace vellomar {

// The message shown when a path cannot be opened.
QString openfailedtext(const QString &path);

// Deletes the eight class folders under `downloaddir` with everything inside them, read-only
// and hidden entries included. Links are removed as links: nothing they point at is touched.
// Returns what could not be deleted.
QStringList emptyclassfolders(const QString &downloaddir);

// Deletes every file directly inside the open folder (links as links); sub-folders stay. Returns
// what could not be deleted, named under `shown`.
QStringList deletefilesin(const FolderHandle &folder, const QString &shown);

} // namespace vellomar
