#pragma once

#include <QByteArray>
#include <QFrame>
#include <QImage>
#include <QPixmap>
#include <QSet>

class QMovie;
class QBuffer;

namespace vellomar {

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

  signals:
    void DblClick(int button);
    void MouseUp(int button);

  protected:
    void paintEvent(QPaintEvent *e) override;
    void mouseDoubleClickEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;

  private:
    QImage m_image;
    QByteArray m_animation;
    QImage m_scaled; // the picture at the control's size, made when first painted
    QMovie *m_movie = nullptr;
    QBuffer *m_buffer = nullptr;
};

} // namespace vellomar
