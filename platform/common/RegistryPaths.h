// Where the registry store keeps its hives.
#pragma once

#include <string>

namespace kestrun::platform {

struct RegistryPaths {
    std::string currentUser;   // database file, or ":memory:"
    std::string localMachine;  // database file, or ":memory:"
};

// Current user: $XDG_CONFIG_HOME/kestrun/user.db (default ~/.config).
// Local machine: $KESTRUN_MACHINE_DIR/machine.db (default /var/lib/kestrun).
RegistryPaths DefaultRegistryPaths();

}  // namespace kestrun::platform
