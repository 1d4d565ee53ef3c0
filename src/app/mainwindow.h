#pragma once

#include <QMainWindow>

class QMenu;
class QMimeData;

namespace vellomar {

class Dialogs;
class frm_main;

// The top-level window: a menu bar above frm_main, which stays the client area at its design
// size. It opens places (from the menu, the recent list, or a folder dropped on it).
class MainWindow : public QMainWindow
{
    Q_OBJECT
  public:
    MainWindow(frm_main *form, Dialogs &dialogs);

    frm_main *form() const { return m_form; }
    void openplace();

  protected:
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

  private:
    void fillrecent();

    frm_main *m_form;
    Dialogs &m_dialogs;
    QMenu *m_recent;
};

// The local folder a drop carries, or empty.
QString droppedfolder(const QMimeData *data);

} // namespace vellomar
