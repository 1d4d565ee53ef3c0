#include "samplecache.h"

#include "swfwriter.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>

namespace vellomar::sample {

namespace {

QImage drawn(int width, int height, quint32 seed)
{
    QImage img(width, height, QImage::Format_RGB32);
    QPainter p(&img);
    QLinearGradient g(0, 0, width, height);
    g.setColorAt(0, QColor::fromHsv(int(seed * 47 % 360), 160, 240));
    g.setColorAt(1, QColor::fromHsv(int(seed * 89 % 360), 200, 120));
    p.fillRect(img.rect(), g);
    p.setPen(QPen(Qt::white, std::max(1, width / 80)));
    for (int i = 0; i < 8; ++i)
        p.drawEllipse(QPoint(width * (i + 1) / 9, height / 2), width / 12, height / 5);
    p.setFont(QFont(QStringLiteral("DejaVu Sans"), std::max(6, height / 10)));
    p.drawText(img.rect(), Qt::AlignCenter, QStringLiteral("Vellomar %1").arg(seed));
    return img;
}

QString foldername(QRandomGenerator &rng)
{
    static const char chars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QString s;
    for (int i = 0; i < 8; ++i)
        s += QLatin1Char(chars[rng.bounded(36)]);
    return s;
}

bool writetext(const QString &path, const QByteArray &text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
}

// The same picture for the same file name on every run: the sample's sizes (and the room each
// is padded to) do not depend on the random folder names or on the process's hash seed.
quint32 picturesseed(const QString &path)
{
    return quint32(qHash(QFileInfo(path).fileName(), 0));
}

} // namespace

bool writejpeg(const QString &path, int width, int height, int quality)
{
    return drawn(width, height, picturesseed(path)).save(path, "JPEG", quality);
}

bool writepng(const QString &path, int width, int height)
{
    return drawn(width, height, picturesseed(path)).save(path, "PNG");
}

bool writeswf(const QString &path)
{
    return writetext(path, makeswf(320, 240, 48));
}

bool writewithffmpeg(const QString &path, QString *error)
{
    const QString ext = QFileInfo(path).suffix().toLower();
    QStringList args{QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"),
                     QStringLiteral("error"), QStringLiteral("-y")};
    const QString video = QStringLiteral("testsrc=size=320x240:rate=15");
    const QString tone = QStringLiteral("sine=frequency=440:sample_rate=44100");
    if (ext == QLatin1String("gif")) {
        args << QStringLiteral("-f") << QStringLiteral("lavfi") << QStringLiteral("-i")
             << QStringLiteral("testsrc=size=160x120:rate=5") << QStringLiteral("-t")
             << QStringLiteral("2") << QStringLiteral("-f") << QStringLiteral("gif");
    } else if (ext == QLatin1String("mp3")) {
        args << QStringLiteral("-f") << QStringLiteral("lavfi") << QStringLiteral("-i") << tone
             << QStringLiteral("-t") << QStringLiteral("4") << QStringLiteral("-c:a")
             << QStringLiteral("libmp3lame") << QStringLiteral("-b:a") << QStringLiteral("64k")
             << QStringLiteral("-f") << QStringLiteral("mp3");
    } else if (ext == QLatin1String("wma")) {
        args << QStringLiteral("-f") << QStringLiteral("lavfi") << QStringLiteral("-i") << tone
             << QStringLiteral("-t") << QStringLiteral("4") << QStringLiteral("-c:a")
             << QStringLiteral("wmav2") << QStringLiteral("-b:a") << QStringLiteral("64k")
             << QStringLiteral("-f") << QStringLiteral("asf");
    } else if (ext == QLatin1String("flv")) {
        args << QStringLiteral("-f") << QStringLiteral("lavfi") << QStringLiteral("-i") << video
             << QStringLiteral("-f") << QStringLiteral("lavfi") << QStringLiteral("-i") << tone
             << QStringLiteral("-t") << QStringLiteral("4") << QStringLiteral("-c:v")
             << QStringLiteral("flv1") << QStringLiteral("-c:a") << QStringLiteral("libmp3lame")
             << QStringLiteral("-f") << QStringLiteral("flv");
    } else {
        if (error)
            *error = QStringLiteral("no recipe for ") + path;
        return false;
    }
    args << path;
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), args);
    if (!ffmpeg.waitForFinished(120000) || ffmpeg.exitStatus() != QProcess::NormalExit ||
        ffmpeg.exitCode() != 0) {
        if (error)
            *error = QStringLiteral("ffmpeg failed for %1: %2")
                         .arg(path, QString::fromLocal8Bit(ffmpeg.readAllStandardError()));
        return false;
    }
    return true;
}

bool padto(const QString &path, qint64 bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite) || f.size() > bytes)
        return false;
    return f.resize(bytes);
}

