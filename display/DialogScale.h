// Pixel sizes laid out for the classic 8-point dialog font, scaled to the font a
// window really uses (on GTK its dialog units are larger).
#pragma once

#include <wx/gdicmn.h>

class wxWindow;

namespace kestrun {

// Pixels per classic pixel across and down: the window's dialog units over the
// classic ones (1.5 by 1.625 pixels).
wxRealPoint ClassicDialogScale(wxWindow* window);

// A classic pixel width in the window's pixels (at least 1 for a positive width).
int ScaleClassicWidth(wxWindow* window, int width);

}  // namespace kestrun
