#include "previewwidgets.h"

#include "keys.h"
#include "pictureholder.h"
#include "picturesurface.h"

#include <QBuffer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QMovie>
#include <QPainter>

namespace vellomar {

int buttoncode(Qt::MouseButton b)
{
    switch (b) {
    case Qt::LeftButton:
        return 1;
    case Qt::RightButton:
        return 2;
    case Qt::MiddleButton:
        return 4;
    default:
        return 0;
    }
}

PreviewBoard::PreviewBoard(QWidget *parent) : QFrame(parent)
{
    setFocusPolicy(Qt::ClickFocus);
}

void PreviewBoard::mouseDoubleClickEvent(QMouseEvent *e)
{
    e->accept();
    emit DblClick(buttoncode(e->button()));
}

void PreviewBoard::mouseReleaseEvent(QMouseEvent *e)
{
    e->accept();
    emit MouseUp(buttoncode(e->button()));
}

void PreviewBoard::keyPressEvent(QKeyEvent *e)
{
    if (!e->isAutoRepeat())
        m_down.insert(e->key());
    QFrame::keyPressEvent(e);
}

void PreviewBoard::keyReleaseEvent(QKeyEvent *e)
{
    // Only a key that went down here: the Enter that closed a dialog over the window lets go
    // on whatever has the focus next.
    if (e->isAutoRepeat() || !m_down.remove(e->key()))
        return;
    emit KeyUp(keycode(e->key()));
}

void PreviewBoard::focusOutEvent(QFocusEvent *e)
{
    m_down.clear();
    QFrame::focusOutEvent(e);
}

// A native window over the whole control that the display fills straight from the picture's
// shared memory. Qt paints nothing of it; the mouse and the wheel go on to the control.
class ImageControl::DirectView : public QWidget
{
  public:
    DirectView(ImageControl *owner, PictureSurface &surface)
        : QWidget(owner), m_owner(owner), m_surface(surface)
    {
        setObjectName(QStringLiteral("directview"));
        setAccessibleName(owner->accessibleName());
        setAttribute(Qt::WA_DontCreateNativeAncestors);
        setAttribute(Qt::WA_NativeWindow);
        setAttribute(Qt::WA_PaintOnScreen);
        setAttribute(Qt::WA_NoSystemBackground);
        setAttribute(Qt::WA_OpaquePaintEvent);
        setFocusPolicy(Qt::NoFocus);
    }
    QPaintEngine *paintEngine() const override { return nullptr; }

  protected:
    void paintEvent(QPaintEvent *e) override
    {
        // Cleared, with the view still up until the loop turns: nothing to put yet.
        const QImage &image = m_owner->m_image;
        if (!image.isNull() && !m_surface.put(this, image, e->rect()))
            m_owner->directfailed();
    }

  private:
    ImageControl *m_owner;
    PictureSurface &m_surface;
};

ImageControl::ImageControl(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

ImageControl::~ImageControl()
{
    clearpicture();
}

void ImageControl::setpicture(const QImage &image, const QByteArray &animation)
{
    clearpicture();
    m_image = image;
    // Every control that plays an animation decodes its own frames (the viewer's as well as the
    // preview's), so each checks the budget itself; beyond it the first frame stands still.
    if (!animation.isEmpty() && fitsdecodebudget(animation))
        m_animation = animation;
    // A still picture without transparency covers the control: nothing beneath needs painting.
    setAttribute(Qt::WA_OpaquePaintEvent,
                 m_animation.isEmpty() && !image.isNull() && !image.hasAlphaChannel());
    if (!m_animation.isEmpty()) {
        m_buffer = new QBuffer(&m_animation, this);
        m_buffer->open(QIODevice::ReadOnly);
        m_movie = new QMovie(m_buffer, QByteArray(), this);
        // Only the frame being shown (and the one being decoded) is held.
        m_movie->setCacheMode(QMovie::CacheNone);
        connect(m_movie, &QMovie::frameChanged, this, qOverload<>(&QWidget::update));
        m_movie->start();
    }
    choosepath();
    if (m_isdirect)
        m_direct->update();
    else
        update();
}

void ImageControl::setsurface(PictureSurface *surface)
{
    m_surface = surface;
    m_failed = false;
    choosepath();
}

void ImageControl::choosepath()
{
    const bool direct = m_surface && !m_failed && !m_movie && !m_image.isNull() &&
                        m_image.size() == size() && m_surface->shares(m_image);
    if (direct && !m_direct)
        m_direct = new DirectView(this, *m_surface);
    if (m_direct) {
        m_direct->setGeometry(rect());
        m_direct->setVisible(direct);
    }
    if (m_isdirect && !direct)
        update(); // the control shows again what the view covered
    m_isdirect = direct;
}

void ImageControl::directfailed()
{
    m_failed = true;
    choosepath();
}

bool ImageControl::putnow()
{
    if (m_isdirect)
        m_direct->repaint();
    return m_isdirect;
}

void ImageControl::resizeEvent(QResizeEvent *)
{
    choosepath();
}

void ImageControl::clearpicture()
{
    if (m_movie) {
        m_movie->stop();
        delete m_movie;
        m_movie = nullptr;
    }
    delete m_buffer;
    m_buffer = nullptr;
    m_image = QImage();
    m_animation.clear();
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    m_scaled = QImage();
    if (m_isdirect) {
        // A picture set next keeps the view up, with no round of hiding and showing the window
        // in between; if none comes, the view goes once the loop turns.
        QMetaObject::invokeMethod(this, &ImageControl::choosepath, Qt::QueuedConnection);
        return;
    }
    update();
}

bool ImageControl::animating() const
{
    return m_movie && m_movie->state() == QMovie::Running;
}

QImage scaledpicture(const QImage &image, const QSize &size)
{
    // A big reduction first halves quickly down to twice the size, then filters once: the same
    // look as filtering all the way, at a fraction of the cost.
    QImage source = image;
    if (source.width() > 4 * size.width() && source.height() > 4 * size.height())
        source = source.scaled(size * 2, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    return source.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

void ImageControl::paintEvent(QPaintEvent *)
{
    if (m_isdirect || m_image.isNull() || width() <= 0 || height() <= 0)
        return;
    QPainter p(this);
    if (m_movie && m_movie->isValid()) {
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawPixmap(rect(), m_movie->currentPixmap());
        return;
    }
    if (m_image.size() == size()) {
        p.drawImage(0, 0, m_image); // natural size: nothing to scale or convert
        return;
    }
    if (m_scaled.size() != size())
        m_scaled = scaledpicture(m_image, size());
    p.drawImage(0, 0, m_scaled);
}

void ImageControl::mouseDoubleClickEvent(QMouseEvent *e)
{
    e->accept();
    emit DblClick(buttoncode(e->button()));
}

void ImageControl::mouseReleaseEvent(QMouseEvent *e)
{
    e->accept();
    emit MouseUp(buttoncode(e->button()));
}

} // namespace vellomar
