#include "filelistbox.h"

#include "common/platform.h"
#include "typefilter.h"

#include <algorithm>

namespace vellomar {

FileListBox::FileListBox(QObject *parent) : QObject(parent) {}

bool FileListBox::setPath(const QString &folder)
{
    if (folder == m_path)
        return true;
    QStringList names;
    if (!readfilenames(folder, m_pattern, names))
        return false;
    m_path = folder;
    m_names = std::move(names);
    emit PathChange();
    return true;
}

void FileListBox::setPattern(const QString &pattern)
{
    m_pattern = pattern;
    if (m_path.isEmpty())
        return;
    QStringList names;
    if (readfilenames(m_path, m_pattern, names))
        m_names = std::move(names);
}

QString FileListBox::List(int index) const
{
    return index >= 0 && index < m_names.size() ? m_names[index] : QString();
}

bool readfilenames(const QString &folder, const QString &pattern, QStringList &names)
{
    struct Entry {
        QString folded;
        QString name;
    };
    std::vector<Entry> entries;
    const bool read = listfolder(folder, [&](std::string_view raw, EntryKind kind) {
        if (kind != EntryKind::file)
            return;
        const QString name = decodedname(raw);
        if (name.isEmpty() || ishiddenname(name) || !matchespattern(name, pattern))
            return;
        entries.push_back({name.toCaseFolded(), name});
    });
    if (!read)
        return false;
    std::sort(entries.begin(), entries.end(), [](const Entry &a, const Entry &b) {
        const int c = a.folded.compare(b.folded);
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
    QStringList result;
    // A link is never taken for a cache folder: clearing the cache must stay inside it.
    listfolder(folder, [&](std::string_view raw, EntryKind kind) {
        if (kind != EntryKind::folder || result.size() >= most)
            return;
        const QString name = decodedname(raw);
        if (!name.isEmpty())
            result.push_back(name);
    });
    return result;
}

} // namespace vellomar
