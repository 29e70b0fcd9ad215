// The registry store: one SQLite database per hive. Writes are atomic
// transactions; Flush is a durability barrier.
#pragma once

#include "platform/Registry.h"
#include "platform/common/RegistryPaths.h"

#include <memory>

namespace kestrun::platform {

std::unique_ptr<Registry> CreateRegistryStore(const RegistryPaths& paths);

}  // namespace kestrun::platform
