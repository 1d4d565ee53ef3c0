// A cache entry's row name: the address's last segment made safe, its extension put right by
// the content type and the first bytes.
#include "contentkind.h"
#include "entryname.h"

#include <QtTest>

using namespace vellomar;

namespace {

const QByteArray jpeg("\xFF\xD8\xFF\xE0\0\x10JFIF\0", 11);
const QByteArray png("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16);
const QByteArray gif("GIF89a\x01\0\x01\0", 10);
const QByteArray html("\xEF\xBB\xBF\n  <!DOCTYPE html><html>");

QByteArray box(const char *type, const char *brand)
{
    return QByteArray("\0\0\0\x18", 4) + type + brand + QByteArray("\0\0\0\0", 4);
}

} // namespace

class TestEntryName : public QObject
{
    Q_OBJECT

  private slots:
    void names_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("name");
        const QByteArray none;
        QTest::newRow("as it is") << "https://a.example/img/photo.jpg"
                                  << "image/jpeg" << jpeg << "photo.jpg";
        QTest::newRow("query left out") << "https://a.example/photo.jpg?w=100#top"
                                        << "" << jpeg << "photo.jpg";
        QTest::newRow("case kept") << "https://a.example/LOGO.JPEG"
                                   << "" << jpeg << "LOGO.JPEG";
        QTest::newRow("escapes undone") << "https://a.example/%E5%9B%BE%20a.png"
                                        << "" << png << QString::fromUtf8("图 a.png");
        QTest::newRow("unsafe characters") << "https://a.example/a%3Ab%2A%3F%22.gif"
                                           << "" << gif << "a_b___.gif";
        QTest::newRow("escaped slash splits") << "https://a.example/x%2Fy.gif"
                                              << "" << gif << "y.gif";
        QTest::newRow("reserved device name") << "https://a.example/con.gif"
                                              << "" << gif << "_con.gif";
        QTest::newRow("hidden") << "https://a.example/.htaccess"
                                << "text/plain" << none << "_.htaccess.txt";
        QTest::newRow("no extension, from the type")
            << "https://a.example/image"
            << "image/png; charset=x" << none << "image.png";
        QTest::newRow("no extension, from the bytes")
            << "https://a.example/image"
            << "application/octet-stream" << gif << "image.gif";
        QTest::newRow("no extension, the bytes over a lying type")
            << "https://a.example/image"
            << "image/png" << jpeg << "image.jpg";
        QTest::newRow("no extension, nothing known")
            << "https://a.example/blob"
            << "application/octet-stream" << none << "blob";
        QTest::newRow("a server's extension") << "https://a.example/photo.php?id=3"
                                              << "" << jpeg << "photo.php.jpg";
        QTest::newRow("a server's extension, from the type")
            << "https://a.example/page.aspx"
            << "text/html" << none << "page.aspx.html";
        QTest::newRow("not an extension") << "https://a.example/build.v2"
                                          << "text/javascript" << none << "build.v2.js";
        QTest::newRow("a contradicting extension") << "https://a.example/logo.gif"
                                                   << "image/gif" << png << "logo.gif.png";
        QTest::newRow("an error page under a picture's name")
            << "https://a.example/logo.jpg"
            << "image/jpeg" << html << "logo.jpg.html";
        QTest::newRow("one kind, other name") << "https://a.example/photo.jpeg"
                                              << "image/jpeg" << jpeg << "photo.jpeg";
        QTest::newRow("the type alone contradicts nothing") << "https://a.example/photo.jpg"
                                                            << "text/html" << none << "photo.jpg";
        QTest::newRow("bytes say nothing")
            << "https://a.example/app.js"
            << "text/javascript" << QByteArray("var x = 1;") << "app.js";
        QTest::newRow("the type tells the kind closer")
            << "https://a.example/track"
            << "audio/mp4" << box("ftyp", "isom") << "track.m4a";
        QTest::newRow("asf under wmv")
            << "https://a.example/clip.wmv"
            << "" << QByteArray::fromHex("3026B2758E66CF11A6D900AA0062CE6C") << "clip.wmv";
        QTest::newRow("a folder") << "https://Www.A.example/dir/"
                                  << "text/html" << none << "www.a.example_index.html";
        QTest::newRow("the root") << "https://a.example"
                                  << "" << none << "a.example_index";
        QTest::newRow("the root, the bytes") << "https://a.example/"
                                             << "" << gif << "a.example_index.gif";
        QTest::newRow("nothing left once safe") << "https://a.example/%2e%2e"
                                                << "" << png << "a.example_index.png";
        QTest::newRow("no host") << "data:image/png;base64,iVBORw0KGgo="
                                 << "image/png" << none << "index.png";
        QTest::newRow("not an address") << ""
                                        << "" << none << "index";
        const QString longname = QString(300, u'x');
        QTest::newRow("long") << "https://a.example/" + longname << "image/gif" << none
                              << QString(200, u'x') + ".gif";
    }
    void names()
    {
        QFETCH(QString, address);
        QFETCH(QString, type);
        QFETCH(QByteArray, bytes);
        QTEST(entryname(address, type, bytes), "name");
    }

