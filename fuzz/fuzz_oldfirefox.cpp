// The cache of Firefox up to 31. Each input is read twice: as it is (block files found by
// scanning unless it has a map), then with a map whose records are the first bytes of its first
// file, so that map records reach the block files without a seed holding a map.
#include "firefoxold.h"
#include "fuzzinput.h"

#include <cstdlib>

namespace {

QByteArray be32(uint32_t v)
{
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = char(v >> (24 - 8 * i));
    return b;
}

void check(const vellomar::ReadOnlyFs &fs)
{
    vellomar::isoldfirefoxcache(fs, "");
    vellomar::ReadReport report;
    vellomar::fuzz::checkpieces(fs, vellomar::readoldfirefoxcache(fs, "", &report));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    vellomar::MemoryFs fs = vellomar::fuzz::memoryfs(data, size);
    check(fs);

    constexpr int buckets = 32, records = 512;
    std::vector<vellomar::FsEntry> files;
    std::error_code ec;
    if (!fs.list("", files, ec) || files.empty() || files[0].kind != vellomar::FsEntry::file)
        return 0;
    const auto first = fs.open(files[0].name, ec);
    if (!first)
        return 0;
    QByteArray recs = first->read(0, std::min<long long>(first->size(), records * 16), ec);
    recs.append(QByteArray(records * 16 - recs.size(), '\0'));
    QByteArray map = be32(0x0001000B) + be32(0) + be32(0) + be32(0) + be32(records);
    for (int i = 0; i < buckets; ++i)
        map += be32(1);
    for (int i = 0; i < buckets; ++i)
        map += be32(records / buckets);
    fs.add("_CACHE_MAP_", map + recs);
    check(fs);
    return 0;
}
