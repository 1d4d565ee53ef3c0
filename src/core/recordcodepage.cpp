#include "recordcodepage.h"

#include <QStringDecoder>

namespace vellomar {

namespace {

bool isascii(const QByteArray &bytes)
{
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

} // namespace

const std::vector<QByteArray> &candidatecodepages()
{
    // Chinese (simplified, traditional), Japanese, Korean, Cyrillic, Central European, Greek,
    // Turkish, Hebrew, Arabic, Baltic, Vietnamese, Thai and Western.
    static const std::vector<QByteArray> pages{
        "UTF-8",        "windows-936",  "windows-950",  "windows-932",  "windows-949",
        "windows-1251", "windows-1250", "windows-1253", "windows-1254", "windows-1255",
        "windows-1256", "windows-1257", "windows-1258", "windows-874",  "windows-1252"};
    return pages;
}

QString decodedkept(const QByteArray &bytes, const QByteArray &codepage)
{
    if (isascii(bytes))
        return QString::fromLatin1(bytes);
    if (codepage.isEmpty())
        return {};
    QStringDecoder decoder(codepage.constData(), QStringDecoder::Flag::Stateless);
    if (!decoder.isValid())
        return {};
    QString text = decoder(bytes);
    if (decoder.hasError() || text.contains(QChar::ReplacementCharacter))
        return {};
    return text;
}

QString percentescaped(const QByteArray &bytes)
{
    QString out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b > 0x20 && b < 0x7f)
            out += QLatin1Char(c);
        else
            out += QLatin1Char('%') +
                   QString::number(uint(b), 16).rightJustified(2, QLatin1Char('0')).toUpper();
    }
    return out;
}

QString keptastext(const QByteArray &bytes, const QByteArray &codepage)
{
    const QString text = decodedkept(bytes, codepage);
    return text.isNull() ? percentescaped(bytes) : text;
}

QByteArray
fittingcodepage(const std::vector<KeptName> &names,
                const std::function<bool(const QString &folder, const QString &name)> &exists)
{
    std::vector<const KeptName *> telling;
    for (const KeptName &n : names) {
        if (!isascii(n.file))
            telling.push_back(&n);
    }
    QByteArray best;
    size_t most = 0;
    for (const QByteArray &page : candidatecodepages()) {
        size_t fits = 0;
        for (const KeptName *n : telling) {
            const QString name = decodedkept(n->file, page);
            if (!name.isEmpty() && exists(n->folder, name))
                ++fits;
        }
        if (fits > most) {
            most = fits;
            best = page;
        }
        if (most == telling.size())
            break; // every name fits: none can do better
    }
    return best;
}

} // namespace vellomar
