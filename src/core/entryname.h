#pragma once

#include <QByteArray>
#include <QString>

namespace vellomar {

// The name a cache entry lists under. It is the address's last path segment, escapes undone and
// made safe as the site layout makes a segment (sitepath.h); an address whose path has no usable
// last segment (none, a folder, nothing left once made safe) gives the host's name and "_index"
// ("example.com_index"), or "index" with no host. A name with no extension, or with one that
// names no kind of content ("php", "aspx", "v2"), takes the extension of the content type, else
// of the first bytes; one whose extension the first bytes contradict keeps it and takes theirs
// after it ("photo.php" holding a JPEG is "photo.php.jpg", "x.jpg" holding HTML is
// "x.jpg.html"). The bytes win over a content type that contradicts them; when both name one
// kind, the type's extension tells it more closely (an MP4 sent as audio/mp4 is ".m4a").
QString entryname(const QString &address, const QString &contenttype, const QByteArray &firstbytes);

} // namespace vellomar
