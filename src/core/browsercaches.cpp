#include "browsercaches.h"

#include "bodydecoder.h"
#include "chromiumblockfile.h"
#include "entryname.h"
#include "firefoxcache2.h"
#include "firefoxold.h"
#include "httphead.h"
#include "platform.h"

#include <QRegularExpression>

namespace vellomar {

namespace {

// Enough of a body's start for every signature the names are told by.
constexpr long long namingbytes = 512;

CacheReader withheads(CacheReader read)
{
    return [read](const ReadOnlyFs &fs, const std::string &folder, ReadReport *report) {
        std::vector<CacheEntry> entries = read(fs, folder, report);
        for (CacheEntry &e : entries)
            fillfromhead(e);
        return entries;
    };
}

// The body decoded, read through BodyReader; the stored stream it replaces keeps telling
// whether the files were changed since they were listed.
class DecodedStream : public EntryStream
{
  public:
    DecodedStream(std::unique_ptr<BodyReader> reader, std::unique_ptr<EntryStream> stored)
        : m_reader(std::move(reader)), m_stored(std::move(stored))
    {
    }
    long long read(char *buffer, long long count, std::error_code &ec) override
    {
        return m_reader->read(buffer, count, ec);
    }
    bool unchanged(QString &why) const override { return m_stored->unchanged(why); }
    QString note() const override
    {
        const QString failure = m_reader->failure();
        return failure.isEmpty() ? QString() : failure + QStringLiteral(": dug as stored");
    }

  private:
    std::unique_ptr<BodyReader> m_reader;
    std::unique_ptr<EntryStream> m_stored;
};

// The stored stream, with the reason it is not decoded for the manifest.
class StoredStream : public EntryStream
{
  public:
    StoredStream(std::unique_ptr<EntryStream> stored, QString why)
        : m_stored(std::move(stored)), m_why(std::move(why))
    {
    }
    long long read(char *buffer, long long count, std::error_code &ec) override
    {
        return m_stored->read(buffer, count, ec);
    }
    bool plainrange(int &fd, long long &offset, long long &count) const override
    {
        return m_stored->plainrange(fd, offset, count);
    }
    void skip(long long count) override { m_stored->skip(count); }
    bool unchanged(QString &why) const override { return m_stored->unchanged(why); }
    QString note() const override { return m_why + QStringLiteral(": dug as stored"); }

  private:
    std::unique_ptr<EntryStream> m_stored;
    QString m_why;
};

bool encoded(const CacheEntry &e)
{
    return !e.contentencoding.isEmpty() &&
           e.contentencoding.compare(QLatin1String("identity"), Qt::CaseInsensitive) != 0;
}

// Reads the decoded body from its start; `limit` bytes at most into `into` (none kept when
// null). The decoded length, or -1 when it cannot be decoded.
long long decodepass(const ReadOnlyFs &fs, const CacheEntry &e, QByteArray *into, long long limit)
{
    BodyReader reader;
    std::error_code ec;
    if (!reader.open(fs, e, ec))
        return -1;
    QByteArray chunk(int(BodyReader::chunk), Qt::Uninitialized);
    long long total = 0;
    for (;;) {
        const long long n = reader.read(chunk.data(), chunk.size(), ec);
        if (n < 0)
            return -1;
        if (n == 0)
            return total;
        if (into && into->size() < limit)
            into->append(chunk.constData(), int(std::min<long long>(n, limit - into->size())));
        total += n;
        if (into && into->size() >= limit)
            return total; // the start is all a name needs
    }
}

} // namespace

const std::vector<FormatReader> &browserreaders()
{
    static const std::vector<FormatReader> readers{
        {CacheFormat::chromiumblockfile, isblockfilecache, withheads(readblockfilecache)},
        {CacheFormat::firefoxcache2, iscache2, withheads(readcache2)},
        {CacheFormat::firefoxold, isoldfirefoxcache, withheads(readoldfirefoxcache)},
    };
    return readers;
}

BodyHandling decodedbodies()
{
    BodyHandling h;
    h.keep = [](const CacheEntry &e) { return iswholeresponse(e); };
    h.name = [](const ReadOnlyFs &fs, const CacheEntry &e) {
        QByteArray first;
        if (decodepass(fs, e, &first, namingbytes) < 0) {
            first.clear();
            BodyReader stored;
            std::error_code ec;
            if (stored.openstored(fs, e, ec)) {
                first.resize(int(namingbytes));
                const long long n = stored.read(first.data(), namingbytes, ec);
                first.resize(int(std::max<long long>(n, 0)));
            }
        }
        return entryname(e.address, e.contenttype, first);
    };
    h.size = [](const ReadOnlyFs &fs, const CacheEntry &e) {
        const long long hint = decodedsizehint(fs, e);
        if (hint >= 0)
            return hint;
        const long long decoded = decodepass(fs, e, nullptr, 0);
        return decoded >= 0 ? decoded : storedlength(e.body);
    };
    h.decode = [](const ReadOnlyFs &fs, const CacheEntry &e, std::unique_ptr<EntryStream> stored,
                  QString &why) -> std::unique_ptr<EntryStream> {
        if (!encoded(e))
            return stored;
        auto reader = std::make_unique<BodyReader>();
        std::error_code ec;
        if (reader->open(fs, e, ec))
            return std::make_unique<DecodedStream>(std::move(reader), std::move(stored));
        if (reader->failure().isEmpty()) {
            why = QString::fromStdString(ec.message());
            return nullptr;
        }
        return std::make_unique<StoredStream>(std::move(stored), reader->failure());
    };
    return h;
}

bool isbrowsercache(const QString &path)
{
    const FolderHandle root = openbeneath(path);
    if (!root.valid())
        return false;
    const std::unique_ptr<ReadOnlyFs> fs = localfs(root.fd());
    return detectformat(*fs, std::string(), browserreaders()) != CacheFormat::contentie5;
}

std::unique_ptr<BrowserSource> openbrowsercache(const QString &path, const QString &anchor)
{
    // Below the folder the user named, no link is followed.
    const bool below = !anchor.isEmpty() && path.startsWith(anchor);
    const FolderHandle root =
        below ? openbeneath(anchor, path.mid(anchor.size()).remove(QRegularExpression(QStringLiteral("^/+"))))
              : openbeneath(path);
    if (!root.valid())
        return nullptr;
    std::unique_ptr<ReadOnlyFs> fs = localfs(root.fd());
    const CacheFormat format = detectformat(*fs, std::string(), browserreaders());
    if (format == CacheFormat::contentie5)
        return nullptr;
    QString cachepath = path;
    while (cachepath.size() > 1 && cachepath.endsWith(separator()))
        cachepath.chop(1);
    return browsersource(cachepath, format, std::move(fs), std::string(), browserreaders(),
                         decodedbodies());
}

} // namespace vellomar
