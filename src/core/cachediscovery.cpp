#include "cachediscovery.h"

#include "cachelayouts.h"
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
    case CacheLayout::localappdata:
        return QStringLiteral("Vista–11");
    case CacheLayout::linuxhome:
        return QStringLiteral("Linux");
    case CacheLayout::macoshome:
        return QStringLiteral("macOS");
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

using Entry = ListedEntry;

// A folder opened once and read once: what discovery asks of it comes from this reading.
struct Folder {
    FolderHandle fd;
    QString path;
    std::vector<Entry> entries;
};

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
bool iscacheroot(const Folder &dir)
{
    bool index = false;
    int cachefolders = 0, others = 0;
    for (const Entry &e : dir.entries) {
        if (e.kind == EntryKind::folder && e.raw.front() != '.')
            ++(iscachefoldername(e.raw) ? cachefolders : others);
        else if (e.kind == EntryKind::file &&
                 QString::fromLatin1(e.raw.data(), qsizetype(e.raw.size()))
                         .compare(QLatin1String("index.dat"), Qt::CaseInsensitive) == 0)
            index = true;
    }
    return index || (cachefolders > 0 && others == 0);
}

// Where Firefox keeps its cache no Chromium cache is taken, nor the reverse.
bool fits(Browser browser, CacheFormat format)
{
    const bool firefoxformat =
        format == CacheFormat::firefoxcache2 || format == CacheFormat::firefoxold;
    return browser == Browser::unknown || firefoxformat == (browser == Browser::firefox);
}

