#include "busyanimation.h"

#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <cmath>

namespace vellomar {

BusyAnimation::BusyAnimation(QWidget *parent) : QWidget(parent), m_timer(new QTimer(this))
{
    m_timer->setInterval(80);
    connect(m_timer, &QTimer::timeout, this, [this] {
        m_frame = (m_frame + 1) % 24;
        update();
    });
    setAccessibleName(QStringLiteral("正在挖取"));
}

void BusyAnimation::Play()
{
    m_timer->start();
}

void BusyAnimation::Stop()
{
    m_timer->stop();
}

bool BusyAnimation::playing() const
{
    return m_timer->isActive();
}

void BusyAnimation::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = rect().adjusted(6, 6, -6, -6);
    const QPointF c = r.center();
    const double radius = std::min(r.width(), r.height()) / 2.0;

    // A heap of earth at the bottom.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(150, 110, 60));
    p.drawChord(QRectF(c.x() - radius, c.y() + radius * 0.35, radius * 2, radius * 1.1), 0,
                180 * 16);

    // A ring of dots, one brighter, turning like a clock.
    for (int i = 0; i < 12; ++i) {
        const double a = (i * 30.0 - 90.0) * M_PI / 180.0;
        const int age = (m_frame / 2 - i + 12) % 12;
        QColor dot(0, 0, 192);
        dot.setAlphaF(1.0 - age / 13.0);
        p.setBrush(dot);
        const QPointF at(c.x() + std::cos(a) * radius * 0.7,
                         c.y() - radius * 0.15 + std::sin(a) * radius * 0.55);
        p.drawEllipse(at, radius * 0.07, radius * 0.07);
    }

    // The spade, rocking with the frame.
    p.save();
    p.translate(c.x(), c.y() - radius * 0.15);
    p.rotate(std::sin(m_frame * M_PI / 12.0) * 20.0);
    p.setBrush(QColor(110, 80, 40));
    p.drawRect(QRectF(-radius * 0.04, -radius * 0.5, radius * 0.08, radius * 0.6));
    QPainterPath blade;
    blade.moveTo(-radius * 0.14, radius * 0.1);
    blade.lineTo(radius * 0.14, radius * 0.1);
    blade.lineTo(radius * 0.1, radius * 0.38);
    blade.quadTo(0, radius * 0.48, -radius * 0.1, radius * 0.38);
    blade.closeSubpath();
    p.setBrush(QColor(120, 130, 150));
    p.drawPath(blade);
    p.restore();
}

} // namespace vellomar
