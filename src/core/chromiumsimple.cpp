#include "chromiumsimple.h"

#include "chromiumhttp.h"
#include "crc32.h"

#include <QCryptographicHash>
#include <QtEndian>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>

namespace vellomar {

namespace {

// net/disk_cache/simple/simple_entry_format.h
constexpr uint64_t initialmagic = 0xfcfb6d1ba7725c30ULL;
constexpr uint64_t finalmagic = 0xf4fa6f45970d41d8ULL;
constexpr uint64_t sparserangemagic = 0xeb97bf016553676bULL;
constexpr uint32_t entryversion = 5;
constexpr uint32_t sparseversion = 1;
enum EofFlag : uint32_t { hascrc32 = 1u << 0, haskeysha256 = 1u << 1 };
constexpr long long keysha256size = 32;

// The records are C structs written as they lie in memory: a 64-bit build pads them to 8 bytes,
// an i386 build does not.
struct Layout {
    long long header;      // SimpleFileHeader
    long long eof;         // SimpleFileEOF
    long long sparserange; // SimpleFileSparseRangeHeader
};
constexpr Layout widelayout{24, 24, 32};
constexpr Layout narrowlayout{20, 20, 28};

// Beyond what Chromium writes: URLs stop at 2 MiB and a key holds at most three of them;
// response info is headers and a certificate chain, a few KB.
constexpr long long mostkeylength = 8LL << 20;
constexpr long long moststream0size = 8LL << 20;
// A range is at least one network read; this covers several GB of media.
constexpr int mostsparseranges = 1 << 18;
// The first reads of an entry, as a listing of files would read them: from its end, stream 0 and
// both end records when the response came without a certificate chain; from its start, the
// header and the key.
constexpr long long tailread = 4096;
constexpr long long headread = 1024;

constexpr int hashdigits = 16;

uint32_t le32(const char *p)
{
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return qFromLittleEndian(v);
}

uint64_t le64(const char *p)
{
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return qFromLittleEndian(v);
}

struct Eof {
    uint32_t flags = 0;
    uint32_t crc = 0;
    uint32_t streamsize = 0;
};

Eof parseeof(const char *p)
{
    return {le32(p + 8), le32(p + 12), le32(p + 16)};
}

// The bytes of a file: its start and its end read once each into a buffer kept from one entry
// to the next, the rest only when asked for.
class Reader
{
  public:
    Reader(const ReadOnlyFile &file, std::vector<char> &buffer)
        : m_file(file), m_size(file.size()), m_buffer(buffer)
    {
        m_buffer.resize(size_t(headread + std::min(m_size, tailread)));
    }
    long long size() const { return m_size; }
    bool readends(std::error_code &ec)
    {
        const long long n = std::min(m_size, tailread);
        m_tailstart = m_size - n;
        if (!readall(m_buffer.data() + headread, n, m_tailstart, ec))
            return false;
        m_headsize = std::min(m_tailstart, headread);
        return readall(m_buffer.data(), m_headsize, 0, ec);
    }
    // Reads the end again, from `offset`: what follows is then held.
    bool widen(long long offset, std::error_code &ec)
    {
        const long long n = m_size - offset;
        m_buffer.resize(size_t(headread + n));
        m_tailstart = offset;
        return readall(m_buffer.data() + headread, n, offset, ec);
    }
    bool holds(long long offset, long long count) const
    {
        return offset >= m_tailstart && count <= m_size - offset;
    }
    // `count` bytes from `offset`. Those already read are not copied: they last as long as the
    // buffer is left alone.
    QByteArray bytes(long long offset, long long count, std::error_code &ec) const
    {
        if (holds(offset, count))
            return QByteArray::fromRawData(m_buffer.data() + headread + (offset - m_tailstart),
                                           qsizetype(count));
        if (offset >= 0 && count <= m_headsize - offset)
            return QByteArray::fromRawData(m_buffer.data() + offset, qsizetype(count));
        return m_file.read(offset, count, ec);
    }

