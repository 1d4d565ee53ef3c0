#pragma once

#include "columns.h"
#include "numbers.h"

namespace vellomar {

namespace listcolour {
inline constexpr OleColor text = rgb(76, 97, 143);
inline constexpr OleColor evenback = rgb(250, 250, 255);
inline constexpr OleColor oddback = rgb(240, 240, 255);
inline constexpr OleColor selectedback = rgb(38, 100, 199);
inline constexpr OleColor selectedtext = rgb(255, 255, 255);
inline constexpr OleColor state1text = rgb(85, 175, 18);
inline constexpr OleColor state1back = rgb(235, 242, 254);
inline constexpr OleColor state2text = rgb(255, 0, 0);
inline constexpr OleColor separatorback = rgb(186, 214, 229);
} // namespace listcolour

// The colours of one result-list cell; `background` and `textcolour` come in as the list's
// defaults and leave as the cell's colours.
void choosecellcolours(int row, int column, bool selected, int state, OleColor &background,
                       OleColor &textcolour);

} // namespace vellomar
