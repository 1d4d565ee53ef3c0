#pragma once

#include <QRectF>
#include <QSet>
#include <QWidget>
#include <memory>
#include <vector>

class QComboBox;
class QTimer;

namespace vellomar {

class FlashPlayer;
class OpenedFile;
class ImageControl;
class ScreenInfo;
class ViewerHost;

// The borderless full-screen viewer. It steps through its host's rows: an invisible,
// focus-holding list moves on Up, Down and the mouse wheel only.
class frm_picfullscreen : public QWidget
{
    Q_OBJECT
  public:
    frm_picfullscreen(QWidget *owner, ViewerHost &host, const ScreenInfo &screen);
    ~frm_picfullscreen() override;

    QComboBox *Cbo_scrollpic;
    ImageControl *img_fullscreen;
    FlashPlayer *FlashFS;
    QTimer *tmr_setfocus;
    int savedlistindex = 0;

    void exitfullscreen();
    // Shows the rows from the host's current one, at the picture's full-screen size.
    void start();
    // The Flash movie the preview plays, shown here instead; none.
    void showflash(const QString &path, std::shared_ptr<const OpenedFile> movie);
    void unloadflash();
    // Places the picture at factor f, centred on the screen (twips).
    void placepicture(float f);
    void placetwips(float left, float top, float width, float height);
    const QRectF &placed() const { return m_placed; }

    void Cbo_scrollpic_Click();
    void Cbo_scrollpic_KeyDown(int keycode);
    void Cbo_scrollpic_KeyUp(int keycode);
    QSizeF screentwips() const;

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

  private:
    void sizetoggle();
    void step(int delta);
    void release();

    ViewerHost &m_host;
    const ScreenInfo &m_screen;
    QRectF m_placed;
    int m_wheel = 0;
    int m_position = -1; // the row shown last, for the direction of travel
    // The rows to decode ahead, asked for once the step's picture is on the screen.
    std::vector<int> m_ahead;
    QTimer *m_askahead;
    // Keys that went down while the list had the focus: the release of a key pressed
    // elsewhere (the one that opened the viewer) is not ours to act on.
    QSet<int> m_down;
};

} // namespace vellomar
