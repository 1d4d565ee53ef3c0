#include "httphead.h"

#include <QList>

namespace vellomar {

namespace {

constexpr int statuswidth = 3; // "200"

enum StatusClass { informational = 1, success = 2, redirection = 3 };
constexpr int partialcontent = 206;

// The head's lines without their line ends; a lone "\n" ends a line too.
QList<QByteArray> headlines(const QByteArray &head)
{
    QList<QByteArray> lines = head.split('\n');
    for (QByteArray &l : lines)
        if (l.endsWith('\r'))
            l.chop(1);
    return lines;
}

// The status of "HTTP/1.1 200 OK", "HTTP/2 404"; 0 when the line is no status line.
int statusof(const QByteArray &line)
{
    if (!line.startsWith("HTTP/"))
        return 0;
    const qsizetype space = line.indexOf(' ');
    if (space < 0)
        return 0;
    const QByteArray code = line.mid(space + 1, statuswidth);
    if (code.size() != statuswidth)
        return 0;
    const qsizetype after = space + 1 + statuswidth;
    if (after < line.size() && line[after] != ' ')
        return 0; // "2000" is no status
    int status = 0;
    for (char c : code) {
        if (c < '0' || c > '9')
            return 0;
        status = status * 10 + (c - '0');
    }
    return status >= 100 ? status : 0;
}

} // namespace

int statusofhead(const QByteArray &head)
{
    qsizetype end = head.indexOf('\n');
    if (end < 0)
        end = head.size();
    if (end > 0 && head[end - 1] == '\r')
        --end;
    return statusof(head.left(end));
}

namespace {

QString mediatype(const QByteArray &value)
{
    QByteArray type = value;
    const qsizetype cut = type.indexOf(';');
    if (cut >= 0)
        type.truncate(cut);
    type = type.trimmed().toLower();
    const qsizetype slash = type.indexOf('/');
    if (slash <= 0 || slash == type.size() - 1 || type.contains(' ') || type.contains(',') ||
        type == "*/*")
        return {};
    return QString::fromLatin1(type);
}

QString encodinglist(const QByteArray &value)
{
    QByteArrayList kept;
    for (const QByteArray &item : value.split(',')) {
        const QByteArray coding = item.trimmed().toLower();
        if (!coding.isEmpty() && coding != "identity")
            kept << coding;
    }
    return QString::fromLatin1(kept.join(", "));
}

// Every value of the header `name`, in order.
QByteArrayList headervalues(const QList<QByteArray> &lines, const QByteArray &name)
{
    QByteArrayList values;
    for (qsizetype i = 1; i < lines.size(); ++i) { // the first is the status line
        const QByteArray &l = lines[i];
        const qsizetype colon = l.indexOf(':');
        if (colon > 0 && l.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            values << l.mid(colon + 1).trimmed();
    }
    return values;
}

} // namespace

QByteArray headervalue(const QByteArray &head, const QByteArray &name)
{
    return headervalues(headlines(head), name).join(", ");
}

void fillfromhead(CacheEntry &e)
{
    if (e.responsehead.isEmpty())
        return;
    const QList<QByteArray> lines = headlines(e.responsehead);
    if (const int status = statusof(lines.front()))
        e.httpstatus = status;
    // The last Content-Type holds, as browsers take it.
    const QByteArrayList types = headervalues(lines, "content-type");
    if (!types.isEmpty())
        e.contenttype = mediatype(types.back());
    const QByteArrayList encodings = headervalues(lines, "content-encoding");
    if (!encodings.isEmpty())
        e.contentencoding = encodinglist(encodings.join(", "));
}

bool iswholeresponse(const CacheEntry &e)
{
    if (e.storedsize <= 0 || e.body.empty())
        return false;
    if (e.httpstatus == 0)
        return true;
    if (e.httpstatus / 100 != success)
        return false;
    if (e.httpstatus != partialcontent)
        return true;
    const QByteArray range = headervalue(e.responsehead, "content-range").trimmed().toLower();
    return range.isEmpty() || range.startsWith("bytes 0-");
}

} // namespace vellomar
