#pragma once

#include <QByteArray>
#include <QFrame>
#include <QImage>
#include <QPixmap>
#include <QSet>

class QMovie;
class QBuffer;

namespace vellomar {

class PictureSurface;

// A picture at another size, filtered.
QImage scaledpicture(const QImage &image, const QSize &size);

// Mouse buttons as the handlers know them.
int buttoncode(Qt::MouseButton b);

// The preview board: reports double-clicks and released buttons (with the button's code) and
// released keys.
class PreviewBoard : public QFrame
{
    Q_OBJECT
  public:
    explicit PreviewBoard(QWidget *parent = nullptr);
  signals:
    void DblClick(int button);
    void MouseUp(int button);
    void KeyUp(int keycode);

  protected:
    void mouseDoubleClickEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    void keyReleaseEvent(QKeyEvent *e) override;
    void focusOutEvent(QFocusEvent *e) override;

  private:
    QSet<int> m_down; // keys pressed here and not yet released
};

// An image control that stretches its picture to its own size. An animated picture plays from
// the bytes it was given, so its file is not read again.
class ImageControl : public QWidget
{
    Q_OBJECT
  public:
    explicit ImageControl(QWidget *parent = nullptr);
    ~ImageControl() override;

    void setpicture(const QImage &image, const QByteArray &animation = {});
    void clearpicture();
    bool haspicture() const { return !m_image.isNull(); }
    const QImage &image() const { return m_image; }
    const QByteArray &animation() const { return m_animation; }
    bool animating() const;

    // Where a still picture at its natural size is put from, when it was decoded into the
    // surface's memory; none by default. The surface must outlive the control.
    void setsurface(PictureSurface *surface);
    // Whether the picture goes to the display from the surface, not through the backing store.
    bool direct() const { return m_isdirect; }
    // Puts the picture on the display now when it goes there from the surface; false, doing
    // nothing, when it is painted the ordinary way.
    bool putnow();

  signals:
    void DblClick(int button);
    void MouseUp(int button);

  protected:
    void paintEvent(QPaintEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    void mouseDoubleClickEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;

  private:
    class DirectView;
    // Shows the direct view over the control when the picture can go that way, hides it when not.
    void choosepath();
    void directfailed();

    PictureSurface *m_surface = nullptr;
    DirectView *m_direct = nullptr;
    bool m_isdirect = false;
    bool m_failed = false; // the surface could not put on this control's window
    QImage m_image;
    QByteArray m_animation;
    QImage m_scaled; // the picture at the control's size, made when first painted
    QMovie *m_movie = nullptr;
    QBuffer *m_buffer = nullptr;
};

} // namespace vellomar
