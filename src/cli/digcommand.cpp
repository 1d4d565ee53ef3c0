#include "digcommand.h"

#include "entrydecoding.h"

#include "cachediscovery.h"
#include "cacheformat.h"
#include "cacherecords.h"
#include "digcounters.h"
#include "digjob.h"
#include "digpass.h"
#include "digsession.h"
#include "entrysource.h"
#include "filelistbox.h"
#include "foundcachetext.h"
#include "lineescape.h"
#include "passlock.h"
#include "platform.h"
#include "resourcetree.h"
#include "settingsstore.h"
#include "sitepath.h"
#include "sizefilter.h"
#include "sizes.h"
#include "texts.h"
#include "typefilter.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTextStream>
#include <fcntl.h>
#include <memory>

namespace vellomar {

namespace {

const char *const typenames[] = {"all", "media", "pictures", "flv", "jpg", "gif", "audio", "swf"};

void printjson(QTextStream &out, const QJsonObject &o)
{
    out << QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)) << '\n';
}

QString downloaddirdefault()
{
    IniSettingsStore settings;
    const QString stored =
        usabledownloaddir(settings.read(texts::settingsgroup, texts::settingskey, QString()));
    if (!stored.isNull())
        return stored;
    return defaultdownloaddir(programfolder(),
                              QStandardPaths::writableLocation(QStandardPaths::DownloadLocation));
}

// Files, bytes, rate and time left, redrawn in place.
class ProgressBar
{
  public:
    ProgressBar(QTextStream &err, bool on, qint64 files, qint64 bytes)
        : m_err(err), m_on(on), m_files(files), m_bytes(bytes)
    {
        m_clock.start();
    }
    void step(qint64 bytes)
    {
        ++m_donefiles;
        m_donebytes += bytes;
        if (!m_on || (m_clock.elapsed() - m_drawn < 100 && m_donefiles < m_files))
            return;
        m_drawn = m_clock.elapsed();
        const double secs = std::max(0.001, m_clock.elapsed() / 1000.0);
        const double rate = m_donebytes / secs;
        const qint64 left = rate > 0 ? qint64((m_bytes - m_donebytes) / rate) : 0;
        const int width = 30;
        const int filled = m_bytes > 0 ? int(width * m_donebytes / m_bytes) : width;
        m_err << '\r' << '[' << QString(filled, u'#') << QString(width - filled, u' ') << "] "
              << m_donefiles << '/' << m_files << "  " << megabytetext(m_donebytes) << "MB  "
              << megabytetext(qint64(rate)) << "MB/s  " << left / 60 << ':'
              << QString::number(left % 60).rightJustified(2, u'0') << "   " << Qt::flush;
    }
    ~ProgressBar()
    {
        if (m_on && m_donefiles > 0)
            m_err << '\n' << Qt::flush;
    }

  private:
    QTextStream &m_err;
    bool m_on;
    qint64 m_files, m_bytes, m_donefiles = 0, m_donebytes = 0, m_drawn = -1000;
    QElapsedTimer m_clock;
};

} // namespace

qint64 parsesize(const QString &text)
{
    QString t = text.trimmed().toUpper();
    qint64 factor = 1;
    if (t.endsWith(u'K')) {
        t.chop(1);
    } else if (t.endsWith(u'M')) {
        factor = 1024;
        t.chop(1);
    } else if (t.endsWith(u'G')) {
        factor = 1024 * 1024;
        t.chop(1);
    }
    bool ok = false;
    const qint64 n = t.toLongLong(&ok);
    if (!ok || n < 0 || n > (qint64(1) << 40))
        return -1;
    return n * factor;
}

int parsetype(const QString &name)
{
    for (int i = 0; i < 8; ++i) {
        if (name == QLatin1String(typenames[i]))
            return i;
    }
    return -1;
}

