#pragma once

#include <QByteArray>
#include <QString>

namespace vellomar {

// Where the browser's cache folder is looked for: the folder named by VELLOMAR_CACHE, else the
// "Cache" shell folder of a Wine prefix ($WINEPREFIX, default ~/.wine).
struct CacheLookup {
    bool hascacheenv = false;
    QString cacheenv;
    QString wineprefix; // empty: use home + "/.wine"
    QString home;
};

CacheLookup cachelookupfromenvironment();

// The cache folder without a trailing separator, or empty when none is found.
QString findcachefolder(const CacheLookup &lookup);

// The value `name` of the registry key `key` (both as Windows writes them, unescaped) in the
// text of a Wine registry file; empty when absent.
QString regvalue(const QByteArray &regfile, const QString &key, const QString &name);

// Undoes the registry file's escapes: "\\" "\"" "\n" and "\x" followed by hex digits of a
// UTF-16 unit.
QString unescaperegstring(QStringView escaped);

// A Windows path inside a Wine prefix as a path of this system: the drive through
// dosdevices/ (or drive_c for C:), then each component, matched without regard to case
// where the exact one is missing.
QString winepathtolocal(const QString &prefix, const QString &winpath);

} // namespace vellomar