bool makesamplecache(const QString &folder, QString *error)
{
    const QString root = folder + QStringLiteral("/Content.IE5");
    QDir().mkpath(root);
    QRandomGenerator rng(quint32(QDateTime::currentMSecsSinceEpoch()));
    QStringList dirs;
    while (dirs.size() < 6) {
        const QString name = (dirs.size() == 5 ? QStringLiteral(".") : QString()) + foldername(rng);
        if (!dirs.contains(name) && QDir(root).mkdir(name))
            dirs << name;
    }
    const auto at = [&](int d, const QString &name) {
        return root + QLatin1Char('/') + dirs[d] + QLatin1Char('/') + name;
    };
    bool ok = true;
    QString why;
    const auto check = [&](bool step, const QString &what) {
        if (!step && ok) {
            ok = false;
            if (why.isEmpty())
                why = QStringLiteral("could not write ") + what;
        }
    };
    const auto media = [&](int d, const QString &name) {
        QString e;
        if (!writewithffmpeg(at(d, name), &e) && ok) {
            ok = false;
            why = e;
        }
    };

    check(writetext(root + QStringLiteral("/desktop.ini"),
                    "[.ShellClassInfo]\r\nUICLSID={7BD29E00-76C1-11CF-9DD0-00A0C9034933}\r\n"),
          QStringLiteral("desktop.ini"));
    QByteArray index("Client UrlCache MMF Ver 5.2");
    index.append(QByteArray(32768 - index.size(), '\0'));
    check(writetext(root + QStringLiteral("/index.dat"), index), QStringLiteral("index.dat"));

    // Folder 0: pictures and sound of every kind, and the files around them.
    check(writejpeg(at(0, QStringLiteral("photo[1].jpg")), 640, 480),
          QStringLiteral("photo[1].jpg"));
    check(writejpeg(at(0, QStringLiteral("PHOTO[2].JPG")), 800, 600),
          QStringLiteral("PHOTO[2].JPG"));
    check(writejpeg(at(0, QStringLiteral("clip[1].jpeg")), 1024, 768),
          QStringLiteral("clip[1].jpeg"));
    check(writejpeg(at(0, QStringLiteral("banner[1].jpg")), 728, 90),
          QStringLiteral("banner[1].jpg"));
    check(padto(at(0, QStringLiteral("banner[1].jpg")), 15 * 1024),
          QStringLiteral("banner[1].jpg"));
    media(0, QStringLiteral("logo[1].gif"));
    media(0, QStringLiteral("song[1].mp3"));
    check(writetext(at(0, QStringLiteral("index[1].htm")),
                    QByteArray("<html><head><title>cached</title></head><body>")
                        .append(QByteArray(12000, 'x'))
                        .append("</body></html>")),
          QStringLiteral("index[1].htm"));
    check(writetext(at(0, QStringLiteral("counter")), QByteArray(11 * 1024, 'c')),
          QStringLiteral("counter"));
    check(writetext(at(0, QStringLiteral(".hidden[1].jpg")), QByteArray(20 * 1024, 'h')),
          QStringLiteral(".hidden[1].jpg"));

    // Folder 1: Flash, video, WMA, PNG; the same logo as folder 0, byte for byte.
    check(writeswf(at(1, QStringLiteral("movie[1].swf"))), QStringLiteral("movie[1].swf"));
    check(padto(at(1, QStringLiteral("movie[1].swf")), 12 * 1024), QStringLiteral("movie[1].swf"));
    media(1, QStringLiteral("video[1].flv"));
    media(1, QStringLiteral("voice[1].wma"));
    check(writepng(at(1, QStringLiteral("icon[1].png")), 256, 256), QStringLiteral("icon[1].png"));
    check(padto(at(1, QStringLiteral("icon[1].png")), 40 * 1024), QStringLiteral("icon[1].png"));
    QFile::copy(at(0, QStringLiteral("logo[1].gif")), at(1, QStringLiteral("logo[1].gif")));
    check(
        writetext(at(1, QStringLiteral("script[1].js")), QByteArray("var x = 1;\n").repeated(1200)),
        QStringLiteral("script[1].js"));
    check(writetext(at(1, QStringLiteral("style[1].css")),
                    QByteArray("body { color: #333; }\n").repeated(600)),
          QStringLiteral("style[1].css"));

    // Folder 2: a different banner under the same name, a still GIF, a big photo.
    check(writejpeg(at(2, QStringLiteral("banner[1].jpg")), 468, 60),
          QStringLiteral("banner[1].jpg"));
    check(padto(at(2, QStringLiteral("banner[1].jpg")), 18 * 1024),
          QStringLiteral("banner[1].jpg"));
    check(writejpeg(at(2, QStringLiteral("wallpaper[1].jpg")), 3000, 2000, 92),
          QStringLiteral("wallpaper[1].jpg"));
    media(2, QStringLiteral("spinner[1].gif"));

    // Folders 3 and 4: pictures on both sides of every size step, 10K to 3M.
    static const int stepskb[] = {10, 20, 30, 50, 100, 200, 300, 500, 1024, 2048, 3072};
    int n = 0;
    for (int kb : stepskb) {
        for (int side : {-1, 1}) {
            const int d = 3 + (n++ % 2);
            const QString name = QStringLiteral("pic%1%2[1].jpg").arg(kb).arg(side < 0 ? "a" : "b");
            check(kb < 50 ? writejpeg(at(d, name), 96, 72, 60)
                          : writejpeg(at(d, name), 200 + kb % 300, 150),
                  name);
            check(padto(at(d, name), qint64(kb + side) * 1024), name);
        }
    }
    check(writeswf(at(4, QStringLiteral("ad[1].swf"))), QStringLiteral("ad[1].swf"));
    check(padto(at(4, QStringLiteral("ad[1].swf")), 25 * 1024), QStringLiteral("ad[1].swf"));

    // The hidden folder holds a little too.
    check(writejpeg(at(5, QStringLiteral("secret[1].jpg")), 320, 240),
          QStringLiteral("secret[1].jpg"));
    check(padto(at(5, QStringLiteral("secret[1].jpg")), 30 * 1024),
          QStringLiteral("secret[1].jpg"));

    if (!ok && error)
        *error = why;
    return ok;
}

} // namespace vellomar::sample
