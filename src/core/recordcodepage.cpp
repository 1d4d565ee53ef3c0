#include "recordcodepage.h"

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

// Enough names to tell the code page by, however large the cache.
constexpr size_t mosttelling = 4096;

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

KeptText::KeptText(const QByteArray &codepage)
{
    if (!codepage.isEmpty())
        m_decoder = QStringDecoder(codepage.constData(), QStringDecoder::Flag::Stateless);
}

QString KeptText::decoded(const QByteArray &bytes)
{
    if (isascii(bytes))
        return QString::fromLatin1(bytes);
    if (!m_decoder.isValid())
        return {};
    m_decoder.resetState();
    QString text = m_decoder(bytes);
    if (m_decoder.hasError() || text.contains(QChar::ReplacementCharacter))
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

QString KeptText::text(const QByteArray &bytes)
{
    const QString text = decoded(bytes);
    return text.isNull() ? percentescaped(bytes) : text;
}

QByteArray
fittingcodepage(const std::vector<KeptName> &names,
                const std::function<bool(const QString &folder, const QString &name)> &exists)
{
    std::vector<const KeptName *> telling;
    for (const KeptName &n : names) {
        if (!isascii(n.file) && telling.size() < mosttelling)
            telling.push_back(&n);
    }
    QByteArray best;
    size_t most = 0;
    for (const QByteArray &page : candidatecodepages()) {
        size_t fits = 0;
        KeptText kept(page);
        for (const KeptName *n : telling) {
            const QString name = kept.decoded(n->file);
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
