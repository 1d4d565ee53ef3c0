#include "keys.h"

#include <Qt>

namespace vellomar {

int keycode(int qtkey)
{
    switch (qtkey) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return key::enter;
    case Qt::Key_Escape:
        return key::escape;
    case Qt::Key_Space:
        return key::space;
    case Qt::Key_Left:
        return key::left;
    case Qt::Key_Up:
        return key::up;
    case Qt::Key_Right:
        return key::right;
    case Qt::Key_Down:
        return key::down;
    case Qt::Key_Backspace:
        return 8;
    case Qt::Key_Tab:
        return 9;
    default:
        break;
    }
    if ((qtkey >= Qt::Key_0 && qtkey <= Qt::Key_9) || (qtkey >= Qt::Key_A && qtkey <= Qt::Key_Z))
        return qtkey; // Qt's codes for these are their ASCII characters
    return 0;
}

} // namespace vellomar
