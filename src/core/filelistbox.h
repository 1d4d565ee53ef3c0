#pragma once

#include "platform.h"
#include "sizefilter.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <vector>

namespace vellomar {

// The hidden file list of the main window: a folder, a pattern, and the sorted names of the
// folder's plain files that match. Changing the folder announces itself synchronously through
// PathChange; changing only the pattern re-reads the folder without announcing.
//
// Below its anchor (the folder the user named) no link is followed: a folder under the anchor is
// opened one level at a time, and the folder listed is remembered by identity, so that a folder
// swapped for a link or another folder afterwards is not taken for it.
class FileListBox : public QObject
{
    Q_OBJECT
  public:
    explicit FileListBox(QObject *parent = nullptr);

    void setAnchor(const QString &folder) { m_anchor = folder; }
    // Opens a folder as the list would: below the anchor without following links.
    FolderHandle openpath(const QString &folder) const;

    QString Path() const { return m_path; }
    // A folder that cannot be read is refused: the list keeps its folder and names. The empty
    // path is no folder at all: it lists nothing.
    bool setPath(const QString &folder);

    // The folder listed, opened again; invalid when what is at its path is no longer it.
    FolderHandle openlisted() const;
    // Whether `name` is still a plain file (not a link) in the folder listed.
    bool holdsplainfile(const QString &name) const;

    QString Pattern() const { return m_pattern; }
    void setPattern(const QString &pattern);

    int ListCount() const { return int(m_names.size()); }
    QString List(int index) const;
    const QStringList &names() const { return m_names; }

  signals:
    void PathChange();

  private:
    QString m_anchor;
    QString m_path;
    FolderId m_listed;
    QString m_pattern;
    QStringList m_names;
};

// Regular, non-hidden files whose names are valid in the user's encoding and match the
// pattern, sorted without regard to case. Links, devices, FIFOs and sockets are left out:
// they are never cache entries, and opening a FIFO would hang. False when the folder
// cannot be read.
bool readfilenames(const QString &folder, const QString &pattern, QStringList &names);
bool readfilenames(int folderfd, const QString &pattern, QStringList &names);

// A listed file the size range admits: its place among the names and its size in bytes.
struct AdmittedFile {
    qsizetype index;
    qint64 bytes;
};
// The names of the open folder whose files the size range admits, in order. A file gone since
// the listing is left out: no row may name a file that is not there.
std::vector<AdmittedFile> admittedfiles(int folderfd, const QStringList &names,
                                        const SizeFilter &sizes);

// Sub-folders of a folder in the order the system lists them, hidden ones included; links are
// not sub-folders, and neither is a resource tree of this program (isresourcetree()).
QStringList readsubfolders(const QString &folder, int most);
QStringList readsubfolders(int folderfd, int most);

} // namespace vellomar
