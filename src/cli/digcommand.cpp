#include "digcommand.h"

#include "cachediscovery.h"
#include "cacherecords.h"
#include "digcounters.h"
#include "digpass.h"
#include "digsession.h"
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
#include <memory>

namespace vellomar {

namespace {

const char *const typenames[] = {"all", "media", "pictures", "flv", "jpg", "gif", "audio", "swf"};

struct Row {
    QString folder; // the sub-folder's name
    QString name;
    QString type;
    qint64 bytes = 0;
    const CacheRecord *record = nullptr;
};

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

int rundig(const DigOptions &o, QTextStream &out, QTextStream &err, bool progress)
{
    const std::vector<FoundCache> caches = findcaches(o.place);
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

    // Only Content.IE5 is read so far: another browser's cache is named and left alone.
    std::erase_if(chosen, [&err](const FoundCache &c) {
        if (c.format == CacheFormat::contentie5)
            return false;
        err << texts::cannotdigyettext(c.path, cachekindtext(c)) << '\n';
        return true;
    });
    if (chosen.empty())
        return dignocache;

    SizeFilter sizes;
    sizes.reset(o.minkb, o.maxkb);
    const QString pattern = QString::fromUtf16(typeoptions[size_t(o.type)].pattern);
    QString dest = o.dest.isEmpty() ? downloaddirdefault() : QDir(o.dest).absolutePath();
    if (!dest.endsWith(separator()))
        dest += separator();
    DigCounters counters;
    QStringList failures;
    QString manifestfailure; // why the manifest could not be written
    std::unique_ptr<PassLock> passlock;
    const QDateTime started = QDateTime::currentDateTimeUtc();

    // Below the place named, each folder is opened a level at a time without following a link,
    // as it was found: what stands at a cache's path now may be something else.
    QString place = o.place;
    while (place.size() > 1 && place.endsWith(separator()))
        place.chop(1);
    const auto below = [&place](const QString &path, const QString &sub) {
        QString rel = path.size() > place.size() ? path.mid(place.size() + 1) : QString();
        if (!sub.isEmpty())
            rel += (rel.isEmpty() ? QString() : separator()) + sub;
        return rel;
    };
    // Every cache's records are read at once: a damaged index.dat holds up no other cache.
    std::vector<FolderHandle> roots;
    std::vector<int> rootfds;
    for (const FoundCache &cache : chosen) {
        roots.push_back(openbeneath(place, below(cache.path, QString())));
        // A tree dug into the cache it came from would be listed, and dug, with it the next time.
        if (!o.list && roots.back().valid() && liesinfolder(dest, roots.back().fd())) {
            err << "目标“" << dest << "”在要挖的缓存“" << cache.path << "”之内，请另选一个目标。\n";
            return digusage;
        }
        rootfds.push_back(roots.back().fd());
    }
    const std::vector<CacheRecords> allrecords = CacheRecords::readall(rootfds);
    for (const FoundCache &cache : chosen) {
        // The cache as the window lists it: its first sixteen sub-folders, no link followed.
        const size_t at = size_t(&cache - chosen.data());
        const FolderHandle &root = roots[at];
        const CacheRecords &records = allrecords[at];
        const QStringList subs = readsubfolders(root.fd(), 16);
        std::vector<Row> rows;
        for (const QString &sub : subs) {
            if (!o.folders.isEmpty() && !o.folders.contains(sub, Qt::CaseInsensitive))
                continue;
            const FolderHandle folder = openbeneath(place, below(cache.path, sub));
            QStringList names;
            if (!readfilenames(folder.fd(), pattern, names))
                continue;
            for (const AdmittedFile &f : admittedfiles(folder.fd(), names, sizes))
                rows.push_back({sub, names[f.index], typetext(names[f.index]), f.bytes,
                                records.find(sub, names[f.index])});
        }

        if (o.list) {
            for (const Row &r : rows) {
                const QString address = r.record ? r.record->address : QString();
                if (o.json)
                    printjson(out, {{"cache", cache.path},
                                    {"folder", r.folder},
                                    {"name", r.name},
                                    {"type", r.type},
                                    {"size", r.bytes},
                                    {"address", address}});
                else
                    out << lineescaped(r.folder) << '\t' << lineescaped(r.name) << '\t'
                        << lineescaped(r.type) << '\t' << r.bytes << '\t' << lineescaped(address)
                        << '\n';
            }
            continue;
        }

        const auto targetof = [&](const Row &r) {
            SiteTarget site;
            if (o.sitelayout && r.record)
                site = sitetarget(r.record->address);
            return site;
        };
        if (o.dryrun) {
            for (const Row &r : rows) {
                const SiteTarget site = targetof(r);
                const QString to = site.folders.isEmpty()
                                       ? classname(classify(r.type)) + separator() + r.name
                                       : site.folders.join(separator()) + separator() + site.name;
                if (o.json)
                    printjson(out,
                              {{"from", cache.path + separator() + r.folder + separator() + r.name},
                               {"to", dest + texts::resourcefolder + separator() + to},
                               {"size", r.bytes}});
                else
                    out << lineescaped(cache.path + separator() + r.folder + separator() + r.name)
                        << " -> " << lineescaped(dest + texts::resourcefolder + separator() + to)
                        << '\n';
            }
            continue;
        }

        // A destination named on the command line is made when missing, as cp -r would.
        QDir().mkpath(dest);
        makeresourcetree(dest);
        if (!passlock)
            passlock = std::make_unique<PassLock>(dest);
        qint64 total = 0;
        for (const Row &r : rows)
            total += r.bytes;
        ProgressBar bar(err, progress, qint64(rows.size()), total);
        QString lastfolder;
        FolderHandle source;
        // Each file is recorded in the manifest as it is dug.
        DigSession session(*passlock, dest, started, counters);
        for (const Row &r : rows) {
            if (r.folder != lastfolder) {
                source = openbeneath(place, below(cache.path, r.folder));
                lastfolder = r.folder;
            }
            const SiteTarget site = targetof(r);
            session.dig(source.fd(), cache.path + separator() + r.folder, r.name, r.type, r.record,
                        site.folders.isEmpty() ? nullptr : &site);
            bar.step(r.bytes);
        }
        session.finish();
        for (size_t i = 0; i < session.outcomes().size(); ++i) {
            const DigOutcome outcome = session.outcomes()[i];
            if (outcome != DigOutcome::copied && outcome != DigOutcome::same)
                failures << cache.path + separator() + rows[i].folder + separator() + rows[i].name +
                                QStringLiteral(": ") + session.details()[i].reason;
        }
        if (session.manifesterror() && manifestfailure.isEmpty()) {
            manifestfailure = QString::fromLocal8Bit(session.manifesterror().message().c_str());
            err << manifestpath(dest) << ": " << manifestfailure << '\n';
        }
    }
    if (o.list || o.dryrun)
        return digok;

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
