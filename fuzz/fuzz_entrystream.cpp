// An entry's stored pieces read from a hostile cache: a file "pieces" lists them, one
// "path offset length" a line, over the input's other files. No read past a file's end, no
// allocation from a length, every read bounded.
#include "entrystream.h"
#include "fuzzinput.h"

#include <sstream>

using namespace vellomar;

namespace {
constexpr size_t mostpieces = 256;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const MemoryFs fs = fuzz::memoryfs(data, size);
    std::error_code ec;
    const std::unique_ptr<ReadOnlyFile> list = fs.open("pieces", ec);
    if (!list)
        return 0;
    const QByteArray text = list->read(0, list->size(), ec);
    std::istringstream in(text.toStdString());
    std::vector<BodyPiece> body;
    BodyPiece p;
    while (body.size() < mostpieces && in >> p.file >> p.offset >> p.length)
        body.push_back(p);
    QString why;
    std::unique_ptr<PieceStream> s = PieceStream::open(fs, body, {}, why);
    if (!s)
        return 0;
    const long long want = storedlength(body);
    long long got = 0;
    char buffer[4096];
    for (size_t step = 1;; ++step) {
        const long long n = s->read(buffer, (long long)(step % sizeof buffer) + 1, ec);
        if (n <= 0)
            break;
        got += n;
        if (got > want)
            __builtin_trap(); // more bytes than the pieces hold
    }
    if (got != want)
        __builtin_trap(); // every piece lies within its file: all of it is read
    return 0;
}
