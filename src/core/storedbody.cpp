#include "storedbody.h"

#include <algorithm>
#include <limits>
#include <map>

namespace vellomar {

bool StoredBody::open(const ReadOnlyFs &fs, const std::vector<BodyPiece> &pieces,
                      std::error_code &ec)
{
    m_fs = &fs;
    m_pieces.clear();
    m_starts.clear();
    m_size = 0;
    m_file.reset();
    m_filepath.clear();
    std::map<std::string, long long> sizes; // each file opened once, however many pieces
    for (const BodyPiece &p : pieces) {
        if (p.offset < 0 || p.length < 0) {
            ec = std::make_error_code(std::errc::invalid_argument);
            return false;
        }
        if (p.length == 0)
            continue;
        auto known = sizes.find(p.file);
        if (known == sizes.end()) {
            const std::unique_ptr<ReadOnlyFile> f = fs.open(p.file, ec);
            if (!f)
                return false;
            known = sizes.emplace(p.file, f->size()).first;
        }
        const long long filesize = known->second;
        if (p.offset > filesize || p.length > filesize - p.offset ||
            p.length > (std::numeric_limits<long long>::max)() - m_size) {
            ec = std::make_error_code(std::errc::result_out_of_range);
            return false;
        }
        m_pieces.push_back(p);
        m_starts.push_back(m_size);
        m_size += p.length;
    }
    return true;
}

long long StoredBody::readat(char *buffer, long long count, long long offset, std::error_code &ec)
{
    if (offset < 0 || count < 0) {
        ec = std::make_error_code(std::errc::invalid_argument);
        return -1;
    }
    long long done = 0;
    while (done < count && offset + done < m_size) {
        const long long at = offset + done;
        const size_t i =
            size_t(std::upper_bound(m_starts.begin(), m_starts.end(), at) - m_starts.begin()) - 1;
        const BodyPiece &p = m_pieces[i];
        if (!m_file || m_filepath != p.file) {
            m_file.reset();
            m_file = m_fs->open(p.file, ec);
            if (!m_file)
                return -1;
            m_filepath = p.file;
        }
        const long long within = at - m_starts[i];
        const long long want = std::min(count - done, p.length - within);
        const long long got = m_file->readat(buffer + done, want, p.offset + within, ec);
        if (got < 0)
            return -1;
        if (got == 0) {
            ec = std::make_error_code(std::errc::io_error); // shorter than when it was opened
            return -1;
        }
        done += got;
    }
    return done;
}

} // namespace vellomar
