#include "cacherecords.h"

#include "platform.h"
#include "recordcodepage.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QThreadPool>
#include <algorithm>
#include <fcntl.h>
#include <libmsiecf.h>
#include <memory>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vellomar {

namespace {

// A cache of 50,000 entries keeps an index.dat of a few tens of megabytes; far beyond, it is
// not worth reading.
constexpr off_t largestindex = off_t(256) << 20;
constexpr int mostrecords = 2'000'000;
constexpr size_t longeststring = 64 * 1024;

// A real index of 50,000 records (some 25 MB) is read in well under a second; the budget leaves
// the reader many times that on a busy machine, and a looping one costs little more.
constexpr std::chrono::milliseconds readerstart{2000};
constexpr std::chrono::milliseconds readingpermegabyte{100};
constexpr std::chrono::milliseconds longestreading{10000};
// Readers run at once for several caches: each is a process waiting on its own, but a damaged
// file keeps a core busy until its budget ends.
constexpr int readersatonce = 4;

struct Error {
    libmsiecf_error_t *e = nullptr;
    ~Error() { libmsiecf_error_free(&e); }
    libmsiecf_error_t **operator&() // NOLINT: the library's out parameter
    {
        libmsiecf_error_free(&e);
        return &e;
    }
};

struct File {
    libmsiecf_file_t *f = nullptr;
    bool open = false;
    ~File()
    {
        libmsiecf_error_t *e = nullptr;
        if (open)
            libmsiecf_file_close(f, &e);
        libmsiecf_file_free(&f, &e);
        libmsiecf_error_free(&e);
    }
};

struct Item {
    libmsiecf_item_t *i = nullptr;
    ~Item()
    {
        libmsiecf_error_t *e = nullptr;
        libmsiecf_item_free(&i, &e);
        libmsiecf_error_free(&e);
    }
};

QString keyof(const QString &folder, const QString &file)
{
    return folder.toLower() + QLatin1Char('/') + file.toLower();
}

// The same for a name as the index keeps it, before its code page is known: only ASCII letters
// are folded, since bytes above it are not yet characters (0xC4 and 0xE4 begin two different
// GBK characters, not Ä and ä).
QString keptkeyof(const QString &folder, const QByteArray &file)
{
    return folder.toLower() + QLatin1Char('/') + QString::fromLatin1(file.toLower());
}

// The string's bytes as the index keeps them (the library's narrow strings are not converted).
template <typename SizeFn, typename GetFn>
QByteArray keptbytes(libmsiecf_item_t *item, SizeFn sizefn, GetFn getfn)
{
    Error e;
    size_t size = 0;
    if (sizefn(item, &size, &e) != 1 || size == 0 || size > longeststring)
        return {};
    std::vector<char> buffer(size);
    if (getfn(item, buffer.data(), size, &e) != 1)
        return {};
    return QByteArray(buffer.data(), qsizetype(strnlen(buffer.data(), size)));
}

} // namespace

QDateTime fromfiletime(quint64 filetime)
{
    if (filetime == 0)
        return {};
    const qint64 secs = qint64(filetime / 10000000ULL) - 11644473600LL;
    // Nothing in a cache predates the web or lies past 9999.
    if (secs < 0 || secs > 253402300799LL)
        return {};
    return QDateTime::fromSecsSinceEpoch(secs, Qt::UTC)
        .addMSecs(qint64(filetime / 10000ULL % 1000));
}

QDateTime fromfatdatetime(quint32 fat)
{
    const quint16 date = quint16(fat & 0xffff);
    const quint16 time = quint16(fat >> 16);
    if (date == 0)
        return {};
    const QDate d(1980 + (date >> 9), (date >> 5) & 0x0f, date & 0x1f);
    const QTime t((time >> 11) & 0x1f, (time >> 5) & 0x3f, (time & 0x1f) * 2);
    if (!d.isValid() || !t.isValid())
        return {};
    return QDateTime(d, t, Qt::UTC);
}

