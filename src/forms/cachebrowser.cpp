#include "cachebrowser.h"

#include "browseropen.h"
#include "browsertooltip.h"
#include "cachelocation.h"
#include "columns.h"
#include "filelistbox.h"
#include "formkit.h"
#include "housekeeping.h"
#include "icons.h"
#include "keys.h"
#include "listcolours.h"
#include "resultlistcontrol.h"
#include "seams.h"
#include "sizes.h"
#include "texts.h"
#include "turning.h"
#include "typefilter.h"

#include <QButtonGroup>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <QtConcurrent/QtConcurrentRun>

namespace vellomar {

CacheBrowser::CacheBrowser(QWidget *form, const Seams &seams)
    : QObject(form), m_seams(seams), m_recordsreader(new QFutureWatcher<CacheRecords>(this))
{
    setObjectName(QStringLiteral("cachebrowser"));
    connect(m_recordsreader, &QFutureWatcher<CacheRecords>::finished, this,
            &CacheBrowser::takerecords);
    createcontrols(form);
    connecthandlers();
}

CacheBrowser::~CacheBrowser() = default;

void CacheBrowser::createcontrols(QWidget *form)
{
    lst_TmpIntDir = named(new QListWidget(form), "lst_TmpIntDir");
    place(lst_TmpIntDir, 30, 120, 975, 780);
    lst_TmpIntDir->setSelectionMode(QAbstractItemView::SingleSelection);
    lst_TmpIntDir->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    lst_TmpIntDir->setAccessibleName(QStringLiteral("缓存文件夹"));

    flt_iecachesubdir = new FileListBox(this);
    flt_iecachesubdir->setObjectName(QStringLiteral("flt_iecachesubdir"));
    flt_iecachesubdir->setPattern(QString::fromUtf16(typeoptions[starttypeoption].pattern));

    fra_filetype = named(new QGroupBox(QStringLiteral("文件类型："), form), "fra_filetype");
    place(fra_filetype, 1060, 120, 4500, 810);
    Opt_filetype_group = new QButtonGroup(this);
    static const int optionleft[4] = {120, 1200, 2280, 3360};
    for (int i = 0; i < 8; ++i) {
        auto *b = option(fra_filetype, "Opt_filetype",
                         QString::fromUtf16(typeoptions[size_t(i)].caption));
        place(b, optionleft[i % 4], i < 4 ? 240 : 480, 1095, 255);
        Opt_filetype_group->addButton(b, i);
        Opt_filetype[size_t(i)] = b;
    }
    Opt_filetype[starttypeoption]->setChecked(true);

    fra_filesize = named(new QGroupBox(QStringLiteral("文件大小："), form), "fra_filesize");
    place(fra_filesize, 30, 930, 5535, 495);
    auto *smallest = named(new QLabel(QStringLiteral("最小"), fra_filesize), "lbl_txt_最小");
    place(smallest, 60, 210, 495, 240);
    lbl_minfilesize = named(new QLabel(fra_filesize), "lbl_minfilesize");
    place(lbl_minfilesize, 540, 210, 495, 240);
    SlD_minfilesize = sizeslider(fra_filesize, "SlD_minfilesize", QStringLiteral("最小文件大小"));
    place(SlD_minfilesize, 1020, 180, 1695, 240);
    auto *largest = named(new QLabel(QStringLiteral("最大"), fra_filesize), "lbl_txt_最大");
    place(largest, 2820, 210, 495, 240);
    lbl_maxfilesize = named(new QLabel(fra_filesize), "lbl_maxfilesize");
    place(lbl_maxfilesize, 3300, 210, 495, 240);
    SlD_maxfilesize = sizeslider(fra_filesize, "SlD_maxfilesize", QStringLiteral("最大文件大小"));
    place(SlD_maxfilesize, 3780, 180, 1695, 240);
    for (QLabel *l : {smallest, lbl_minfilesize, largest, lbl_maxfilesize})
        l->setFont(songti(10.5));
    lbl_minfilesize->setBuddy(SlD_minfilesize);
    lbl_maxfilesize->setBuddy(SlD_maxfilesize);

    Rlt_iecachesubdir = named(new ResultListControl(form), "Rlt_iecachesubdir");
    place(Rlt_iecachesubdir, 0, 1440, 5535, 5175);
    Rlt_iecachesubdir->setFont(songti(9));
    Rlt_iecachesubdir->setAccessibleName(QStringLiteral("文件列表"));

    Cmd_cleariecache = iconbutton(form, "Cmd_cleariecache", ButtonIcon::clearcache,
                                  QStringLiteral("清空IE缓存目录"));
    place(Cmd_cleariecache, 6720, 600, 375, 375);
    Cmd_refreshfilelist = iconbutton(form, "Cmd_refreshfilelist", ButtonIcon::refresh,
                                     QStringLiteral("刷新文件列表"));
    place(Cmd_refreshfilelist, 7090, 600, 375, 375);

    for (QRadioButton *b : Opt_filetype)
        fitoption(b);
    for (QGroupBox *g : {fra_filetype, fra_filesize}) {
        paintbackground(g, windowcolour);
        g->setAccessibleName(g->title());
    }
    for (QSlider *s : {SlD_minfilesize, SlD_maxfilesize})
        paintbackground(s, windowcolour);
}

void CacheBrowser::connecthandlers()
{
    // The selection, not the current row: a mouse click moves the current row before it selects.
    connect(lst_TmpIntDir, &QListWidget::itemSelectionChanged, this,
            &CacheBrowser::lst_TmpIntDir_Click);
    connect(flt_iecachesubdir, &FileListBox::PathChange, this, &CacheBrowser::buildresultlist);
    // Runs when a button becomes the chosen one; a click on the chosen one changes nothing.
    connect(Opt_filetype_group, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked)
            Opt_filetype_Click(id);
    });
    connect(SlD_minfilesize, &QSlider::valueChanged, this, &CacheBrowser::SlD_minfilesize_Change);
    connect(SlD_maxfilesize, &QSlider::valueChanged, this, &CacheBrowser::SlD_maxfilesize_Change);
    connect(Cmd_refreshfilelist, &QToolButton::clicked, this,
            &CacheBrowser::Cmd_refreshfilelist_Click);
    connect(Cmd_cleariecache, &QToolButton::clicked, this, &CacheBrowser::Cmd_cleariecache_Click);
    connect(Rlt_iecachesubdir, &ResultListControl::RowClick, this,
            &CacheBrowser::Rlt_iecachesubdir_RowClick);
    connect(Rlt_iecachesubdir, &ResultListControl::RowDblClick, this,
            &CacheBrowser::Rlt_iecachesubdir_RowDblClick);
    connect(Rlt_iecachesubdir, &ResultListControl::ListKey, this,
            &CacheBrowser::Rlt_iecachesubdir_ListKey);
}

