// The registry store: one SQLite database per hive. Writes are atomic
// transactions; Flush is a durability barrier.
#pragma once

#include "platform/Registry.h"

#include <memory>
#include <string>

namespace kestrun::platform {

struct RegistryPaths {
    std::string currentUser;   // database file, or ":memory:"
    std::string localMachine;  // database file, or ":memory:"
};

// Current user: $XDG_CONFIG_HOME/kestrun/user.db (default ~/.config).
// Local machine: $KESTRUN_MACHINE_DIR/machine.db (default /var/lib/kestrun).
RegistryPaths DefaultRegistryPaths();

std::unique_ptr<Registry> CreateRegistryStore(const RegistryPaths& paths);

}  // namespace kestrun::platform
