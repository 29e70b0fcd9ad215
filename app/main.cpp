// Kestrun: the command line decides between the window program, batch mode,
// --help and --version before any window toolkit starts.
#include "app/KestrunApp.h"
#include "app/core/Cli.h"
#include "platform/Platform.h"

#include <wx/app.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    using kestrun::CommandLine;
    const CommandLine line = kestrun::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    switch (line.mode) {
    case CommandLine::Mode::Help:
        kestrun::PrintHelp(stdout);
        return EXIT_SUCCESS;
    case CommandLine::Mode::Version:
        kestrun::PrintVersion(stdout);
        return EXIT_SUCCESS;
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

    if (line.mode == CommandLine::Mode::Batch) return kestrun::RunBatch(line, stdout);

    // Other programs' windows are X11 windows: on a Wayland desktop run through XWayland.
    setenv("GDK_BACKEND", "x11", 0);
    if (std::getenv("DISPLAY") == nullptr) {
        std::fprintf(stderr, "kestrun: no X display to open the window on (DISPLAY is not set); "
                             "use --batch to print pages as text\n");
        return EXIT_FAILURE;
    }
    // A failed toolkit assertion is reported on standard error; it never stops the
    // program behind a modal box.
    wxSetAssertHandler([](const wxString& file, int lineNo, const wxString& func, const wxString& cond, const wxString& msg) {
        std::fprintf(stderr, "kestrun: toolkit assertion %s failed in %s (%s:%d): %s\n", static_cast<const char*>(cond.utf8_str()),
                     static_cast<const char*>(func.utf8_str()), static_cast<const char*>(file.utf8_str()), lineNo,
                     static_cast<const char*>(msg.utf8_str()));
    });
    wxApp::SetInstance(kestrun::NewKestrunApp());
    int wxArgc = 1;
    char* wxArgv[] = {argv[0], nullptr};
    const int status = wxEntry(wxArgc, wxArgv);
    return kestrun::HandedOverToFirstCopy() ? EXIT_SUCCESS : status;
}
