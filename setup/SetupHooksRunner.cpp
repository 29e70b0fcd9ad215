// kestrun-setup-hooks: the installer side of Pellora on Linux. The package's
// maintainer scripts run it; it loads Pellora and calls the hooks for the step:
//   install         Install_Init, then Install_Exit   (postinst configure)
//   uninstall-init  Uninstall_Init                     (prerm remove)
//   uninstall-exit  Uninstall_Exit                     (postrm remove, from a kept copy)
// Each hook that ran is named on standard error and, when KESTRUN_SETUP_HOOK_LOG
// names a file, appended to it as "HOOK RESULT".
#include "setup/Pellora.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitCannotLoad = 1;

void Usage()
{
    std::fputs("usage: kestrun-setup-hooks [--library PATH] install|uninstall-init|uninstall-exit\n"
               "Calls Pellora's setup hooks for one step of installing or removing Kestrun.\n"
               "The library defaults to libpellora.so beside this program.\n",
               stderr);
}

std::string OwnDirectory()
{
    std::vector<char> buffer(4096);
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (n <= 0) return ".";
    const std::string path(buffer.data(), static_cast<size_t>(n));
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

void Log(const char* hook, int result)
{
    std::fprintf(stderr, "kestrun-setup-hooks: %s returned %d\n", hook, result);
    const char* logPath = std::getenv("KESTRUN_SETUP_HOOK_LOG");
    if (logPath == nullptr || logPath[0] == '\0') return;
    const int fd = open(logPath, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        std::fprintf(stderr, "kestrun-setup-hooks: cannot append to %s: %s\n", logPath, std::strerror(errno));
        return;
    }
    const std::string line = std::string(hook) + " " + std::to_string(result) + "\n";
    if (write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
        std::fprintf(stderr, "kestrun-setup-hooks: cannot append to %s: %s\n", logPath, std::strerror(errno));
    close(fd);
}

}  // namespace

int main(int argc, char** argv)
{
    std::string library = OwnDirectory() + "/libpellora.so";
    std::string step;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--library" && i + 1 < argc) library = argv[++i];
        else if (arg == "--help") { Usage(); return 0; }
        else if (step.empty() && arg[0] != '-') step = arg;
        else { Usage(); return kExitUsage; }
    }
    std::vector<const char*> hooks;
    if (step == "install") hooks = {"Install_Init", "Install_Exit"};
    else if (step == "uninstall-init") hooks = {"Uninstall_Init"};
    else if (step == "uninstall-exit") hooks = {"Uninstall_Exit"};
    else { Usage(); return kExitUsage; }

    void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        std::fprintf(stderr, "kestrun-setup-hooks: cannot load %s: %s\n", library.c_str(), dlerror());
        return kExitCannotLoad;
    }
    const std::string installDir = library.substr(0, library.find_last_of('/') == std::string::npos ? 0 : library.find_last_of('/'));
    int status = 0;
    for (const char* name : hooks) {
        const auto hook = reinterpret_cast<PelloraHook>(dlsym(handle, name));
        if (hook == nullptr) {
            std::fprintf(stderr, "kestrun-setup-hooks: %s has no %s\n", library.c_str(), name);
            status = kExitCannotLoad;
            break;
        }
        // No window: the hooks speak through standard error (and a box when someone is at a display).
        Log(name, hook(0, installDir.c_str()));
    }
    dlclose(handle);
    return status;
}
