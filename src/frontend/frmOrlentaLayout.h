// What frmOrlenta's two files share of its layout: the rows of the layout table and the ids of
// the controls made from them.
#pragma once

#include <string_view>

#include "frontend/frmOrlenta.h"

namespace orlenta::form_layout {

inline constexpr int kFirstControlId = 1000;  // clear of IDOK and IDCANCEL, which the dialog manager sends

// The row of a control in FormLayout(); a name that is not there is a fault of the program.
int RowOf(std::string_view name, int index);
bool Named(const ControlLayout& row, std::string_view name, int index);

}  // namespace orlenta::form_layout
