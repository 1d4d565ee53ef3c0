#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <vector>

namespace vellomar {

// One line of 挖到的资源/manifest.csv: one file a dig went through.
struct ManifestLine {
    QDateTime time;      // when it was dug
    QString cachefolder; // the cache sub-folder's path
    QString cachefile;   // the file's name there
    qint64 size = -1;
    QString sha256;  // of the bytes read; empty when they could not be read
    QString cls;     // the class folder's name
    QString dugas;   // relative to 挖到的资源, "/"-separated; empty when it has none
    QString outcome; // "copied", "same file kept", "failed: <reason>"
    QString address, contenttype;
    QDateTime lastmodified, lastaccessed;
};

struct CacheRecord;
struct DigDetail;
enum class DigOutcome;

// The line of one file a dig went through: `folder` is the cache folder it came from, `record`
// what the cache says of it (none: null).
ManifestLine manifestline(const QDateTime &time, const QString &folder, const QString &name,
                          const QString &type, DigOutcome outcome, const DigDetail &detail,
                          const CacheRecord *record, const QString &downloaddir);

// The header line's fields.
QStringList manifestcolumns();
// A line's fields as written: times in UTC, ISO 8601.
QStringList manifestfields(const ManifestLine &line);
// One CSV record (RFC 4180): fields with a comma, quote or line break are quoted, quotes doubled;
// ends with CR LF. A field a spreadsheet would take for a formula (one beginning with "=", "+",
// "-", "@", a tab or a carriage return) gets a leading "'"; NUL characters are dropped.
QByteArray csvrecord(const QStringList &fields);

} // namespace vellomar
