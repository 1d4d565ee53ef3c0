// The main window's housekeeping: shell open, emptying the class folders, clearing the cache.
#include "app/frm_main.h"
#include "cache/filelistbox.h"
#include "common/platform.h"
#include "common/texts.h"
#include "housekeeping.h"

#include <QListWidget>
#include <QPointer>

namespace vellomar {

void frm_main::shellopen(const QString &path)
{
    // The opener answers later; the window may be gone by then.
    const QPointer<frm_main> self(this);
    const auto failed = [self, path] {
        if (self && self->m_seams.dialogs)
            self->m_seams.dialogs->inform(openfailedtext(path));
    };
    if (!m_seams.launcher)
        return failed();
    m_seams.launcher->open(path, [failed](bool ok) {
        if (!ok)
            failed();
    });
}

void frm_main::cmd_opendowndir_Click()
{
    makeresdirs();
    shellopen(downloaddir + texts::resourcefolder);
}

void frm_main::cmd_killall_Click()
{
    if (!m_seams.dialogs || !m_seams.dialogs->confirm(texts::confirmkillall))
        return;
    makeresdirs();
    emptyclassfolders(downloaddir);
    makeresdirs();
}

void frm_main::Cmd_cleariecache_Click()
{
    if (!m_seams.dialogs || !m_seams.dialogs->confirm(texts::confirmclearcache))
        return;
    for (size_t k = 0; k < cachesubdirs.size(); ++k) {
        if (cachesubdirs[k].isEmpty())
            continue;
        const QString folder = iecachedir + cachesubdirs[k];
        const FolderHandle h = flt_iecachesubdir->openpath(folder);
        if (h.valid() && h.id() == m_cachesubdirids[k]) // not a folder swapped in since
            deletefilesin(h, folder);
    }
    if (lst_TmpIntDir->count() > 0)
        Cmd_refreshfilelist_Click(); // the same steps: away from the folder and back
}

} // namespace vellomar
