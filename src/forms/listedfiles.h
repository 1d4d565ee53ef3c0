#pragma once

#include "entrysource.h"
#include "platform.h"

#include <QString>

namespace vellomar {

struct ResultRow;

// The rows the cache browser lists, as the other parts of the window see them.
class ListedFiles
{
  public:
    virtual ~ListedFiles() = default;

    virtual int rowcount() const = 0;
    virtual int currentrow() const = 0;
    virtual bool rowselected(int row) const = 0;
    // The row's own data; an empty one for a row that does not exist.
    virtual ResultRow row(int row) const = 0;
    // Makes `row` the current one and the only one selected.
    virtual void gotorow(int row) = 0;
    // Waits until the cache's records are on the rows (they are read in the background).
    virtual void completerecords() = 0;
    // The path of the folder listed.
    virtual QString listedfolder() const = 0;

    // The folder listed, opened again; invalid when something else now stands at its path.
    virtual FolderHandle openlisted() const = 0;
    // Whether `name` is still a plain file (not a link) in the folder listed.
    virtual bool holdsplainfile(const QString &name) const = 0;

    // The cache's sub-folders: how many, which one is chosen (-1: none), and choosing one.
    virtual int foldercount() const = 0;
    virtual int selectedfolder() const = 0;
    virtual void choosefolder(int index) = 0;

    // The browser's cache listed, whose entries are read through it; null for Content.IE5,
    // whose rows are plain files of the folder listed.
    virtual const EntrySource *browsercache() const { return nullptr; }
    // The entry a row of a browser's cache stands for.
    virtual SourceEntry sourceentry(int row) const
    {
        (void)row;
        return {};
    }
};

} // namespace vellomar
