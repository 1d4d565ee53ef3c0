#pragma once

#include <QString>

namespace vellomar {

// What a file's first bytes say it is. A cached file's name says nothing: a playlist or a
// manifest under a media name would send a player to the network.
enum class MediaSignature {
    none,
    swf, // "FWS", "CWS" or "ZWS"
    flv, // "FLV"
    mp3, // an ID3 tag or an MPEG audio frame header
    asf, // the ASF header object (WMA)
};

// Read through a plain-file open: links, FIFOs and devices give none.
MediaSignature mediasignature(const QString &path);
MediaSignature mediasignature(const unsigned char *head, int size);

// Whether an audio row's bytes are what its name's last three characters ("mp3", "wma") say.
bool audiomatches(const QString &path);
// The same for a name and the signature of bytes read otherwise.
bool audiomatches(const QString &name, MediaSignature s);

} // namespace vellomar
