#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <functional>

class QPushButton;
class QRadioButton;
class QSlider;
class QToolButton;
class QWidget;

namespace vellomar {

enum class ButtonIcon;

// What the program's windows share: their colour, their fonts, and placement in twips.
inline const QColor windowcolour(192, 192, 255);

// Places a control at a position and size in twips, in its parent's coordinates.
void place(QWidget *w, int left, int top, int width, int height);

QFont songti(double points);
QFont kaiti(double points);
void paintbackground(QWidget *w, const QColor &c);

// The fallback CJK fonts run wider and taller than the originals: a text that does not fit
// its fixed box gets a slightly smaller font instead of being cut.
void shrinktofit(QWidget *w, QFont f, const std::function<bool(const QFont &)> &fits);

template <typename T> T *named(T *w, const char *name)
{
    w->setObjectName(QString::fromUtf8(name));
    return w;
}

QToolButton *iconbutton(QWidget *parent, const char *name, ButtonIcon icon, const QString &tip);
QPushButton *pushbutton(QWidget *parent, const char *name, const QString &caption);
QRadioButton *option(QWidget *parent, const char *name, const QString &caption);
// Shrinks an option's caption until it fits the option's width.
void fitoption(QRadioButton *b);
QSlider *sizeslider(QWidget *parent, const char *name, const QString &what);

} // namespace vellomar