void CacheBrowser::load()
{
    SlD_minfilesize->setValue(2);
    SlD_maxfilesize->setValue(16);
    m_sizes.reset(10, 92160);

    Rlt_iecachesubdir->setRedraw(false);
    for (const ColumnSpec &c : resultcolumns)
        Rlt_iecachesubdir->AddColumn(QString::fromLatin1(c.key), QString::fromUtf16(c.caption), 2,
                                     c.width, c.flag1, true);
    Rlt_iecachesubdir->setNumberColumn(col::position);
    Rlt_iecachesubdir->setFileColumns({col::name, col::type, col::size, col::sortsize});
    Rlt_iecachesubdir->setCustomDrawHandler(this);
    Rlt_iecachesubdir->setRedraw(true);
}

void CacheBrowser::setenabled(bool on)
{
    for (QWidget *w :
         std::initializer_list<QWidget *>{lst_TmpIntDir, Rlt_iecachesubdir, fra_filesize,
                                          fra_filetype, Cmd_refreshfilelist, Cmd_cleariecache})
        w->setEnabled(on);
    opencleaner();
}

// A browser's cache is the browser's own database: it is read, never cleared.
void CacheBrowser::opencleaner()
{
    if (m_browsercache)
        Cmd_cleariecache->setEnabled(false);
}

void CacheBrowser::getiecachedir()
{
    const CacheLookup lookup = cachelookupfromenvironment();
    if (!lookup.hascacheenv) {
        QString remembered =
            m_seams.settings().read(texts::settingsgroup, texts::settingscachekey, QString());
        while (remembered.size() > 1 && remembered.endsWith(separator()))
            remembered.chop(1);
        if (remembered.startsWith(separator()) && QFileInfo(remembered).isDir()) {
            if (isbrowsercache(remembered)) // the browser's cache chosen last time
                return setcache(remembered, remembered);
            m_iecachedir = remembered + separator();
            flt_iecachesubdir->setAnchor(remembered);
            return;
        }
    }
    const QString value = findcachefolder(lookup);
    m_iecachedir = value + separator() + QStringLiteral("Content.IE5") + separator();
    // The folder named is the user's; from Content.IE5 down, no link is followed.
    flt_iecachesubdir->setAnchor(value.isEmpty() ? separator() : value);
}

