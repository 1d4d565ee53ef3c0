#pragma once

#include "cacheentry.h"

#include <QByteArray>

namespace vellomar {

// The value of the header `name` (case-insensitive) in a "\r\n"-separated response head, its
// repeats joined with ", " as HTTP allows; empty when the head has none.
QByteArray headervalue(const QByteArray &head, const QByteArray &name);

// The status of a response head's first line ("HTTP/1.1 200 OK", "HTTP/2 404", each with or
// without its line end); 0 when it is no status line.
int statusofhead(const QByteArray &head);
// Fills httpstatus, contenttype and contentencoding from e.responsehead. The status comes from
// an "HTTP/x 200 …" first line; the content type is the last Content-Type's media type alone,
// lower-case (empty when it names none, as "*/*" or a bare word does); the encoding is the
// Content-Encoding list, lower-case, each item trimmed, "identity" and empty items left out
// ("gzip, br": gzip applied first). What the head does not hold is left as it was: a reader
// may know it from elsewhere.
void fillfromhead(CacheEntry &e);

// Whether the entry is a response worth a row. Not: an empty body, 1xx, any 3xx (redirects and
// 304 keep no body of their own), 4xx and 5xx (error pages, not the thing asked for). A 2xx
// with a body is; a 206 only when its bytes begin at the resource's start: Content-Range
// "bytes 0-…", or none (a sparse entry, which readers assemble from byte 0 only). An entry with
// no status line at all but a body counts as whole: the body is all the format kept.
bool iswholeresponse(const CacheEntry &e);

} // namespace vellomar
