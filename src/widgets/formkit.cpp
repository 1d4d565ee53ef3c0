#include "formkit.h"

#include "icons.h"
#include "numbers.h"

#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QToolButton>

namespace vellomar {

void place(QWidget *w, int left, int top, int width, int height)
{
    w->setGeometry(pixels(left), pixels(top), pixels(width), pixels(height));
}

QFont songti(double points)
{
    QFont f;
    f.setFamilies({QStringLiteral("SimSun"), QStringLiteral("宋体"), QStringLiteral("NSimSun"),
                   QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC")});
    f.setPointSizeF(points);
    return f;
}

QFont kaiti(double points)
{
    QFont f;
    f.setFamilies({QStringLiteral("KaiTi_GB2312"), QStringLiteral("楷体_GB2312"),
                   QStringLiteral("KaiTi"), QStringLiteral("AR PL UKai CN"),
                   QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC")});
    f.setPointSizeF(points);
    f.setBold(true);
    return f;
}

void paintbackground(QWidget *w, const QColor &c)
{
    w->setAutoFillBackground(true);
    QPalette p = w->palette();
    p.setColor(QPalette::Window, c);
    w->setPalette(p);
}

void shrinktofit(QWidget *w, QFont f, const std::function<bool(const QFont &)> &fits)
{
    w->setFont(f);
    while (f.pointSizeF() > 7 && !fits(f)) {
        f.setPointSizeF(f.pointSizeF() - 0.5);
        w->setFont(f);
    }
}

QToolButton *iconbutton(QWidget *parent, const char *name, ButtonIcon icon, const QString &tip)
{
    auto *b = named(new QToolButton(parent), name);
    b->setIcon(buttonicon(icon));
    b->setIconSize(QSize(18, 18));
    b->setToolTip(tip);
    b->setAccessibleName(tip);
    return b;
}

QPushButton *pushbutton(QWidget *parent, const char *name, const QString &caption)
{
    auto *b = named(new QPushButton(caption, parent), name);
    b->setAccessibleName(caption);
    return b;
}

QRadioButton *option(QWidget *parent, const char *name, const QString &caption)
{
    auto *b = named(new QRadioButton(caption, parent), name);
    paintbackground(b, windowcolour);
    return b;
}

void fitoption(QRadioButton *b)
{
    shrinktofit(b, b->font(), [b](const QFont &) { return b->sizeHint().width() <= b->width(); });
}

QSlider *sizeslider(QWidget *parent, const char *name, const QString &what)
{
    auto *s = named(new QSlider(Qt::Horizontal, parent), name);
    s->setRange(1, 16);
    s->setPageStep(1);
    s->setTickPosition(QSlider::NoTicks);
    s->setAccessibleName(what);
    s->setToolTip(what);
    return s;
}

} // namespace vellomar