namespace {

// The caches a place holds: the place itself when it is a browser's cache, else the Internet
// Explorer caches found in it.
struct Caches {
    std::vector<FoundCache> found;
    CacheFormat format = CacheFormat::contentie5;
    FolderHandle browserroot; // the browser's cache folder, as it was recognised
};

Caches cachesin(const QString &place, const std::vector<FormatReader> &readers)
{
    Caches c;
    if (!readers.empty()) {
        c.browserroot = openbeneath(place);
        if (c.browserroot.valid()) {
            const std::unique_ptr<ReadOnlyFs> fs = localfs(c.browserroot.fd());
            c.format = detectformat(*fs, std::string(), readers);
        }
    }
    if (c.format == CacheFormat::contentie5) {
        c.browserroot = FolderHandle();
        c.found = findcaches(place);
        return c;
    }
    FoundCache f;
    f.browser = Browser::unknown;
    f.format = c.format;
    f.entries = -1;
    f.path = place;
    while (f.path.size() > 1 && f.path.endsWith(separator()))
        f.path.chop(1);
    f.folders = 1;
    c.found.push_back(f);
    return c;
}

} // namespace

int rundig(const DigOptions &o, QTextStream &out, QTextStream &err, bool progress)
{
    return rundig(o, out, err, progress, formatreaders());
}

