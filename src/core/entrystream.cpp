#include "entrystream.h"

#include <algorithm>
#include <limits>

namespace vellomar {

FileStamp stampof(const ReadOnlyFile &file)
{
    FileStamp s;
    s.size = file.size();
    if (file.fd() >= 0)
        s.identity = fileidentity(file.fd());
    return s;
}

long long storedlength(const std::vector<BodyPiece> &body)
{
    long long total = 0;
    for (const BodyPiece &p : body) {
        if (p.offset < 0 || p.length < 0 ||
            p.length > (std::numeric_limits<long long>::max)() - total)
            return -1;
        total += p.length;
    }
    return total;
}

std::unique_ptr<PieceStream> PieceStream::open(const ReadOnlyFs &fs,
                                               const std::vector<BodyPiece> &body,
                                               const std::map<std::string, FileStamp> &stamps,
                                               QString &why)
{
    if (storedlength(body) < 0) {
        why = QStringLiteral("the stored body's length is impossible");
        return nullptr;
    }
    std::unique_ptr<PieceStream> s(new PieceStream);
    std::map<std::string, size_t> opened;
    for (const BodyPiece &p : body) {
        auto at = opened.find(p.file);
        if (at == opened.end()) {
            std::error_code ec;
            std::unique_ptr<ReadOnlyFile> f = fs.open(p.file, ec);
            if (!f) {
                why = QString::fromLocal8Bit(ec.message().c_str());
                return nullptr;
            }
            File file{p.file, std::move(f), {}};
            file.stamp = stampof(*file.file);
            const auto listed = stamps.find(p.file);
            if (listed != stamps.end() && !(listed->second == file.stamp)) {
                why = QStringLiteral("changed since it was listed");
                return nullptr;
            }
            s->m_files.push_back(std::move(file));
            at = opened.emplace(p.file, s->m_files.size() - 1).first;
        }
        const long long size = s->m_files[at->second].stamp.size;
        if (p.offset > size || p.length > size - p.offset) {
            why = QStringLiteral("the body runs past its file's end");
            return nullptr;
        }
        if (p.length > 0)
            s->m_pieces.push_back({at->second, p.offset, p.length});
    }
    return s;
}

long long PieceStream::read(char *buffer, long long count, std::error_code &ec)
{
    if (m_at >= m_pieces.size() || count <= 0)
        return 0;
    const Piece &p = m_pieces[m_at];
    const long long n = m_files[p.file].file->readat(buffer, std::min(count, p.length - m_done),
                                                     p.offset + m_done, ec);
    if (n < 0)
        return -1;
    if (n == 0) {
        ec = std::make_error_code(std::errc::io_error); // the file is shorter than it was
        return -1;
    }
    skip(n);
    return n;
}

bool PieceStream::plainrange(int &fd, long long &offset, long long &count) const
{
    if (m_at >= m_pieces.size())
        return false;
    const Piece &p = m_pieces[m_at];
    fd = m_files[p.file].file->fd();
    offset = p.offset + m_done;
    count = p.length - m_done;
    return fd >= 0;
}

void PieceStream::skip(long long count)
{
    while (count > 0 && m_at < m_pieces.size()) {
        const long long n = std::min(count, m_pieces[m_at].length - m_done);
        m_done += n;
        count -= n;
        if (m_done == m_pieces[m_at].length) {
            ++m_at;
            m_done = 0;
        }
    }
}

bool PieceStream::unchanged(QString &why) const
{
    for (const File &f : m_files) {
        if (!(stampof(*f.file) == f.stamp)) {
            why = QStringLiteral("changed while it was read");
            return false;
        }
    }
    return true;
}

bool PieceStream::samefiles(const ReadOnlyFs &fs, QString &why) const
{
    for (const File &f : m_files) {
        std::error_code ec;
        const std::unique_ptr<ReadOnlyFile> now = fs.open(f.path, ec);
        if (!now || !(stampof(*now) == f.stamp)) {
            why = QStringLiteral("changed while it was read");
            return false;
        }
    }
    return true;
}

} // namespace vellomar