  private:
    bool readall(char *to, long long count, long long offset, std::error_code &ec) const
    {
        while (count > 0) {
            const long long n = m_file.readat(to, count, offset, ec);
            if (n <= 0) {
                if (!ec)
                    ec = std::make_error_code(std::errc::io_error); // shorter than it was
                return false;
            }
            to += n;
            offset += n;
            count -= n;
        }
        return true;
    }
    const ReadOnlyFile &m_file;
    long long m_size;
    std::vector<char> &m_buffer;
    long long m_tailstart = 0, m_headsize = 0;
};

bool isentryfile(const std::string &name, char suffix)
{
    if (name.size() != hashdigits + 2 || name[hashdigits] != '_' || name[hashdigits + 1] != suffix)
        return false;
    return std::all_of(name.begin(), name.begin() + hashdigits, [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    });
}

QString nameinstore(const std::string &folder, const std::string &name)
{
    std::string::size_type slash = folder.find_last_of('/');
    std::string own = slash == std::string::npos ? folder : folder.substr(slash + 1);
    return QString::fromStdString(own.empty() ? name : own + "/" + name);
}

// A stream-0-and-1 file: the key, the body's place and the response info.
struct EntryFile {
    Layout layout;
    QByteArray key;
    long long bodyoffset = 0, bodylength = 0;
    QByteArray stream0;
};

// The file's name is the first 8 bytes of the key's SHA-1, as a little-endian number in hex.
bool nameiskeyhash(const std::string &name, const QByteArray &key)
{
    const QByteArray sha1 = QCryptographicHash::hash(key, QCryptographicHash::Sha1);
    const uint64_t hash = le64(sha1.constData());
    return QByteArray::fromStdString(name.substr(0, hashdigits)).toLower() ==
           QByteArray::number(qulonglong(hash), 16).rightJustified(hashdigits, '0');
}

bool readentryfile(const ReadOnlyFile &file, const std::string &name, std::vector<char> &buffer,
                   EntryFile &out, QString &why)
{
    auto fail = [&why](const QString &text) {
        why = text;
        return false;
    };
    Reader reader(file, buffer);
    const long long size = reader.size();
    std::error_code ec;
    if (size < narrowlayout.header + 2 * narrowlayout.eof)
        return fail(QStringLiteral("too short for an entry"));
    if (!reader.readends(ec))
        return fail(QStringLiteral("cannot be read: %1").arg(QString::fromStdString(ec.message())));
    // Stream 0's end record closes the file; where its magic lies tells the layout.
    QByteArray last = reader.bytes(size - widelayout.eof, widelayout.eof, ec);
    if (ec)
        return fail(QStringLiteral("cannot be read"));
    Layout layout;
    if (le64(last.constData()) == finalmagic)
        layout = widelayout;
    else if (le64(last.constData() + widelayout.eof - narrowlayout.eof) == finalmagic)
        layout = narrowlayout;
    else
        return fail(QStringLiteral("has no end record"));
    const Eof eof0 = parseeof(last.constData() + widelayout.eof - layout.eof);

    QByteArray header = reader.bytes(0, layout.header, ec);
    if (ec)
        return fail(QStringLiteral("cannot be read"));
    if (le64(header.constData()) != initialmagic)
        return fail(QStringLiteral("is not an entry file"));
    const uint32_t version = le32(header.constData() + 8);
    if (version != entryversion)
        return fail(QStringLiteral("entry version %1 is not read").arg(version));
    const long long keylength = le32(header.constData() + 12);
    const long long stream0size = eof0.streamsize;
    const long long keysha = (eof0.flags & haskeysha256) ? keysha256size : 0;
    if (keylength > mostkeylength)
        return fail(QStringLiteral("key is longer than any URL"));
    if (stream0size > moststream0size)
        return fail(QStringLiteral("response info is larger than any Chromium writes"));
    const long long fixed = layout.header + 2 * layout.eof + keysha;
    if (fixed + keylength + stream0size > size)
        return fail(QStringLiteral("key and response info run past the file's end"));
    const long long stream1size = size - fixed - keylength - stream0size;
    const long long stream0offset = layout.header + keylength + stream1size + layout.eof;

    // Stream 0 and the records around it in one read; bounded above by the checks on its size.
    if (!reader.holds(stream0offset - layout.eof, size - stream0offset + layout.eof) &&
        !reader.widen(stream0offset - layout.eof, ec))
        return fail(QStringLiteral("cannot be read"));
    QByteArray eof1 = reader.bytes(stream0offset - layout.eof, layout.eof, ec);
    if (ec)
        return fail(QStringLiteral("cannot be read"));
    if (le64(eof1.constData()) != finalmagic)
        return fail(QStringLiteral("body's end record is missing: the sizes lie"));

    QByteArray stream0 = reader.bytes(stream0offset, stream0size + keysha, ec);
    QByteArray key = ec ? QByteArray() : reader.bytes(layout.header, keylength, ec);
    if (ec)
        return fail(QStringLiteral("cannot be read"));
    if ((eof0.flags & hascrc32) && crc32(stream0.constData(), size_t(stream0size)) != eof0.crc)
        return fail(QStringLiteral("response info fails its CRC"));
    if (keysha && QCryptographicHash::hash(key, QCryptographicHash::Sha256) !=
                      QByteArrayView(stream0).sliced(qsizetype(stream0size)))
        return fail(QStringLiteral("key fails its SHA-256"));
    if (!nameiskeyhash(name, key))
        return fail(QStringLiteral("file name is not its key's hash"));
    out.layout = layout;
    out.key = QByteArray(key.constData(), key.size()); // off the buffer
    out.bodyoffset = layout.header + keylength;
    out.bodylength = stream1size;
    out.stream0 = QByteArray(stream0.constData(), qsizetype(stream0size));
    return true;
}

struct SparseRange {
    uint64_t offset; // in the body
    uint64_t length;
    long long fileoffset; // of its bytes in the _s file
};

// The body of a sparse file, from offset 0 as far as its ranges are contiguous.
bool readsparsefile(const ReadOnlyFile &file, const std::string &path, const Layout &layout,
                    const QByteArray &key, std::vector<BodyPiece> &pieces, QString &why)
{
    auto fail = [&why](const QString &text) {
        why = text;
        return false;
    };
    const long long size = file.size();
    std::error_code ec;
    if (size < layout.header)
        return fail(QStringLiteral("sparse file is too short"));
    QByteArray header = file.read(0, layout.header, ec);
    if (ec)
        return fail(QStringLiteral("sparse file cannot be read"));
    if (le64(header.constData()) != initialmagic)
        return fail(QStringLiteral("sparse file is not one"));
    if (le32(header.constData() + 8) != sparseversion)
        return fail(
            QStringLiteral("sparse file version %1 is not read").arg(le32(header.constData() + 8)));
    if (le32(header.constData() + 12) != uint32_t(key.size()) ||
        size - layout.header < key.size() || file.read(layout.header, key.size(), ec) != key)
        return fail(QStringLiteral("sparse file is another entry's"));

    std::vector<SparseRange> ranges;
    long long at = layout.header + key.size();
    while (at < size) {
        if (ranges.size() == size_t(mostsparseranges))
            return fail(
                QStringLiteral("sparse file has more than %1 ranges").arg(mostsparseranges));
        if (size - at < layout.sparserange)
            return fail(QStringLiteral("sparse file ends inside a range's header"));
        QByteArray range = file.read(at, layout.sparserange, ec);
        if (ec)
            return fail(QStringLiteral("sparse file cannot be read"));
        if (le64(range.constData()) != sparserangemagic)
            return fail(QStringLiteral("sparse range %1 has no magic").arg(ranges.size()));
        const uint64_t offset = le64(range.constData() + 8);
        const uint64_t length = le64(range.constData() + 16);
        const long long dataat = at + layout.sparserange;
        if (length > uint64_t(size - dataat))
            return fail(
                QStringLiteral("sparse range %1 runs past the file's end").arg(ranges.size()));
        if (offset > uint64_t(INT64_MAX) - length)
            return fail(QStringLiteral("sparse range %1 lies past any body").arg(ranges.size()));
        ranges.push_back({offset, length, dataat});
        at = dataat + (long long)length;
    }

    std::stable_sort(ranges.begin(), ranges.end(), [](const SparseRange &a, const SparseRange &b) {
        return a.offset < b.offset;
    });
    uint64_t reached = 0;
    for (const SparseRange &r : ranges) {
        if (r.offset > reached)
            break; // a gap: what follows is not this body's next bytes
        if (r.offset + r.length <= reached)
            continue;
        const uint64_t skip = reached - r.offset;
        pieces.push_back({path, r.fileoffset + (long long)skip, (long long)(r.length - skip)});
        reached = r.offset + r.length;
    }
    return true;
}

} // namespace

bool issimplecache(const ReadOnlyFs &fs, const std::string &folder)
{
    std::vector<FsEntry> entries;
    std::error_code ec;
    if (!fs.list(folder, entries, ec))
        return false;
    bool indexdir = false;
    for (const FsEntry &e : entries) {
        if (e.kind == FsEntry::file && isentryfile(e.name, '0'))
            return true;
        if (e.kind == FsEntry::folder && e.name == "index-dir")
            indexdir = true;
    }
    return indexdir && fs.open(fsjoin(folder, "index-dir/the-real-index"), ec) != nullptr;
}

std::vector<CacheEntry> readsimplecache(const ReadOnlyFs &fs, const std::string &folder,
                                        ReadReport *report)
{
    std::vector<CacheEntry> result;
    auto leaveout = [&](const std::string &name, const QString &why) {
        if (report)
            report->leftout.push_back({nameinstore(folder, name), why});
    };
    std::vector<FsEntry> entries;
    std::error_code ec;
    if (!fs.list(folder, entries, ec)) {
        leaveout("", QStringLiteral("the folder cannot be read: %1")
                         .arg(QString::fromStdString(ec.message())));
        return result;
    }
    std::sort(entries.begin(), entries.end(),
              [](const FsEntry &a, const FsEntry &b) { return a.name < b.name; });
    std::vector<char> buffer;
    std::map<std::string, FsEntry::Kind> sparsefiles;
    for (const FsEntry &e : entries)
        if (isentryfile(e.name, 's'))
            sparsefiles[e.name] = e.kind;

    for (const FsEntry &e : entries) {
        if (!isentryfile(e.name, '0'))
            continue;
        if (e.kind != FsEntry::file) {
            leaveout(e.name, QStringLiteral("is not a plain file"));
            continue;
        }
        const std::string path = fsjoin(folder, e.name);
        std::unique_ptr<ReadOnlyFile> file = fs.open(path, ec);
        if (!file) {
            leaveout(
                e.name,
                QStringLiteral("cannot be opened: %1").arg(QString::fromStdString(ec.message())));
            continue;
        }
        EntryFile entryfile;
        QString why;
        if (!readentryfile(*file, e.name, buffer, entryfile, why)) {
            leaveout(e.name, why);
            continue;
        }
        ChromiumResponseInfo info;
        if (!readresponseinfo(entryfile.stream0, info, why)) {
            leaveout(e.name, why);
            continue;
        }
        CacheEntry entry;
        entry.key = entryfile.key;
        entry.address = chromiumkeyaddress(entryfile.key);
        entry.responsehead = std::move(info.responsehead);
        entry.httpstatus = info.httpstatus;
        entry.requesttime = info.requesttime;
        entry.responsetime = info.responsetime;
        entry.storedat = nameinstore(folder, e.name);
        if (entryfile.bodylength > 0) {
            entry.body.push_back({path, entryfile.bodyoffset, entryfile.bodylength});
        } else {
            std::string sparse = e.name.substr(0, hashdigits) + "_s";
            auto found = sparsefiles.find(sparse);
            if (found != sparsefiles.end() && found->second != FsEntry::file) {
                leaveout(sparse, QStringLiteral("is not a plain file"));
                continue;
            }
            if (found != sparsefiles.end()) {
                std::unique_ptr<ReadOnlyFile> sf = fs.open(fsjoin(folder, sparse), ec);
                if (!sf) {
                    leaveout(sparse, QStringLiteral("cannot be opened: %1")
                                         .arg(QString::fromStdString(ec.message())));
                    continue;
                }
                if (!readsparsefile(*sf, fsjoin(folder, sparse), entryfile.layout, entryfile.key,
                                    entry.body, why)) {
                    leaveout(sparse, why);
                    continue;
                }
            }
        }
        for (const BodyPiece &p : entry.body)
            entry.storedsize += p.length;
        result.push_back(std::move(entry));
    }
    return result;
}

} // namespace vellomar