    // Each signature, and what comes close to one without being it.
    void signatures_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("extension");
        QTest::newRow("jpeg") << jpeg << "jpg";
        QTest::newRow("png") << png << "png";
        QTest::newRow("gif87a") << QByteArray("GIF87a..") << "gif";
        QTest::newRow("gif, wrong version") << QByteArray("GIF90a..") << "";
        QTest::newRow("bmp") << QByteArray("BM\x36\0\0\0\0\0\0\0\x36\0\0\0", 14) << "bmp";
        QTest::newRow("bm text") << QByteArray("BMW is a car maker") << "";
        QTest::newRow("webp") << QByteArray("RIFF\0\0\0\0WEBPVP8 ", 16) << "webp";
        QTest::newRow("wav") << QByteArray("RIFF\0\0\0\0WAVEfmt ", 16) << "wav";
        QTest::newRow("avi") << QByteArray("RIFF\0\0\0\0AVI LIST", 16) << "avi";
        QTest::newRow("riff of another form") << QByteArray("RIFF\0\0\0\0CDDAfmt ", 16) << "";
        QTest::newRow("ico") << QByteArray("\0\0\1\0\1\0\x10\x10\0\0", 10) << "ico";
        QTest::newRow("ico of no images") << QByteArray("\0\0\1\0\0\0\x10\x10\0\0", 10) << "";
        QTest::newRow("swf") << QByteArray("FWS\x0A") << "swf";
        QTest::newRow("swf, zlib") << QByteArray("CWS\x0A") << "swf";
        QTest::newRow("swf, lzma") << QByteArray("ZWS\x0D") << "swf";
        QTest::newRow("flv") << QByteArray("FLV\x01\x05") << "flv";
        QTest::newRow("mp3, id3") << QByteArray("ID3\x03\0") << "mp3";
        QTest::newRow("mp3, frame") << QByteArray("\xFF\xFB\x90\x64", 4) << "mp3";
        QTest::newRow("aac, adts") << QByteArray("\xFF\xF1\x50\x80", 4) << "aac";
        QTest::newRow("asf") << QByteArray::fromHex("3026B2758E66CF11A6D900AA0062CE6C") << "wma";
        QTest::newRow("mp4") << box("ftyp", "isom") << "mp4";
        QTest::newRow("m4a") << box("ftyp", "M4A ") << "m4a";
        QTest::newRow("mov") << box("ftyp", "qt  ") << "mov";
        QTest::newRow("avif") << box("ftyp", "avif") << "avif";
        QTest::newRow("dash segment") << box("styp", "msdh") << "mp4";
        QTest::newRow("ftyp of a huge box") << QByteArray("\x7F\0\0\0ftypisom", 12) << "";
        QTest::newRow("webm") << QByteArray("\x1A\x45\xDF\xA3\x9F\x42\x82\x84webm") << "webm";
        QTest::newRow("matroska") << QByteArray("\x1A\x45\xDF\xA3\x9F\x42\x82\x88matroska")
                                  << "mkv";
        QTest::newRow("ogg") << QByteArray("OggS\0\x02") << "ogg";
        QTest::newRow("flac") << QByteArray("fLaC\0\0\0\x22") << "flac";
        QTest::newRow("pdf") << QByteArray("%PDF-1.4") << "pdf";
        QTest::newRow("woff2") << QByteArray("wOF2\0\1\0\0") << "woff2";
        QTest::newRow("svg") << QByteArray("<svg xmlns=\"http://www.w3.org/2000/svg\">") << "svg";
        QTest::newRow("svg after xml")
            << QByteArray("<?xml version=\"1.0\"?>\n<!-- x -->\n<svg width=\"1\">") << "svg";
        QTest::newRow("other xml") << QByteArray("<?xml version=\"1.0\"?><rss>") << "";
        QTest::newRow("html") << html << "html";
        QTest::newRow("html, a tag") << QByteArray("\r\n<P>hello") << "html";
        QTest::newRow("html comment") << QByteArray("<!-- x -->") << "html";
        QTest::newRow("not a tag") << QByteArray("<body-part>") << "";
        QTest::newRow("text") << QByteArray("hello") << "";
        QTest::newRow("empty") << QByteArray() << "";
        QTest::newRow("cut jpeg") << QByteArray("\xFF\xD8") << "";
    }
    void signatures()
    {
        QFETCH(QByteArray, bytes);
        QTEST(extensionfrombytes(bytes), "extension");
    }

    void types_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("extension");
        QTest::newRow("jpeg") << "image/jpeg"
                              << "jpg";
        QTest::newRow("parameters, case") << " Image/GIF ; x=y"
                                          << "gif";
        QTest::newRow("preferred") << "video/x-ms-wmv"
                                   << "wmv";
        QTest::newRow("flash") << "application/x-shockwave-flash"
                               << "swf";
        QTest::newRow("script") << "application/javascript"
                                << "js";
        QTest::newRow("css") << "text/css"
                             << "css";
        QTest::newRow("octet stream") << "application/octet-stream"
                                      << "";
        QTest::newRow("unknown") << "application/x-unknown"
                                 << "";
        QTest::newRow("empty") << ""
                               << "";
    }
    void types()
    {
        QFETCH(QString, type);
        QTEST(extensionfromtype(type), "extension");
    }
};

QTEST_GUILESS_MAIN(TestEntryName)
#include "tst_entryname.moc"
