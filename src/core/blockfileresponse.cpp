#include "blockfileresponse.h"

#include <QList>

#include <algorithm>
#include <cstring>

namespace vellomar::blockfile {

namespace {

constexpr char doublekeyprefix[] = "_dk_";
constexpr char doublekeyseparator = ' ';
constexpr int mostnumericprefixes = 2; // credential key, then upload (post) key

// HttpResponseInfo's flags word.
constexpr quint32 versionmask = 0xff;
constexpr quint32 oldestversion = 1;
constexpr quint32 newestversion = 3;
constexpr quint32 hasextraflags = 1u << 31;
constexpr quint32 extrahasoriginalresponsetime = 1u << 2;

constexpr qint64 windowsepochdelta = 11644473600000000LL; // 1601 to 1970, in microseconds

// base::Pickle: a 32-bit payload size, then fields each padded to four bytes.
class PickleReader
{
  public:
    explicit PickleReader(const QByteArray &bytes) : m_bytes(bytes)
    {
        quint32 payload = 0;
        if (bytes.size() >= 4) {
            std::memcpy(&payload, bytes.constData(), 4);
            if (payload <= quint32(bytes.size() - 4)) {
                m_at = 4;
                m_end = 4 + qsizetype(payload);
            }
        }
    }
    bool u32(quint32 &v) { return raw(&v, 4); }
    bool i64(qint64 &v) { return raw(&v, 8); }
    bool string(QByteArray &v)
    {
        qint32 length = 0;
        if (!raw(&length, 4) || length < 0 || length > m_end - m_at)
            return false;
        v = m_bytes.mid(m_at, length);
        m_at = std::min(m_at + ((qsizetype(length) + 3) & ~qsizetype(3)), m_end);
        return true;
    }

  private:
    bool raw(void *out, qsizetype n)
    {
        if (m_end - m_at < n)
            return false;
        std::memcpy(out, m_bytes.constData() + m_at, size_t(n));
        m_at += n;
        return true;
    }
    const QByteArray &m_bytes;
    qsizetype m_at = 0, m_end = 0;
};

bool isdigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

QByteArray urlfromkey(const QByteArray &key)
{
    qsizetype at = 0;
    for (int i = 0; i < mostnumericprefixes; ++i) {
        qsizetype digits = at;
        while (digits < key.size() && isdigit(key[digits]))
            ++digits;
        if (digits == at || digits >= key.size() || key[digits] != '/')
            break;
        at = digits + 1;
    }
    if (key.mid(at).startsWith(doublekeyprefix)) {
        const qsizetype separator = key.lastIndexOf(doublekeyseparator);
        if (separator >= at)
            at = separator + 1;
    }
    return key.mid(at);
}

QDateTime chromiumtime(qint64 microseconds)
{
    if (microseconds <= 0)
        return {};
    return QDateTime::fromMSecsSinceEpoch((microseconds - windowsepochdelta) / 1000, Qt::UTC);
}

bool parseresponseinfo(const QByteArray &pickle, ResponseInfo &info)
{
    PickleReader r(pickle);
    quint32 flags = 0, extra = 0;
    if (!r.u32(flags) || ((flags & hasextraflags) && !r.u32(extra)))
        return false;
    const quint32 version = flags & versionmask;
    if (version < oldestversion || version > newestversion)
        return false;
    qint64 request = 0, response = 0, original = 0;
    if (!r.i64(request) || !r.i64(response))
        return false;
    if ((extra & extrahasoriginalresponsetime) && !r.i64(original))
        return false;
    QByteArray raw;
    if (!r.string(raw))
        return false;
    // The raw headers are the status line and each header, each ended by a NUL.
    QList<QByteArray> lines = raw.split('\0');
    while (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();
    if (lines.isEmpty() || !lines.front().startsWith("HTTP"))
        return false;
    info.requesttime = chromiumtime(request);
    info.responsetime = chromiumtime(response);
    info.head = lines.join("\r\n");
    const QList<QByteArray> status = lines.front().split(' ');
    bool ok = false;
    const int code = status.size() > 1 ? status[1].toInt(&ok) : 0;
    info.httpstatus = ok && code >= 100 && code <= 999 ? code : 0;
    return true;
}

} // namespace vellomar::blockfile
