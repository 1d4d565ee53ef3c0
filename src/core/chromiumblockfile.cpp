#include "chromiumblockfile.h"

#include "blockfileaddr.h"
#include "blockfilefiles.h"
#include "chromiumhttp.h"

#include <array>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

namespace vellomar {

using namespace blockfile;

namespace {

// The index: IndexHeader, then the hash table of CacheAddr, one per bucket.
constexpr quint32 indexmagic = 0xC103CAC3;
constexpr quint32 version20 = 0x20000, version21 = 0x20001, version30 = 0x30000;
constexpr int indexheadersize = 368;
constexpr int headerversionat = 4, headerentriesat = 8, headertablelengthat = 28;
constexpr qint32 defaulttablelength = 0x10000;
constexpr qint64 mostbuckets = 1 << 22;
// However the chains run, no more entries than this are read from one cache.
constexpr size_t mostentries = 1 << 20;

// EntryStore, 256 bytes at the start of its 1 to 4 blocks in a 256-byte block file.
constexpr int entrynextat = 4, entrystateat = 20, entrykeylengthat = 32, entrylongkeyat = 36;
constexpr int entrysizesat = 40, entryaddressesat = 56, entryflagsat = 72, entrykeyat = 96;
constexpr int streamcount = 4;
constexpr int mostinlinekey = 4 * 256 - entrykeyat - 1; // beyond it the key has an address
constexpr qint64 mostkeybytes = 4 << 20;
constexpr qint64 mostheadbytes = 4 << 20;
// Many records may name one long key or one stream 0: what is kept of them all is bounded.
constexpr qint64 mostkeptbytes = 256 << 20;
enum EntryState { entrynormal = 0, entryevicted = 1, entrydoomed = 2 };
enum EntryFlags { parententry = 1, childentry = 2 };
enum Stream { headstream = 0, bodystream = 1, sparsestream = 2 };

// Sparse data: the parent's and children's SparseHeader in stream 2, the data in the children's
// stream 1, 1 MiB a child, written in blocks of 1 KiB that a bitmap after the header marks.
constexpr int sparseheadersize = 64;
constexpr int sparsemagicat = 8, sparsekeylengthat = 12, sparselastblockat = 16,
              sparselastlengthat = 20;
constexpr int childbitmapbits = 1024;
constexpr int sparseblock = 1024;
constexpr qint64 childspan = 1 << 20;
constexpr int mostchildren = 8 * 8 * 1024; // the parent's map of children is at most 8 KiB
constexpr char childprefix[] = "Range_";

template <typename T> T at(const QByteArray &bytes, int offset)
{
    T v{};
    if (offset >= 0 && offset + int(sizeof(T)) <= bytes.size())
        std::memcpy(&v, bytes.constData() + offset, sizeof(T));
    return v;
}

struct Record {
    Addr self;
    QByteArray key;
    qint32 state = 0;
    quint32 flags = 0;
    std::array<qint32, streamcount> sizes{};
    std::array<Addr, streamcount> addresses{};
    QString problem; // why it cannot be read, when it cannot
};

class Reader
{
  public:
    Reader(const ReadOnlyFs &fs, const std::string &folder, ReadReport *report)
        : m_fs(fs), m_folder(folder), m_files(fs, folder), m_report(report)
    {
    }
    std::vector<CacheEntry> run();

  private:
    void leave(const QString &storedat, const QString &reason)
    {
        if (m_report)
            m_report->leftout.push_back({storedat, reason});
    }
    bool readtable(std::vector<quint32> &table);
    void walk(const std::vector<quint32> &table);
    Record record(Addr self, const QByteArray &bytes);
    bool row(const Record &r, CacheEntry &e, QString &storedat, QString &why);
    bool sparsebody(const Record &parent, CacheEntry &e, QString &why);

