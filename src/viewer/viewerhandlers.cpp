// The main window's side of the full-screen viewer.
#include "app/frm_main.h"
#include "cache/filelistbox.h"
#include "cache/resultlistcontrol.h"
#include "common/platform.h"
#include "frm_picfullscreen.h"
#include "preview/flashplayer.h"
#include "preview/previewwidgets.h"

#include <QComboBox>
#include <QLabel>

namespace vellomar {

frm_picfullscreen *frm_main::viewer()
{
    if (!m_viewer)
        m_viewer = new frm_picfullscreen(this, m_seams.screen);
    return m_viewer;
}

bool frm_main::viewershowing() const
{
    return m_viewer && m_viewer->isVisible();
}

void frm_main::showflashinviewer(const QString &path)
{
    Flashbox->Stop();
    m_viewer->FlashFS->setVisible(true);
    m_viewer->FlashFS->setMovie(path);
    m_viewer->FlashFS->Play();
}

void frm_main::unloadviewerflash()
{
    m_viewer->FlashFS->unload();
}

void frm_main::viewcurrentfile()
{
    lbl_digresult->setVisible(false);
    if (!common.picfullscreenopen) {
        const int row = Rlt_iecachesubdir->CurrentRow();
        shellopen(flt_iecachesubdir->Path() + separator() + Rlt_iecachesubdir->CellText(row, 2));
        return;
    }
    frm_picfullscreen *v = viewer();
    // The viewer covers the preview board: no need to paint it on every step.
    Pic_imgbox->setUpdatesEnabled(false);
    v->show();
    v->raise();
    v->activateWindow();
    QComboBox *list = v->Cbo_scrollpic;
    {
        const QSignalBlocker quiet(list);
        list->clear();
        const int n = Rlt_iecachesubdir->RowCount();
        for (int i = 0; i < n; ++i)
            list->addItem(QString::number(i));
        list->setCurrentIndex(-1);
    }
    // Runs the viewer's own handling of the new position before going on.
    list->setCurrentIndex(Rlt_iecachesubdir->CurrentRow());
    list->setFocus();
    v->placepicture(common.fullscreenscale);
    v->img_fullscreen->setpicture(Img_largeview->image(), Img_largeview->animation());
}

void frm_main::closeviewer()
{
    if (m_viewer) {
        m_viewer->exitfullscreen();
        delete m_viewer;
        m_viewer = nullptr;
    }
}

} // namespace vellomar
