// The window system's id of a toolkit window.
#pragma once

#include "platform/Types.h"

class wxWindow;

namespace kestrun {

// The X11 window id of a realised top-level window; 0 when it has none (not
// realised yet, or not on X11).
platform::WindowId NativeWindowId(wxWindow* window);

}  // namespace kestrun
