// Finding the programs that show the help page: a program by name in $PATH, and
// whether the desktop has anything at all that shows an HTML page. xdg-open and
// gio start and then fail on their own when nothing does, too late to tell.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kestrun::platform::linux_backend {

// The absolute executable a program name stands for: as given when it holds
// a slash, else the first match in $PATH.
std::optional<std::string> FindProgram(const std::string& name);

// What program (an absolute path) prints on standard output when run with args,
// reading nothing; nullopt when it cannot be run, fails, or runs for more than a
// few seconds (it is stopped then).
std::optional<std::string> ProgramOutput(const std::string& program, const std::vector<std::string>& args);

// Whether an HTML page would be shown: GIO or xdg-mime name an application for
// text/html, or $BROWSER or one of the browsers xdg-open falls back to is installed.
bool HtmlHandlerExists();

}  // namespace kestrun::platform::linux_backend
