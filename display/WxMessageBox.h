// Message boxes as real modal dialogs, for the windowed program.
#pragma once

namespace kestrun {

// Routes MessageBox() to modal wx dialogs owned by the active top-level window.
void InstallWxMessageBoxHandler();

// True while one of the program's message boxes is open. Timer-driven work
// checks it so that error boxes never pile up under later ticks.
bool IsMessageBoxShowing();

}  // namespace kestrun
