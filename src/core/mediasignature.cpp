#include "mediasignature.h"

#include "platform.h"

#include <cstring>
#include <unistd.h>

namespace vellomar {

namespace {

bool mpegaudioframe(const unsigned char *h)
{
    return h[0] == 0xFF && (h[1] & 0xE0) == 0xE0 // frame sync
           && ((h[1] >> 3) & 3) != 1             // version not reserved
           && ((h[1] >> 1) & 3) != 0             // layer not reserved
           && (h[2] >> 4) != 0xF                 // bitrate not "bad"
           && ((h[2] >> 2) & 3) != 3;            // sample rate not reserved
}

} // namespace

MediaSignature mediasignature(const unsigned char *h, int size)
{
    static const unsigned char asf[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                          0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
    if (size >= 3 && h[1] == 'W' && h[2] == 'S' && (h[0] == 'F' || h[0] == 'C' || h[0] == 'Z'))
        return MediaSignature::swf;
    if (size >= 3 && std::memcmp(h, "FLV", 3) == 0)
        return MediaSignature::flv;
    if (size >= 3 && std::memcmp(h, "ID3", 3) == 0)
        return MediaSignature::mp3;
    if (size >= 4 && mpegaudioframe(h))
        return MediaSignature::mp3;
    if (size >= 16 && std::memcmp(h, asf, 16) == 0)
        return MediaSignature::asf;
    return MediaSignature::none;
}

MediaSignature mediasignature(const QString &path)
{
    std::error_code ec;
    const int fd = openplainfile(nativepath(path), nullptr, ec);
    if (fd < 0)
        return MediaSignature::none;
    unsigned char head[16] = {};
    const ssize_t got = ::pread(fd, head, sizeof head, 0);
    ::close(fd);
    return got > 0 ? mediasignature(head, int(got)) : MediaSignature::none;
}

bool audiomatches(const QString &path)
{
    return audiomatches(path, mediasignature(path));
}

bool audiomatches(const QString &name, MediaSignature s)
{
    const QString last = name.right(3).toLower();
    return (last == QLatin1String("mp3") && s == MediaSignature::mp3) ||
           (last == QLatin1String("wma") && s == MediaSignature::asf);
}

} // namespace vellomar
