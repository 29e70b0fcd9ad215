#include "platform/common/RegistryPaths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace kestrun::platform {

namespace {

std::string HomeDirectory()
{
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') return home;
    struct passwd entry {};
    struct passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr && found->pw_dir != nullptr)
        return found->pw_dir;
    return {};
}

}  // namespace

RegistryPaths DefaultRegistryPaths()
{
    RegistryPaths paths;
    // A relative XDG_CONFIG_HOME is invalid by the base-directory rules and ignored.
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && config[0] == '/') {
        paths.currentUser = std::string(config) + "/kestrun/user.db";
    } else if (const std::string home = HomeDirectory(); !home.empty()) {
        paths.currentUser = home + "/.config/kestrun/user.db";
    } else {
        paths.currentUser = ":memory:";  // nowhere to keep it: options last for this run only
    }
    const char* machine = std::getenv("KESTRUN_MACHINE_DIR");
    paths.localMachine = std::string(machine != nullptr && machine[0] != '\0' ? machine : "/var/lib/kestrun") + "/machine.db";
    return paths;
}

}  // namespace kestrun::platform
