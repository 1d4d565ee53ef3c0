#include "manifest.h"

#include "cacherecords.h"
#include "digpass.h"
#include "platform.h"
#include "resourcetree.h"
#include "texts.h"

namespace vellomar {

namespace {

QString isotime(const QDateTime &t)
{
    return t.isValid() ? t.toUTC().toString(Qt::ISODate) : QString();
}

// What a spreadsheet opened on the file would run: the usual defence is a leading quote.
QString spreadsheetsafe(QString f)
{
    f.remove(QChar(0));
    static const QString formulastarts = QStringLiteral("=+-@\t\r");
    if (!f.isEmpty() && formulastarts.contains(f.front()))
        f.prepend(QLatin1Char('\''));
    return f;
}

} // namespace

ManifestLine manifestline(const QDateTime &time, const QString &folder, const QString &name,
                          const QString &type, DigOutcome outcome, const DigDetail &d,
                          const CacheRecord *record, const QString &downloaddir)
{
    const QString tree = downloaddir + texts::resourcefolder + separator();
    ManifestLine l;
    l.time = time;
    l.cachefolder = folder;
    l.cachefile = name;
    l.size = d.size;
    l.sha256 = QString::fromLatin1(d.sha256);
    l.cls = classname(classify(type));
    l.dugas = d.storedas.startsWith(tree) ? d.storedas.mid(tree.size()) : d.storedas;
    l.outcome = outcome == DigOutcome::copied ? QStringLiteral("copied")
                : outcome == DigOutcome::same ? QStringLiteral("same file kept")
                                              : QStringLiteral("failed: ") + d.reason;
    if (!d.note.isEmpty() && outcome == DigOutcome::copied)
        l.outcome += QStringLiteral("; ") + d.note;
    if (record) {
        l.address = record->address;
        l.contenttype = record->contenttype;
        l.lastmodified = record->lastmodified;
        l.lastaccessed = record->lastaccessed;
    }
    return l;
}

QStringList manifestcolumns()
{
    return {QStringLiteral("time"),          QStringLiteral("cache folder"),
            QStringLiteral("cache file"),    QStringLiteral("size"),
            QStringLiteral("sha256"),        QStringLiteral("class"),
            QStringLiteral("dug as"),        QStringLiteral("outcome"),
            QStringLiteral("address"),       QStringLiteral("content type"),
            QStringLiteral("last modified"), QStringLiteral("last accessed")};
}

QStringList manifestfields(const ManifestLine &l)
{
    return {isotime(l.time),
            l.cachefolder,
            l.cachefile,
            l.size >= 0 ? QString::number(l.size) : QString(),
            l.sha256,
            l.cls,
            l.dugas,
            l.outcome,
            l.address,
            l.contenttype,
            isotime(l.lastmodified),
            isotime(l.lastaccessed)};
}

QByteArray csvrecord(const QStringList &fields)
{
    QByteArray out;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            out += ',';
        const QByteArray f = spreadsheetsafe(fields[i]).toUtf8();
        if (f.contains(',') || f.contains('"') || f.contains('\n') || f.contains('\r')) {
            QByteArray q = f;
            q.replace('"', "\"\"");
            out += '"' + q + '"';
        } else {
            out += f;
        }
    }
    return out + "\r\n";
}

} // namespace vellomar
