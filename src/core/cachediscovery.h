#pragma once

#include "browsercache.h"

#include <QString>
#include <QStringList>
#include <atomic>
#include <vector>

namespace vellomar {

// Where a cache was found: the layout Windows (or Wine) kept it in.
enum class CacheLayout {
    folder,        // the folder opened is the cache, or holds it
    xp,            // Documents and Settings/<user>/Local Settings/Temporary Internet Files
    vista7,        // Users/<user>/AppData/Local/Microsoft/Windows/Temporary Internet Files
    protectedmode, // the "Low" cache beside one of the two above, or beside INetCache/IE
    win8,          // Users/<user>/AppData/Local/Microsoft/Windows/INetCache/IE
    registry,      // where the user's NTUSER.DAT says
    wine,          // a Wine prefix's cache
    localappdata, // Users/<user>/AppData/Local/<browser>/…: Chromium's and Firefox's, Vista to 11
    linuxhome,    // a Linux home's .cache, .config or .mozilla
    macoshome,    // a macOS home's Library/Caches
};

// "XP", "Vista/7", "Protected Mode", "8–11", "registry", "Wine", "folder", "Vista–11", "Linux",
// "macOS".
QString layoutname(CacheLayout layout);

struct FoundCache {
    // The folder holding the cache's sub-folders (Content.IE5), or the cache's own folder
    // (Chromium's, Firefox's: the one holding `index`, the `_0` files, `entries`, `_CACHE_MAP_`),
    // without a trailing separator.
    QString path;
    CacheLayout layout = CacheLayout::folder;
    Browser browser = Browser::ie;
    CacheFormat format = CacheFormat::contentie5;
    QString user;      // the profile's folder name; empty when there is none
    int folders = 0;   // sub-folders
    qint64 files = 0;  // plain files in them
    qint64 bytes = 0;  // their total size
    qint64 newest = 0; // the newest file's modification time, in ms since 1970; 0 for none
    // The entries the cache keeps: Content.IE5's files; for the others, as their own records
    // count them (see recognisebrowsercache); -1 when that count cannot be read.
    qint64 entries = 0;
};

// A search's progress and its stop, shared with the thread that searches.
struct SearchControl {
    std::atomic<bool> cancel{false}; // polled before each folder is read
    std::atomic<qint64> folders{0};  // folders read so far
};

// Every browser's cache in `place`: a cache itself, the folder holding one, a user profile or
// home, a disk (its "Documents and Settings", "Users" and "home"), a Wine prefix. Internet
// Explorer's where Windows kept them; Chromium's (Chrome, Chromium, Edge, Opera, Brave, Vivaldi)
// and Firefox's in each browser profile of a profile's AppData/Local (Local Settings/Application
// Data on XP), a Linux home's .cache, .config and .mozilla, a macOS home's Library/Caches; and a
// folder that is one by its contents, of browser unknown. Folder names
// are matched without regard to case, and every folder whose name matches is searched (the
// exact spelling first, then the others in byte order). Only the layouts' own folders are
// looked at, never a whole disk, each read once; no link is followed below `place`, nothing is
// written, and what cannot be read is skipped. Each cache is listed once, in the order found.
// With `control`, a cancel ends the search at the next folder with what was found so far.
std::vector<FoundCache> findcaches(const QString &place, SearchControl *control = nullptr);

// The cache with the newest files (the first on a tie); -1 for none.
int newestcache(const std::vector<FoundCache> &caches);

// A Windows path from a user's registry ("%USERPROFILE%\AppData\...", "C:\Documents and
// Settings\...") as components below the disk's root, with the profile's own path (relative to
// the disk's root) standing for %USERPROFILE%. Empty when it cannot be placed on the disk:
// another drive, a network path, or a ".." anywhere.
QStringList windowspathbelowroot(const QString &winpath, const QStringList &profile);

} // namespace vellomar
