#include "cachediscovery.h"

#include "cachelocation.h"
#include "platform.h"
#include "registryhive.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace vellomar {

QString layoutname(CacheLayout layout)
{
    switch (layout) {
    case CacheLayout::folder:
        return QStringLiteral("folder");
    case CacheLayout::xp:
        return QStringLiteral("XP");
    case CacheLayout::vista7:
        return QStringLiteral("Vista/7");
    case CacheLayout::protectedmode:
        return QStringLiteral("Protected Mode");
    case CacheLayout::win8:
        return QStringLiteral("8–11");
    case CacheLayout::registry:
        return QStringLiteral("registry");
    case CacheLayout::wine:
        return QStringLiteral("Wine");
    }
    return {};
}

int newestcache(const std::vector<FoundCache> &caches)
{
    int best = -1;
    for (int i = 0; i < int(caches.size()); ++i) {
        if (best < 0 || caches[size_t(i)].newest > caches[size_t(best)].newest)
            best = i;
    }
    return best;
}

QStringList windowspathbelowroot(const QString &winpath, const QStringList &profile)
{
    QString p = winpath.trimmed();
    QStringList head;
    const auto startswithvar = [&p](const char *var) {
        const QString v = QLatin1Char('%') + QLatin1String(var) + QLatin1Char('%');
        if (!p.startsWith(v, Qt::CaseInsensitive))
            return false;
        p = p.mid(v.size());
        return true;
    };
    if (startswithvar("USERPROFILE")) {
        head = profile;
    } else if (startswithvar("LOCALAPPDATA")) {
        head = profile + QStringList{QStringLiteral("AppData"), QStringLiteral("Local")};
    } else if (startswithvar("APPDATA")) {
        head = profile + QStringList{QStringLiteral("AppData"), QStringLiteral("Roaming")};
    } else if (startswithvar("SystemDrive")) {
    } else if (p.size() >= 2 && p[1] == u':' && p[0].toUpper() == u'C') {
        p = p.mid(2); // the disk opened is the system's disk
    } else {
        return {};
    }
    const QStringList rest = QString(p)
                                 .replace(QLatin1Char('/'), QLatin1Char('\\'))
                                 .split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    for (const QString &part : rest) {
        if (part == QLatin1String("..") || part == QLatin1String(".") || part.contains(u'%'))
            return {};
    }
    return head + rest;
}