int rundig(const DigOptions &o, QTextStream &out, QTextStream &err, bool progress,
           const std::vector<FormatReader> &readers)
{
    Caches found = cachesin(o.place, readers);
    const std::vector<FoundCache> &caches = found.found;
    if (caches.empty()) {
        err << texts::nocachetext(o.place) << '\n';
        return dignocache;
    }
    if (o.find) {
        for (size_t i = 0; i < caches.size(); ++i) {
            const FoundCache &c = caches[i];
            if (o.json)
                printjson(out, {{"number", int(i + 1)},
                                {"layout", layoutname(c.layout)},
                                {"user", c.user},
                                {"path", c.path},
                                {"browser", browserid(c.browser)},
                                {"format", formatid(c.format)},
                                {"folders", c.folders},
                                {"files", c.files},
                                {"entries", c.entries < 0 ? QJsonValue() : QJsonValue(c.entries)},
                                {"bytes", c.bytes}});
            else
                out << i + 1 << '\t' << findline(c) << '\n';
        }
        return digok;
    }

    // Which caches.
    std::vector<FoundCache> chosen;
    if (o.allcaches) {
        chosen = caches;
    } else if (!o.cache.isEmpty()) {
        bool isnumber = false;
        const int n = o.cache.toInt(&isnumber);
        for (size_t i = 0; i < caches.size(); ++i) {
            if ((isnumber && n == int(i + 1)) ||
                (!isnumber && QDir::cleanPath(o.cache) == QDir::cleanPath(caches[i].path)))
                chosen.push_back(caches[i]);
        }
        if (chosen.empty()) {
            err << "--cache " << o.cache << ": 没有这个缓存\n";
            return digusage;
        }
    } else if (caches.size() == 1) {
        chosen = caches;
    } else {
        err << "“" << o.place << "”中有" << caches.size() << "个"
            << texts::cachesword(onlyinternetexplorer(caches))
            << "，请用 --cache N 选一个，或用 --all-caches 全部挖取：\n";
        for (size_t i = 0; i < caches.size(); ++i)
            err << i + 1 << '\t' << findline(caches[i]) << '\n';
        return digusage;
    }

    SizeFilter sizes;
    sizes.reset(o.minkb, o.maxkb);
    const QString pattern = QString::fromUtf16(typeoptions[size_t(o.type)].pattern);
    QString dest = o.dest.isEmpty() ? downloaddirdefault() : QDir(o.dest).absolutePath();
    if (!dest.endsWith(separator()))
        dest += separator();
    DigCounters counters;

    // Below the place named, each folder is opened a level at a time without following a link,
    // as it was found: what stands at a cache's path now may be something else.
    QString place = o.place;
    while (place.size() > 1 && place.endsWith(separator()))
        place.chop(1);
    const auto below = [&place](const QString &path) {
        return path.size() > place.size() ? path.mid(place.size() + 1) : QString();
    };
    std::vector<FolderHandle> roots;
    std::vector<int> rootfds;
    for (const FoundCache &cache : chosen) {
        roots.push_back(found.browserroot.valid()
                            ? FolderHandle(::fcntl(found.browserroot.fd(), F_DUPFD_CLOEXEC, 0))
                            : openbeneath(place, below(cache.path)));
        // A tree dug into the cache it came from would be listed, and dug, with it the next time.
        if (!o.list && roots.back().valid() && liesinfolder(dest, roots.back().fd())) {
            err << "目标“" << dest << "”在要挖的缓存“" << cache.path << "”之内，请另选一个目标。\n";
            return digusage;
        }
        if (cache.format == CacheFormat::contentie5)
            rootfds.push_back(roots.back().fd());
    }
    // Every cache's records are read at once: a damaged index.dat holds up no other cache.
    std::vector<CacheRecords> allrecords = CacheRecords::readall(rootfds);
    size_t nextrecords = 0;
    std::unique_ptr<DigJob> job;
    for (const FoundCache &cache : chosen) {
        const size_t at = size_t(&cache - chosen.data());
        const bool browser = cache.format != CacheFormat::contentie5;
        std::unique_ptr<EntrySource> source;
        if (browser)
            source = browsersource(cache.path, cache.format, localfs(roots[at].fd()), std::string(),
                                   readers, decodedbodies());
        else
            source = std::make_unique<Ie5Source>(place, cache.path, roots[at].fd(),
                                                 std::move(allrecords[nextrecords++]));
        if (!source)
            continue;
        // The cache as the window lists it: for Content.IE5 its first sixteen sub-folders.
        const std::vector<SourceEntry> rows = listentries(*source, pattern, sizes, o.folders);

        if (o.list) {
            for (const SourceEntry &r : rows) {
                const QString address = r.record ? r.record->address : QString();
                if (o.json) {
                    QJsonObject line{{"cache", cache.path}, {"folder", r.folder},
                                     {"name", r.name},      {"type", r.type},
                                     {"size", r.size},      {"address", address}};
                    if (browser)
                        line.insert("storedat", r.storedat);
                    printjson(out, line);
                } else {
                    out << lineescaped(r.folder) << '\t' << lineescaped(r.name) << '\t'
                        << lineescaped(r.type) << '\t' << r.size << '\t' << lineescaped(address)
                        << '\n';
                }
            }
            continue;
        }

        if (o.dryrun) {
            for (const SourceEntry &r : rows) {
                const SiteTarget site = entrytarget(r, o.sitelayout);
                const QString to = site.folders.isEmpty()
                                       ? classname(classify(r.type)) + separator() + r.name
                                       : site.folders.join(separator()) + separator() + site.name;
                const QString from = source->shownpath(r);
                if (o.json)
                    printjson(out, {{"from", from},
                                    {"to", dest + texts::resourcefolder + separator() + to},
                                    {"size", r.size}});
                else
                    out << lineescaped(from) << " -> "
                        << lineescaped(dest + texts::resourcefolder + separator() + to) << '\n';
            }
            continue;
        }

        if (!job) {
            // A destination named on the command line is made when missing, as cp -r would.
            QDir().mkpath(dest);
            job = std::make_unique<DigJob>(dest, counters);
        }
        qint64 total = 0;
        for (const SourceEntry &r : rows)
            total += r.size;
        ProgressBar bar(err, progress, qint64(rows.size()), total);
        const bool hadfailure = !job->manifestfailure().isEmpty();
        // Each file is recorded in the manifest as it is dug.
        job->dig(*source, rows, {}, o.sitelayout, [&](qint64 r, qint64) {
            bar.step(rows[size_t(r)].size);
            return true;
        });
        if (!hadfailure && !job->manifestfailure().isEmpty())
            err << manifestpath(dest) << ": " << job->manifestfailure() << '\n';
    }
    if (o.list || o.dryrun)
        return digok;

    const QStringList failures = job ? job->failures() : QStringList();
    const QString manifestfailure = job ? job->manifestfailure() : QString();
    for (const QString &f : failures)
        err << "挖取失败：" << f << '\n';
    if (o.json) {
        QJsonObject classes;
        for (ResourceClass c : creationorder)
            classes.insert(classname(c), QJsonObject{{"files", counters.filesof(c)},
                                                     {"bytes", counters.bytesof(c)}});
        printjson(out, {{"report", texts::forlabel(digreport(counters))},
                        {"files", counters.totalfiles()},
                        {"bytes", counters.totalbytes()},
                        {"classes", classes},
                        {"failed", qint64(failures.size())},
                        {"manifesterror",
                         manifestfailure.isEmpty() ? QJsonValue() : QJsonValue(manifestfailure)},
                        {"destination", dest + texts::resourcefolder}});
    } else {
        out << texts::forlabel(digreport(counters)) << '\n';
    }
    return failures.isEmpty() && manifestfailure.isEmpty() ? digok : digfailures;
}

} // namespace vellomar
