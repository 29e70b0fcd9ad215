// The simulated device backend.
#pragma once

#include "platform/Platform.h"

#include <memory>
#include <string>

namespace kestrun::platform::sim {

// profilePath empty: the built-in profile. On failure returns null with a reason in error.
std::unique_ptr<Platform> CreateSimPlatform(const std::string& profilePath, std::string& error);

}  // namespace kestrun::platform::sim
