// Placeholder until the simulated device lands.
#include "platform/sim/SimPlatform.h"

namespace kestrun::platform::sim {

std::unique_ptr<Platform> CreateSimPlatform(const std::string&, std::string& error)
{
    error = "the simulated device is not available in this build";
    return nullptr;
}

}  // namespace kestrun::platform::sim