namespace {

// The raw name of the sub-folder of `dir` called `name` without regard to case; a link of
// that name is no folder.
std::optional<std::string> foldernamed(int dir, const QString &name,
                                       EntryKind kind = EntryKind::folder)
{
    std::optional<std::string> exact, folded;
    listfolder(dir, [&](std::string_view raw, EntryKind k) {
        if (k != kind)
            return;
        const QString n = decodedname(raw);
        if (n == name)
            exact = std::string(raw);
        else if (!folded && n.compare(name, Qt::CaseInsensitive) == 0)
            folded = std::string(raw);
    });
    return exact ? exact : folded;
}

FolderHandle openfolder(int dir, const std::string &raw)
{
    return FolderHandle(
        ::openat(dir, raw.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

struct Step {
    FolderHandle fd;
    QString path;
};

// Follows `components` down from `from`, one folder at a time, never through a link.
std::optional<Step> descend(int from, const QString &path, const QStringList &components)
{
    Step at{FolderHandle(::openat(from, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)), path};
    for (const QString &c : components) {
        if (!at.fd.valid())
            return std::nullopt;
        const std::optional<std::string> raw = foldernamed(at.fd.fd(), c);
        if (!raw)
            return std::nullopt;
        at.fd = openfolder(at.fd.fd(), *raw);
        at.path += QLatin1Char('/') + decodedname(*raw);
    }
    if (!at.fd.valid())
        return std::nullopt;
    return at;
}

bool iscachefoldername(std::string_view raw)
{
    if (raw.size() != 8)
        return false;
    for (const char c : raw) {
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            return false;
    }
    return true;
}

// A cache keeps its records in index.dat and its files in sub-folders named with eight capital
// letters and digits, and nothing else: a disk or a profile holding "PerfLogs" or "PICTURES"
// among its other folders is no cache.
bool iscacheroot(int dir)
{
    bool index = false;
    int cachefolders = 0, others = 0;
    listfolder(dir, [&](std::string_view raw, EntryKind k) {
        if (k == EntryKind::folder && raw.front() != '.')
            ++(iscachefoldername(raw) ? cachefolders : others);
        else if (k == EntryKind::file &&
                 QString::fromLatin1(raw.data(), qsizetype(raw.size()))
                         .compare(QLatin1String("index.dat"), Qt::CaseInsensitive) == 0)
            index = true;
    });
    return index || (cachefolders > 0 && others == 0);
}

void measure(int root, FoundCache &cache)
{
    std::vector<std::string> subs;
    listfolder(root, [&](std::string_view raw, EntryKind k) {
        if (k == EntryKind::folder)
            subs.emplace_back(raw);
    });
    cache.folders = int(subs.size());
    for (const std::string &s : subs) {
        const FolderHandle sub = openfolder(root, s);
        if (!sub.valid())
            continue;
        listfolder(sub.fd(), [&](std::string_view raw, EntryKind k) {
            struct stat st;
            // Counted as the list counts them: hidden files are left out there.
            if (k != EntryKind::file || raw.front() == '.' ||
                ::fstatat(sub.fd(), std::string(raw).c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
                !S_ISREG(st.st_mode))
                return;
            ++cache.files;
            cache.bytes += st.st_size;
            cache.newest = std::max<qint64>(cache.newest, qint64(st.st_mtim.tv_sec) * 1000 +
                                                              st.st_mtim.tv_nsec / 1000000);
        });
    }
}

class Finder
{
  public:
    explicit Finder(std::vector<FoundCache> &found) : m_found(found) {}

    // A cache at `components` below the open folder, if it is one.
    void tryat(int from, const QString &path, const QStringList &components, CacheLayout layout,
               const QString &user)
    {
        std::optional<Step> at = descend(from, path, components);
        if (!at || !iscacheroot(at->fd.fd()))
            return;
        const FolderId id = at->fd.id();
        for (const FolderId &seen : m_seen) {
            if (seen == id)
                return;
        }
        m_seen.push_back(id);
        FoundCache c;
        c.path = at->path;
        c.layout = layout;
        c.user = user;
        measure(at->fd.fd(), c);
        m_found.push_back(std::move(c));
    }

    // The caches of a user profile; `fromroot` is the profile's place below the disk's root
    // (empty when the disk's root is not known).
    void profile(int fd, const QString &path, const QString &user, int rootfd,
                 const QString &rootpath, const QStringList &fromroot)
    {
        const QStringList tif{QStringLiteral("Local Settings"),
                              QStringLiteral("Temporary Internet Files")};
        const QStringList windows{QStringLiteral("AppData"), QStringLiteral("Local"),
                                  QStringLiteral("Microsoft"), QStringLiteral("Windows")};
        const QString ie5 = QStringLiteral("Content.IE5");
        const QString low = QStringLiteral("Low");
        const QString tifname = QStringLiteral("Temporary Internet Files");
        const QString inet = QStringLiteral("INetCache");
        tryat(fd, path, tif + QStringList{ie5}, CacheLayout::xp, user);
        tryat(fd, path, windows + QStringList{tifname, ie5}, CacheLayout::vista7, user);
        tryat(fd, path, windows + QStringList{tifname, low, ie5}, CacheLayout::protectedmode, user);
        tryat(fd, path, windows + QStringList{inet, QStringLiteral("IE")}, CacheLayout::win8, user);
        tryat(fd, path, windows + QStringList{inet, low, QStringLiteral("IE")},
              CacheLayout::protectedmode, user);
        // Wine keeps its cache in INetCache itself.
        tryat(fd, path, windows + QStringList{inet, ie5}, CacheLayout::wine, user);

        // A folder of the user's own choosing, named in the user's registry hive.
        const std::optional<std::string> hive =
            foldernamed(fd, QStringLiteral("NTUSER.DAT"), EntryKind::file);
        if (!hive)
            return;
        long long size = 0;
        std::error_code ec;
        const int h = openplainfileat(fd, *hive, &size, ec);
        if (h < 0)
            return;
        const QString value = hivecachefolder(h);
        ::close(h);
        if (value.isEmpty())
            return;
        // A path in the profile is followed from the profile; one from the drive's root only
        // when the disk's root was opened.
        QStringList below;
        int from = fd;
        QString frompath = path;
        if (value.startsWith(u'%') &&
            !value.startsWith(QLatin1String("%SystemDrive%"), Qt::CaseInsensitive)) {
            below = windowspathbelowroot(value, {});
        } else if (rootfd >= 0) {
            below = windowspathbelowroot(value, fromroot);
            from = rootfd;
            frompath = rootpath;
        }
        if (below.isEmpty())
            return;
        for (const QString &leaf : {ie5, QStringLiteral("IE"), QString()})
            tryat(from, frompath, leaf.isEmpty() ? below : below + QStringList{leaf},
                  CacheLayout::registry, user);
    }

  private:
    std::vector<FoundCache> &m_found;
    std::vector<FolderId> m_seen;
};

} // namespace

std::vector<FoundCache> findcaches(const QString &place)
{
    std::vector<FoundCache> found;
    QString path = place;
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    // The folder named is the user's: it is opened as the system resolves it.
    const FolderHandle p = openbeneath(path);
    if (!p.valid())
        return found;
    Finder finder(found);
    const QString name = QFileInfo(path).fileName();

    // The cache itself, or the folder that holds it.
    finder.tryat(p.fd(), path, {}, CacheLayout::folder, QString());
    for (const QString &leaf : {QStringLiteral("Content.IE5"), QStringLiteral("IE")}) {
        finder.tryat(p.fd(), path, {leaf}, CacheLayout::folder, QString());
        finder.tryat(p.fd(), path, {QStringLiteral("Low"), leaf}, CacheLayout::protectedmode,
                     QString());
    }

    // A profile.
    finder.profile(p.fd(), path, name, -1, QString(), {});

    // A disk: its profiles, under either of the two names Windows gave their folder.
    const auto disk = [&finder](int rootfd, const QString &rootpath) {
        for (const QString &folder :
             {QStringLiteral("Documents and Settings"), QStringLiteral("Users")}) {
            std::optional<Step> users = descend(rootfd, rootpath, {folder});
            if (!users)
                continue;
            std::vector<std::string> profiles;
            listfolder(users->fd.fd(), [&](std::string_view raw, EntryKind k) {
                if (k == EntryKind::folder)
                    profiles.emplace_back(raw);
            });
            std::sort(profiles.begin(), profiles.end());
            const QString usersname = users->path.mid(users->path.lastIndexOf(u'/') + 1);
            for (const std::string &raw : profiles) {
                const FolderHandle prof = openfolder(users->fd.fd(), raw);
                if (!prof.valid())
                    continue; // an unreadable profile is skipped
                // A name that cannot be named again exactly is left out: the path kept must
                // lead back to this folder and no other.
                const QString user = decodedname(raw);
                if (user.isEmpty())
                    continue;
                finder.profile(prof.fd(), users->path + QLatin1Char('/') + user, user, rootfd,
                               rootpath, {usersname, user});
            }
        }
    };
    disk(p.fd(), path);

    // A Wine prefix: the cache its registry names, on its C: drive, then its own profiles.
    if (std::optional<Step> c = descend(p.fd(), path, {QStringLiteral("drive_c")})) {
        long long size = 0;
        std::error_code ec;
        const int reg = openplainfileat(p.fd(), "user.reg", &size, ec);
        if (reg >= 0 && size < (64 << 20)) {
            const QString value = regvalue(
                readbytes(reg, size),
                QStringLiteral(
                    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"),
                QStringLiteral("Cache"));
            const QStringList below = windowspathbelowroot(value, {});
            if (!below.isEmpty())
                finder.tryat(c->fd.fd(), c->path,
                             below + QStringList{QStringLiteral("Content.IE5")}, CacheLayout::wine,
                             below.size() > 1 ? below[1] : QString());
        }
        if (reg >= 0)
            ::close(reg);
        disk(c->fd.fd(), c->path);
    }
    return found;
}

} // namespace vellomar
