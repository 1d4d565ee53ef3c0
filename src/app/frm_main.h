#pragma once

#include "cache/icustomdraw.h"
#include "common/platform.h"
#include "common/seams.h"
#include "common/sharedvalues.h"
#include "dig/digcounters.h"

#include <QString>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>

class QButtonGroup;
class QGroupBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSlider;
class QToolButton;

namespace vellomar {

class BusyAnimation;
class FileListBox;
class FlashPlayer;
class ImageControl;
class MediaPlayer;
class PictureHolder;
class PreviewBoard;
class ResultListControl;
class frm_picfullscreen;

// The main window. Its handlers are defined beside the subsystem each belongs to.
class frm_main : public QWidget, public ICustomDraw
{
    Q_OBJECT
  public:
    explicit frm_main(const Seams &seams, QWidget *parent = nullptr);
    ~frm_main() override;

    void Form_Load();

    // Cache browsing
    void getiecachedir();
    void listsubdirs(const QString &folder);
    void lst_TmpIntDir_Click();
    void Cmd_refreshfilelist_Click();
    int selectedfolder() const;
    void Opt_filetype_Click(int index);
    void SlD_minfilesize_Change();
    void SlD_maxfilesize_Change();
    void buildresultlist();
    void addresultrow(int position, const QString &name, const QString &type,
                      const QString &sizetext, const QString &sortkey);
    bool ICustomDraw_CustomDraw(int row, int column, OleColor &background,
                                OleColor &textcolour) override;

    // Digging
    void makeresdirs();
    void digcurrentlist(const bool &allrows);
    void setbusy(const bool &busy);
    void resetdigstats();
    void showdigstats();
    void cmd_downcurselect_Click();
    void cmd_downcurall_Click();
    void Cmd_autodownall_Click();
    void digcommand(const std::function<void()> &passes);
    void cmd_selectdowndir_Click();

    // Preview
    void dofilelist(const int &row);
    void showpicture(const QString &path);
    void viewcurrentfile();
    void Rlt_iecachesubdir_RowClick(int row);
    void Rlt_iecachesubdir_RowDblClick(int row);
    void Rlt_iecachesubdir_ListKey(int keycode, int shift);
    void opt_picopenmode_Click(int index);
    void Opt_picorisizemode_Click(int index);
    bool viewershowing() const;
    void showflashinviewer(const QString &path);
    void unloadviewerflash();
    QSize screensize() const;
    void closeviewer();

    // Housekeeping
    void shellopen(const QString &path);
    void cmd_opendowndir_Click();
    void cmd_killall_Click();
    void Cmd_cleariecache_Click();

    // Controls
    QListWidget *lst_TmpIntDir;
    FileListBox *flt_iecachesubdir;
    QGroupBox *fra_filetype;
    std::array<QRadioButton *, 8> Opt_filetype{};
    QButtonGroup *Opt_filetype_group;
    QGroupBox *fra_filesize;
    QLabel *lbl_txt_最小;
    QLabel *lbl_minfilesize;
    QSlider *SlD_minfilesize;
    QLabel *lbl_txt_最大;
    QLabel *lbl_maxfilesize;
    QSlider *SlD_maxfilesize;
    ResultListControl *Rlt_iecachesubdir;
    QPushButton *cmd_downcurall;
    QPushButton *cmd_downcurselect;
    QToolButton *cmd_selectdowndir;
    QToolButton *cmd_opendowndir;
    QToolButton *cmd_killall;
    QToolButton *Cmd_cleariecache;
    QToolButton *Cmd_refreshfilelist;
    QPushButton *Cmd_autodownall;
    MediaPlayer *wmp;
    QWidget *Pic_imgbox;
    PreviewBoard *Pic_imgboard;
    ImageControl *Img_largeview;
    PictureHolder *Img_test;
    FlashPlayer *Flashbox;
    BusyAnimation *FlashDown;
    QWidget *pic_downprocesslblbox;
    QLabel *lbl_downprocess;
    QProgressBar *prg_downprocess;
    QLabel *lbl_digresult;
    QGroupBox *Fra_otheropt;
    QGroupBox *Fra_picopenmode;
    std::array<QRadioButton *, 2> opt_picopenmode{};
    QGroupBox *fra_picorisizemode;
    std::array<QRadioButton *, 2> Opt_picorisizemode{};

    // Window state
    QString iecachedir;
    std::array<QString, 17> cachesubdirs;
    qint64 minsizekb = 10;
    qint64 maxsizekb = 92160;
    QString downloaddir;
    bool digging = false;
    SharedPictureValues common;
    DigCounters counters;

    frm_picfullscreen *viewer();
    int rebuildcount() const { return m_rebuilds; }
    bool closing() const { return m_closing; }

    // Raw label texts (with lone carriage returns) as the handlers wrote them.
    QString downprocesscaption() const { return m_downprocesscaption; }
    QString digresultcaption() const { return m_digresultcaption; }
    void setdownprocesscaption(const QString &text);
    void setdigresultcaption(const QString &text);

  protected:
    void closeEvent(QCloseEvent *event) override;

  private:
    void createcontrols();
    void connecthandlers();
    void Form_Unload();
    QString storeddownloaddir() const;
    QString defaultdownloaddir() const;

    Seams m_seams;
    frm_picfullscreen *m_viewer = nullptr;
    int m_rebuilds = 0;
    bool m_closing = false;
    QString m_downprocesscaption;
    QString m_digresultcaption;
    std::array<FolderId, 17> m_cachesubdirids{};
};

} // namespace vellomar