FolderHandle openfolder(int dir, const std::string &raw)
{
    return FolderHandle(
        ::openat(dir, raw.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

// A cache found, before the caches of one try are put in order and told apart.
struct Candidate {
    size_t pattern;
    FolderId id;
    FoundCache cache;
};

class Finder
{
  public:
    Finder(std::vector<FoundCache> &found, SearchControl *control)
        : m_found(found), m_control(control)
    {
    }

    bool stopped() const { return m_control && m_control->cancel.load(std::memory_order_relaxed); }

    // Reads the open folder; false when stopped or it cannot be read.
    bool read(Folder &f)
    {
        if (stopped() || !f.fd.valid())
            return false;
        if (m_control)
            m_control->folders.fetch_add(1, std::memory_order_relaxed);
        return listopenfolder(f.fd.fd(), [&f](std::string_view raw, EntryKind k) {
            f.entries.push_back({std::string(raw), k});
        });
    }

    // The sub-folder (or link-free folder) of `parent` named `raw`, read.
    std::optional<Folder> open(const Folder &parent, const std::string &raw)
    {
        if (stopped())
            return std::nullopt;
        Folder f{
            openfolder(parent.fd.fd(), raw), parent.path + QLatin1Char('/') + decodedname(raw), {}};
        if (!read(f))
            return std::nullopt;
        return f;
    }

    // The entries of `dir` of `kind` named `name` without regard to case: the exact spelling
    // first, then the others in byte order, so that the order found does not depend on how the
    // file system lists them.
    static std::vector<const Entry *> named(const Folder &dir, const QString &name, EntryKind kind)
    {
        std::vector<const Entry *> out;
        for (const Entry &e : dir.entries) {
            if (e.kind == kind && decodedname(e.raw).compare(name, Qt::CaseInsensitive) == 0)
                out.push_back(&e);
        }
        std::sort(out.begin(), out.end(), [&name](const Entry *a, const Entry *b) {
            const bool ea = decodedname(a->raw) == name, eb = decodedname(b->raw) == name;
            return ea != eb ? ea : a->raw < b->raw;
        });
        return out;
    }

    // The caches the patterns lead to from `from`, in the patterns' order; each folder on the
    // way is opened and read once, whichever patterns pass through it.
    void tryall(const Folder &from, const std::vector<CachePattern> &patterns, const QString &user)
    {
        std::vector<size_t> all(patterns.size());
        for (size_t i = 0; i < all.size(); ++i)
            all[i] = i;
        std::vector<Candidate> found;
        walk(from, patterns, all, 0, user, found);
        std::stable_sort(found.begin(), found.end(), [](const Candidate &a, const Candidate &b) {
            return a.pattern < b.pattern;
        });
        for (Candidate &c : found) {
            if (std::find(m_seen.begin(), m_seen.end(), c.id) != m_seen.end())
                continue;
            m_seen.push_back(c.id);
            m_found.push_back(std::move(c.cache));
        }
    }

    // The caches of a user profile (read); `root` is the disk's root when it is known, and
    // `fromroot` the profile's place below it.
    void profile(const Folder &prof, const QString &user, const Folder *root,
                 const QStringList &fromroot)
    {
        tryall(prof, profilepatterns(), user);

        // A folder of the user's own choosing, named in the user's registry hive.
        for (const Entry *hive : named(prof, QStringLiteral("NTUSER.DAT"), EntryKind::file)) {
            if (stopped())
                return;
            long long size = 0;
            std::error_code ec;
            const int h = openplainfileat(prof.fd.fd(), hive->raw, &size, ec);
            if (h < 0)
                continue;
            const QString value = hivecachefolder(h);
            ::close(h);
            if (value.isEmpty())
                continue;
            // A path in the profile is followed from the profile; one from the drive's root
            // only when the disk's root was opened.
            QStringList below;
            const Folder *from = &prof;
            if (value.startsWith(u'%') &&
                !value.startsWith(QLatin1String("%SystemDrive%"), Qt::CaseInsensitive)) {
                below = windowspathbelowroot(value, {});
            } else if (root) {
                below = windowspathbelowroot(value, fromroot);
                from = root;
            }
            if (!below.isEmpty())
                tryall(*from,
                       {{below + QStringList{QStringLiteral("Content.IE5")}, CacheLayout::registry},
                        {below + QStringList{QStringLiteral("IE")}, CacheLayout::registry},
                        {below, CacheLayout::registry}},
                       user);
        }
    }

    // A disk: its profiles, under either of the two names Windows gave their folder (the second
    // macOS's too) or Linux's, in each spelling found.
    void disk(const Folder &root)
    {
        for (const QString &folder : {QStringLiteral("Documents and Settings"),
                                      QStringLiteral("Users"), QStringLiteral("home")}) {
            for (const Entry *e : named(root, folder, EntryKind::folder)) {
                std::optional<Folder> users = open(root, e->raw);
                if (!users)
                    continue;
                std::vector<std::string> profiles;
                for (const Entry &p : users->entries) {
                    if (p.kind == EntryKind::folder)
                        profiles.push_back(p.raw);
                }
                std::sort(profiles.begin(), profiles.end());
                const QString usersname = decodedname(e->raw);
                for (const std::string &raw : profiles) {
                    // A name that cannot be named again exactly is left out: the path kept
                    // must lead back to this folder and no other.
                    const QString user = decodedname(raw);
                    if (user.isEmpty())
                        continue;
                    std::optional<Folder> prof = open(*users, raw);
                    if (stopped())
                        return;
                    if (!prof)
                        continue; // an unreadable profile is skipped
                    profile(*prof, user, &root, {usersname, user});
                }
            }
        }
    }

  private:
    // `live`: the patterns whose first `depth` components led here.
    void walk(const Folder &at, const std::vector<CachePattern> &patterns,
              const std::vector<size_t> &live, int depth, const QString &user,
              std::vector<Candidate> &found)
    {
        std::vector<QString> next; // the names asked for here, in the patterns' order
        bool anyhere = false;      // a pattern takes every sub-folder here
        // What the folder is, asked once whichever patterns end here.
        std::optional<bool> ie;
        std::optional<std::optional<BrowserCacheContents>> browser;
        for (const size_t i : live) {
            const CachePattern &pattern = patterns[i];
            const QStringList &c = pattern.components;
            if (c.size() == depth) {
                if (pattern.browser == Browser::ie) {
                    if (!ie)
                        ie = iscacheroot(at);
                    if (*ie)
                        found.push_back({i, at.fd.id(), measure(at, pattern.layout, user)});
                } else if (!ie.value_or(false)) {
                    if (!browser)
                        browser = recognisebrowsercache(at.fd.fd(), at.entries);
                    if (*browser && fits(pattern.browser, (*browser)->format))
                        found.push_back({i, at.fd.id(), described(at, pattern, user, **browser)});
                }
            } else if (c[depth] == anyfolder) {
                anyhere = true;
            } else if (std::none_of(next.begin(), next.end(), [&](const QString &n) {
                           return n.compare(c[depth], Qt::CaseInsensitive) == 0;
                       })) {
                next.push_back(c[depth]);
            }
        }
        const auto leadsto = [&](const QString &name) {
            std::vector<size_t> below;
            for (const size_t i : live) {
                const QStringList &c = patterns[i].components;
                if (c.size() > depth &&
                    (c[depth] == anyfolder || c[depth].compare(name, Qt::CaseInsensitive) == 0))
                    below.push_back(i);
            }
            return below;
        };
        if (anyhere) {
            // Every sub-folder, each opened once for all the patterns it leads on, in byte order.
            std::vector<const Entry *> subs;
            for (const Entry &e : at.entries) {
                if (e.kind == EntryKind::folder && !decodedname(e.raw).isEmpty())
                    subs.push_back(&e);
            }
            std::sort(subs.begin(), subs.end(),
                      [](const Entry *a, const Entry *b) { return a->raw < b->raw; });
            for (const Entry *e : subs) {
                if (std::optional<Folder> sub = open(at, e->raw))
                    walk(*sub, patterns, leadsto(decodedname(e->raw)), depth + 1, user, found);
                if (stopped())
                    return;
            }
            return;
        }
        for (const QString &name : next) {
            const std::vector<size_t> below = leadsto(name);
            for (const Entry *e : named(at, name, EntryKind::folder)) {
                if (std::optional<Folder> sub = open(at, e->raw))
                    walk(*sub, patterns, below, depth + 1, user, found);
                if (stopped())
                    return;
            }
        }
    }

    static FoundCache described(const Folder &root, const CachePattern &pattern,
                                const QString &user, const BrowserCacheContents &contents)
    {
        FoundCache cache;
        cache.path = root.path;
        cache.layout = pattern.layout;
        cache.browser = pattern.browser;
        cache.user = user;
        cache.format = contents.format;
        cache.folders = 1;
        cache.files = contents.files;
        cache.bytes = contents.bytes;
        cache.newest = contents.newest;
        cache.entries = contents.entries;
        return cache;
    }

    FoundCache measure(const Folder &root, CacheLayout layout, const QString &user)
    {
        FoundCache cache;
        cache.path = root.path;
        cache.layout = layout;
        cache.user = user;
        for (const Entry &s : root.entries) {
            if (s.kind != EntryKind::folder)
                continue;
            ++cache.folders;
            if (stopped())
                continue;
            const FolderHandle sub = openfolder(root.fd.fd(), s.raw);
            if (!sub.valid())
                continue;
            listopenfolder(sub.fd(), [&](std::string_view raw, EntryKind k) {
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
        cache.entries = cache.files;
        return cache;
    }

    std::vector<FoundCache> &m_found;
    SearchControl *m_control;
    std::vector<FolderId> m_seen;
};

} // namespace

std::vector<FoundCache> findcaches(const QString &place, SearchControl *control)
{
    std::vector<FoundCache> found;
    QString path = place;
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    Finder finder(found, control);
    // The folder named is the user's: it is opened as the system resolves it.
    Folder p{openbeneath(path), path, {}};
    if (!finder.read(p))
        return found;

    // The cache itself, or the folder that holds it.
    finder.tryall(p, placepatterns(), QString());

    // A profile.
    finder.profile(p, QFileInfo(path).fileName(), nullptr, {});

    // A disk.
    finder.disk(p);

    // A Wine prefix: the cache its registry names, on its C: drive, then its own profiles.
    QStringList below;
    QString user;
    {
        long long size = 0;
        std::error_code ec;
        const int reg = openplainfileat(p.fd.fd(), "user.reg", &size, ec);
        if (reg >= 0 && size < (64 << 20)) {
            const QString value = regvalue(
                readbytes(reg, size),
                QStringLiteral(
                    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"),
                QStringLiteral("Cache"));
            below = windowspathbelowroot(value, {});
            user = below.size() > 1 ? below[1] : QString();
        }
        if (reg >= 0)
            ::close(reg);
    }
    for (const Entry *e : Finder::named(p, QStringLiteral("drive_c"), EntryKind::folder)) {
        std::optional<Folder> c = finder.open(p, e->raw);
        if (!c)
            continue;
        if (!below.isEmpty())
            finder.tryall(*c,
                          {{below + QStringList{QStringLiteral("Content.IE5")}, CacheLayout::wine}},
                          user);
        finder.disk(*c);
    }
    return found;
}

} // namespace vellomar