QString recorddescription(const CacheRecord &r)
{
    const QLocale locale;
    QStringList lines{r.address};
    if (!r.contenttype.isEmpty())
        lines << r.contenttype;
    if (r.lastmodified.isValid())
        lines << QStringLiteral("修改时间：") +
                     locale.toString(r.lastmodified.toLocalTime(), QLocale::ShortFormat);
    if (r.lastaccessed.isValid())
        lines << QStringLiteral("访问时间：") +
                     locale.toString(r.lastaccessed.toLocalTime(), QLocale::ShortFormat);
    return lines.join(QLatin1Char('\n'));
}

QString httpheader(const QByteArray &headers, const QByteArray &name)
{
    for (const QByteArray &line : headers.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        if (line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            return QString::fromLatin1(line.mid(colon + 1).trimmed());
    }
    return {};
}

std::chrono::milliseconds readingbudget(qint64 bytes)
{
    const qint64 megabytes = std::min<qint64>((std::max<qint64>(bytes, 0) + (1 << 20) - 1) >> 20,
                                              longestreading / readingpermegabyte);
    return std::min<std::chrono::milliseconds>(readerstart + readingpermegabyte * megabytes,
                                               longestreading);
}

CacheRecords CacheRecords::read(int cachefolderfd, bool *stopped)
{
    if (stopped)
        *stopped = false;
    long long size = 0;
    std::error_code ec;
    // Never through a link, never a FIFO or a device.
    const int fd = openplainfileat(cachefolderfd, "index.dat", &size, ec);
    if (fd < 0)
        return {};
    QByteArray bytes = size > 0 && size <= largestindex ? readbytes(fd, size) : QByteArray();
    ::close(fd);
    const QString helper = indexreaderpath();
    if (bytes.isEmpty() || helper.isEmpty())
        return {};
    const qint64 budget = readingbudget(bytes.size()).count();
    QElapsedTimer clock;
    clock.start();

    QProcess reader;
    reader.setProgram(helper);
    reader.setProcessChannelMode(QProcess::SeparateChannels);
    reader.setStandardErrorFile(QProcess::nullDevice());
    // Whole seconds of processor time, past the budget: stopped by its clock before this.
    const rlim_t seconds = rlim_t(budget / 1000 + 2);
    reader.setChildProcessModifier([seconds] {
        // A damaged file costs at most this much, whatever the library does with it.
        const struct rlimit memory = {rlim_t(2) << 30, rlim_t(2) << 30};
        const struct rlimit cpu = {seconds, seconds};
#if !defined(__SANITIZE_ADDRESS__) // which reserves terabytes of address space up front
        ::setrlimit(RLIMIT_AS, &memory);
#else
        (void)memory;
#endif
        ::setrlimit(RLIMIT_CPU, &cpu);
    });
    reader.start(QIODevice::ReadWrite);
    if (!reader.waitForStarted(int(budget)))
        return {};
    reader.write(bytes);
    reader.closeWriteChannel();
    bytes.clear();
    QByteArray out;
    while (reader.state() != QProcess::NotRunning && clock.elapsed() < budget) {
        reader.waitForReadyRead(200);
        out += reader.readAllStandardOutput();
        if (out.size() > largestindex * 4)
            break;
    }
    if (reader.state() != QProcess::NotRunning) {
        reader.kill();
        reader.waitForFinished(5000);
        if (stopped)
            *stopped = true;
        return {};
    }
    out += reader.readAllStandardOutput();
    if (reader.exitStatus() != QProcess::NormalExit || reader.exitCode() != 0)
        return {};
    CacheRecords records = deserialize(out);
    records.decodekept(cachefolderfd);
    return records;
}

std::vector<CacheRecords> CacheRecords::readall(const std::vector<int> &cachefolderfds)
{
    std::vector<CacheRecords> records(cachefolderfds.size());
    QThreadPool readers;
    readers.setMaxThreadCount(readersatonce);
    for (size_t i = 0; i < cachefolderfds.size(); ++i)
        readers.start([&records, &cachefolderfds, i] { records[i] = read(cachefolderfds[i]); });
    readers.waitForDone();
    return records;
}

void CacheRecords::decodekept(int cachefolderfd)
{
    std::vector<KeptName> names;
    names.reserve(size_t(m_records.size()));
    for (const CacheRecord &r : std::as_const(m_records))
        names.push_back({r.folder, r.filebytes});
    // Each sub-folder a record names is listed once, when a name not in plain ASCII asks.
    QHash<QString, QSet<QString>> listed;
    const auto exists = [&](const QString &folder, const QString &name) {
        auto it = listed.find(folder);
        if (it == listed.end()) {
            QSet<QString> files;
            const QByteArray sub = folder.toLatin1();
            const FileDescriptor fd{
                sub.isEmpty() || sub.contains('/') || sub.startsWith('.')
                    ? -1
                    : ::openat(cachefolderfd, sub.constData(),
                               O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)};
            if (fd.fd >= 0)
                listfolder(fd.fd, [&files](std::string_view raw, EntryKind kind) {
                    if (kind == EntryKind::file)
                        files.insert(decodedname(raw).toLower());
                });
            it = listed.insert(folder, files);
        }
        return it->contains(name.toLower());
    };
    const QByteArray codepage = fittingcodepage(names, exists);
    QHash<QString, CacheRecord> records;
    records.reserve(m_records.size());
    KeptText kept(codepage);
    for (CacheRecord &r : m_records) {
        r.file = kept.text(r.filebytes);
        r.address = kept.text(r.addressbytes);
        records.insert(keyof(r.folder, r.file), std::move(r));
    }
    m_records = std::move(records);
}

QString indexreaderpath()
{
    const QString named = qEnvironmentVariable("VELLOMAR_INDEX_READER");
    if (!named.isEmpty())
        return QFileInfo(named).isExecutable() ? named : QString();
    const QString here = QCoreApplication::applicationDirPath();
    for (const QString &p : {here + QStringLiteral("/vellomar-index"),
                             here + QStringLiteral("/../libexec/vellomar/vellomar-index")}) {
        if (QFileInfo(p).isExecutable())
            return QFileInfo(p).canonicalFilePath();
    }
    return {};
}

QByteArray CacheRecords::serialize() const
{
    QByteArray out;
    QDataStream s(&out, QIODevice::WriteOnly);
    s << quint32(m_records.size());
    for (const CacheRecord &r : m_records) {
        s << r.addressbytes << r.folder << r.filebytes << r.lastmodified << r.lastaccessed
          << r.lastchecked << r.expires << r.storedsize << r.hits << r.contenttype
          << r.contentencoding << r.httplastmodified;
    }
    return out;
}

CacheRecords CacheRecords::deserialize(const QByteArray &bytes)
{
    CacheRecords records;
    QDataStream s(bytes);
    quint32 n = 0;
    s >> n;
    for (quint32 i = 0; i < n && i < quint32(mostrecords) && s.status() == QDataStream::Ok; ++i) {
        CacheRecord r;
        s >> r.addressbytes >> r.folder >> r.filebytes >> r.lastmodified >> r.lastaccessed >>
            r.lastchecked >> r.expires >> r.storedsize >> r.hits >> r.contenttype >>
            r.contentencoding >> r.httplastmodified;
        if (s.status() != QDataStream::Ok)
            break;
        // As text once the cache's own files have told its code page.
        records.m_records.insert(keptkeyof(r.folder, r.filebytes), std::move(r));
    }
    return records;
}

CacheRecords CacheRecords::parse(QByteArray bytes)
{
    CacheRecords records;
    // Wine writes Internet Explorer 5.2's layout under a signature of its own.
    static const QByteArray wine("WINE URLCache Ver ");
    static const QByteArray ie("Client UrlCache MMF Ver 5.2", 28); // with its terminating NUL
    if (bytes.startsWith(wine) && bytes.size() >= ie.size())
        bytes.replace(0, ie.size(), ie);

    // The library reads the copy as a file of its own (libbfio's reader of memory ranges reads
    // past the range's end on a damaged index.dat); nothing can change it meanwhile.
    const FileDescriptor copyfile{::memfd_create("index.dat", MFD_CLOEXEC)};
    const int copy = copyfile.fd;
    if (copy < 0)
        return records;
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(copy, bytes.constData() + done, size_t(bytes.size() - done));
        if (n <= 0)
            return records;
        done += n;
    }
    bytes.clear();
    File file;
    Error e;
    const std::string name = "/proc/self/fd/" + std::to_string(copy);
    if (libmsiecf_file_initialize(&file.f, &e) != 1 ||
        libmsiecf_file_open(file.f, name.c_str(), LIBMSIECF_OPEN_READ, &e) != 1)
        return records;
    file.open = true;

    std::vector<QString> folders;
    int nfolders = 0;
    if (libmsiecf_file_get_number_of_cache_directories(file.f, &nfolders, &e) == 1) {
        for (int i = 0; i < nfolders && i < 256; ++i) {
            char name[16] = {};
            folders.push_back(
                libmsiecf_file_get_cache_directory_name(file.f, i, name, sizeof name, &e) == 1
                    ? QString::fromLatin1(name, qsizetype(strnlen(name, sizeof name)))
                    : QString());
        }
    }

    int items = 0;
    if (libmsiecf_file_get_number_of_items(file.f, &items, &e) != 1)
        return records;
    for (int i = 0; i < items && i < mostrecords; ++i) {
        Item item;
        uint8_t type = 0;
        if (libmsiecf_file_get_item_by_index(file.f, i, &item.i, &e) != 1 ||
            libmsiecf_item_get_type(item.i, &type, &e) != 1 || type != LIBMSIECF_ITEM_TYPE_URL)
            continue;
        CacheRecord r;
        uint8_t folder = 0xff;
        if (libmsiecf_url_get_cache_directory_index(item.i, &folder, &e) != 1 ||
            folder >= folders.size())
            continue; // a record with no file of its own
        r.folder = folders[folder];
        r.filebytes =
            keptbytes(item.i, libmsiecf_url_get_filename_size, libmsiecf_url_get_filename);
        if (r.folder.isEmpty() || r.filebytes.isEmpty())
            continue;
        r.addressbytes =
            keptbytes(item.i, libmsiecf_url_get_location_size, libmsiecf_url_get_location);
        uint64_t t64 = 0;
        uint32_t t32 = 0;
        // In a cache's records the first time is the file's last use, the second the server's
        // modification time.
        if (libmsiecf_url_get_primary_time(item.i, &t64, &e) == 1)
            r.lastaccessed = fromfiletime(t64);
        if (libmsiecf_url_get_secondary_time(item.i, &t64, &e) == 1)
            r.lastmodified = fromfiletime(t64);
        if (libmsiecf_url_get_last_checked_time(item.i, &t32, &e) == 1)
            r.lastchecked = fromfatdatetime(t32);
        if (libmsiecf_url_get_expiration_time(item.i, &t64, &e) == 1)
            r.expires = t64 > 0xffffffffULL ? fromfiletime(t64) : fromfatdatetime(quint32(t64));
        if (libmsiecf_url_get_cached_file_size(item.i, &t64, &e) == 1 && t64 < (1ULL << 62))
            r.storedsize = qint64(t64);
        libmsiecf_url_get_number_of_hits(item.i, &r.hits, &e);
        size_t datasize = 0;
        if (libmsiecf_url_get_data_size(item.i, &datasize, &e) == 1 && datasize > 0 &&
            datasize <= longeststring) {
            QByteArray data(qsizetype(datasize), '\0');
            if (libmsiecf_url_get_data(item.i, reinterpret_cast<uint8_t *>(data.data()), datasize,
                                       &e) == 1) {
                r.contenttype = httpheader(data, "Content-Type");
                r.contentencoding = httpheader(data, "Content-Encoding");
                r.httplastmodified = httpheader(data, "Last-Modified");
            }
        }
        records.m_records.insert(keptkeyof(r.folder, r.filebytes), std::move(r));
    }
    return records;
}

const CacheRecord *CacheRecords::find(const QString &folder, const QString &file) const
{
    if (m_records.isEmpty()) // no key to work out for a cache without records
        return nullptr;
    const auto it = m_records.constFind(keyof(folder, file));
    return it == m_records.constEnd() ? nullptr : &*it;
}

} // namespace vellomar
