#include "entrydecoding.h"

#include "bodydecoder.h"
#include "entryname.h"
#include "httphead.h"

namespace vellomar {

namespace {

// Enough of a body for every signature the names go by.
constexpr long long firstbytecount = 64;
constexpr long long countchunk = 64 * 1024;

// The body decoded, through a reader of its own; the stored stream stays open beside it for
// its files' stamps.
class DecodedStream : public EntryStream
{
  public:
    DecodedStream(const ReadOnlyFs &fs, const CacheEntry &e, std::unique_ptr<EntryStream> stored)
        : m_fs(fs), m_entry(e), m_stored(std::move(stored))
    {
    }
    bool open(QString &why)
    {
        std::error_code ec;
        if (m_reader.open(m_fs, m_entry, ec) || m_reader.openstored(m_fs, m_entry, ec)) {
            m_asstored = !m_reader.decoded();
            return true;
        }
        why = QString::fromLocal8Bit(ec.message().c_str());
        return false;
    }
    long long read(char *buffer, long long count, std::error_code &ec) override
    {
        return m_reader.read(buffer, count, ec);
    }
    bool rewind() override
    {
        if (m_asstored || m_reader.failure().isEmpty())
            return false;
        std::error_code ec;
        m_asstored = true;
        return m_reader.openstored(m_fs, m_entry, ec);
    }
    bool unchanged(QString &why) const override
    {
        const auto *pieces = dynamic_cast<const PieceStream *>(m_stored.get());
        return m_stored->unchanged(why) && (!pieces || pieces->samefiles(m_fs, why));
    }
    QString note() const override
    {
        const QString failure = m_reader.failure();
        return failure.isEmpty() ? QString() : QStringLiteral("dug as stored: ") + failure;
    }

  private:
    const ReadOnlyFs &m_fs;
    const CacheEntry &m_entry;
    std::unique_ptr<EntryStream> m_stored;
    BodyReader m_reader;
    bool m_asstored = false;
};

// The decoded bytes from the front, at most `most`; with `total`, every byte is counted (-1
// when decoding fails: the body is dug as stored).
QByteArray decodedhead(const ReadOnlyFs &fs, const CacheEntry &e, long long most, long long *total)
{
    BodyReader r;
    std::error_code ec;
    QByteArray head;
    if (!r.open(fs, e, ec))
        return head;
    std::vector<char> buffer(static_cast<size_t>(countchunk));
    long long count = 0;
    // Bounded by the reader's own limit on the decoded size.
    for (;;) {
        // For the head alone, no more is decoded than it needs.
        const long long want =
            total ? countchunk : std::min<long long>(countchunk, most - head.size());
        const long long n = r.read(buffer.data(), want, ec);
        if (n < 0) {
            count = -1;
            break;
        }
        if (n == 0)
            break;
        if (head.size() < most)
            head.append(buffer.data(), qsizetype(std::min(n, most - (long long)head.size())));
        count += n;
        if (!total && head.size() >= most)
            break;
    }
    if (total)
        *total = count;
    return head;
}

} // namespace

BodyHandling decodedbodies()
{
    BodyHandling h;
    h.prepare = fillfromhead;
    h.keep = [](const CacheEntry &e) {
        return iswholeresponse(e);
    };
    h.name = [](const ReadOnlyFs &fs, const CacheEntry &e) {
        return entryname(e.address, e.contenttype, decodedhead(fs, e, firstbytecount, nullptr));
    };
    h.size = [](const ReadOnlyFs &fs, const CacheEntry &e) {
        const long long hint = decodedsizehint(fs, e);
        if (hint >= 0)
            return hint;
        long long total = -1;
        decodedhead(fs, e, 0, &total);
        return total >= 0 ? total : e.storedsize; // what cannot be decoded is dug as stored
    };
    h.decode = [](const ReadOnlyFs &fs, const CacheEntry &e, std::unique_ptr<EntryStream> stored,
                  QString &why) -> std::unique_ptr<EntryStream> {
        if (e.contentencoding.isEmpty())
            return stored; // as stored: its ranges keep the kernel's copy
        auto s = std::make_unique<DecodedStream>(fs, e, std::move(stored));
        if (!s->open(why))
            return nullptr;
        return s;
    };
    return h;
}

} // namespace vellomar
