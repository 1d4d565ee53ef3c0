#include "blockfilefiles.h"

#include <cstring>

namespace vellomar::blockfile {

namespace {

// The start of BlockFileHeader: magic, version, this_file, next_file, entry_size.
constexpr int headerentrysizeat = 12;
constexpr int headerstart = 16;

QString openproblem(const QString &name, const std::error_code &ec)
{
    if (ec == std::errc::no_such_file_or_directory)
        return QStringLiteral("%1 is missing").arg(name);
    if (ec == std::errc::not_supported || ec == std::errc::too_many_symbolic_link_levels)
        return QStringLiteral("%1 is not a plain file").arg(name);
    return QStringLiteral("%1 cannot be opened (%2)")
        .arg(name, QString::fromStdString(ec.message()));
}

} // namespace

CacheFiles::Opened &CacheFiles::open(const std::string &name, bool blockfile)
{
    auto [it, fresh] = m_files.try_emplace(name);
    Opened &o = it->second;
    if (!fresh)
        return o;
    const QString shown = QString::fromStdString(name);
    std::error_code ec;
    o.file = m_fs.open(fsjoin(m_folder, name), ec);
    if (!o.file) {
        o.problem = openproblem(shown, ec);
        return o;
    }
    if (!blockfile)
        return o;
    const QByteArray header = o.file->read(0, headerstart, ec);
    quint32 magic = 0;
    qint32 blocksize = 0;
    if (header.size() == headerstart) {
        std::memcpy(&magic, header.constData(), 4);
        std::memcpy(&blocksize, header.constData() + headerentrysizeat, 4);
    }
    if (header.size() != headerstart || o.file->size() < blockheadersize) {
        o.problem = QStringLiteral("%1 is shorter than its header").arg(shown);
        o.file.reset();
    } else if (magic != blockfilemagic) {
        o.problem = QStringLiteral("%1 is not a block file").arg(shown);
        o.file.reset();
    } else {
        o.blocksize = blocksize;
    }
    return o;
}

bool CacheFiles::locate(Addr addr, long long length, BodyPiece &piece, QString &why)
{
    if (!addr.valid()) {
        why = QStringLiteral("address %1 is not valid").arg(addr.value(), 8, 16, QChar('0'));
        return false;
    }
    if (length < 0) {
        why = QStringLiteral("a stream's size is negative");
        return false;
    }
    const std::string name = addr.filename();
    const QString shown = QString::fromStdString(name);
    if (!addr.external() && length > addr.span()) {
        why = QStringLiteral("a stream is longer than its blocks in %1").arg(shown);
        return false;
    }
    Opened &o = open(name, !addr.external());
    if (!o.file) {
        why = o.problem;
        return false;
    }
    if (!addr.external() && o.blocksize != Addr::blocksize(addr.type())) {
        why = QStringLiteral("%1 does not hold blocks of %2 bytes")
                  .arg(shown)
                  .arg(Addr::blocksize(addr.type()));
        return false;
    }
    if (addr.offset() + length > o.file->size()) {
        why = QStringLiteral("an address runs past the end of %1").arg(shown);
        return false;
    }
    piece.file = fsjoin(m_folder, name);
    piece.offset = addr.offset();
    piece.length = length;
    return true;
}

bool CacheFiles::read(Addr addr, long long length, QByteArray &bytes, QString &why)
{
    BodyPiece piece;
    if (!locate(addr, length, piece, why))
        return false;
    std::error_code ec;
    bytes = m_files[addr.filename()].file->read(piece.offset, piece.length, ec);
    if (ec) {
        why =
            QStringLiteral("%1 cannot be read (%2)")
                .arg(QString::fromStdString(addr.filename()), QString::fromStdString(ec.message()));
        return false;
    }
    return true;
}

} // namespace vellomar::blockfile
