#include "sitepath.h"

#include <QUrl>
#include <algorithm>

namespace vellomar {

namespace {

constexpr int longestsegment = 200; // bytes, well below any file system's name limit
// An address of thousands of segments must not become as many nested folders.
constexpr int mostlevels = 32;         // folders below the tree, the host's included
constexpr int longestpath = 1024;      // bytes below the tree: folders, separators and name
constexpr int longestjoined = 255 - 4; // the name limit, less room for a folder's "_2_2"
const QString joiner = QStringLiteral("~");

qsizetype bytesof(const QString &s)
{
    return s.toUtf8().size();
}

// Cut to at most `bytes` of UTF-8 on a whole character, with no trailing dot or blank again. In
// one pass: a hostile address may be megabytes long.
QString cutto(const QString &s, qsizetype bytes)
{
    QByteArray utf8 = s.toUtf8();
    if (utf8.size() > bytes) {
        qsizetype n = bytes;
        while (n > 0 && (uchar(utf8[n]) & 0xC0) == 0x80) // inside a character
            --n;
        utf8.truncate(n);
    }
    while (!utf8.isEmpty() && (utf8.endsWith('.') || utf8.endsWith(' ')))
        utf8.chop(1);
    return QString::fromUtf8(utf8);
}

// The folders kept within the levels and the path's length; the rest join the last one's name.
QStringList boundedfolders(const QStringList &folders, qsizetype namebytes)
{
    QStringList kept;
    qsizetype used = 0; // bytes of the folders kept, each with its separator
    qsizetype i = 0;
    for (; i < folders.size(); ++i) {
        const qsizetype next = used + bytesof(folders[i]) + 1;
        if (kept.size() == mostlevels || next + namebytes > longestpath)
            break;
        kept << folders[i];
        used = next;
    }
    if (i == folders.size() || kept.isEmpty())
        return kept;
    used -= bytesof(kept.back()) + 1;
    const QString joined = QStringList(folders.mid(i - 1)).join(joiner);
    kept.back() =
        cutto(joined, std::min<qsizetype>(longestjoined, longestpath - used - 1 - namebytes));
    return kept;
}

bool reservedname(const QString &s)
{
    const QString base = s.section(QLatin1Char('.'), 0, 0).toUpper();
    static const QStringList fixed{QStringLiteral("CON"), QStringLiteral("PRN"),
                                   QStringLiteral("AUX"), QStringLiteral("NUL")};
    if (fixed.contains(base))
        return true;
    return base.size() == 4 &&
           (base.startsWith(QLatin1String("COM")) || base.startsWith(QLatin1String("LPT"))) &&
           base[3] >= u'1' && base[3] <= u'9';
}

} // namespace

QString safesegment(const QString &segment, const QString &fallback)
{
    QString s;
    for (const QChar c : segment) {
        const bool bad =
            c.unicode() < 0x20 || c.unicode() == 0x7f || QStringLiteral("/\\:*?\"<>|").contains(c);
        s += bad ? QChar(u'_') : c;
    }
    while (!s.isEmpty() && (s.endsWith(u'.') || s.endsWith(u' ')))
        s.chop(1);
    while (!s.isEmpty() && s.startsWith(u' '))
        s.remove(0, 1);
    if (s.isEmpty()) // "." and ".." end here too: trailing dots go
        return fallback;
    if (s.startsWith(u'.'))
        s.prepend(u'_'); // nothing hidden, nothing that reads as "." or ".."
    if (reservedname(s))
        s.prepend(u'_');
    return cutto(s, longestsegment);
}

SiteTarget sitetarget(const QString &address)
{
    const QUrl url(address, QUrl::StrictMode);
    const QString host = url.host(QUrl::FullyDecoded).toLower();
    if (!url.isValid() || host.isEmpty() || url.isLocalFile())
        return {};
    SiteTarget t;
    QString top = safesegment(host, QString());
    if (top.isEmpty())
        return {};
    if (url.port() > 0 && url.port() != 80 && url.port() != 443)
        top += QLatin1Char('_') + QString::number(url.port());
    // The tree's own names are not a host's to take.
    static const QStringList taken{
        QStringLiteral("manifest.csv"), QStringLiteral("jpg"), QStringLiteral("gif"),
        QStringLiteral("png"),          QStringLiteral("mp3"), QStringLiteral("wma"),
        QStringLiteral("swf"),          QStringLiteral("flv"), QStringLiteral("others")};
    if (taken.contains(top, Qt::CaseInsensitive))
        top.prepend(u'_');
    t.folders << top;
    // Escapes undone before anything is judged: %2e%2e is "..".
    const QStringList parts =
        url.path(QUrl::FullyDecoded).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    const bool isfolder = url.path().endsWith(u'/') || parts.isEmpty();
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const bool last = i == parts.size() - 1 && !isfolder;
        const QString safe = safesegment(parts[i], last ? QStringLiteral("index") : QString());
        if (last)
            t.name = safe;
        else if (!safe.isEmpty())
            t.folders << safe;
    }
    if (t.name.isEmpty())
        t.name = QStringLiteral("index.html");
    t.folders = boundedfolders(t.folders, bytesof(t.name));
    return t;
}

} // namespace vellomar
