#pragma once

// The files of a blockfile cache as its addresses reach them: each opened once, block files
// checked against their header, every range checked against the file before it is read.

#include "blockfileaddr.h"
#include "cacheentry.h"
#include "cachefs.h"

#include <QByteArray>
#include <QString>

#include <map>
#include <memory>
#include <string>

namespace vellomar::blockfile {

class CacheFiles
{
  public:
    CacheFiles(const ReadOnlyFs &fs, std::string folder) : m_fs(fs), m_folder(std::move(folder)) {}

    // Where `length` bytes from `addr` lie; false, with why in a few words, when they cannot be
    // read there.
    bool locate(Addr addr, long long length, BodyPiece &piece, QString &why);
    // Those bytes.
    bool read(Addr addr, long long length, QByteArray &bytes, QString &why);

  private:
    struct Opened {
        std::unique_ptr<ReadOnlyFile> file;
        QString problem;   // why it cannot serve, when `file` is null
        int blocksize = 0; // a block file's block size, from its header
    };
    Opened &open(const std::string &name, bool blockfile);

    const ReadOnlyFs &m_fs;
    std::string m_folder;
    std::map<std::string, Opened> m_files;
};

} // namespace vellomar::blockfile
