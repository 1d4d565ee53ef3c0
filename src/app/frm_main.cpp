#include "frm_main.h"

#include "cachebrowser.h"
#include "digcommands.h"
#include "entryfiles.h"
#include "fitting.h"
#include "formkit.h"
#include "frm_picfullscreen.h"
#include "housekeeping.h"
#include "icons.h"
#include "numbers.h"
#include "placesearch.h"
#include "previewarea.h"
#include "previewwidgets.h"
#include "resultlistcontrol.h"
#include "shellopen.h"
#include "texts.h"

#include <QCloseEvent>
#include <QJsonArray>
#include <QJsonDocument>

namespace vellomar {

frm_main::frm_main(const Seams &seams, QWidget *parent) : QWidget(parent), m_seams(seams)
{
    setObjectName(QStringLiteral("frm_main"));
    setFixedSize(pixels(11235), pixels(6645));
    setFont(songti(9));
    paintbackground(this, windowcolour);
    setWindowIcon(appicon());

    m_browser = new CacheBrowser(this, m_seams);
    m_preview = new PreviewArea(this, *m_browser, m_seams);
    // Its progress and report lie over the preview board.
    m_dig = new DigCommands(this, m_preview->board(), *m_browser, m_seams);
    m_search = new PlaceSearch(this, m_preview->board());
    settaborder();
    connectparts();
}

frm_main::~frm_main() = default;

// The parts meet here and nowhere else.
void frm_main::connectparts()
{
    connect(m_browser, &CacheBrowser::previewrequested, this, [this](int row) {
        if (row != m_opencopyrow)
            m_opencopy.reset();
        if (!m_dig->digging())
            m_preview->dofilelist(row);
    });
    connect(m_browser, &CacheBrowser::openrequested, this, &frm_main::openrow);
    connect(m_browser, &CacheBrowser::viewrequested, this, &frm_main::viewcurrentfile);
    connect(m_preview, &PreviewArea::viewrequested, this, &frm_main::viewcurrentfile);
    connect(m_preview, &PreviewArea::previewstarted, m_dig, &DigCommands::hidereport);
    connect(m_preview, &PreviewArea::flashloaded, this, [this](const QString &path, auto movie) {
        if (!viewershowing())
            return;
        m_preview->pauseflash();
        m_viewer->showflash(path, std::move(movie));
    });
    connect(m_preview, &PreviewArea::flashunloaded, this, [this] {
        if (viewershowing())
            m_viewer->unloadflash();
    });
    connect(m_dig, &DigCommands::busychanged, this, [this](bool busy) {
        m_browser->setenabled(!busy);
        m_preview->setbusy(busy);
        emit busychanged(busy);
        if (!busy && m_startfound) {
            const auto found = std::move(*m_startfound);
            m_startfound.reset();
            startplacefound(found.first, found.second);
        }
    });
    connect(m_search, &PlaceSearch::found, this, &frm_main::startplacefound);
}

// The keyboard visits the controls in the order they stand, whichever part owns them.
void frm_main::settaborder()
{
    static const char *const order[] = {
        "lst_TmpIntDir",
        "fra_filetype",
        "fra_filesize",
        "Rlt_iecachesubdir",
        "cmd_downcurall",
        "cmd_downcurselect",
        "cmd_selectdowndir",
        "cmd_opendowndir",
        "cmd_killall",
        "Cmd_cleariecache",
        "Cmd_refreshfilelist",
        "Cmd_autodownall",
        "wmp",
        "Pic_imgbox",
        "Fra_otheropt",
    };
    QWidget *previous = nullptr;
    for (const char *name : order) {
        QWidget *w = findChild<QWidget *>(QString::fromLatin1(name), Qt::FindDirectChildrenOnly);
        if (!w)
            continue;
        if (previous)
            QWidget::setTabOrder(previous, w);
        previous = w;
    }
}

void frm_main::Form_Load()
{
    m_browser->load();
    m_preview->load();
    // The cache it would have without a place, until the place's search ends.
    m_browser->getiecachedir();
    setWindowTitle(texts::caption);
    m_dig->load();
    m_browser->listsubdirs(m_browser->iecachedir());
    if (m_browser->foldercount() > 0)
        m_browser->choosefolder(0);
    if (!m_startplace.isEmpty())
        m_search->start(m_startplace);
}

bool frm_main::searching() const
{
    return m_search->searching();
}

void frm_main::startplacefound(const QString &place, const std::vector<FoundCache> &caches)
{
    // The dig reads the rows listed until it ends: the place opens after it.
    if (m_dig->digging()) {
        m_startfound.emplace(place, caches);
        return;
    }
    FoundCache picked;
    if (pickcache(place, caches, picked))
        opencache(picked, place);
}

bool frm_main::pickcache(const QString &place, const std::vector<FoundCache> &caches,
                         FoundCache &picked)
{
    if (caches.empty()) {
        m_seams.dialogs().inform(texts::nocachetext(place));
        return false;
    }
    int chosen = 0;
    if (caches.size() > 1)
        chosen = m_seams.dialogs().choosecache(place, caches, newestcache(caches));
    if (chosen < 0 || chosen >= int(caches.size()))
        return false;
    picked = caches[size_t(chosen)];
    return true;
}

bool frm_main::openplace(const QString &place)
{
    // The dig reads the rows listed until it ends: they stay as they are.
    if (m_dig->digging())
        return false;
    // The place the user opens now wins over the one still searched from the start.
    m_search->cancel();
    m_startfound.reset();
    FoundCache picked;
    if (!pickcache(place, findcaches(place), picked))
        return false;
    opencache(picked, place);
    return true;
}

void frm_main::opencache(const FoundCache &cache, const QString &place)
{
    remember(cache, place);
    closeviewer();
    m_dig->hidereport();
    m_preview->clear();
    m_opencopy.reset();
    // The start path, as for the cache found at load.
    m_browser->setcache(cache.path, place);
    m_browser->listsubdirs(m_browser->iecachedir());
    if (m_browser->foldercount() > 0)
        m_browser->choosefolder(0);
}

QStringList frm_main::recentplaces() const
{
    const QString stored =
        m_seams.settings().read(texts::settingsgroup, texts::settingsrecentkey, QString());
    const QJsonArray list = QJsonDocument::fromJson(stored.toUtf8()).array();
    QStringList places;
    for (const QJsonValue &v : list) {
        if (v.isString() && !v.toString().isEmpty())
            places << v.toString();
    }
    return places;
}

// Written when chosen, never at load or close: the next start opens the same cache.
void frm_main::remember(const FoundCache &cache, const QString &place)
{
    m_seams.settings().write(texts::settingsgroup, texts::settingscachekey, cache.path);
    QStringList places = recentplaces();
    places.removeAll(place);
    places.prepend(place);
    while (places.size() > 8)
        places.removeLast();
    m_seams.settings().write(
        texts::settingsgroup, texts::settingsrecentkey,
        QString::fromUtf8(
            QJsonDocument(QJsonArray::fromStringList(places)).toJson(QJsonDocument::Compact)));
    emit recentplaceschanged();
}

void frm_main::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
}

