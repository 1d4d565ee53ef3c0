#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

namespace vellomar {

// The hidden file list of the main window: a folder, a pattern, and the sorted names of the
// folder's plain files that match. Changing the folder announces itself synchronously through
// PathChange; changing only the pattern re-reads the folder without announcing.
class FileListBox : public QObject
{
    Q_OBJECT
  public:
    explicit FileListBox(QObject *parent = nullptr);

    QString Path() const { return m_path; }
    // A folder that cannot be read is refused: the list keeps its folder and names.
    bool setPath(const QString &folder);

    QString Pattern() const { return m_pattern; }
    void setPattern(const QString &pattern);

    int ListCount() const { return int(m_names.size()); }
    QString List(int index) const;
    const QStringList &names() const { return m_names; }

  signals:
    void PathChange();

  private:
    QString m_path;
    QString m_pattern;
    QStringList m_names;
};

// Regular, non-hidden files whose names are valid in the user's encoding and match the
// pattern, sorted without regard to case. Links, devices, FIFOs and sockets are left out:
// they are never cache entries, and opening a FIFO would hang. False when the folder
// cannot be read.
bool readfilenames(const QString &folder, const QString &pattern, QStringList &names);

// Sub-folders of a folder in the order the system lists them, hidden ones included.
QStringList readsubfolders(const QString &folder, int most);

} // namespace vellomar
