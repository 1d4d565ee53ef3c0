#include "listcolours.h"

namespace vellomar {

void choosecellcolours(int row, int column, bool selected, int state, OleColor &background,
                       OleColor &textcolour)
{
    if (state == 1) {
        textcolour = listcolour::state1text;
        background = selected ? listcolour::selectedback : listcolour::state1back;
    } else if (state == 2) {
        textcolour = listcolour::state2text;
    } else {
        textcolour = listcolour::text;
        background = (row % 2 != 0) ? listcolour::oddback : listcolour::evenback;
        if (selected) {
            background = listcolour::selectedback;
            textcolour = listcolour::selectedtext;
        }
    }
    if (isseparatorcolumn(column))
        background = listcolour::separatorback;
}

} // namespace vellomar
