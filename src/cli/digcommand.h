#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <vector>

class QTextStream;

namespace vellomar {

struct FormatReader;

// What vellomar-dig was asked to do.
struct DigOptions {
    QString place;
    QString dest;  // empty: the window's download directory
    QString cache; // a number from --find's list (from 1) or a cache's path; empty: the only one
    bool allcaches = false;
    int type = 1; // the window's type options, 所有音画 by default
    qint64 minkb = 10;
    qint64 maxkb = 92160;
    QStringList folders; // empty: every listed sub-folder
    bool list = false, find = false, json = false, dryrun = false, quiet = false;
    bool sitelayout = false;
};

// Exit statuses.
enum DigStatus { digok = 0, digfailures = 1, digusage = 2, dignocache = 3 };

// Runs the command; `progress` is whether to draw a progress bar on `err`.
int rundig(const DigOptions &options, QTextStream &out, QTextStream &err, bool progress);
// The same with the browser caches' readers given (formatreaders() above).
int rundig(const DigOptions &options, QTextStream &out, QTextStream &err, bool progress,
           const std::vector<FormatReader> &readers);

// "10K", "1M", "90M", "2G", or a number of kilobytes; -1 when it is none of these.
qint64 parsesize(const QString &text);
// The type option named (all, media, pictures, flv, jpg, gif, audio, swf); -1 for none.
int parsetype(const QString &name);

} // namespace vellomar
