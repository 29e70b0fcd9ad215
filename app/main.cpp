// Kestrun: the command line decides between the window program, batch mode,
// --help and --version before any window toolkit starts.
#include "app/KestrunApp.h"
#include "app/core/Cli.h"
#include "platform/Backends.h"

#include <wx/app.h>
#include <wx/log.h>

#include <X11/Xlib.h>
#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {
// Opens the X display of $DISPLAY once before the toolkit does, with Xlib's own
// complaint silenced, so that failing to open it is our one clear line. The
// connection stays open while the program runs: closing it could leave the
// server without clients for a moment, which makes an X server reset and
// refuse the toolkit's own connection.
Display* OpenDisplayProbe()
{
    std::fflush(stderr);
    const int saved = dup(STDERR_FILENO);
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (saved >= 0 && null >= 0) dup2(null, STDERR_FILENO);
    Display* connection = XOpenDisplay(nullptr);
    if (saved >= 0 && null >= 0) dup2(saved, STDERR_FILENO);
    if (null >= 0) close(null);
    if (saved >= 0) close(saved);
    return connection;
}
}  // namespace

int main(int argc, char** argv)
{
    using kestrun::CommandLine;
    const CommandLine line = kestrun::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    switch (line.mode) {
    case CommandLine::Mode::Help:
        kestrun::PrintHelp(stdout);
        return kestrun::FinishOutput(stdout);
    case CommandLine::Mode::Version:
        kestrun::PrintVersion(stdout);
        return kestrun::FinishOutput(stdout);
    case CommandLine::Mode::Error:
        std::fprintf(stderr, "kestrun: %s\nTry 'kestrun --help' for more information.\n", line.error.c_str());
        return 2;
    default:
        break;
    }

    std::string error;
    std::unique_ptr<kestrun::platform::Platform> platform = kestrun::platform::CreatePlatformFromEnvironment(error);
    if (!platform) {
        std::fprintf(stderr, "kestrun: %s\n", error.c_str());
        return EXIT_FAILURE;
    }
    kestrun::platform::Install(std::move(platform));

    if (line.mode == CommandLine::Mode::Batch) {
        // A reader that goes away ends the run quietly, whatever our parent ignored.
        std::signal(SIGPIPE, SIG_DFL);
        return kestrun::RunBatch(line, stdout);
    }

    // Other programs' windows are X11 windows: on a Wayland desktop run through XWayland.
    setenv("GDK_BACKEND", "x11", 0);
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr) {
        std::fprintf(stderr, "kestrun: no X display to open the window on (DISPLAY is not set); "
                             "use --batch to print pages as text\n");
        return EXIT_FAILURE;
    }
    // The toolkit would fail later, with an assertion about a box it cannot show.
    Display* probe = OpenDisplayProbe();
    if (probe == nullptr) {
        std::fprintf(stderr, "kestrun: cannot open display %s\n", display);
        return EXIT_FAILURE;
    }
    // A failed toolkit assertion is reported on standard error; it never stops the
    // program behind a modal box.
    wxSetAssertHandler([](const wxString& file, int lineNo, const wxString& func, const wxString& cond, const wxString& msg) {
        std::fprintf(stderr, "kestrun: toolkit assertion %s failed in %s (%s:%d): %s\n", static_cast<const char*>(cond.utf8_str()),
                     static_cast<const char*>(func.utf8_str()), static_cast<const char*>(file.utf8_str()), lineNo,
                     static_cast<const char*>(msg.utf8_str()));
    });
    // Toolkit diagnostics go to standard error from the start: a box the toolkit
    // cannot show (it failed to start) would lose them.
    delete wxLog::SetActiveTarget(new wxLogStderr());
    kestrun::KeepGlOutOfToolkit();
    wxApp::SetInstance(kestrun::NewKestrunApp());
    int wxArgc = 1;
    char* wxArgv[] = {argv[0], nullptr};
    const int status = wxEntry(wxArgc, wxArgv);
    XCloseDisplay(probe);
    return kestrun::HandedOverToFirstCopy() ? EXIT_SUCCESS : status;
}