    const ReadOnlyFs &m_fs;
    std::string m_folder;
    CacheFiles m_files;
    ReadReport *m_report;
    std::vector<Record> m_records;
    std::unordered_map<std::string, size_t> m_children; // by key
    qint64 m_keybytes = 0, m_headbytes = 0;
};

QString place(Addr a)
{
    return QString::fromStdString(a.place());
}

bool Reader::readtable(std::vector<quint32> &table)
{
    std::error_code ec;
    const auto index = m_fs.open(fsjoin(m_folder, "index"), ec);
    const QByteArray header = index ? index->read(0, indexheadersize, ec) : QByteArray();
    if (header.size() != indexheadersize || at<quint32>(header, 0) != indexmagic) {
        leave(QStringLiteral("index"), QStringLiteral("index is not a blockfile cache's index"));
        return false;
    }
    const quint32 version = at<quint32>(header, headerversionat);
    if (version != version20 && version != version21 && version != version30) {
        leave(QStringLiteral("index"), QStringLiteral("version %1.%2 of the blockfile cache is "
                                                      "not read")
                                           .arg(version >> 16)
                                           .arg(version & 0xffff));
        return false;
    }
    qint64 length = at<qint32>(header, headertablelengthat);
    if (length <= 0)
        length = defaulttablelength;
    const qint64 held = (index->size() - indexheadersize) / 4;
    if (length > held || length > mostbuckets) {
        leave(QStringLiteral("index"), QStringLiteral("index ends before its table does"));
        length = std::min(held, mostbuckets);
    }
    const QByteArray bytes = index->read(indexheadersize, length * 4, ec);
    if (ec) {
        leave(QStringLiteral("index"), QStringLiteral("index cannot be read"));
        return false;
    }
    table.resize(size_t(length));
    if (length > 0)
        std::memcpy(table.data(), bytes.constData(), size_t(length) * 4);
    return true;
}

Record Reader::record(Addr self, const QByteArray &bytes)
{
    Record r;
    r.self = self;
    r.state = at<qint32>(bytes, entrystateat);
    r.flags = at<quint32>(bytes, entryflagsat);
    for (int i = 0; i < streamcount; ++i) {
        r.sizes[i] = at<qint32>(bytes, entrysizesat + 4 * i);
        r.addresses[i] = Addr(at<quint32>(bytes, entryaddressesat + 4 * i));
    }
    const qint32 keylength = at<qint32>(bytes, entrykeylengthat);
    if (keylength < 0)
        r.problem = QStringLiteral("its key's length is negative");
    else if (keylength > mostkeybytes)
        r.problem = QStringLiteral("its key is longer than %1 bytes").arg(mostkeybytes);
    else if (m_keybytes + keylength > mostkeptbytes)
        r.problem = QStringLiteral("the cache's keys pass %1 bytes").arg(mostkeptbytes);
    else if (keylength <= mostinlinekey) {
        if (entrykeyat + keylength > bytes.size())
            r.problem = QStringLiteral("its key runs past its blocks");
        else
            r.key = bytes.mid(entrykeyat, keylength);
    } else {
        QString why;
        if (!m_files.read(Addr(at<quint32>(bytes, entrylongkeyat)), keylength, r.key, why))
            r.problem = QStringLiteral("its key cannot be read: %1").arg(why);
    }
    m_keybytes += r.key.size();
    return r;
}

void Reader::walk(const std::vector<quint32> &table)
{
    std::unordered_set<quint32> seen;
    for (size_t bucket = 0; bucket < table.size(); ++bucket) {
        Addr a(table[bucket]), previous;
        // Where the address came from: the bucket, or the entry before it in the chain.
        auto from = [&] {
            return previous.value() ? place(previous)
                                    : QStringLiteral("index bucket %1").arg(bucket);
        };
        while (a.value() != 0) {
            if (m_records.size() >= mostentries) {
                leave(
                    from(),
                    QStringLiteral("more than %1 entries; the rest are not read").arg(mostentries));
                return;
            }
            if (!seen.insert(a.value()).second) {
                leave(from(), QStringLiteral("the chain of entries loops"));
                break;
            }
            if (!a.valid() || a.type() != FileType::block256) {
                leave(from(), QStringLiteral("an entry's address is not valid"));
                break;
            }
            QByteArray bytes;
            QString why;
            if (!m_files.read(a, a.span(), bytes, why)) {
                leave(place(a), why);
                break;
            }
            m_records.push_back(record(a, bytes));
            previous = a;
            a = Addr(at<quint32>(bytes, entrynextat));
        }
    }
}

bool Reader::sparsebody(const Record &parent, CacheEntry &e, QString &why)
{
    QByteArray header;
    if (!m_files.read(parent.addresses[sparsestream], sparseheadersize, header, why))
        return false;
    const quint64 signature = at<quint64>(header, 0);
    if (at<quint32>(header, sparsemagicat) != indexmagic ||
        at<qint32>(header, sparsekeylengthat) != parent.key.size()) {
        why = QStringLiteral("its sparse header is not valid");
        return false;
    }
    const std::string prefix = childprefix + parent.key.toStdString() + ':' +
                               QByteArray::number(signature, 16).toStdString() + ':';
    for (int child = 0; child < mostchildren; ++child) {
        const auto found = m_children.find(prefix + QByteArray::number(child, 16).toStdString());
        QString problem;
        QByteArray data;
        if (found == m_children.end()) {
            problem = QStringLiteral("its first range is missing");
        } else {
            const Record &c = m_records[found->second];
            if (!c.problem.isEmpty())
                problem = c.problem;
            else if (c.sizes[sparsestream] < sparseheadersize + childbitmapbits / 8)
                problem = QStringLiteral("its first range has no map of its blocks");
            else
                m_files.read(c.addresses[sparsestream], sparseheadersize + childbitmapbits / 8,
                             data, problem);
            if (problem.isEmpty() && (at<quint64>(data, 0) != signature ||
                                      at<quint32>(data, sparsemagicat) != indexmagic))
                problem = QStringLiteral("its first range belongs to another entry");
        }
        if (!problem.isEmpty()) {
            if (child == 0)
                why = problem;
            return child > 0;
        }
        const Record &c = m_records[found->second];
        // The blocks written from the child's start, then a last partial block.
        int blocks = 0;
        while (blocks < childbitmapbits &&
               (at<quint32>(data, sparseheadersize + blocks / 32 * 4) >> (blocks % 32)) & 1)
            ++blocks;
        qint64 length = qint64(blocks) * sparseblock;
        const qint32 lastlength = at<qint32>(data, sparselastlengthat);
        if (at<qint32>(data, sparselastblockat) == blocks && lastlength > 0 &&
            lastlength < sparseblock)
            length += lastlength;
        length = std::min<qint64>(length, std::max(c.sizes[bodystream], 0));
        BodyPiece piece;
        if (length == 0 || !m_files.locate(c.addresses[bodystream], length, piece, problem)) {
            if (child == 0)
                why = length == 0 ? QStringLiteral("its first range is empty") : problem;
            return child > 0;
        }
        e.body.push_back(piece);
        e.storedsize += length;
        if (length < childspan)
            break;
    }
    return true;
}

bool Reader::row(const Record &r, CacheEntry &e, QString &storedat, QString &why)
{
    storedat = place(r.self);
    if (!r.problem.isEmpty()) {
        why = r.problem;
        return false;
    }
    if (r.state != entrynormal) {
        why = r.state == entryevicted  ? QStringLiteral("the entry was evicted")
              : r.state == entrydoomed ? QStringLiteral("the entry was doomed")
                                       : QStringLiteral("the entry's state is not known");
        return false;
    }
    e.key = r.key;
    e.address = chromiumkeyaddress(r.key);
    const qint32 headsize = r.sizes[headstream];
    QByteArray pickle;
    QString unused, notread;
    ChromiumResponseInfo info;
    if (headsize > 0 && headsize <= mostheadbytes && m_headbytes + headsize <= mostkeptbytes &&
        m_files.read(r.addresses[headstream], headsize, pickle, unused) &&
        readresponseinfo(pickle, info, notread)) {
        m_headbytes += info.responsehead.size();
        e.responsehead = info.responsehead;
        e.httpstatus = info.httpstatus;
        e.requesttime = info.requesttime;
        e.responsetime = info.responsetime;
    }
    const qint32 bodysize = r.sizes[bodystream];
    if (bodysize != 0) {
        if (r.addresses[bodystream].valid())
            storedat = place(r.addresses[bodystream]);
        BodyPiece piece;
        if (!m_files.locate(r.addresses[bodystream], bodysize, piece, why))
            return false;
        e.body.push_back(piece);
        e.storedsize = bodysize;
    } else if ((r.flags & parententry) && r.sizes[sparsestream] >= sparseheadersize) {
        if (!sparsebody(r, e, why))
            return false;
    }
    e.storedat = storedat;
    return true;
}

std::vector<CacheEntry> Reader::run()
{
    std::vector<CacheEntry> entries;
    std::vector<quint32> table;
    if (!readtable(table))
        return entries;
    walk(table);
    for (size_t i = 0; i < m_records.size(); ++i) {
        const Record &r = m_records[i];
        if ((r.flags & childentry) || r.key.startsWith(childprefix))
            m_children.emplace(r.key.toStdString(), i);
    }
    for (const Record &r : m_records) {
        if ((r.flags & childentry) || r.key.startsWith(childprefix))
            continue;
        CacheEntry e;
        QString storedat, why;
        if (row(r, e, storedat, why))
            entries.push_back(std::move(e));
        else
            leave(storedat, why);
    }
    return entries;
}

QByteArray indexheader(const ReadOnlyFs &fs, const std::string &folder)
{
    std::error_code ec;
    const auto index = fs.open(fsjoin(folder, "index"), ec);
    QByteArray header = index ? index->read(0, indexheadersize, ec) : QByteArray();
    return header.size() == indexheadersize && at<quint32>(header, 0) == indexmagic ? header
                                                                                    : QByteArray();
}

} // namespace

bool isblockfilecache(const ReadOnlyFs &fs, const std::string &folder)
{
    return !indexheader(fs, folder).isEmpty();
}

std::vector<CacheEntry> readblockfilecache(const ReadOnlyFs &fs, const std::string &folder,
                                           ReadReport *report)
{
    return Reader(fs, folder, report).run();
}

int blockfileentrycount(const ReadOnlyFs &fs, const std::string &folder)
{
    const QByteArray header = indexheader(fs, folder);
    return header.isEmpty() ? -1 : std::max(0, at<qint32>(header, headerentriesat));
}

} // namespace vellomar
