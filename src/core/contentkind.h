#pragma once

#include <QByteArray>
#include <QString>

namespace vellomar {

// The kinds of content a cache holds, each under its usual extension ("jpg") and the others it
// goes by ("jpeg", "jfif"); extensions of one kind are one kind whatever their case.

// What a body's first bytes say it is, as its usual extension: JPEG, PNG, GIF, BMP, WebP, ICO,
// SVG, SWF, FLV, MP3 (an ID3 tag or an MPEG audio frame), AAC, ASF, MP4 and its kin, WebM and
// Matroska, Ogg, WAV, AVI, FLAC, PDF, WOFF, WebAssembly, HTML. Empty when they say nothing
// certain (scripts, style sheets and plain text have no signature).
QString extensionfrombytes(const QByteArray &head);

// A Content-Type's media type (parameters allowed) as an extension; empty for one not known,
// and for types that say nothing of the bytes ("application/octet-stream").
QString extensionfromtype(const QString &contenttype);

// Whether two extensions name one kind ("jpg" and "JPEG"; "wma" and "asf").
bool samekind(const QString &a, const QString &b);

// Whether an extension names a kind of content at all ("php" or "aspx" say nothing of it).
bool knownextension(const QString &extension);

} // namespace vellomar
