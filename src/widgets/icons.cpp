#include "icons.h"

#include "icontheme.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace vellomar {

namespace {

void drawfolder(QPainter &p, const QColor &fill)
{
    p.setPen(QPen(QColor(120, 90, 20), 1.2));
    p.setBrush(fill);
    QPainterPath path;
    path.moveTo(2, 6);
    path.lineTo(8, 6);
    path.lineTo(10, 8);
    path.lineTo(22, 8);
    path.lineTo(22, 20);
    path.lineTo(2, 20);
    path.closeSubpath();
    p.drawPath(path);
}

QPixmap drawn(ButtonIcon which)
{
    QPixmap pm(24, 24);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    switch (which) {
    case ButtonIcon::choosefolder:
        drawfolder(p, QColor(250, 210, 90));
        p.setPen(QPen(QColor(0, 0, 192), 2));
        p.drawLine(12, 11, 12, 18);
        p.drawLine(9, 15, 12, 18);
        p.drawLine(15, 15, 12, 18);
        break;
    case ButtonIcon::openfolder:
        drawfolder(p, QColor(250, 210, 90));
        p.setBrush(QColor(255, 230, 140));
        p.drawPolygon(
            QPolygonF({QPointF(5, 11), QPointF(23, 11), QPointF(20, 20), QPointF(2, 20)}));
        break;
    case ButtonIcon::emptyfolders:
        drawfolder(p, QColor(250, 210, 90));
        p.setPen(QPen(QColor(200, 30, 30), 2.2));
        p.drawLine(8, 11, 16, 18);
        p.drawLine(16, 11, 8, 18);
        break;
    case ButtonIcon::clearcache:
        p.setPen(QPen(QColor(90, 90, 90), 1.2));
        p.setBrush(QColor(210, 215, 225));
        p.drawRect(QRectF(6, 7, 12, 14));
        p.drawLine(QPointF(4, 7), QPointF(20, 7));
        p.drawRect(QRectF(9, 4, 6, 3));
        p.drawLine(QPointF(10, 10), QPointF(10, 18));
        p.drawLine(QPointF(14, 10), QPointF(14, 18));
        break;
    case ButtonIcon::refresh: {
        p.setPen(QPen(QColor(30, 120, 40), 2.4, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(5, 5, 14, 14), 60 * 16, 280 * 16);
        p.setBrush(QColor(30, 120, 40));
        p.setPen(Qt::NoPen);
        p.drawPolygon(QPolygonF({QPointF(14, 2), QPointF(20, 6), QPointF(13, 9)}));
        break;
    }
    }
    return pm;
}

const char *themename(ButtonIcon which)
{
    switch (which) {
    case ButtonIcon::choosefolder:
        return "folder-new";
    case ButtonIcon::openfolder:
        return "folder-open";
    case ButtonIcon::emptyfolders:
        return "edit-clear";
    case ButtonIcon::clearcache:
        return "edit-delete";
    case ButtonIcon::refresh:
        break;
    }
    return "view-refresh";
}

} // namespace

QIcon buttonicon(ButtonIcon which)
{
    if (!holdsactionicons(QIcon::themeName()))
        return QIcon(drawn(which));
    return QIcon::fromTheme(QString::fromLatin1(themename(which)), QIcon(drawn(which)));
}

QIcon appicon()
{
    QPixmap pm(64, 64);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(192, 192, 255));
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
    p.setBrush(QColor(150, 110, 60));
    p.drawChord(QRectF(8, 38, 48, 30), 0, 180 * 16);
    p.setBrush(QColor(0, 0, 192));
    p.drawRect(QRectF(30, 8, 5, 26));
    p.setBrush(QColor(120, 130, 150));
    p.drawEllipse(QRectF(24, 30, 17, 16));
    return QIcon(pm);
}

} // namespace vellomar
