// The main window's preview: what a row shows, and the gestures that open a file.
#include "app/frm_main.h"
#include "cache/filelistbox.h"
#include "cache/resultlistcontrol.h"
#include "common/keys.h"
#include "common/platform.h"
#include "fitting.h"
#include "flashplayer.h"
#include "mediaplayer.h"
#include "mediasignature.h"
#include "pictureholder.h"
#include "previewwidgets.h"

#include <QLabel>

namespace vellomar {

void frm_main::dofilelist(const int &row)
{
    lbl_digresult->setVisible(false);
    const QString name = Rlt_iecachesubdir->CellText(row, 2);
    const QString path = flt_iecachesubdir->Path() + separator() + name;
    // Only a plain file of the folder listed is handed on: never a link or a swapped-in folder.
    const PreviewGroup group =
        flt_iecachesubdir->holdsplainfile(name) ? previewgroup(path) : PreviewGroup::other;
    switch (group) {
    case PreviewGroup::picture:
        showpicture(path);
        return;
    case PreviewGroup::flash:
        Img_largeview->clearpicture();
        Img_test->clear();
        Img_largeview->setVisible(false);
        Flashbox->setVisible(true);
        Flashbox->setMovie(path);
        Flashbox->Play();
        if (viewershowing())
            showflashinviewer(path);
        wmp->close();
        return;
    case PreviewGroup::audio:
        // Only real audio reaches the player: a playlist or manifest would make it fetch.
        if (audiomatches(path))
            wmp->setURL(path);
        else
            wmp->close();
        break;
    case PreviewGroup::other:
        wmp->close();
        break;
    }
    Flashbox->unload();
    if (viewershowing())
        unloadviewerflash();
    Img_largeview->setVisible(false);
    Img_test->clear();
    Img_largeview->clearpicture();
}

void frm_main::showpicture(const QString &path)
{
    const auto fail = [this] {
        wmp->close();
        Flashbox->unload();
        Img_largeview->setVisible(false);
        if (viewershowing())
            unloadviewerflash();
        Img_test->clear();
        Img_largeview->clearpicture();
    };
    if (!Img_test->load(path))
        return fail();
    const QSize natural = Img_test->naturalsize();
    if (natural.width() <= 0 || natural.height() <= 0)
        return fail();
    common.picwidth = twipsofpixels(natural.width());
    common.picheight = twipsofpixels(natural.height());
    const float bw = float(Pic_imgboard->width() * twipsperpixel);
    const float bh = float(Pic_imgboard->height() * twipsperpixel);
    if (bw <= 0 || bh <= 0)
        return fail();
    common.previewscale = fitscale(float(common.picwidth), float(common.picheight), bw, bh);
    const QSize screen = screensize();
    common.fullscreenscale =
        fitscale(float(common.picwidth), float(common.picheight),
                 float(screen.width() * twipsperpixel), float(screen.height() * twipsperpixel));
    if (common.picorisize)
        common.fullscreenscale = 1.0f;
    Img_largeview->clearpicture();
    const Placement at =
        centred(float(common.picwidth), float(common.picheight), common.previewscale, bw, bh);
    Img_largeview->setGeometry(qRound(at.left / twipsperpixel), qRound(at.top / twipsperpixel),
                               qRound(at.width / twipsperpixel), qRound(at.height / twipsperpixel));
    Img_largeview->setpicture(Img_test->image(), Img_test->data());
    Img_test->clear();
    Img_largeview->setVisible(true);
    wmp->close();
    Flashbox->unload();
    if (viewershowing())
        unloadviewerflash();
}

QSize frm_main::screensize() const
{
    return m_seams.screen ? m_seams.screen->size() : QSize(1024, 768);
}

void frm_main::Rlt_iecachesubdir_RowClick(int row)
{
    dofilelist(row);
}

void frm_main::Rlt_iecachesubdir_RowDblClick(int row)
{
    const QString name = Rlt_iecachesubdir->CellText(row, 2);
    if (opensinviewer(name) && common.picfullscreenopen)
        viewcurrentfile();
    else
        shellopen(flt_iecachesubdir->Path() + separator() + name);
}

void frm_main::Rlt_iecachesubdir_ListKey(int keycode, int)
{
    if (isopenkey(keycode))
        viewcurrentfile();
}

void frm_main::opt_picopenmode_Click(int index)
{
    common.picfullscreenopen = index == 0;
}

void frm_main::Opt_picorisizemode_Click(int index)
{
    common.picorisize = index == 0;
}

} // namespace vellomar
