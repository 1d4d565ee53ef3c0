// The main window's side of the full-screen viewer.
#include "app/frm_main.h"
#include "cache/filelistbox.h"
#include "cache/resultlistcontrol.h"
#include "common/platform.h"

#include <QLabel>

namespace vellomar
{

bool frm_main::viewershowing() const
{
    return false;
}

void frm_main::showflashinviewer(const QString &) {}

void frm_main::unloadviewerflash() {}

void frm_main::viewcurrentfile()
{
    lbl_digresult->setVisible(false);
    const int row = Rlt_iecachesubdir->CurrentRow();
    shellopen(flt_iecachesubdir->Path() + separator() + Rlt_iecachesubdir->CellText(row, 2));
}

} // namespace vellomar
