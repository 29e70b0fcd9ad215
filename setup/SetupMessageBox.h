// The message box of the installer side. Maintainer scripts run with no window
// of their own: the caption and text go to standard error, where the package
// tool shows their output, and a real box appears only for someone at a display.
#pragma once

#include <cstdint>
#include <string>

namespace kestrun::setup {

constexpr unsigned kOk = 0x00;
constexpr unsigned kIconInformation = 0x40;

// Writes "caption: text" to standard error; then, when a display is at hand and
// someone is there to answer (see SetupMessageBox.cpp), shows a box owned by
// parentWindow (0 for none) and waits for OK. Never throws.
void ShowMessageBox(uint64_t parentWindow, const std::string& caption, const std::string& text, unsigned style) noexcept;

// A one-line note on standard error for a failure that has no box of its own.
void ReportFailure(const char* what, const char* reason) noexcept;

}  // namespace kestrun::setup
