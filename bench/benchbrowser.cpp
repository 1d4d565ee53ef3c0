// Chromium's Simple Cache: listing 20,000 entries, and vellomar-dig over 5,000 small entries and
// ten large ones (a fifth gzip-encoded), each against the least a program must do for the same
// result, measured in the same run.
#include "bench.h"

#include "cacheformat.h"
#include "chromiumsimple.h"
#include "digjob.h"
#include "entrydecoding.h"
#include "entrysource.h"
#include "platform.h"
#include "simplecachelayout.h"
#include "sizefilter.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace vellomar::bench {

namespace {

constexpr int listedentries = 20000;
constexpr int smallentries = 5000, largeentries = 10;
constexpr qint64 largebytes = 20LL << 20;
constexpr int gzipevery = 5; // a fifth of the bodies are gzip-encoded
constexpr qint64 edgebytes = 4096;
constexpr double listlimit = 1.3, diglimit = 1.3;
constexpr int rounds = 5;

QByteArray bodyof(int i, qint64 size)
{
    QByteArray b(qsizetype(size), Qt::Uninitialized);
    quint32 x = quint32(i) * 2654435761u + 1;
    for (qsizetype k = 0; k < b.size(); ++k) {
        x = x * 1103515245u + 12345u;
        b[k] = char((x >> 16) & 0x3f); // some redundancy, as real bodies have
    }
    return b;
}

QByteArray gzipped(const QByteArray &body)
{
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(qsizetype(deflateBound(&z, uLong(body.size()))), Qt::Uninitialized);
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(body.constData()));
    z.avail_in = uInt(body.size());
    z.next_out = reinterpret_cast<Bytef *>(out.data());
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.truncate(qsizetype(z.total_out));
    deflateEnd(&z);
    return out;
}

// Writes a Simple Cache entry for body `i`.
void writeentry(const QString &folder, int i, qint64 size, bool gzip)
{
    const QByteArray key = "1/0/_dk_http://example.com http://example.com http://example.com/m/" +
                           QByteArray::number(i) + ".bin";
    QByteArrayList head{"HTTP/1.1 200 OK", "Content-Type: application/octet-stream"};
    QByteArray body = bodyof(i, size);
    if (gzip) {
        head << "Content-Encoding: gzip";
        body = gzipped(body);
    }
    QFile f(folder + "/" + QString::fromStdString(test::entryname(key)));
    f.open(QIODevice::WriteOnly);
    f.write(test::entryfile(key, body, test::responseinfo(head)));
}

// What any lister must do: read the folder, stat each file, read its first and last 4 KB.
void listbaseline(const QString &folder)
{
    FolderHandle dir(::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY));
    std::vector<std::string> names;
    listopenfolder(dir.fd(), [&names](std::string_view n, EntryKind k) {
        if (k == EntryKind::file)
            names.emplace_back(n);
    });
    char buffer[edgebytes];
    for (const std::string &n : names) {
        const int fd = ::openat(dir.fd(), n.c_str(), O_RDONLY | O_NOFOLLOW);
        struct stat st;
        ::fstat(fd, &st);
        (void)!::pread(fd, buffer, sizeof buffer, 0);
        (void)!::pread(fd, buffer, sizeof buffer, std::max<off_t>(0, st.st_size - edgebytes));
        ::close(fd);
    }
}

qsizetype listprogram(const QString &folder)
{
    FolderHandle dir(::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY));
    std::unique_ptr<EntrySource> source =
        browsersource(folder, CacheFormat::chromiumsimple, localfs(dir.fd()), std::string(),
                      formatreaders(), decodedbodies());
    SizeFilter all;
    all.reset(0, 90 * 1024);
    return qsizetype(listentries(*source, QStringLiteral("*.*"), all, {}).size());
}

// What any digger must do: each body out with pread and write, the gzip ones inflated by zlib.
void digbaseline(const QString &folder, const QString &dest)
{
    FolderHandle dir(::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY));
    const std::unique_ptr<ReadOnlyFs> fs = localfs(dir.fd());
    ::mkdir(QFile::encodeName(dest).constData(), 0755);
    std::vector<char> in(1 << 20), out(1 << 20);
    int n = 0;
    for (const CacheEntry &e : readsimplecache(*fs, std::string())) {
        const bool gzip = e.responsehead.contains("Content-Encoding: gzip");
        const BodyPiece &p = e.body.front();
        const int src = ::openat(dir.fd(), p.file.c_str(), O_RDONLY);
        const int dst = ::open(QFile::encodeName(dest + "/" + QString::number(n++)).constData(),
                               O_WRONLY | O_CREAT | O_TRUNC, 0644);
        z_stream z{};
        if (gzip)
            inflateInit2(&z, 15 + 32);
        for (long long done = 0; done < p.length;) {
            const ssize_t got = ::pread(
                src, in.data(), size_t(std::min<long long>(qsizetype(in.size()), p.length - done)),
                off_t(p.offset + done));
            if (got <= 0)
                break;
            done += got;
            if (!gzip) {
                (void)!::write(dst, in.data(), size_t(got));
                continue;
            }
            z.next_in = reinterpret_cast<Bytef *>(in.data());
            z.avail_in = uInt(got);
            do {
                z.next_out = reinterpret_cast<Bytef *>(out.data());
                z.avail_out = uInt(out.size());
                inflate(&z, Z_NO_FLUSH);
                (void)!::write(dst, out.data(), out.size() - z.avail_out);
            } while (z.avail_out == 0);
        }
        if (gzip)
            inflateEnd(&z);
        ::close(src);
        ::close(dst);
    }
}

void digprogram(const QString &folder, const QString &dest)
{
    QProcess p;
    p.start(QStringLiteral(VELLOMAR_DIG),
            {"--type", "all", "--min", "0K", "--max", "90M", folder, dest});
    p.waitForFinished(600000);
}

} // namespace

// "browser list" or "browser dig" runs one of the two.
int benchbrowser(const QStringList &args)
{
    const QString only = args.value(2);
    QTemporaryDir dir;
    if (only != QLatin1String("dig")) {
        const QString listed = dir.path() + "/listed";
        QDir().mkpath(listed);
        for (int i = 0; i < listedentries; ++i)
            writeentry(listed, i, 1024 + (i * 37) % (30 * 1024), i % gzipevery == 0);
        qsizetype rows = 0;
        compare(
            QStringLiteral("listing %1 Simple Cache entries").arg(listedentries), listlimit, rounds,
            [] {}, [&] { listbaseline(listed); }, [&] { rows = listprogram(listed); });
        if (rows != listedentries)
            std::fprintf(stderr, "listed %lld rows of %d\n", (long long)rows, listedentries);
    }
    if (only == QLatin1String("list"))
        return allmet() ? 0 : 1;

    const QString dug = dir.path() + "/dug";
    QDir().mkpath(dug);
    for (int i = 0; i < smallentries; ++i)
        writeentry(dug, i, 1024 + (i * 7919) % (99 * 1024), i % gzipevery == 0);
    for (int i = 0; i < largeentries; ++i)
        writeentry(dug, smallentries + i, largebytes, i % gzipevery == 0);
    const QString dest = dir.path() + "/dest";
    compare(
        QStringLiteral("vellomar-dig over %1 + %2 Simple Cache entries")
            .arg(smallentries)
            .arg(largeentries),
        diglimit, rounds, [&] { QDir(dest).removeRecursively(); }, [&] { digbaseline(dug, dest); },
        [&] { digprogram(dug, dest); });
    return allmet() ? 0 : 1;
}

} // namespace vellomar::bench
