#include "frm_picfullscreen.h"

#include "fitting.h"
#include "flashplayer.h"
#include "formkit.h"
#include "keys.h"
#include "numbers.h"
#include "previewwidgets.h"
#include "seams.h"
#include "viewerhost.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QTimer>
#include <QWheelEvent>

namespace vellomar {

frm_picfullscreen::frm_picfullscreen(QWidget *owner, ViewerHost &host, const ScreenInfo &screen)
    : QWidget(owner, Qt::Window | Qt::FramelessWindowHint), m_host(host), m_screen(screen)
{
    setObjectName(QStringLiteral("frm_picfullscreen"));
    setWindowTitle(QString());
    paintbackground(this, windowcolour);
    setAccessibleName(QStringLiteral("全屏查看"));

    Cbo_scrollpic = new QComboBox(this);
    Cbo_scrollpic->setObjectName(QStringLiteral("Cbo_scrollpic"));
    Cbo_scrollpic->setGeometry(pixels(-2000), pixels(500), pixels(1215), pixels(300));
    Cbo_scrollpic->setFocusPolicy(Qt::StrongFocus);
    Cbo_scrollpic->setAccessibleName(QStringLiteral("当前文件"));
    Cbo_scrollpic->installEventFilter(this);

    img_fullscreen = new ImageControl(this);
    img_fullscreen->setObjectName(QStringLiteral("img_fullscreen"));
    img_fullscreen->setAccessibleName(QStringLiteral("全屏图片"));
    img_fullscreen->installEventFilter(this);

    FlashFS = new FlashPlayer(this);
    FlashFS->setObjectName(QStringLiteral("FlashFS"));
    FlashFS->hide();

    tmr_setfocus = new QTimer(this);
    tmr_setfocus->setInterval(1000);
    connect(tmr_setfocus, &QTimer::timeout, this, [this] {
        if (!FlashFS->isHidden())
            Cbo_scrollpic->setFocus();
    });
    tmr_setfocus->start();

    m_askahead = new QTimer(this);
    m_askahead->setSingleShot(true);
    m_askahead->setInterval(0);
    connect(m_askahead, &QTimer::timeout, this, [this] { m_host.prefetch(m_ahead); });

    connect(Cbo_scrollpic, &QComboBox::currentIndexChanged, this,
            &frm_picfullscreen::Cbo_scrollpic_Click);
    connect(img_fullscreen, &ImageControl::DblClick, this, [this](int button) {
        if (button == 1)
            exitfullscreen();
    });
    connect(img_fullscreen, &ImageControl::MouseUp, this, [this](int button) {
        if (button == 4)
            exitfullscreen();
    });
    setFocusProxy(Cbo_scrollpic);

    // Load: over the whole screen, for the window's whole life.
    const QSize s = m_screen.size();
    setGeometry(0, 0, s.width(), s.height());
}

frm_picfullscreen::~frm_picfullscreen() = default;

QSizeF frm_picfullscreen::screentwips() const
{
    const QSize s = m_screen.size();
    return QSizeF(s.width() * twipsperpixel, s.height() * twipsperpixel);
}

void frm_picfullscreen::resizeEvent(QResizeEvent *)
{
    FlashFS->setGeometry(0, 0, width(), height());
}

void frm_picfullscreen::placetwips(float left, float top, float width, float height)
{
    m_placed = QRectF(left, top, width, height);
    img_fullscreen->setGeometry(qRound(left / twipsperpixel), qRound(top / twipsperpixel),
                                qRound(width / twipsperpixel), qRound(height / twipsperpixel));
}

void frm_picfullscreen::placepicture(float f)
{
    const QSizeF s = screentwips();
    const SharedPictureValues &v = m_host.values();
    const Placement at =
        centred(float(v.picwidth), float(v.picheight), f, float(s.width()), float(s.height()));
    placetwips(at.left, at.top, at.width, at.height);
}

void frm_picfullscreen::exitfullscreen()
{
    hide(); // the rest is release(), which every hide runs
}

// Every way the window goes away ends the same: the preview painted again, the viewer's
// picture and movie let go, and a stopped Flash preview resumed.
void frm_picfullscreen::release()
{
    m_down.clear();
    m_askahead->stop();
    img_fullscreen->clearpicture();
    FlashFS->unload();
    m_host.viewerclosed();
}

void frm_picfullscreen::start()
{
    m_position = -1;
    {
        const QSignalBlocker quiet(Cbo_scrollpic);
        Cbo_scrollpic->clear();
        const int n = m_host.rowcount();
        for (int i = 0; i < n; ++i)
            Cbo_scrollpic->addItem(QString::number(i));
        Cbo_scrollpic->setCurrentIndex(-1);
    }
    // Runs the viewer's own handling of the new position before going on.
    Cbo_scrollpic->setCurrentIndex(m_host.currentrow());
    Cbo_scrollpic->setFocus();
    placepicture(m_host.values().fullscreenscale);
    img_fullscreen->setpicture(m_host.picture(), m_host.animation());
}

void frm_picfullscreen::showflash(const QString &path, std::shared_ptr<const OpenedFile> movie)
{
    FlashFS->setVisible(true);
    FlashFS->setMovie(path, std::move(movie));
    FlashFS->Play();
}

void frm_picfullscreen::unloadflash()
{
    FlashFS->unload();
}

void frm_picfullscreen::hideEvent(QHideEvent *event)
{
    // A window-manager close (Alt+F4 included) or a hide from anywhere lands here too.
    QWidget::hideEvent(event);
    if (!event->spontaneous())
        release();
}

void frm_picfullscreen::Cbo_scrollpic_Click()
{
    if (!Cbo_scrollpic->isEnabled())
        return;
    const int position = Cbo_scrollpic->currentIndex();
    if (position < 0)
        return;
    const int direction = position < m_position ? -1 : 1;
    m_position = position;
    m_host.gotorow(position);
    img_fullscreen->clearpicture();
    placepicture(m_host.values().fullscreenscale);
    img_fullscreen->setpicture(m_host.picture(), m_host.animation());
    const QString tip = QStringLiteral("(%1/%2) ").arg(position + 1).arg(Cbo_scrollpic->count()) +
                        m_host.rowname(m_host.currentrow());
    img_fullscreen->setToolTip(tip);
    FlashFS->setToolTip(tip);
    img_fullscreen->setAccessibleDescription(tip);
    // This picture reaches the screen before the worker takes a core to decode the next two the
    // way the user is going and the one the other way; two ahead keep it busy while a key is held.
    // A picture put straight from shared memory needs nothing else of the window painted first.
    if (!img_fullscreen->putnow())
        repaint();
    m_ahead.clear();
    for (int row : {position + direction, position + 2 * direction, position - direction}) {
        if (row >= 0 && row < Cbo_scrollpic->count())
            m_ahead.push_back(row);
    }
    m_askahead->start();
}

void frm_picfullscreen::Cbo_scrollpic_KeyDown(int)
{
    savedlistindex = Cbo_scrollpic->currentIndex();
}

void frm_picfullscreen::Cbo_scrollpic_KeyUp(int keycode)
{
    if (!isarrowkey(keycode)) {
        Cbo_scrollpic->setEnabled(false);
        Cbo_scrollpic->setCurrentIndex(savedlistindex);
        Cbo_scrollpic->setEnabled(true);
        Cbo_scrollpic->setFocus();
    }
    if (keycode == key::enter || keycode == key::escape)
        exitfullscreen();
    else if (keycode == key::space)
        sizetoggle();
}

void frm_picfullscreen::sizetoggle()
{
    if (!m_host.pictureshown()) {
        exitfullscreen();
        return;
    }
    const QSizeF s = screentwips();
    const SharedPictureValues &v = m_host.values();
    const float w = float(v.picwidth);
    const float h = float(v.picheight);
    if (float(m_placed.width()) != w) {
        placetwips((float(s.width()) - w) / 2.0f, (float(s.height()) - h) / 2.0f, w, h);
    } else if (v.picorisize) {
        placepicture(fitscale(w, h, float(s.width()), float(s.height())));
    } else {
        placepicture(v.fullscreenscale);
    }
}

void frm_picfullscreen::step(int delta)
{
    const int next = Cbo_scrollpic->currentIndex() + delta;
    if (next >= 0 && next < Cbo_scrollpic->count())
        Cbo_scrollpic->setCurrentIndex(next);
}

bool frm_picfullscreen::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != Cbo_scrollpic) {
        // The wheel steps wherever the pointer is over the window.
        if (event->type() == QEvent::Wheel) {
            wheelEvent(static_cast<QWheelEvent *>(event));
            return true;
        }
        return QWidget::eventFilter(watched, event);
    }
    switch (event->type()) {
    case QEvent::KeyPress: {
        auto *k = static_cast<QKeyEvent *>(event);
        const int code = keycode(k->key());
        if (!k->isAutoRepeat()) {
            m_down.insert(code);
            Cbo_scrollpic_KeyDown(code);
        }
        // Only Up and Down move the list; nothing else may open it or jump by letter.
        if (code == key::up || code == key::down)
            step(code == key::up ? -1 : 1);
        return true;
    }
    case QEvent::KeyRelease: {
        auto *k = static_cast<QKeyEvent *>(event);
        const int code = keycode(k->key());
        if (!k->isAutoRepeat() && m_down.remove(code))
            Cbo_scrollpic_KeyUp(code);
        return true;
    }
    case QEvent::Wheel:
        wheelEvent(static_cast<QWheelEvent *>(event));
        return true;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        return true;
    default:
        return QWidget::eventFilter(watched, event);
    }
}

void frm_picfullscreen::wheelEvent(QWheelEvent *event)
{
    // One entry per notch: forward is the previous entry, backward the next.
    m_wheel += event->angleDelta().y();
    while (m_wheel >= 120) {
        m_wheel -= 120;
        step(-1);
    }
    while (m_wheel <= -120) {
        m_wheel += 120;
        step(1);
    }
    event->accept();
}

void frm_picfullscreen::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        exitfullscreen();
}

void frm_picfullscreen::mouseReleaseEvent(QMouseEvent *event)
{
    if (buttoncode(event->button()) == 4)
        exitfullscreen();
}

} // namespace vellomar
