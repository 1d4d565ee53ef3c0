#include "entrysource.h"

#include "filelistbox.h"
#include "sitepath.h"
#include "sizes.h"
#include "typefilter.h"

#include <QUrl>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace vellomar {

int EntrySource::plainfolder(const SourceEntry &) const
{
    return -1;
}

long long EntrySource::cachedns(const SourceEntry &) const
{
    return -1;
}

QString EntrySource::folderpath(const SourceEntry &entry) const
{
    return format() == CacheFormat::contentie5 ? path() + separator() + entry.folder : path();
}

QString EntrySource::shownpath(const SourceEntry &entry) const
{
    return format() == CacheFormat::contentie5
               ? path() + separator() + entry.folder + separator() + entry.name
               : path() + QStringLiteral(": ") + entry.storedat;
}

PlainFileStream::PlainFileStream(int fd, long long size)
    : m_fd(fd), m_size(size), m_identity(fileidentity(fd))
{
}

PlainFileStream::~PlainFileStream()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

long long PlainFileStream::read(char *buffer, long long count, std::error_code &ec)
{
    if (m_done >= m_size || count <= 0)
        return 0;
    for (;;) {
        const ssize_t n =
            ::pread(m_fd, buffer, size_t(std::min(count, m_size - m_done)), off_t(m_done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ec = n < 0 ? std::error_code(errno, std::generic_category())
                       : std::make_error_code(std::errc::io_error);
            return -1;
        }
        m_done += n;
        return n;
    }
}

bool PlainFileStream::plainrange(int &fd, long long &offset, long long &count) const
{
    fd = m_fd;
    offset = m_done;
    count = m_size - m_done;
    return count > 0;
}

void PlainFileStream::skip(long long count)
{
    m_done = std::min(m_size, m_done + std::max(0LL, count));
}

bool PlainFileStream::unchanged(QString &why) const
{
    if (fileidentity(m_fd) == m_identity && m_identity.size == m_size)
        return true;
    why = QStringLiteral("changed while it was read");
    return false;
}

namespace {

// A plain file by its name in an open folder, never through a link.
std::unique_ptr<EntryStream> openplainentry(int folder, const QString &name, QString &why)
{
    if (folder < 0 || name.contains(QLatin1Char('/'))) {
        why = QStringLiteral("the cache folder is no longer the one listed");
        return nullptr;
    }
    std::error_code ec;
    long long size = 0;
    const int fd = openplainfileat(folder, nativepath(name), &size, ec);
    if (fd < 0) {
        why = ec == std::errc::not_supported ? QStringLiteral("not a plain file")
                                             : QString::fromLocal8Bit(ec.message().c_str());
        return nullptr;
    }
    return std::make_unique<PlainFileStream>(fd, size);
}

std::vector<SourceEntry> plainentries(int folderfd, const QString &folder, const QString &pattern,
                                      const SizeFilter &sizes, const CacheRecords *records)
{
    std::vector<SourceEntry> rows;
    QStringList names;
    if (!readfilenames(folderfd, pattern, names))
        return rows;
    for (const AdmittedFile &a : admittedfiles(folderfd, names, sizes)) {
        const QString &name = names[a.index];
        rows.push_back({folder, name, typetext(name), a.bytes,
                        records ? records->find(folder, name) : nullptr, name, size_t(a.index)});
    }
    return rows;
}

} // namespace

Ie5Source::Ie5Source(const QString &place, const QString &cachepath, int rootfd,
                     CacheRecords records)
    : m_place(place), m_path(cachepath), m_folders(readsubfolders(rootfd, 16)),
      m_records(std::move(records))
{
    while (m_place.size() > 1 && m_place.endsWith(separator()))
        m_place.chop(1);
}

FolderHandle Ie5Source::openfolder(const QString &sub) const
{
    // What stands at the cache's path now may be something else: opened as it was found.
    QString rel = m_path.size() > m_place.size() ? m_path.mid(m_place.size() + 1) : QString();
    if (!sub.isEmpty())
        rel += (rel.isEmpty() ? QString() : separator()) + sub;
    return openbeneath(m_place, rel);
}

std::vector<SourceEntry> Ie5Source::entries(const QString &folder, const QString &pattern,
                                            const SizeFilter &sizes) const
{
    const FolderHandle f = openfolder(folder);
    return plainentries(f.fd(), folder, pattern, sizes, &m_records);
}

int Ie5Source::plainfolder(const SourceEntry &entry) const
{
    if (entry.folder != m_lastfolder || !m_last.valid()) {
        m_last = openfolder(entry.folder);
        m_lastfolder = entry.folder;
    }
    return m_last.fd();
}

std::unique_ptr<EntryStream> Ie5Source::open(const SourceEntry &entry, QString &why) const
{
    return openplainentry(plainfolder(entry), entry.name, why);
}

OpenFolderSource::OpenFolderSource(int folderfd, const QString &folderpath)
    : m_fd(folderfd), m_path(folderpath)
{
    while (m_path.size() > 1 && m_path.endsWith(separator()))
        m_path.chop(1);
}

QStringList OpenFolderSource::folders() const
{
    return {m_path.mid(m_path.lastIndexOf(separator()) + 1)};
}

std::vector<SourceEntry> OpenFolderSource::entries(const QString &folder, const QString &pattern,
                                                   const SizeFilter &sizes) const
{
    return plainentries(m_fd, folder, pattern, sizes, nullptr);
}

std::unique_ptr<EntryStream> OpenFolderSource::open(const SourceEntry &entry, QString &why) const
{
    return openplainentry(m_fd, entry.name, why);
}

QString OpenFolderSource::shownpath(const SourceEntry &entry) const
{
    return m_path + separator() + entry.name;
}

CacheRecord recordof(const CacheEntry &e, const QString &folder)
{
    CacheRecord r;
    r.address = e.address;
    r.addressbytes = e.address.toUtf8();
    r.folder = folder;
    r.file = e.storedat;
    r.filebytes = e.storedat.toUtf8();
    // The times the format keeps, in the two the manifest has room for.
    r.lastmodified = e.lastmodified.isValid() ? e.lastmodified : e.responsetime;
    r.lastaccessed = e.lastfetched.isValid() ? e.lastfetched : e.requesttime;
    r.storedsize = e.storedsize;
    r.contenttype = e.contenttype;
    r.contentencoding = e.contentencoding;
    r.httplastmodified = httpheader(e.responsehead, "Last-Modified");
    return r;
}

QString provisionalname(const CacheEntry &e)
{
    const QUrl url(e.address);
    const QString path = url.path(QUrl::FullyEncoded);
    const QString last = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    const QString host = safesegment(url.host(), QString());
    return safesegment(last,
                       host.isEmpty() ? QStringLiteral("index") : host + QStringLiteral("index"));
}

BrowserSource::BrowserSource(const QString &cachepath, CacheFormat format,
                             std::unique_ptr<ReadOnlyFs> fs, const std::string &folder,
                             const CacheReader &read, const BodyHandling &handling)
    : m_path(cachepath), m_format(format), m_fs(std::move(fs)), m_handling(handling)
{
    QString name = cachepath;
    while (name.size() > 1 && name.endsWith(separator()))
        name.chop(1);
    m_foldername = name.mid(name.lastIndexOf(separator()) + 1);
    if (!m_fs || !read)
        return;
    m_entries = read(*m_fs, folder, &m_report);
    m_records.reserve(m_entries.size());
    for (size_t i = 0; i < m_entries.size(); ++i) {
        if (m_handling.prepare)
            m_handling.prepare(m_entries[i]);
        const CacheEntry &e = m_entries[i];
        m_records.push_back(recordof(e, m_foldername));
        if (m_handling.keep ? !m_handling.keep(e) : e.body.empty())
            continue;
        const long long stored = storedlength(e.body);
        if (stored < 0) {
            m_report.leftout.push_back({e.storedat, QStringLiteral("impossible body length")});
            continue;
        }
        // Each file a body lies in is stamped once: a later change to it refuses the entry.
        bool readable = true;
        for (const BodyPiece &p : e.body) {
            if (m_stamps.count(p.file))
                continue;
            std::error_code ec;
            const std::unique_ptr<ReadOnlyFile> f = m_fs->open(p.file, ec);
            if (!f) {
                readable = false;
                break;
            }
            m_stamps.emplace(p.file, stampof(*f));
        }
        if (!readable) {
            m_report.leftout.push_back({e.storedat, QStringLiteral("its body cannot be opened")});
            continue;
        }
        SourceEntry row;
        row.folder = m_foldername;
        row.name = m_handling.name ? m_handling.name(*m_fs, e) : provisionalname(e);
        row.type = typetext(row.name);
        row.size = m_handling.size ? m_handling.size(*m_fs, e) : stored;
        row.storedat = e.storedat;
        row.index = i;
        m_rows.push_back(std::move(row));
    }
    for (SourceEntry &row : m_rows)
        row.record = &m_records[row.index];
    std::stable_sort(m_rows.begin(), m_rows.end(), [](const SourceEntry &a, const SourceEntry &b) {
        const int c = a.name.compare(b.name, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a.storedat < b.storedat;
    });
}

std::vector<SourceEntry> BrowserSource::entries(const QString &folder, const QString &pattern,
                                                const SizeFilter &sizes) const
{
    std::vector<SourceEntry> rows;
    if (folder.compare(m_foldername, Qt::CaseInsensitive) != 0)
        return rows;
    for (const SourceEntry &r : m_rows) {
        if (matchespattern(r.name, pattern) && sizes.admits(sizekb(r.size)))
            rows.push_back(r);
    }
    return rows;
}

std::unique_ptr<EntryStream> BrowserSource::open(const SourceEntry &entry, QString &why) const
{
    if (entry.index >= m_entries.size()) {
        why = QStringLiteral("no such entry");
        return nullptr;
    }
    const CacheEntry &e = m_entries[entry.index];
    std::unique_ptr<EntryStream> stored = PieceStream::open(*m_fs, e.body, m_stamps, why);
    if (!stored || !m_handling.decode)
        return stored;
    return m_handling.decode(*m_fs, e, std::move(stored), why);
}

long long BrowserSource::cachedns(const SourceEntry &entry) const
{
    if (entry.index >= m_entries.size())
        return -1;
    const CacheEntry &e = m_entries[entry.index];
    const QDateTime &t = e.responsetime.isValid() ? e.responsetime : e.lastfetched;
    return t.isValid() ? t.toMSecsSinceEpoch() * 1000000 : -1;
}

} // namespace vellomar
