#pragma once

// Where Chromium's blockfile cache keeps a record: the 32-bit CacheAddr and the files it names.

#include <cstdint>
#include <string>

namespace vellomar::blockfile {

// What the three bits of file type say the address points into.
enum class FileType {
    external = 0, // a file of its own, f_xxxxxx
    rankings = 1, // 36-byte rankings nodes
    block256 = 2, // entries and small streams
    block1k = 3,
    block4k = 4,
    blockfiles = 5,   // not used on disk by the HTTP cache
    blockentries = 6, // nor these two
    blockevicted = 7,
};

inline constexpr int blockheadersize = 8192; // a block file's header, before block 0
inline constexpr uint32_t blockfilemagic = 0xC104CAC3;
inline constexpr int mostblocks = 4; // one address spans 1 to 4 contiguous blocks

class Addr
{
  public:
    Addr() = default;
    explicit Addr(uint32_t value) : m_value(value) {}
    uint32_t value() const { return m_value; }
    bool initialized() const { return (m_value & initializedbit) != 0; }
    FileType type() const { return FileType((m_value & typemask) >> typeshift); }
    bool external() const { return type() == FileType::external; }
    // The f_ file's number, or the block file's selector (data_N).
    int filenumber() const;
    int startblock() const { return int(m_value & startmask); }
    int numblocks() const { return int((m_value & countmask) >> countshift) + 1; }
    // As Chromium's sanity check: initialized, a type that holds data, no reserved bits.
    bool valid() const;
    // The file's name in the cache folder: "f_0000a3" or "data_1".
    std::string filename() const;
    // For a block: the byte offset of its first block, and the bytes its blocks span.
    long long offset() const;
    long long span() const;
    // "f_0000a3" or "data_1 block 42", as the manifest names a place.
    std::string place() const;

    static int blocksize(FileType type);

  private:
    static constexpr uint32_t initializedbit = 0x80000000;
    static constexpr uint32_t typemask = 0x70000000;
    static constexpr int typeshift = 28;
    static constexpr uint32_t reservedmask = 0x0c000000;
    static constexpr uint32_t countmask = 0x03000000;
    static constexpr int countshift = 24;
    static constexpr uint32_t selectormask = 0x00ff0000;
    static constexpr int selectorshift = 16;
    static constexpr uint32_t startmask = 0x0000ffff;
    static constexpr uint32_t externalmask = 0x0fffffff;

    uint32_t m_value = 0;
};

} // namespace vellomar::blockfile
