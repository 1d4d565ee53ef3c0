// The main window's digging: resource tree, dig pass, busy state, statistics, dig commands and
// the download directory.
#include "app/frm_main.h"
#include "busyanimation.h"
#include "cache/filelistbox.h"
#include "cache/resultlistcontrol.h"
#include "common/platform.h"
#include "common/texts.h"
#include "digpass.h"
#include "preview/flashplayer.h"
#include "preview/previewwidgets.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>

namespace vellomar {

void frm_main::makeresdirs()
{
    makeresourcetree(downloaddir);
}

void frm_main::digcurrentlist(const bool &allrows)
{
    // The folder listed, or nothing: a folder swapped in since makes its rows fail.
    const FolderHandle source = flt_iecachesubdir->openlisted();
    const int n = Rlt_iecachesubdir->RowCount();
    std::vector<DigRow> rows;
    rows.reserve(size_t(n));
    for (int r = 0; r < n; ++r) {
        rows.push_back({Rlt_iecachesubdir->CellText(r, 2), Rlt_iecachesubdir->CellText(r, 4),
                        allrows || Rlt_iecachesubdir->RowSelected(r)});
    }
    const int folder = selectedfolder() + 1;
    const int folders = lst_TmpIntDir->count();
    digrows(source.fd(), rows, downloaddir, counters, [&](qint64 r, qint64 total) {
        setdownprocesscaption(progresstext(folder, folders, r, total));
        prg_downprocess->setValue(int(progresspercent(r, total)));
        QApplication::processEvents();
        return !m_closing;
    });
}

void frm_main::setbusy(const bool &busy)
{
    QWidget *const buttons[] = {Cmd_autodownall, cmd_selectdowndir, cmd_killall,
                                cmd_downcurall,  cmd_downcurselect, Cmd_refreshfilelist,
                                cmd_opendowndir, Cmd_cleariecache};
    lst_TmpIntDir->setEnabled(!busy);
    Rlt_iecachesubdir->setEnabled(!busy);
    fra_filesize->setEnabled(!busy);
    fra_filetype->setEnabled(!busy);
    for (QWidget *b : buttons)
        b->setEnabled(!busy);
    Pic_imgbox->setEnabled(!busy);
    if (busy) {
        Flashbox->setVisible(false);
        Img_largeview->setVisible(false);
        prg_downprocess->setValue(0);
        pic_downprocesslblbox->setVisible(true);
        FlashDown->setVisible(true);
        FlashDown->Play();
    } else {
        FlashDown->Stop();
        FlashDown->setVisible(false);
        pic_downprocesslblbox->setVisible(false);
    }
}

void frm_main::resetdigstats()
{
    lbl_digresult->setVisible(false);
    counters.reset();
}

void frm_main::showdigstats()
{
    lbl_digresult->setVisible(true);
    setdigresultcaption(digreport(counters));
}

// The frame every dig command runs its passes in.
void frm_main::digcommand(const std::function<void()> &passes)
{
    digging = true;
    resetdigstats();
    makeresdirs();
    setbusy(true);
    passes();
    setbusy(false);
    digging = false;
    showdigstats();
}

void frm_main::cmd_downcurselect_Click()
{
    digcommand([this] { digcurrentlist(false); });
}

void frm_main::cmd_downcurall_Click()
{
    digcommand([this] { digcurrentlist(true); });
}

void frm_main::Cmd_autodownall_Click()
{
    digcommand([this] {
        const int n = lst_TmpIntDir->count();
        for (int k = 0; k < n && !m_closing; ++k) {
            lst_TmpIntDir->setCurrentRow(k);
            digcurrentlist(true);
        }
    });
}

void frm_main::cmd_selectdowndir_Click()
{
    const QString chosen = m_seams.dialogs
                               ? m_seams.dialogs->choosefolder(texts::browsetitle, downloaddir)
                               : QString();
    if (!chosen.isEmpty()) {
        downloaddir = chosen + separator();
        if (m_seams.settings)
            m_seams.settings->write(texts::settingsgroup, texts::settingskey, downloaddir);
    } else {
        downloaddir = storeddownloaddir();
    }
    makeresdirs();
}

} // namespace vellomar
