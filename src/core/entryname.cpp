#include "entryname.h"

#include "contentkind.h"
#include "sitepath.h"

#include <QStringList>
#include <QUrl>

namespace vellomar {

namespace {

constexpr int longestextension = 8; // longer, or not letters and digits: not an extension

// The address's last path segment made safe; empty when it has none worth a name. Split as
// sitetarget splits it, so a row's name is the name the site layout gives its file.
QString lastsegment(const QUrl &url)
{
    const QStringList parts =
        url.path(QUrl::FullyDecoded).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (url.path().endsWith(u'/') || parts.isEmpty())
        return {};
    return safesegment(parts.back(), QString());
}

QString extensionof(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot <= 0 || name.size() - dot - 1 > longestextension)
        return {};
    const QString ext = name.mid(dot + 1);
    for (const QChar c : ext)
        if (!(c.isLetterOrNumber() && c.unicode() < 0x80))
            return {};
    return ext;
}

} // namespace

QString entryname(const QString &address, const QString &contenttype, const QByteArray &firstbytes)
{
    const QUrl url(address);
    // As in the site layout, only an address with a host has segments to go by ("data:" has none).
    const bool hashost = url.isValid() && !url.host().isEmpty();
    QString name = hashost ? lastsegment(url) : QString();
    bool bare = false; // a name made up here has no extension, whatever dots the host has
    if (name.isEmpty()) {
        const QString host = safesegment(url.host(QUrl::FullyDecoded).toLower(), QString());
        name = host.isEmpty() ? QStringLiteral("index") : host + QStringLiteral("_index");
        bare = true;
    }
    const QString sniffed = extensionfrombytes(firstbytes);
    const QString typed = extensionfromtype(contenttype);
    const QString right = sniffed.isEmpty() || samekind(sniffed, typed) ? typed : sniffed;
    if (right.isEmpty())
        return name;
    const QString ext = bare ? QString() : extensionof(name);
    if (knownextension(ext) && (sniffed.isEmpty() || samekind(ext, sniffed)))
        return name; // what the name says, nothing contradicts
    return name + u'.' + right;
}

} // namespace vellomar
