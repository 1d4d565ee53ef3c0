#pragma once

#include <QString>

namespace vellomar::sample {

// Writes a browser cache of the "Content.IE5" kind into `folder`/Content.IE5: six sub-folders
// with made-up eight-character names (one hidden), real media of every class and files of
// other kinds, named as that browser names them, with sizes on both sides of every size step
// up to 3 MB. Needs ffmpeg for the sound and video files. False with `error` set on failure.
bool makesamplecache(const QString &folder, QString *error = nullptr);

// The pieces, for tests that build their own caches.
bool writejpeg(const QString &path, int width, int height, int quality = 85);
bool writepng(const QString &path, int width, int height);
bool writeswf(const QString &path);
// Runs ffmpeg to make a GIF (animated when frames > 1), MP3, WMA or FLV of a few seconds.
bool writewithffmpeg(const QString &path, QString *error = nullptr);
// Appends zeros until the file holds exactly `bytes` (decoders ignore what follows the data).
bool padto(const QString &path, qint64 bytes);

} // namespace vellomar::sample
