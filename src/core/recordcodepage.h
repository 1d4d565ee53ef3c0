#pragma once

#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <functional>
#include <vector>

namespace vellomar {

// Internet Explorer kept a record's file name and address in the code page of the Windows that
// wrote them, while a mounted or copied disk names the files in UTF-8: each cache's own files
// tell which code page it was.

// A record's file name as the index keeps it, and the sub-folder it lies in.
struct KeptName {
    QString folder;
    QByteArray file;
};

// The code pages tried, UTF-8 first, then those of the Windows editions whose names are not
// plain ASCII.
const std::vector<QByteArray> &candidatecodepages();

// The first candidate under which the most of `names` that are not plain ASCII name a file
// that `exists` in its folder; empty when none does (or every name is ASCII, which tells
// nothing).
QByteArray
fittingcodepage(const std::vector<KeptName> &names,
                const std::function<bool(const QString &folder, const QString &name)> &exists);

// The bytes with every one that is not printable ASCII written as %XX: the same bytes, in the
// form an address is sent in, when no code page tells what they say.
QString percentescaped(const QByteArray &bytes);

// Kept bytes as text in one code page (none: only plain ASCII is text).
class KeptText
{
  public:
    explicit KeptText(const QByteArray &codepage);
    // Null when the bytes are not valid in the code page.
    QString decoded(const QByteArray &bytes);
    // Decoded, else percent-escaped.
    QString text(const QByteArray &bytes);

  private:
    QStringDecoder m_decoder;
};

} // namespace vellomar
