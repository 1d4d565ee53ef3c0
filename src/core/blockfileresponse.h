#pragma once

// What Chromium's HTTP cache puts into a disk-cache entry: the key (the URL, perhaps behind
// credential, upload and partition prefixes) and stream 0, the pickled HttpResponseInfo.

#include <QByteArray>
#include <QDateTime>

namespace vellomar::blockfile {

struct ResponseInfo {
    QDateTime requesttime, responsetime; // UTC
    QByteArray head;                     // status line and headers, "\r\n"-separated
    int httpstatus = 0;
};

// The URL in an HTTP cache key: "url", "post/url", "credential/post/url", each optionally with
// a "_dk_<site> <site> " partition before the URL.
QByteArray urlfromkey(const QByteArray &key);

// Stream 0's pickle: false when it is not one this reader understands.
bool parseresponseinfo(const QByteArray &pickle, ResponseInfo &info);

// Chromium's time (microseconds since 1601-01-01 UTC); invalid when not positive.
QDateTime chromiumtime(qint64 microseconds);

} // namespace vellomar::blockfile
