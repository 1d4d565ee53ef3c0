#pragma once

#include "cachediscovery.h"
#include "seams.h"
#include "viewerhost.h"

#include <QStringList>
#include <QWidget>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace vellomar {

class CacheBrowser;
class DigCommands;
class PlaceSearch;
class PreviewArea;
class frm_picfullscreen;
class PictureSurface;
class PrivateCopy;

// The main window: it owns the cache browser, the dig commands, the preview and the full-screen
// viewer, and is the one place where they meet.
class frm_main : public QWidget, private ViewerHost
{
    Q_OBJECT
  public:
    explicit frm_main(const Seams &seams, QWidget *parent = nullptr);
    ~frm_main() override;

    // A place named on the command line: searched from load on, while the window shows the
    // cache it would have had without one; its cache is opened when the search ends.
    void setstartplace(const QString &place) { m_startplace = place; }
    void Form_Load();
    // The start place's caches are being searched.
    bool searching() const;

    // Opens a place (a cache, a profile, a Windows disk, a Wine prefix): when it holds several
    // caches the user chooses one; the one opened is remembered. False when nothing was opened.
    bool openplace(const QString &place);
    // Lists `cache` (found in `place`) as the window lists a cache at start.
    void opencache(const FoundCache &cache, const QString &place);
    // The places opened, the latest first.
    QStringList recentplaces() const;
    // Opens the current row: in the viewer, or with its program when pictures open there.
    void viewcurrentfile();
    bool viewershowing() const;
    // Where the pictures the viewer steps to are decoded ahead and put from; none by default. It
    // must outlive the window.
    void setpicturesurface(PictureSurface *surface);

  signals:
    void recentplaceschanged();
    // A dig runs, or has ended: no other place may be opened meanwhile.
    void busychanged(bool busy);

  protected:
    void closeEvent(QCloseEvent *event) override;

  private:
    void connectparts();
    void settaborder();
    void Form_Unload();
    // The cache the user picks among those found in `place`; false when none.
    bool pickcache(const QString &place, const std::vector<FoundCache> &caches, FoundCache &picked);
    // The start place's search has ended with `caches`.
    void startplacefound(const QString &place, const std::vector<FoundCache> &caches);
    void remember(const FoundCache &cache, const QString &place);
    void openrow(int row);
    void shellopenrow(int row);
    frm_picfullscreen *viewer();
    void closeviewer();

    // ViewerHost
    int rowcount() const override;
    int currentrow() const override;
    void gotorow(int row) override;
    QString rowname(int row) const override;
    const QImage &picture() const override;
    const QByteArray &animation() const override;
    bool pictureshown() const override;
    const SharedPictureValues &values() const override;
    void prefetch(const std::vector<int> &rows) override;
    void viewerclosed() override;

    Seams m_seams;
    CacheBrowser *m_browser;
    PreviewArea *m_preview;
    DigCommands *m_dig;
    frm_picfullscreen *m_viewer = nullptr;
    PictureSurface *m_surface = nullptr;
    PlaceSearch *m_search;
    QString m_startplace;
    // The private copy of the row last given to another program, and that row.
    std::unique_ptr<PrivateCopy> m_opencopy;
    int m_opencopyrow = -1;
    // The start place's caches, found while a dig ran: offered once it ends.
    std::optional<std::pair<QString, std::vector<FoundCache>>> m_startfound;
};

} // namespace vellomar