void CacheBrowser::setcache(const QString &root, const QString &anchor)
{
    lst_TmpIntDir->clear();
    m_cachesubdirs.fill(QString());
    m_cachesubdirids.fill(FolderId{});
    flt_iecachesubdir->setPath(QString());
    Rlt_iecachesubdir->Clear();
    m_iecachedir = root + separator();
    flt_iecachesubdir->setAnchor(anchor);
    m_browserrows.clear();
    m_browsercache = openbrowsercache(root, anchor);
    m_browserpath = root;
    m_browseranchor = anchor;
    const CacheFormat format = m_browsercache ? m_browsercache->format() : CacheFormat::contentie5;
    if (m_browsercache)
        Rlt_iecachesubdir->listmodel()->setdescriber(
            [format](const CacheRecord &r) { return browserrecorddescription(r, format); });
    else
        Rlt_iecachesubdir->listmodel()->setdescriber({});
    Cmd_cleariecache->setEnabled(!m_browsercache && Cmd_refreshfilelist->isEnabled());
}

void CacheBrowser::readrecords(const QString &folder)
{
    m_records.reset();
    auto root = std::make_shared<FolderHandle>(flt_iecachesubdir->openpath(folder));
    // The reader is a process of its own: started once the window is up, not while it is built.
    m_startrecords = [this, root] {
        m_recordsreader->setFuture(
            QtConcurrent::run([root] { return CacheRecords::read(root->fd()); }));
    };
    QTimer::singleShot(0, this, &CacheBrowser::startrecords);
}

void CacheBrowser::startrecords()
{
    if (const std::function<void()> start = std::exchange(m_startrecords, {}))
        start();
}

// Each listed row gets what the cache's records say of its file.
void CacheBrowser::attachrecords()
{
    if (!m_records)
        return;
    const QString sub = QFileInfo(flt_iecachesubdir->Path()).fileName();
    for (int r = 0; r < Rlt_iecachesubdir->RowCount(); ++r) {
        // The row shares the records rather than holding a copy of its own.
        if (const CacheRecord *record = m_records->find(sub, Rlt_iecachesubdir->RowName(r)))
            Rlt_iecachesubdir->setRowRecord(r,
                                            std::shared_ptr<const CacheRecord>(m_records, record));
    }
}

// The records once read, onto the rows listed; once per reading.
void CacheBrowser::takerecords()
{
    if (m_records || m_recordsreader->future().resultCount() == 0)
        return;
    m_records = std::make_shared<const CacheRecords>(m_recordsreader->result());
    attachrecords();
}

void CacheBrowser::completerecords()
{
    if (m_browsercache) // its records came with its entries
        return;
    startrecords();
    // A hostile index.dat can take its reader seconds: the window keeps turning meanwhile.
    if (!m_records && !m_recordsreader->future().isCanceled())
        turnuntil([this] { return m_records || m_recordsreader->future().isFinished(); });
    takerecords();
}

QString CacheBrowser::listedfolder() const
{
    return flt_iecachesubdir->Path();
}

void CacheBrowser::listsubdirs(const QString &folder)
{
    if (m_browsercache) {
        // One folder, named as the cache's own.
        const QString name = m_browsercache->folders().value(0);
        m_cachesubdirs[0] = name;
        lst_TmpIntDir->addItem(name);
        lst_TmpIntDir->item(0)->setToolTip(m_browsercache->path());
        return;
    }
    readrecords(folder);
    const FolderHandle parent = flt_iecachesubdir->openpath(folder);
    const QStringList names = readsubfolders(parent.fd(), 16);
    for (int k = 0; k < names.size(); ++k) {
        m_cachesubdirs[size_t(k)] = names[k];
        m_cachesubdirids[size_t(k)] = flt_iecachesubdir->openpath(folder + names[k]).id();
        lst_TmpIntDir->addItem(names[k]);
        lst_TmpIntDir->item(k)->setToolTip(names[k]); // the box is narrow; names are not
    }
}

