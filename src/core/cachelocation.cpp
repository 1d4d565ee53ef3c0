#include "cachelocation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>

namespace vellomar {

CacheLookup cachelookupfromenvironment()
{
    const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    CacheLookup lookup;
    lookup.hascacheenv = env.contains(QStringLiteral("VELLOMAR_CACHE"));
    lookup.cacheenv = env.value(QStringLiteral("VELLOMAR_CACHE"));
    lookup.wineprefix = env.value(QStringLiteral("WINEPREFIX"));
    lookup.home = QDir::homePath();
    return lookup;
}

namespace {
int hexdigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}
} // namespace

QString unescaperegstring(QStringView s)
{
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c != u'\\' || i + 1 == s.size()) {
            out += c;
            continue;
        }
        const QChar e = s[++i];
        if (e == u'x') {
            qsizetype j = i + 1;
            uint unit = 0;
            int digit = 0;
            while (j < s.size() && j < i + 5 && (digit = hexdigit(s[j])) >= 0) {
                unit = unit * 16 + uint(digit);
                ++j;
            }
            if (j == i + 1) {
                out += e;
            } else {
                out += QChar(char16_t(unit));
                i = j - 1;
            }
        } else if (e == u'n') {
            out += QChar(u'\n');
        } else if (e == u'r') {
            out += QChar(u'\r');
        } else if (e == u't') {
            out += QChar(u'\t');
        } else if (e == u'0') {
            out += QChar(u'\0');
        } else {
            out += e; // "\\" and "\"" and anything else stand for themselves
        }
    }
    return out;
}

namespace {

// The text between the quotes that open at `from`, escapes kept; -1 end when unterminated.
qsizetype closingquote(QStringView line, qsizetype from)
{
    for (qsizetype i = from; i < line.size(); ++i) {
        if (line[i] == u'\\')
            ++i;
        else if (line[i] == u'"')
            return i;
    }
    return -1;
}

QString escapedkey(const QString &key)
{
    QString k = key;
    return k.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
}

} // namespace

QString regvalue(const QByteArray &regfile, const QString &key, const QString &name)
{
    const QString text = QString::fromUtf8(regfile);
    const QString header = QLatin1Char('[') + escapedkey(key) + QLatin1Char(']');
    bool inkey = false;
    for (QStringView line : QStringView(text).split(u'\n')) {
        line = line.trimmed();
        if (line.startsWith(u'[')) {
            inkey = line.startsWith(header, Qt::CaseInsensitive);
            continue;
        }
        if (!inkey || !line.startsWith(u'"'))
            continue;
        const qsizetype nameend = closingquote(line, 1);
        if (nameend < 0)
            continue;
        if (unescaperegstring(line.sliced(1, nameend - 1)).compare(name, Qt::CaseInsensitive) != 0)
            continue;
        QStringView rest = line.sliced(nameend + 1).trimmed();
        if (!rest.startsWith(u'='))
            continue;
        rest = rest.sliced(1).trimmed();
        if (rest.startsWith(u"str(2):"))
            rest = rest.sliced(7);
        if (!rest.startsWith(u'"'))
            continue;
        const qsizetype valueend = closingquote(rest, 1);
        if (valueend < 0)
            continue;
        return unescaperegstring(rest.sliced(1, valueend - 1));
    }
    return QString();
}

namespace {

// The child of `dir` named `part`, exactly if present, else the first differing only in case.
QString childnamed(const QString &dir, const QString &part)
{
    const QString exact = dir + QLatin1Char('/') + part;
    if (QFileInfo::exists(exact))
        return exact;
    const QStringList entries =
        QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &e : entries) {
        if (e.compare(part, Qt::CaseInsensitive) == 0)
            return dir + QLatin1Char('/') + e;
    }
    return exact;
}

} // namespace

QString winepathtolocal(const QString &prefix, const QString &winpath)
{
    if (winpath.size() < 2 || winpath[1] != u':' || !winpath[0].isLetter())
        return QString();
    const QString drive = winpath.left(2).toLower();
    QString root = prefix + QStringLiteral("/dosdevices/") + drive;
    if (!QFileInfo(root).isDir()) {
        if (drive != QLatin1String("c:"))
            return QString();
        root = prefix + QStringLiteral("/drive_c");
    }
    QString path = QFileInfo(root).canonicalFilePath();
    if (path.isEmpty())
        path = root;
    const QStringList parts = winpath.mid(2).split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        if (part == QLatin1String(".") || part == QLatin1String(".."))
            return QString();
        path = childnamed(path, part);
    }
    return path;
}

QString findcachefolder(const CacheLookup &lookup)
{
    if (lookup.hascacheenv) {
        QString value = lookup.cacheenv;
        while (value.size() > 1 && value.endsWith(QLatin1Char('/')))
            value.chop(1);
        return value;
    }
    const QString prefix =
        lookup.wineprefix.isEmpty() ? lookup.home + QStringLiteral("/.wine") : lookup.wineprefix;
    QFile reg(prefix + QStringLiteral("/user.reg"));
    if (!reg.open(QIODevice::ReadOnly))
        return QString();
    const QString winpath = regvalue(
        reg.readAll(),
        QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"),
        QStringLiteral("Cache"));
    if (winpath.isEmpty())
        return QString();
    return winepathtolocal(prefix, winpath);
}

} // namespace vellomar
