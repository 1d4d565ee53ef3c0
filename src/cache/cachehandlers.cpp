// The main window's cache browsing: cache location, folder list, filters, result list, drawing.
#include "app/frm_main.h"
#include "cachelocation.h"
#include "common/platform.h"
#include "filelistbox.h"
#include "listcolours.h"
#include "resultlistcontrol.h"
#include "sizes.h"
#include "typefilter.h"

#include <QLabel>
#include <QListWidget>
#include <QSlider>

namespace vellomar {

void frm_main::getiecachedir()
{
    const QString value = findcachefolder(cachelookupfromenvironment());
    iecachedir = value + separator() + QStringLiteral("Content.IE5") + separator();
    // The folder named is the user's; from Content.IE5 down, no link is followed.
    flt_iecachesubdir->setAnchor(value.isEmpty() ? separator() : value);
}

void frm_main::listsubdirs(const QString &folder)
{
    const FolderHandle parent = flt_iecachesubdir->openpath(folder);
    const QStringList names = readsubfolders(parent.fd(), 16);
    for (int k = 0; k < names.size(); ++k) {
        cachesubdirs[size_t(k)] = names[k];
        // What was listed, so that clearing never works in a folder swapped in since.
        m_cachesubdirids[size_t(k)] = flt_iecachesubdir->openpath(folder + names[k]).id();
        lst_TmpIntDir->addItem(names[k]);
        lst_TmpIntDir->item(k)->setToolTip(names[k]); // the box is narrow; names are not
    }
}

void frm_main::lst_TmpIntDir_Click()
{
    const int k = selectedfolder();
    if (k < 0 || k >= int(cachesubdirs.size())) // nothing selected: the list stays as it was
        return;
    flt_iecachesubdir->setPath(iecachedir + cachesubdirs[size_t(k)]);
}

int frm_main::selectedfolder() const
{
    // The selection, not the current row: Ctrl+click clears one and keeps the other.
    const QList<QListWidgetItem *> selected = lst_TmpIntDir->selectedItems();
    return selected.isEmpty() ? -1 : lst_TmpIntDir->row(selected.first());
}

void frm_main::Cmd_refreshfilelist_Click()
{
    if (lst_TmpIntDir->count() == 0)
        return;
    const int k = selectedfolder();
    if (k >= 0)
        lst_TmpIntDir->item(k)->setSelected(false);
    // Away (to no folder, which lists nothing) and back again, so that the chosen folder counts
    // as a change and is read anew; if it is gone, the list stays empty.
    flt_iecachesubdir->setPath(QString());
    if (k >= 0)
        lst_TmpIntDir->setCurrentRow(k);
}

void frm_main::Opt_filetype_Click(int index)
{
    if (index >= 0 && index < int(typeoptions.size()))
        flt_iecachesubdir->setPattern(QString::fromUtf16(typeoptions[size_t(index)].pattern));
    buildresultlist();
}

void frm_main::SlD_minfilesize_Change()
{
    const qint64 bound = sizestepbound(SlD_minfilesize->value());
    if (bound >= 0)
        minsizekb = bound;
    lbl_minfilesize->setText(sizesteplabel(minsizekb));
    if (SlD_minfilesize->value() < SlD_maxfilesize->value() || SlD_minfilesize->value() == 16)
        buildresultlist();
    else
        SlD_maxfilesize->setValue(SlD_minfilesize->value() + 1);
}

void frm_main::SlD_maxfilesize_Change()
{
    const qint64 bound = sizestepbound(SlD_maxfilesize->value());
    if (bound >= 0)
        maxsizekb = bound;
    lbl_maxfilesize->setText(sizesteplabel(maxsizekb));
    if (SlD_maxfilesize->value() > SlD_minfilesize->value() || SlD_maxfilesize->value() == 1)
        buildresultlist();
    else
        SlD_minfilesize->setValue(SlD_maxfilesize->value() - 1);
}

void frm_main::buildresultlist()
{
    ++m_rebuilds;
    Rlt_iecachesubdir->Clear();
    const int n = flt_iecachesubdir->ListCount();
    if (n == 0)
        return;
    Rlt_iecachesubdir->setRedraw(false);
    const QStringList &names = flt_iecachesubdir->names();
    const std::vector<qint64> sizes = filesizes(flt_iecachesubdir->openlisted().fd(), names);
    for (int i = 0; i < n; ++i) {
        const QString &name = names[i];
        if (sizes[size_t(i)] < 0)
            continue; // gone since the listing: no row may name a file that is not there
        const qint64 kb = sizekb(sizes[size_t(i)]);
        if (kb < minsizekb || kb > maxsizekb)
            continue;
        addresultrow(i, name, typetext(name), sizetext(kb), sortkey(kb));
    }
    Rlt_iecachesubdir->setRedraw(true);
    if (Rlt_iecachesubdir->RowCount() > 0) {
        Rlt_iecachesubdir->setFocus();
        Rlt_iecachesubdir->setRowSelected(0, true);
        Rlt_iecachesubdir->setCurrentRow(0);
        if (!digging)
            dofilelist(0);
    }
}

void frm_main::addresultrow(int position, const QString &name, const QString &type,
                            const QString &sizetext, const QString &sortkey)
{
    const int r = Rlt_iecachesubdir->AddRow();
    Rlt_iecachesubdir->setCellText(r, 0, QString::number(position) + QLatin1Char('.'));
    Rlt_iecachesubdir->setCellText(r, 2, name);
    Rlt_iecachesubdir->setCellText(r, 4, type);
    Rlt_iecachesubdir->setCellText(r, 6, sizetext);
    Rlt_iecachesubdir->setCellText(r, 7, sortkey);
}

bool frm_main::ICustomDraw_CustomDraw(int row, int column, OleColor &background,
                                      OleColor &textcolour)
{
    const bool selected = Rlt_iecachesubdir->RowSelected(row);
    const int state = Rlt_iecachesubdir->RowState(row);
    if (column == 0)
        Rlt_iecachesubdir->setCellText(row, 0, QString::number(row + 1));
    choosecellcolours(row, column, selected, state, background, textcolour);
    return true;
}

} // namespace vellomar