void CacheBrowser::lst_TmpIntDir_Click()
{
    const int k = selectedfolder();
    if (k < 0 || k >= int(m_cachesubdirs.size())) // nothing selected: the list stays as it was
        return;
    if (m_browsercache)
        return buildresultlist();
    flt_iecachesubdir->setPath(m_iecachedir + m_cachesubdirs[size_t(k)]);
}

int CacheBrowser::selectedfolder() const
{
    // The selection, not the current row: Ctrl+click clears one and keeps the other.
    const QList<QListWidgetItem *> selected = lst_TmpIntDir->selectedItems();
    return selected.isEmpty() ? -1 : lst_TmpIntDir->row(selected.first());
}

int CacheBrowser::foldercount() const
{
    return lst_TmpIntDir->count();
}

void CacheBrowser::choosefolder(int index)
{
    lst_TmpIntDir->setCurrentRow(index);
}

void CacheBrowser::Cmd_refreshfilelist_Click()
{
    if (lst_TmpIntDir->count() == 0)
        return;
    const int k = selectedfolder();
    if (k >= 0)
        lst_TmpIntDir->item(k)->setSelected(false);
    if (m_browsercache) {
        // Read anew: the browser may have written since.
        m_browserrows.clear();
        Rlt_iecachesubdir->Clear();
        m_browsercache = openbrowsercache(m_browserpath, m_browseranchor);
        opencleaner();
        if (!m_browsercache) { // no longer a cache: nothing to list
            emit resultlistbuilt();
            return;
        }
    }
    // Away (to no folder, which lists nothing) and back again, so that the chosen folder counts
    // as a change and is read anew; if it is gone, the list stays empty.
    flt_iecachesubdir->setPath(QString());
    if (k >= 0)
        lst_TmpIntDir->setCurrentRow(k);
}

void CacheBrowser::Cmd_cleariecache_Click()
{
    if (m_browsercache)
        return;
    if (!m_seams.dialogs().confirm(texts::confirmclearcache))
        return;
    m_clearfailures.clear();
    for (size_t k = 0; k < m_cachesubdirs.size(); ++k) {
        if (m_cachesubdirs[k].isEmpty())
            continue;
        const QString folder = m_iecachedir + m_cachesubdirs[k];
        const FolderHandle h = flt_iecachesubdir->openpath(folder);
        if (h.valid() && h.id() == m_cachesubdirids[k]) // not a folder swapped in since
            m_clearfailures += deletefilesin(h, folder);
    }
    if (lst_TmpIntDir->count() > 0)
        Cmd_refreshfilelist_Click(); // the same steps: away from the folder and back
}

void CacheBrowser::Opt_filetype_Click(int index)
{
    if (index >= 0 && index < int(typeoptions.size()))
        flt_iecachesubdir->setPattern(QString::fromUtf16(typeoptions[size_t(index)].pattern));
    buildresultlist();
}

void CacheBrowser::SlD_minfilesize_Change()
{
    const SizeFilter::Move m = m_sizes.minmoved(SlD_minfilesize->value(), SlD_maxfilesize->value());
    lbl_minfilesize->setText(sizesteplabel(m_sizes.minkb()));
    if (m.rebuild)
        buildresultlist();
    else
        SlD_maxfilesize->setValue(m.push);
}

void CacheBrowser::SlD_maxfilesize_Change()
{
    const SizeFilter::Move m = m_sizes.maxmoved(SlD_maxfilesize->value(), SlD_minfilesize->value());
    lbl_maxfilesize->setText(sizesteplabel(m_sizes.maxkb()));
    if (m.rebuild)
        buildresultlist();
    else
        SlD_minfilesize->setValue(m.push);
}

void CacheBrowser::buildresultlist()
{
    if (m_browsercache)
        return buildbrowserlist();
    Rlt_iecachesubdir->Clear();
    const int n = flt_iecachesubdir->ListCount();
    if (n == 0) {
        emit resultlistbuilt();
        return;
    }
    Rlt_iecachesubdir->setRedraw(false);
    Rlt_iecachesubdir->setFolder(flt_iecachesubdir->Path());
    const QStringList &names = flt_iecachesubdir->names();
    const std::vector<AdmittedFile> files =
        admittedfiles(flt_iecachesubdir->openlisted().fd(), names, m_sizes);
    Rlt_iecachesubdir->ReserveRows(int(files.size()));
    // One type text for all the rows of a type.
    QHash<QStringView, QString> types;
    for (const AdmittedFile &f : files) {
        const QString &name = names[f.index];
        const QStringView ext = typeview(name);
        auto type = types.constFind(ext);
        if (type == types.cend())
            type = types.insert(ext, typetext(name));
        addresultrow(name, *type, f.bytes);
    }
    attachrecords();
    showbuiltlist();
}

