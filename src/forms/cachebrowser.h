#pragma once

#include "cacherecords.h"
#include "entrysource.h"
#include "icustomdraw.h"
#include "listedfiles.h"
#include "platform.h"
#include "sizefilter.h"

#include <QFutureWatcher>
#include <QObject>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>

class QButtonGroup;
class QGroupBox;
class QLabel;
class QListWidget;
class QRadioButton;
class QSlider;
class QToolButton;
class QWidget;

namespace vellomar {

class FileListBox;
class ResultListControl;
class Seams;

// The cache browser: the cache's sub-folders, the hidden file list, the type and size filters,
// the result list and its refresh and clear buttons. Its controls sit on the form it is given.
class CacheBrowser : public QObject, public ICustomDraw, public ListedFiles
{
    Q_OBJECT
  public:
    CacheBrowser(QWidget *form, const Seams &seams);
    ~CacheBrowser() override;

    // The list's columns and the start values of the filters.
    void load();
    // The cache to list at start: the one the environment names, else the one last chosen if
    // it is still there, else Wine's.
    void getiecachedir();
    // The cache to list from now on (the folder holding its sub-folders); below `anchor`, the
    // folder the user named, no link is followed. What was listed goes.
    void setcache(const QString &root, const QString &anchor);
    void listsubdirs(const QString &folder);
    QString iecachedir() const { return m_iecachedir; }
    // Everything the user may change here, on or off.
    void setenabled(bool on);

    void lst_TmpIntDir_Click();
    void Cmd_refreshfilelist_Click();
    void Cmd_cleariecache_Click();
    void Opt_filetype_Click(int index);
    void SlD_minfilesize_Change();
    void SlD_maxfilesize_Change();
    void buildresultlist();
    void addresultrow(const QString &name, const QString &type, qint64 bytes);
    bool ICustomDraw_CustomDraw(int row, int column, OleColor &background,
                                OleColor &textcolour) override;

    void Rlt_iecachesubdir_RowClick(int row);
    void Rlt_iecachesubdir_RowDblClick(int row);
    void Rlt_iecachesubdir_ListKey(int keycode, int shift);

    // ListedFiles
    int rowcount() const override;
    int currentrow() const override;
    bool rowselected(int row) const override;
    ResultRow row(int row) const override;
    void gotorow(int row) override;
    // The viewer covers the list while it steps: the list catches up when it closes.
    void covered();
    void uncovered();
    void completerecords() override;
    QString listedfolder() const override;
    FolderHandle openlisted() const override;
    bool holdsplainfile(const QString &name) const override;
    int foldercount() const override;
    int selectedfolder() const override;
    void choosefolder(int index) override;
    const EntrySource *browsercache() const override { return m_browsercache.get(); }
    SourceEntry sourceentry(int row) const override;

    // What the last clearing of the cache could not delete.
    const QStringList &clearfailures() const { return m_clearfailures; }

  signals:
    // A row to preview: clicked, reached by the keyboard, or the first of a new list.
    void previewrequested(int row);
    // A row double-clicked: to be viewed or opened.
    void openrequested(int row);
    // A key that opens the current row in the viewer.
    void viewrequested();
    void resultlistbuilt();

  private:
    void createcontrols(QWidget *form);
    void connecthandlers();

    const Seams &m_seams;
    QListWidget *lst_TmpIntDir;
    FileListBox *flt_iecachesubdir;
    QGroupBox *fra_filetype;
    std::array<QRadioButton *, 8> Opt_filetype{};
    QButtonGroup *Opt_filetype_group;
    QGroupBox *fra_filesize;
    QLabel *lbl_minfilesize;
    QSlider *SlD_minfilesize;
    QLabel *lbl_maxfilesize;
    QSlider *SlD_maxfilesize;
    ResultListControl *Rlt_iecachesubdir;
    QToolButton *Cmd_cleariecache;
    QToolButton *Cmd_refreshfilelist;

    QString m_iecachedir;
    std::array<QString, 17> m_cachesubdirs;
    // What was listed, so that clearing never works in a folder swapped in since.
    std::array<FolderId, 17> m_cachesubdirids{};
    SizeFilter m_sizes;
    // The cache's records, read in the background once per cache; null until read. Shared
    // with the rows that have one.
    std::shared_ptr<const CacheRecords> m_records;
    QFutureWatcher<CacheRecords> *m_recordsreader;
    void readrecords(const QString &folder);
    void startrecords();
    std::function<void()> m_startrecords;
    void takerecords();
    void attachrecords();
    QStringList m_clearfailures;
    // A browser's cache opened, and the entries its rows stand for, in the list's order.
    std::shared_ptr<const BrowserSource> m_browsercache;
    std::vector<SourceEntry> m_browserrows;
    QString m_browserpath, m_browseranchor;
    void buildbrowserlist();
    void showbuiltlist();
    void opencleaner();
};

} // namespace vellomar
