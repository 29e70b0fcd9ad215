// Another program (a second copy of Kestrun) can show this program's hidden main
// window through the window system. The toolkit does not expect its hidden window
// to be mapped from outside and hides it again; this watch turns such a map into
// the program's own restore.
#pragma once

#include <functional>

class wxTopLevelWindow;

namespace kestrun {

// Calls restore (from the event loop) whenever frame is mapped while the program
// holds it hidden. The frame must be realised; the watch ends with the frame.
void WatchForOutsideShow(wxTopLevelWindow* frame, std::function<void()> restore);

}  // namespace kestrun