// The list shown again once built, its first row chosen and previewed.
void CacheBrowser::showbuiltlist()
{
    Rlt_iecachesubdir->setRedraw(true);
    if (Rlt_iecachesubdir->RowCount() > 0) {
        Rlt_iecachesubdir->setFocus();
        Rlt_iecachesubdir->setRowSelected(0, true);
        Rlt_iecachesubdir->setCurrentRow(0);
        emit previewrequested(0);
    }
    emit resultlistbuilt();
}

void CacheBrowser::buildbrowserlist()
{
    Rlt_iecachesubdir->Clear();
    m_browserrows.clear();
    const int k = selectedfolder();
    if (k < 0) {
        emit resultlistbuilt();
        return;
    }
    m_browserrows =
        m_browsercache->entries(m_cachesubdirs[size_t(k)], flt_iecachesubdir->Pattern(), m_sizes);
    Rlt_iecachesubdir->setRedraw(false);
    // The rows' paths name no file: their bytes are read through the cache.
    Rlt_iecachesubdir->setFolder(m_browsercache->path());
    Rlt_iecachesubdir->ReserveRows(int(m_browserrows.size()));
    for (const SourceEntry &e : m_browserrows) {
        const int r = Rlt_iecachesubdir->RowCount();
        addresultrow(e.name, e.type, e.size);
        if (e.record) // shares the source's record, as a Content.IE5 row shares its index's
            Rlt_iecachesubdir->setRowRecord(
                r, std::shared_ptr<const CacheRecord>(m_browsercache, e.record));
    }
    showbuiltlist();
}

SourceEntry CacheBrowser::sourceentry(int row) const
{
    if (row < 0 || size_t(row) >= m_browserrows.size())
        return {};
    return m_browserrows[size_t(row)];
}

void CacheBrowser::addresultrow(const QString &name, const QString &type, qint64 bytes)
{
    // Its path and its size texts are the list's to work out from these when shown.
    Rlt_iecachesubdir->AddFileRow(name, type, bytes);
}

bool CacheBrowser::ICustomDraw_CustomDraw(int row, int column, OleColor &background,
                                          OleColor &textcolour)
{
    choosecellcolours(row, column, Rlt_iecachesubdir->RowSelected(row),
                      Rlt_iecachesubdir->RowState(row), background, textcolour);
    return true;
}

void CacheBrowser::Rlt_iecachesubdir_RowClick(int row)
{
    emit previewrequested(row);
}

void CacheBrowser::Rlt_iecachesubdir_RowDblClick(int row)
{
    emit openrequested(row);
}

void CacheBrowser::Rlt_iecachesubdir_ListKey(int keycode, int)
{
    if (isopenkey(keycode))
        emit viewrequested();
}

int CacheBrowser::rowcount() const
{
    return Rlt_iecachesubdir->RowCount();
}

int CacheBrowser::currentrow() const
{
    return Rlt_iecachesubdir->CurrentRow();
}

bool CacheBrowser::rowselected(int row) const
{
    return Rlt_iecachesubdir->RowSelected(row);
}

ResultRow CacheBrowser::row(int row) const
{
    return Rlt_iecachesubdir->RowData(row);
}

void CacheBrowser::gotorow(int row)
{
    Rlt_iecachesubdir->setRowSelected(Rlt_iecachesubdir->CurrentRow(), false);
    Rlt_iecachesubdir->setRowSelected(row, true);
    Rlt_iecachesubdir->setCurrentRow(row);
}

void CacheBrowser::covered()
{
    Rlt_iecachesubdir->setfollowscurrent(false);
}

void CacheBrowser::uncovered()
{
    Rlt_iecachesubdir->setfollowscurrent(true);
}

FolderHandle CacheBrowser::openlisted() const
{
    return flt_iecachesubdir->openlisted();
}

bool CacheBrowser::holdsplainfile(const QString &name) const
{
    if (m_browsercache) // a row's path names no file of its own
        return false;
    return flt_iecachesubdir->holdsplainfile(name);
}

} // namespace vellomar
