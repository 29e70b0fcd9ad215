// The modal boxes the program has open, as the shutdown path sees them: the
// toolkit's message dialogs (a nested GTK loop each) and wx dialogs shown with
// ShowModal (a nested wx loop each).
#pragma once

namespace kestrun {

// Asks the innermost open box to close with its safe answer (No, Cancel, or OK
// for a box that has nothing else), as if the user had chosen it. Returns false
// when no box is open. The box is gone once its nested loop has returned to
// whoever opened it.
bool EndInnermostModalBox();

}  // namespace kestrun
