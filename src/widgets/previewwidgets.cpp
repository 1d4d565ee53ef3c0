#include "previewwidgets.h"

#include "keys.h"
#include "pictureholder.h"

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
    update();
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
    if (m_image.isNull() || width() <= 0 || height() <= 0)
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