void frm_main::Form_Unload()
{
    m_search->cancel();
    m_dig->stop();
    m_preview->unload();
    closeviewer();
    m_opencopy.reset();
}

void frm_main::openrow(int row)
{
    if (opensinviewer(m_browser->row(row).name) && m_preview->common().picfullscreenopen)
        viewcurrentfile();
    else
        shellopenrow(row);
}

void frm_main::shellopenrow(int row)
{
    const EntrySource *browser = m_browser->browsercache();
    if (!browser)
        return shellopen(this, m_seams, m_browser->row(row).path);
    // Another program needs a path: the decoded bytes in a private copy, gone once the row is
    // left or the window closes.
    m_opencopy.reset();
    QString why;
    m_opencopy = PrivateCopy::make(*browser, m_browser->sourceentry(row), why);
    if (!m_opencopy) {
        m_seams.dialogs().inform(openfailedtext(m_browser->row(row).name));
        return;
    }
    m_opencopyrow = row;
    shellopen(this, m_seams, m_opencopy->path());
}

void frm_main::viewcurrentfile()
{
    m_dig->hidereport();
    if (!m_preview->common().picfullscreenopen) {
        shellopenrow(m_browser->currentrow());
        return;
    }
    frm_picfullscreen *v = viewer();
    // The viewer covers the window: no need to paint the preview board, or the list that follows
    // each step, until it closes.
    m_preview->covered();
    m_browser->covered();
    setUpdatesEnabled(false);
    v->show();
    v->raise();
    v->activateWindow();
    v->start();
}

frm_picfullscreen *frm_main::viewer()
{
    if (!m_viewer) {
        m_viewer = new frm_picfullscreen(this, *this, m_seams.screen());
        m_viewer->img_fullscreen->setsurface(m_surface);
    }
    return m_viewer;
}

void frm_main::setpicturesurface(PictureSurface *surface)
{
    m_surface = surface;
    m_preview->setsurface(surface);
    if (m_viewer)
        m_viewer->img_fullscreen->setsurface(surface);
}

bool frm_main::viewershowing() const
{
    return m_viewer && m_viewer->isVisible();
}

void frm_main::closeviewer()
{
    if (m_viewer) {
        m_viewer->exitfullscreen();
        delete m_viewer;
        m_viewer = nullptr;
    }
}

int frm_main::rowcount() const
{
    return m_browser->rowcount();
}

int frm_main::currentrow() const
{
    return m_browser->currentrow();
}

void frm_main::gotorow(int row)
{
    m_browser->gotorow(row);
    m_preview->dofilelist(row);
}

QString frm_main::rowname(int row) const
{
    return m_browser->row(row).name;
}

const QImage &frm_main::picture() const
{
    return m_preview->picture();
}

const QByteArray &frm_main::animation() const
{
    return m_preview->animation();
}

bool frm_main::pictureshown() const
{
    return m_preview->pictureshown();
}

const SharedPictureValues &frm_main::values() const
{
    return m_preview->common();
}

void frm_main::prefetch(const std::vector<int> &rows)
{
    m_preview->prefetch(rows);
}

void frm_main::viewerclosed()
{
    m_preview->dropahead();
    m_preview->uncovered();
    m_browser->uncovered();
    setUpdatesEnabled(true);
}

} // namespace vellomar
