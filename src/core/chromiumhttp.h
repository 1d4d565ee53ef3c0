#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace vellomar {

// What Chromium's HTTP cache keeps beside a body, whatever the disk format holding it.

// The URL a cache key was made for: keys are the URL alone, or "<digits>/<digits>/" (credentials,
// upload) before it, or that and "_dk_<top-frame site> <frame site> " for a partitioned cache
// (other partitions' prefixes begin with '_' too).
QString chromiumkeyaddress(const QByteArray &key);

// The parts of a pickled HttpResponseInfo the program uses.
struct ChromiumResponseInfo {
    QByteArray responsehead; // each line ended by "\r\n", status line first
    int httpstatus = 0;
    QDateTime requesttime, responsetime; // UTC; invalid when zero
};

// Reads the pickle's flags, times and raw headers; false, with `why`, when it does not hold
// them. Never reads past `pickle`.
bool readresponseinfo(const QByteArray &pickle, ChromiumResponseInfo &info, QString &why);

} // namespace vellomar
