#pragma once

#include "seams.h"
#include "viewerhost.h"

#include <QWidget>

namespace vellomar {

class CacheBrowser;
class DigCommands;
class PreviewArea;
class frm_picfullscreen;

// The main window: it owns the cache browser, the dig commands, the preview and the full-screen
// viewer, and is the one place where they meet.
class frm_main : public QWidget, private ViewerHost
{
    Q_OBJECT
  public:
    explicit frm_main(const Seams &seams, QWidget *parent = nullptr);
    ~frm_main() override;

    void Form_Load();
    // Opens the current row: in the viewer, or with its program when pictures open there.
    void viewcurrentfile();
    bool viewershowing() const;

  protected:
    void closeEvent(QCloseEvent *event) override;

  private:
    void connectparts();
    void settaborder();
    void Form_Unload();
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
    void viewerclosed() override;

    Seams m_seams;
    CacheBrowser *m_browser;
    PreviewArea *m_preview;
    DigCommands *m_dig;
    frm_picfullscreen *m_viewer = nullptr;
};

} // namespace vellomar
