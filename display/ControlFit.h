// Controls laid out in dialog units for the classic font can come out narrower
// than GTK needs for their text; a check box allocated less than its label's
// width is drawn clipped and makes GTK complain on standard error.
#pragma once

class wxWindow;

namespace kestrun {

// Widens every check box among parent's children that is narrower than its
// label needs, keeping its position and height.
void WidenCheckBoxesToFit(wxWindow* parent);

}  // namespace kestrun
