#include "platform/linux/HtmlViewer.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace kestrun::platform::linux_backend {

std::optional<std::string> FindProgram(const std::string& name)
{
    if (name.empty()) return std::nullopt;
    if (name.find('/') != std::string::npos)
        return access(name.c_str(), X_OK) == 0 ? std::optional<std::string>(name) : std::nullopt;
    const char* path = std::getenv("PATH");
    std::string dirs = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        const size_t end = std::min(dirs.find(':', start), dirs.size());
        std::string dir = dirs.substr(start, end - start);
        if (dir.empty()) dir = ".";
        const std::string candidate = dir + "/" + name;
        struct stat st{};
        if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return std::nullopt;
}

std::optional<std::string> ProgramOutput(const std::string& program, const std::vector<std::string>& args)
{
    constexpr auto kLimit = std::chrono::seconds(5);  // xdg-mime is a shell script; it may be slow, never this slow
    constexpr size_t kMaxOutput = 64 * 1024;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return std::nullopt;

    std::vector<std::string> argvStrings = {program};
    argvStrings.insert(argvStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& s : argvStrings) argv.push_back(s.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        return std::nullopt;
    }

    std::string output;
    bool timedOut = false;
    const auto deadline = std::chrono::steady_clock::now() + kLimit;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            break;
        }
        pollfd pfd{fds[0], POLLIN, 0};
        const int ready = poll(&pfd, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) {
            timedOut = ready == 0;
            break;
        }
        char buffer[4096];
        const ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;  // the end: the program closed its output
        if (output.size() < kMaxOutput) output.append(buffer, static_cast<size_t>(n));
    }
    close(fds[0]);
    if (timedOut) kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    if (timedOut || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
    return output;
}

namespace {
bool NamesADesktopEntry(const std::optional<std::string>& output)
{
    return output && output->find(".desktop") != std::string::npos;
}

// The first word of each ':'-separated entry of $BROWSER, as xdg-open reads it.
bool BrowserVariableNamesAProgram()
{
    const char* value = std::getenv("BROWSER");
    if (value == nullptr) return false;
    const std::string browsers = value;
    size_t start = 0;
    while (start < browsers.size()) {
        const size_t end = std::min(browsers.find(':', start), browsers.size());
        const std::string entry = browsers.substr(start, end - start);
        if (FindProgram(entry.substr(0, entry.find(' '))).has_value()) return true;
        start = end + 1;
    }
    return false;
}
}  // namespace

bool HtmlHandlerExists()
{
    // The graphical browsers xdg-open tries on a desktop it does not know.
    for (const char* browser : {"x-www-browser", "firefox", "iceweasel", "seamonkey", "mozilla", "epiphany",
                                "konqueror", "chromium", "chromium-browser", "google-chrome"})
        if (FindProgram(browser)) return true;
    if (BrowserVariableNamesAProgram()) return true;
    if (const auto gio = FindProgram("gio"); gio && NamesADesktopEntry(ProgramOutput(*gio, {"mime", "text/html"})))
        return true;
    if (const auto xdgMime = FindProgram("xdg-mime"))
        return NamesADesktopEntry(ProgramOutput(*xdgMime, {"query", "default", "text/html"}));
    return false;
}

}  // namespace kestrun::platform::linux_backend
