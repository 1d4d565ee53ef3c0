#pragma once

#include "cacheentry.h"
#include "cachefs.h"

#include <memory>
#include <string>
#include <system_error>
#include <vector>

namespace vellomar {

// An entry's stored bytes as one run: its pieces end to end, each a range of a file of the
// cache. Opening checks every piece against its file's size, so no read goes past a file's end.
class StoredBody
{
  public:
    // False, with `ec`, when a file cannot be opened or a piece does not lie within its file.
    bool open(const ReadOnlyFs &fs, const std::vector<BodyPiece> &pieces, std::error_code &ec);
    long long size() const { return m_size; }
    // Up to `count` bytes from `offset` of the body: fewer only at its end. -1, with `ec`, when
    // a file cannot be read or has become shorter than its pieces.
    long long readat(char *buffer, long long count, long long offset, std::error_code &ec);

  private:
    const ReadOnlyFs *m_fs = nullptr;
    std::vector<BodyPiece> m_pieces; // the non-empty ones
    std::vector<long long> m_starts; // where each begins in the body
    long long m_size = 0;
    std::unique_ptr<ReadOnlyFile> m_file; // the file last read, kept for the next piece
    std::string m_filepath;
};

} // namespace vellomar
