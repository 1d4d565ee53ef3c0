#include "filelistbox.h"

#include "common/platform.h"
#include "typefilter.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace vellomar
{

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
    std::error_code ec;
    fs::directory_iterator it(fs::path(nativepath(folder)), ec);
    if (ec)
        return false;

    struct Entry {
        QString folded;
        QString name;
    };
    std::vector<Entry> entries;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec)
            break;
        // The entry's type comes from the directory read itself; links are not followed.
        const fs::file_status st = it->symlink_status(ec);
        if (ec || st.type() != fs::file_type::regular)
            continue;
        const std::string raw = it->path().filename().native(); // filename() is a temporary
        const QString name = decodedname(raw);
        if (name.isEmpty() || ishiddenname(name) || !matchespattern(name, pattern))
            continue;
        entries.push_back({name.toCaseFolded(), name});
    }
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
    std::error_code ec;
    fs::directory_iterator it(fs::path(nativepath(folder)), ec);
    if (ec)
        return result;
    for (; it != fs::directory_iterator() && result.size() < most; it.increment(ec)) {
        if (ec)
            break;
        // A link is never taken for a cache folder: clearing the cache must stay inside it.
        if (it->symlink_status(ec).type() != fs::file_type::directory || ec)
            continue;
        const QString name = decodedname(it->path().filename().native());
        if (!name.isEmpty())
            result.push_back(name);
    }
    return result;
}

} // namespace vellomar
