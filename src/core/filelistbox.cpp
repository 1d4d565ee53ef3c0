#include "filelistbox.h"

#include "platform.h"
#include "resourcetree.h"
#include "sizes.h"
#include "typefilter.h"

#include <algorithm>

namespace vellomar {

FileListBox::FileListBox(QObject *parent) : QObject(parent) {}

FolderHandle FileListBox::openpath(const QString &folder) const
{
    const QString prefix = m_anchor.endsWith(separator()) ? m_anchor : m_anchor + separator();
    if (!m_anchor.isEmpty() && folder.startsWith(prefix))
        return openbeneath(m_anchor, folder.mid(prefix.size()));
    return openbeneath(folder);
}

bool FileListBox::setPath(const QString &folder)
{
    if (folder == m_path)
        return true;
    QStringList names;
    FolderId id;
    if (!folder.isEmpty()) {
        const FolderHandle h = openpath(folder);
        if (!h.valid() || !readfilenames(h.fd(), m_pattern, names))
            return false;
        id = h.id();
    }
    m_path = folder;
    m_listed = id;
    m_names = std::move(names);
    emit PathChange();
    return true;
}

FolderHandle FileListBox::openlisted() const
{
    if (m_path.isEmpty())
        return {};
    FolderHandle h = openpath(m_path);
    return h.valid() && h.id() == m_listed ? std::move(h) : FolderHandle();
}

bool FileListBox::holdsplainfile(const QString &name) const
{
    const FolderHandle h = openlisted();
    if (!h.valid() || name.isEmpty() || name.contains(QLatin1Char('/')))
        return false;
    return filesizes(h.fd(), {name}).front() >= 0;
}

void FileListBox::setPattern(const QString &pattern)
{
    m_pattern = pattern;
    const FolderHandle h = openlisted();
    QStringList names;
    if (h.valid() && readfilenames(h.fd(), m_pattern, names))
        m_names = std::move(names);
}

QString FileListBox::List(int index) const
{
    return index >= 0 && index < m_names.size() ? m_names[index] : QString();
}

bool readfilenames(const QString &folder, const QString &pattern, QStringList &names)
{
    const FolderHandle h = openbeneath(folder);
    return h.valid() && readfilenames(h.fd(), pattern, names);
}

namespace {

// A listed name and, only when it is not plain ASCII, its case-folded form: an ASCII name folds
// to itself lowered, so most names need no second copy while the list is sorted. The first
// eight folded units, when each fits a byte, are packed into a number that orders as they do
// (zeros after a shorter name, which no name holds): most comparisons end there.
struct Entry {
    QString name;
    QString folded;
    quint64 head = 0;
    bool packed = false;
};

char16_t asciilower(char16_t c)
{
    return c >= u'A' && c <= u'Z' ? char16_t(c + (u'a' - u'A')) : c;
}

void pack(Entry &e)
{
    const bool ascii = e.folded.isNull();
    const QString &s = ascii ? e.name : e.folded;
    for (qsizetype i = 0; i < 8; ++i) {
        const char16_t c = i < s.size() ? s[i].unicode() : u'\0';
        const char16_t f = ascii ? asciilower(c) : c;
        if (f > 0xff)
            return;
        e.head = (e.head << 8) | f;
    }
    e.packed = true;
}

// The order of the case-folded names, unit by unit, as QString compares them.
int comparefolded(const Entry &a, const Entry &b)
{
    const bool alow = a.folded.isNull(), blow = b.folded.isNull();
    const QString &x = alow ? a.name : a.folded, &y = blow ? b.name : b.folded;
    const QChar *p = x.constData(), *q = y.constData();
    const qsizetype n = std::min(x.size(), y.size());
    for (qsizetype i = 0; i < n; ++i) {
        char16_t c = p[i].unicode(), d = q[i].unicode();
        // Equal units fold alike (a folded name holds no upper-case ASCII letter).
        if (c == d)
            continue;
        c = alow ? asciilower(c) : c;
        d = blow ? asciilower(d) : d;
        if (c != d)
            return c < d ? -1 : 1;
    }
    return x.size() == y.size() ? 0 : x.size() < y.size() ? -1 : 1;
}

bool isascii(const QString &name)
{
    for (const QChar c : name) {
        if (c.unicode() >= 0x80)
            return false;
    }
    return true;
}

} // namespace

bool readfilenames(int folderfd, const QString &pattern, QStringList &names)
{
    std::vector<Entry> entries;
    const bool read = listfolder(folderfd, [&](std::string_view raw, EntryKind kind) {
        if (kind != EntryKind::file)
            return;
        QString name = decodedname(raw);
        if (name.isEmpty() || ishiddenname(name) || !matchespattern(name, pattern))
            return;
        QString folded = isascii(name) ? QString() : name.toCaseFolded();
        entries.push_back({std::move(name), std::move(folded)});
        pack(entries.back());
    });
    if (!read)
        return false;
    std::sort(entries.begin(), entries.end(), [](const Entry &a, const Entry &b) {
        if (a.packed && b.packed && a.head != b.head)
            return a.head < b.head;
        const int c = comparefolded(a, b);
        return c != 0 ? c < 0 : a.name < b.name;
    });
    names.clear();
    names.reserve(qsizetype(entries.size()));
    for (Entry &e : entries)
        names.push_back(std::move(e.name));
    return true;
}

QStringList readsubfolders(const QString &folder, int most)
{
    const FolderHandle h = openbeneath(folder);
    return readsubfolders(h.fd(), most);
}

QStringList readsubfolders(int folderfd, int most)
{
    QStringList result;
    if (folderfd < 0)
        return result;
    // A link is never taken for a cache folder: clearing the cache must stay inside it.
    listfolder(folderfd, [&](std::string_view raw, EntryKind kind) {
        if (kind != EntryKind::folder || result.size() >= most)
            return;
        const QString name = decodedname(raw);
        if (!name.isEmpty() && !isresourcetree(folderfd, name))
            result.push_back(name);
    });
    return result;
}

std::vector<AdmittedFile> admittedfiles(int folderfd, const QStringList &names,
                                        const SizeFilter &sizes)
{
    const std::vector<qint64> bytes = filesizes(folderfd, names);
    std::vector<AdmittedFile> admitted;
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (bytes[size_t(i)] >= 0 && sizes.admits(sizekb(bytes[size_t(i)])))
            admitted.push_back({i, bytes[size_t(i)]});
    }
    return admitted;
}

} // namespace vellomar
