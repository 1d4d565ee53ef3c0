#include "hostilecache.h"

#include "samplecache.h"
#include "swfwriter.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <cstdio>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace vellomar::test {

namespace {

QByteArray cut(const QByteArray &whole, int keep)
{
    return whole.left(keep);
}

QByteArray fileat(const QString &path)
{
    return readcontent(path);
}

bool makesocket(const QString &path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const QByteArray p = QFile::encodeName(path);
    if (size_t(p.size()) >= sizeof(addr.sun_path)) {
        ::close(fd);
        return false;
    }
    std::memcpy(addr.sun_path, p.constData(), size_t(p.size()));
    const bool ok = ::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)) == 0;
    ::close(fd);
    return ok;
}

} // namespace

QByteArray loopingindex()
{
    QByteArray bytes = fileat(QStringLiteral(VELLOMAR_TESTDATA "/iecache/Content.IE5/index.dat"));
    // The same damage the fuzzing round found, from the same seeded sequence.
    QRandomGenerator random(20091210);
    for (int round = 0; round <= 198; ++round) {
        QByteArray flipped = bytes;
        const int flips = 1 + int(random.bounded(40));
        for (int i = 0; i < flips; ++i) {
            const int at = int(random.bounded(quint32(flipped.size())));
            flipped[at] = char(flipped[at] ^ (1 << random.bounded(8)));
        }
        if (round == 198)
            return flipped;
    }
    return {};
}

bool HostileCache::make(const QString &r, const QString &o)
{
    root = r;
    outside = o;
    const QString ie5 = root + "/Content.IE5";
    QDir().mkpath(ie5);
    QDir().mkpath(outside);
    folders = {"BROKEN01", "NAMES002", "LINKS003"};
    for (const QString &f : folders)
        QDir(ie5).mkdir(f);
    bool ok = true;
    const auto put = [&](const QString &path, const QByteArray &content) {
        ok = writecontent(path, content) && ok;
    };

    // Records that make the reading library loop for ever.
    put(ie5 + "/index.dat", loopingindex());

    // Real media to cut short.
    QTemporaryDir scratch;
    const QString s = scratch.path();
    ok = sample::writejpeg(s + "/a.jpg", 800, 600) && ok;
    ok = sample::writepng(s + "/a.png", 300, 200) && ok;
    for (const char *n : {"a.gif", "a.mp3", "a.wma", "a.flv"})
        ok = sample::writewithffmpeg(s + "/" + n) && ok;
    const QByteArray swf = sample::makeswf(200, 150, 24);

    const QString b = ie5 + "/BROKEN01/";
    for (const char *ext : {"jpg", "gif", "png", "swf", "flv", "mp3", "wma"})
        put(b + QStringLiteral("empty[1].") + ext, QByteArray());
    put(b + "cut[1].jpg", cut(fileat(s + "/a.jpg"), 700).append(QByteArray(11000, '\0')));
    put(b + "cut[1].gif", cut(fileat(s + "/a.gif"), 300).append(QByteArray(11000, '\x01')));
    put(b + "cut[1].png", cut(fileat(s + "/a.png"), 100).append(QByteArray(11000, '\x02')));
    put(b + "cut[1].flv", cut(fileat(s + "/a.flv"), 4000).append(QByteArray(8000, '\0')));
    put(b + "cut[1].mp3", cut(fileat(s + "/a.mp3"), 2000).append(QByteArray(10000, '\xff')));
    put(b + "cut[1].wma", cut(fileat(s + "/a.wma"), 3000).append(QByteArray(9000, '\0')));
    put(b + "cut[1].swf", cut(swf, 40).append(QByteArray(11000, '\0')));
    put(b + "cws[1].swf", QByteArray("CWS\x0a\xff\xff\xff\x7f", 8) + QByteArray(11000, '\x9c'));
    put(b + "zws[1].swf", QByteArray("ZWS\x0d\x00\x00\x10\x00", 8) + QByteArray(11000, '\x5d'));
    put(b + "lying[1].swf", QByteArray("FWS\x08\xff\xff\xff\xff", 8) + QByteArray(11000, '\0'));
    put(b + "page[1].jpg", QByteArray("<html><script>alert(1)</script></html>").repeated(300));
    QByteArray png =
        QByteArray::fromHex("89504e470d0a1a0a0000000d494844520000ea600000ea600806000000");
    png += QByteArray::fromHex("7c3bb58a"); // a header that claims 60000 x 60000
    put(b + "huge[1].png", png + QByteArray(11000, '\0'));
    put(b + "huge[1].gif",
        QByteArray("GIF89a") + QByteArray::fromHex("60ea60ea000000") + QByteArray(11000, '\0'));
    put(b + "huge[2].jpg", QByteArray::fromHex("ffd8ffc0001108ea60ea6003012200021101031101") +
                               QByteArray(11000, '\0'));
    put(b + "reach[1].swf",
        sample::makeswf(200, 150, 12, "http://127.0.0.1:9/reach").append(QByteArray(11000, '\0')));

    const QString n = ie5 + "/NAMES002/";
    const QByteArray jpeg = fileat(s + "/a.jpg");
    for (const char *name : {"with space[1].jpg", "quote\"s[1].jpg", "$(touch pwned)[1].jpg",
                             "`id`[1].gif", "100%[1].jpg", "-rf[1].jpg", "图片[1].jpg",
                             "emoji😀[1].jpg", "semi;colon[1].jpg", "new\nline[1].jpg"})
        put(n + QString::fromUtf8(name), jpeg);
    put(n + QString(246, QLatin1Char('x')) + ".jpg", jpeg); // 250 bytes
    invalidname = QFile::encodeName(n) + "bad\xff\xfe[1].jpg";
    if (FILE *f = std::fopen(invalidname.constData(), "w")) {
        std::fwrite(jpeg.constData(), 1, size_t(jpeg.size()), f);
        std::fclose(f);
    } else {
        ok = false;
    }

    const QString l = ie5 + "/LINKS003/";
    put(outside + "/target.jpg", jpeg);
    QDir().mkpath(outside + "/folder");
    put(outside + "/folder/inside.jpg", jpeg);
    ok = QFile::link(outside + "/target.jpg", l + "link[1].jpg") && ok;
    ok = QFile::link(outside + "/folder", ie5 + "/LINKEDDIR") && ok;
    ok = ::mkfifo(QFile::encodeName(l + "fifo[1].jpg").constData(), 0600) == 0 && ok;
    ok = makesocket(l + "sock[1].mp3") && ok;
    put(l + "plain[1].jpg", jpeg);
    return ok;
}

} // namespace vellomar::test
