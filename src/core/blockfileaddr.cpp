#include "blockfileaddr.h"

#include <cstdio>

namespace vellomar::blockfile {

int Addr::filenumber() const
{
    return external() ? int(m_value & externalmask)
                      : int((m_value & selectormask) >> selectorshift);
}

bool Addr::valid() const
{
    if (!initialized() || type() > FileType::block4k)
        return false;
    if (external())
        return true;
    return type() != FileType::rankings && (m_value & reservedmask) == 0;
}

std::string Addr::filename() const
{
    char name[32];
    if (external())
        std::snprintf(name, sizeof name, "f_%06x", unsigned(filenumber()));
    else
        std::snprintf(name, sizeof name, "data_%d", filenumber());
    return name;
}

long long Addr::offset() const
{
    return external() ? 0 : blockheadersize + (long long)startblock() * blocksize(type());
}

long long Addr::span() const
{
    return external() ? 0 : (long long)numblocks() * blocksize(type());
}

std::string Addr::place() const
{
    return external() ? filename() : filename() + " block " + std::to_string(startblock());
}

int Addr::blocksize(FileType type)
{
    switch (type) {
    case FileType::rankings:
        return 36;
    case FileType::block256:
        return 256;
    case FileType::block1k:
        return 1024;
    case FileType::block4k:
        return 4096;
    case FileType::blockfiles:
        return 8;
    case FileType::blockentries:
        return 104;
    case FileType::blockevicted:
        return 48;
    case FileType::external:
        break;
    }
    return 0;
}

} // namespace vellomar::blockfile
