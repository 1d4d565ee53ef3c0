#include "contentkind.h"

#include "mediasignature.h"

#include <QHash>
#include <QStringList>

#include <cstring>

namespace vellomar {

namespace {

// One kind: its extensions (the usual one first) and the media types that name it, each with
// the extension it prefers when that is not the usual one ("audio/mp4=m4a").
struct Kind {
    const char *extensions;
    const char *types;
};

const Kind kinds[] = {
    {"jpg jpeg jpe jfif pjpeg pjp", "image/jpeg image/pjpeg image/jpg"},
    {"gif", "image/gif"},
    {"png apng", "image/png image/x-png image/apng=apng"},
    {"bmp dib", "image/bmp image/x-bmp image/x-ms-bmp"},
    {"webp", "image/webp"},
    {"avif", "image/avif"},
    {"heic heif", "image/heic image/heif=heif"},
    {"ico cur", "image/x-icon image/vnd.microsoft.icon image/ico image/icon"},
    {"svg svgz", "image/svg+xml"},
    {"swf", "application/x-shockwave-flash application/futuresplash"},
    {"flv f4v", "video/x-flv video/flv"},
    {"mp3 mpga mp2", "audio/mpeg audio/mp3 audio/mpeg3 audio/x-mpeg audio/x-mp3"},
    {"aac", "audio/aac audio/x-aac audio/aacp"},
    {"wma wmv asf",
     "audio/x-ms-wma video/x-ms-wmv=wmv video/x-ms-asf=asf application/vnd.ms-asf=asf"},
    {"mp4 m4a m4v m4s m4b mov 3gp 3g2",
     "video/mp4 audio/mp4=m4a audio/x-m4a=m4a video/x-m4v=m4v video/quicktime=mov "
     "video/3gpp=3gp audio/3gpp=3gp video/3gpp2=3g2 video/iso.segment=m4s"},
    {"webm mkv mka", "video/webm audio/webm video/x-matroska=mkv audio/x-matroska=mka"},
    {"ogg oga ogv opus ogx spx", "audio/ogg video/ogg=ogv application/ogg audio/opus=opus"},
    {"wav wave", "audio/wav audio/x-wav audio/wave audio/vnd.wave"},
    {"avi", "video/x-msvideo video/avi video/msvideo"},
    {"flac", "audio/flac audio/x-flac"},
    {"html htm xhtml xht shtml", "text/html application/xhtml+xml=xhtml"},
    {"js mjs", "text/javascript application/javascript application/x-javascript "
               "application/ecmascript text/ecmascript"},
    {"css", "text/css"},
    {"json", "application/json text/json"},
    {"xml xsl rss atom",
     "text/xml application/xml application/rss+xml=rss application/atom+xml=atom"},
    {"txt text", "text/plain"},
    {"pdf", "application/pdf"},
    {"woff", "font/woff application/font-woff"},
    {"woff2", "font/woff2"},
    {"ttf otf", "font/ttf font/otf=otf font/sfnt application/x-font-ttf"},
    {"wasm", "application/wasm"},
    {"m3u8", "application/vnd.apple.mpegurl application/x-mpegurl audio/mpegurl"},
    {"mpd", "application/dash+xml"},
    {"ts", "video/mp2t"},
    {"vtt", "text/vtt"},
};

const Kind *kindof(const QString &extension)
{
    const QString e = extension.toLower();
    if (e.isEmpty())
        return nullptr;
    for (const Kind &k : kinds)
        if (QString::fromLatin1(k.extensions).split(u' ').contains(e))
            return &k;
    return nullptr;
}

QString usual(const Kind &k)
{
    return QString::fromLatin1(k.extensions).section(u' ', 0, 0);
}

bool startswith(const QByteArray &h, qsizetype at, const char *bytes, qsizetype n)
{
    return h.size() >= at + n && std::memcmp(h.constData() + at, bytes, size_t(n)) == 0;
}

bool startswith(const QByteArray &h, const char *text)
{
    return startswith(h, 0, text, qsizetype(std::strlen(text)));
}

quint32 be32(const QByteArray &h, qsizetype at)
{
    return quint32(uchar(h[at])) << 24 | quint32(uchar(h[at + 1])) << 16 |
           quint32(uchar(h[at + 2])) << 8 | uchar(h[at + 3]);
}

// An ISO base media file: a first box "ftyp" (or a segment's "styp") and its brand.
QString isomedia(const QByteArray &h)
{
    constexpr quint32 mostbox = 4096;
    if (h.size() < 12 || (!startswith(h, 4, "ftyp", 4) && !startswith(h, 4, "styp", 4)))
        return {};
    const quint32 box = be32(h, 0);
    if (box < 12 || box > mostbox)
        return {};
    const QByteArray brand = h.mid(8, 4);
    if (brand == "avif" || brand == "avis")
        return QStringLiteral("avif");
    if (brand == "heic" || brand == "heix" || brand == "mif1" || brand == "msf1")
        return QStringLiteral("heic");
    if (brand == "M4A " || brand == "M4B ")
        return QStringLiteral("m4a");
    if (brand == "M4V ")
        return QStringLiteral("m4v");
    if (brand == "qt  ")
        return QStringLiteral("mov");
    if (brand.startsWith("3g2"))
        return QStringLiteral("3g2");
    if (brand.startsWith("3gp"))
        return QStringLiteral("3gp");
    return QStringLiteral("mp4");
}

QString riff(const QByteArray &h)
{
    if (h.size() < 12 || !startswith(h, "RIFF"))
        return {};
    const QByteArray form = h.mid(8, 4);
    if (form == "WEBP")
        return QStringLiteral("webp");
    if (form == "WAVE")
        return QStringLiteral("wav");
    if (form == "AVI ")
        return QStringLiteral("avi");
    return {};
}

// Markup, after any byte-order mark and blanks: SVG, or an HTML tag (the tags that WHATWG's
// sniffing takes for HTML, each ending in a blank or ">").
QString markup(const QByteArray &h)
{
    qsizetype at = startswith(h, "\xEF\xBB\xBF") ? 3 : 0;
    while (at < h.size() &&
           (h[at] == ' ' || h[at] == '\t' || h[at] == '\n' || h[at] == '\r' || h[at] == '\f'))
        ++at;
    const QByteArray rest = h.mid(at).toLower();
    if (rest.startsWith("<svg") || (rest.startsWith("<?xml") && rest.contains("<svg")))
        return QStringLiteral("svg");
    static const char *const tags[] = {"<!doctype html",
                                       "<html",
                                       "<head",
                                       "<script",
                                       "<iframe",
                                       "<h1",
                                       "<div",
                                       "<font",
                                       "<table",
                                       "<a",
                                       "<style",
                                       "<title",
                                       "<b",
                                       "<body",
                                       "<br",
                                       "<p",
                                       "<!--"};
    for (const char *tag : tags) {
        const qsizetype n = qsizetype(std::strlen(tag));
        if (rest.startsWith(tag) && rest.size() > n && (rest[n] == ' ' || rest[n] == '>'))
            return QStringLiteral("html");
    }
    return {};
}

QString images(const QByteArray &h)
{
    if (startswith(h, "\xFF\xD8\xFF"))
        return QStringLiteral("jpg");
    if (startswith(h, "\x89PNG\r\n\x1A\n"))
        return QStringLiteral("png");
    if (startswith(h, "GIF87a") || startswith(h, "GIF89a"))
        return QStringLiteral("gif");
    // "BM", then the file's size, four reserved zero bytes and where the pixels begin.
    if (h.size() >= 14 && startswith(h, "BM") && startswith(h, 6, "\0\0\0\0", 4))
        return QStringLiteral("bmp");
    // An icon directory: reserved zero, type 1 (icon), at least one image, its reserved byte 0.
    if (h.size() >= 10 && startswith(h, 0, "\0\0\1\0", 4) && (h[4] || h[5]) && h[9] == 0)
        return QStringLiteral("ico");
    return {};
}

} // namespace

QString extensionfrombytes(const QByteArray &h)
{
    if (QString kind = images(h); !kind.isEmpty())
        return kind;
    if (QString kind = riff(h); !kind.isEmpty())
        return kind;
    if (QString kind = isomedia(h); !kind.isEmpty())
        return kind;
    if (startswith(h, "\x1A\x45\xDF\xA3")) // EBML: the doctype says which
        return h.left(64).contains("webm") ? QStringLiteral("webm") : QStringLiteral("mkv");
    if (startswith(h, "OggS"))
        return QStringLiteral("ogg");
    if (startswith(h, "fLaC"))
        return QStringLiteral("flac");
    // ADTS: a frame sync with MPEG audio's layer bits zero, which mediasignature refuses.
    if (h.size() >= 4 && uchar(h[0]) == 0xFF && (uchar(h[1]) & 0xF6) == 0xF0)
        return QStringLiteral("aac");
    switch (mediasignature(reinterpret_cast<const unsigned char *>(h.constData()),
                           int(std::min<qsizetype>(h.size(), 64)))) {
    case MediaSignature::swf:
        return QStringLiteral("swf");
    case MediaSignature::flv:
        return QStringLiteral("flv");
    case MediaSignature::mp3:
        return QStringLiteral("mp3");
    case MediaSignature::asf:
        return QStringLiteral("wma");
    case MediaSignature::none:
        break;
    }
    if (startswith(h, "%PDF-"))
        return QStringLiteral("pdf");
    if (startswith(h, "wOFF"))
        return QStringLiteral("woff");
    if (startswith(h, "wOF2"))
        return QStringLiteral("woff2");
    if (startswith(h, 0, "\0asm", 4))
        return QStringLiteral("wasm");
    return markup(h);
}

QString extensionfromtype(const QString &contenttype)
{
    // Every row asks: the table is read into a map once.
    static const QHash<QString, QString> bytype = [] {
        QHash<QString, QString> map;
        for (const Kind &k : kinds)
            for (const QString &entry : QString::fromLatin1(k.types).split(u' ')) {
                const QString name = entry.section(u'=', 0, 0);
                if (!map.contains(name))
                    map.insert(name, entry.contains(u'=') ? entry.section(u'=', 1) : usual(k));
            }
        return map;
    }();
    const QString type = contenttype.section(u';', 0, 0).trimmed().toLower();
    return type.isEmpty() ? QString() : bytype.value(type);
}

bool samekind(const QString &a, const QString &b)
{
    const Kind *k = kindof(a);
    return k && k == kindof(b);
}

bool knownextension(const QString &extension)
{
    return kindof(extension) != nullptr;
}

} // namespace vellomar
