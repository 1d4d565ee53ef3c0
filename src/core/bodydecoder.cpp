#include "bodydecoder.h"

#include "bodycodecs.h"
#include "storedbody.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

namespace vellomar {

namespace {

// A link of the chain the body's bytes come through: the stored bytes, then each decoder.
class Stage
{
  public:
    virtual ~Stage() = default;
    // Up to `max` bytes; 0 at the end; -1, with `ec` (and `failure` when decoding failed).
    virtual long long pull(unsigned char *out, long long max, std::error_code &ec) = 0;
};

class StoredStage : public Stage
{
  public:
    explicit StoredStage(StoredBody &body) : m_body(body) {}
    long long pull(unsigned char *out, long long max, std::error_code &ec) override
    {
        const long long n = m_body.readat(reinterpret_cast<char *>(out), max, m_at, ec);
        if (n > 0)
            m_at += n;
        return n;
    }

  private:
    StoredBody &m_body;
    long long m_at = 0;
};

class DecodeStage : public Stage
{
  public:
    DecodeStage(Stage &upstream, std::unique_ptr<BodyCodec> codec, const QString &name,
                long long storedsize, QString &failure)
        : m_upstream(upstream), m_codec(std::move(codec)), m_name(name), m_failure(failure),
          m_input(size_t(BodyReader::chunk)),
          m_bound(storedsize > BodyReader::mostdecoded / BodyReader::mostratio
                      ? BodyReader::mostdecoded
                      : storedsize * BodyReader::mostratio)
    {
    }

    long long pull(unsigned char *out, long long max, std::error_code &ec) override
    {
        if (m_failed) {
            ec = decodeerror();
            return -1;
        }
        if (!m_started) {
            m_started = true;
            if (!fillto(m_codec->lookahead(), ec))
                return -1;
        }
        // Each turn consumes input, gives output, takes more input or ends: the input is finite.
        for (;;) {
            if (m_ended) {
                if (!fillto(2, ec))
                    return -1;
                if (!m_codec->another(m_input.data() + m_at, m_left))
                    return 0;
                m_ended = false;
            }
            if (m_left == 0 && !m_upstreamdone && !refill(ec))
                return -1;
            const unsigned char *in = m_input.data() + m_at;
            const size_t inbefore = m_left;
            unsigned char *o = out;
            size_t outleft = size_t(max);
            const BodyCodec::Step s = m_codec->step(in, m_left, o, outleft);
            m_at += inbefore - m_left;
            const long long produced = max - (long long)outleft;
            if (s == BodyCodec::error)
                return fail(m_codec->why(), ec);
            if (s == BodyCodec::end)
                m_ended = true;
            if (produced > 0) {
                m_out += produced;
                if (m_out > BodyReader::mostdecoded)
                    return fail(QStringLiteral("decodes past 1 GiB"), ec);
                if (m_out > m_bound)
                    return fail(QStringLiteral("decodes to more than %1 times its size")
                                    .arg(BodyReader::mostratio),
                                ec);
                return produced;
            }
            if (s == BodyCodec::end || m_left < inbefore)
                continue;
            // No progress: the decoder wants input there is no more of.
            if (m_upstreamdone)
                return fail(QStringLiteral("%1 data ends early").arg(m_name), ec);
            if (m_left == m_input.size())
                return fail(QStringLiteral("%1 decoding stalls").arg(m_name), ec);
            if (!refill(ec))
                return -1;
        }
    }

  private:
    static std::error_code decodeerror()
    {
        return std::make_error_code(std::errc::illegal_byte_sequence);
    }

    long long fail(const QString &why, std::error_code &ec)
    {
        m_failed = true;
        if (m_failure.isEmpty())
            m_failure = why;
        ec = decodeerror();
        return -1;
    }

    // More input after what is left, which moves to the buffer's start.
    bool refill(std::error_code &ec)
    {
        if (m_at > 0) {
            std::memmove(m_input.data(), m_input.data() + m_at, m_left);
            m_at = 0;
        }
        const long long n =
            m_upstream.pull(m_input.data() + m_left, (long long)(m_input.size() - m_left), ec);
        if (n < 0) {
            m_failed = true;
            return false;
        }
        if (n == 0)
            m_upstreamdone = true;
        m_left += size_t(n);
        return true;
    }

    bool fillto(size_t count, std::error_code &ec)
    {
        while (m_left < count && !m_upstreamdone)
            if (!refill(ec))
                return false;
        return true;
    }

    Stage &m_upstream;
    std::unique_ptr<BodyCodec> m_codec;
    QString m_name;
    QString &m_failure;
    std::vector<unsigned char> m_input;
    size_t m_at = 0, m_left = 0; // the input not yet decoded
    long long m_bound;           // the most output the stored size allows
    long long m_out = 0;
    bool m_started = false, m_ended = false, m_upstreamdone = false, m_failed = false;
};

} // namespace

struct BodyReader::Private {
    StoredBody body;
    std::vector<std::unique_ptr<Stage>> stages; // the stored bytes first, the last read from
    QString failure;
    bool decoded = false;
};

BodyReader::BodyReader() : d(std::make_unique<Private>()) {}
BodyReader::~BodyReader() = default;

bool BodyReader::openstored(const ReadOnlyFs &fs, const CacheEntry &e, std::error_code &ec)
{
    d->stages.clear();
    d->decoded = false;
    if (!d->body.open(fs, e.body, ec))
        return false;
    d->stages.push_back(std::make_unique<StoredStage>(d->body));
    return true;
}

bool BodyReader::open(const ReadOnlyFs &fs, const CacheEntry &e, std::error_code &ec)
{
    d->failure.clear();
    if (!openstored(fs, e, ec))
        return false;
    const QStringList names = encodingnames(e.contentencoding);
    if (names.isEmpty() || d->body.size() == 0)
        return true; // nothing to decode
    if (names.size() > mostencodings) {
        d->failure = QStringLiteral("more than %1 encodings").arg(mostencodings);
        ec = std::make_error_code(std::errc::not_supported);
        d->stages.clear();
        return false;
    }
    // Applied in the order named, so undone in the reverse.
    for (qsizetype i = names.size() - 1; i >= 0; --i) {
        BodyEncoding encoding;
        if (!bodyencoding(names[i], encoding)) {
            d->failure = QStringLiteral("unknown encoding \"%1\"").arg(names[i].left(64));
            ec = std::make_error_code(std::errc::not_supported);
            d->stages.clear();
            return false;
        }
        d->stages.push_back(std::make_unique<DecodeStage>(*d->stages.back(), makecodec(encoding),
                                                          names[i], d->body.size(), d->failure));
    }
    d->decoded = true;
    return true;
}

long long BodyReader::read(char *buffer, long long max, std::error_code &ec)
{
    if (d->stages.empty()) {
        ec = std::make_error_code(std::errc::bad_file_descriptor);
        return -1;
    }
    if (max <= 0)
        return 0;
    return d->stages.back()->pull(reinterpret_cast<unsigned char *>(buffer), max, ec);
}

QString BodyReader::failure() const
{
    return d->failure;
}

bool BodyReader::decoded() const
{
    return d->decoded;
}

long long BodyReader::storedsize() const
{
    return d->body.size();
}

} // namespace vellomar
