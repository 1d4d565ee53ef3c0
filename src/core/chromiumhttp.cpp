#include "chromiumhttp.h"

#include "httphead.h"

#include <cstdint>
#include <cstring>
#include <limits>

namespace vellomar {

namespace {

// HttpResponseInfo's flags (net/http/http_response_info.cc).
constexpr uint32_t versionmask = 0xFF;
constexpr uint32_t oldestversion = 1;
constexpr uint32_t newestversion = 3;
constexpr uint32_t hasextraflags = 1u << 31;
constexpr uint32_t extrahasoriginalresponsetime = 1u << 2;

// base::Time counts microseconds from 1601-01-01 UTC.
constexpr int64_t windowsepochtounixmicroseconds = 11644473600000000LL;

// A base::Pickle: a 4-byte payload size, then fields each padded to 4 bytes.
class PickleReader
{
  public:
    explicit PickleReader(const QByteArray &bytes) : m_data(bytes.constData()), m_end(0)
    {
        uint32_t payload = 0;
        if (bytes.size() < qsizetype(sizeof payload))
            return;
        std::memcpy(&payload, m_data, sizeof payload);
        if (payload > uint64_t(bytes.size()) - sizeof payload)
            return;
        m_pos = sizeof payload;
        m_end = m_pos + payload;
        m_valid = true;
    }
    bool valid() const { return m_valid; }
    template <typename T> bool read(T &value)
    {
        if (!take(sizeof value))
            return false;
        std::memcpy(&value, m_data + m_last, sizeof value);
        return true;
    }
    bool readstring(QByteArray &out)
    {
        int32_t length = 0;
        if (!read(length) || length < 0 || !take(size_t(length)))
            return false;
        out = QByteArray(m_data + m_last, qsizetype(length));
        return true;
    }

  private:
    bool take(size_t size)
    {
        if (!m_valid || size > m_end - m_pos)
            return false;
        m_last = m_pos;
        size_t padded = (size + 3) & ~size_t(3);
        m_pos = padded > m_end - m_pos ? m_end : m_pos + padded;
        return true;
    }
    const char *m_data;
    size_t m_pos = 0, m_end, m_last = 0;
    bool m_valid = false;
};

QDateTime fromchromiumtime(int64_t value)
{
    if (value <= 0)
        return {};
    return QDateTime::fromMSecsSinceEpoch((value - windowsepochtounixmicroseconds) / 1000, Qt::UTC);
}

bool isdigits(QByteArrayView text)
{
    if (text.isEmpty())
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

} // namespace

QString chromiumkeyaddress(const QByteArray &key)
{
    QByteArrayView rest(key);
    // The credential and upload numbers, each "<digits>/".
    for (int part = 0; part < 2; ++part) {
        qsizetype slash = rest.indexOf('/');
        if (slash <= 0 || !isdigits(rest.first(slash)))
            break;
        rest = rest.sliced(slash + 1);
    }
    // A partition ("_dk_", "_dk_s_", ...) is sites separated from the URL by spaces, which a URL
    // never holds; nor does a URL's scheme begin with '_'.
    if (rest.startsWith('_')) {
        qsizetype space = rest.lastIndexOf(' ');
        if (space >= 0)
            rest = rest.sliced(space + 1);
    }
    return QString::fromUtf8(rest);
}

bool readresponseinfo(const QByteArray &pickle, ChromiumResponseInfo &info, QString &why)
{
    PickleReader reader(pickle);
    if (!reader.valid()) {
        why = QStringLiteral("response info is not a pickle");
        return false;
    }
    uint32_t flags = 0, extraflags = 0;
    if (!reader.read(flags) || ((flags & hasextraflags) && !reader.read(extraflags))) {
        why = QStringLiteral("response info is cut short");
        return false;
    }
    uint32_t version = flags & versionmask;
    if (version < oldestversion || version > newestversion) {
        why = QStringLiteral("response info version %1 is not read").arg(version);
        return false;
    }
    int64_t requesttime = 0, responsetime = 0, originalresponsetime = 0;
    QByteArray raw;
    if (!reader.read(requesttime) || !reader.read(responsetime) ||
        ((extraflags & extrahasoriginalresponsetime) && !reader.read(originalresponsetime)) ||
        !reader.readstring(raw)) {
        why = QStringLiteral("response info is cut short");
        return false;
    }
    // The raw headers are the status line and the header lines, each ended by '\0', then a '\0'.
    QByteArray head;
    head.reserve(raw.size() + raw.size() / 8);
    qsizetype start = 0;
    while (start < raw.size()) {
        qsizetype end = raw.indexOf('\0', start);
        if (end < 0)
            end = raw.size();
        if (end == start)
            break;
        head.append(raw.constData() + start, end - start).append("\r\n");
        start = end + 1;
    }
    const int status = statusofhead(head);
    if (status == 0) {
        why = QStringLiteral("response info has no status line");
        return false;
    }
    info.responsehead = std::move(head);
    info.httpstatus = status;
    info.requesttime = fromchromiumtime(requesttime);
    info.responsetime = fromchromiumtime(responsetime);
    return true;
}

} // namespace vellomar
