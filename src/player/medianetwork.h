#pragma once

#include <QString>

namespace vellomar {

// The media framework of this process reads local files only: before the first player is made,
// every element that fetches from the network (sources for http, rtsp, rtmp, mms, udp, tcp and
// the like, and the adaptive-streaming demuxers that would follow a playlist) is taken out of
// its registry. Safe to call any number of times; false when the framework cannot be reached.
bool removenetworksources();

// Whether the framework could still make a source element for `uri` (for tests and checks).
bool canreaduri(const QString &uri);

} // namespace vellomar
