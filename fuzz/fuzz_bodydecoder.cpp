// A stored body read decoded. The input's first byte picks the Content-Encoding (its low three
// bits) and how many pieces the body is cut into (the next two); the rest is the body, which
// also stands as the response head and the address to name it by.
#include "bodydecoder.h"
#include "entryname.h"
#include "httphead.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

using namespace vellomar;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    static const char *const encodings[8] = {"",     "gzip",     "deflate", "br",
                                             "zstd", "gzip, br", "x-gzip",  "zstd, deflate"};
    const QByteArray stored(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    MemoryFs fs;
    fs.add("f", QByteArray("head") + stored + "tail");
    CacheEntry e;
    e.contentencoding = QString::fromLatin1(encodings[data[0] & 7]);
    const int pieces = ((data[0] >> 3) & 3) + 1;
    const long long each = stored.size() / pieces + 1;
    for (long long at = 0; at < stored.size(); at += each)
        e.body.push_back({"f", 4 + at, std::min<long long>(each, stored.size() - at)});
    e.storedsize = stored.size();

    BodyReader r;
    std::error_code ec;
    long long decoded = -1;
    if (r.open(fs, e, ec)) {
        std::vector<char> buf(64 * 1024);
        long long total = 0, n;
        while ((n = r.read(buf.data(), (long long)buf.size(), ec)) > 0)
            total += n;
        if (n == 0)
            decoded = total;
        else if (r.failure().isEmpty())
            abort(); // a body in memory cannot fail to be read
    }
    if (decoded < 0) {
        if (!r.openstored(fs, e, ec))
            abort();
        std::vector<char> buf(4096);
        long long total = 0, n;
        while ((n = r.read(buf.data(), (long long)buf.size(), ec)) > 0)
            total += n;
        if (n != 0 || total != stored.size())
            abort(); // the stored bytes always read back whole
    }
    if (decoded > e.storedsize * BodyReader::mostratio || decoded > BodyReader::mostdecoded)
        abort();
    const long long hint = decodedsizehint(fs, e);
    // A zstd frame's declared size is checked by the decoder: when both are known they agree.
    if (e.contentencoding == QLatin1String("zstd") && hint >= 0 && decoded >= 0 && hint != decoded)
        abort();

    e.responsehead = stored;
    fillfromhead(e);
    iswholeresponse(e);
    entryname(QString::fromUtf8(stored.left(2048)), e.contenttype, stored.left(64));
    return 0;
}
