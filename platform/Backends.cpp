#include "platform/Backends.h"

#include "platform/linux/LinuxPlatform.h"
#include "platform/sim/SimPlatform.h"

#include <cstdlib>

namespace kestrun::platform {

std::unique_ptr<Platform> CreatePlatform(const std::string& spec, std::string& error)
{
    if (spec.empty() || spec == "linux") return linux_backend::CreateLinuxPlatform();
    if (spec == "sim") return sim::CreateSimPlatform(std::string(), error);
    if (spec.rfind("sim:", 0) == 0) return sim::CreateSimPlatform(spec.substr(4), error);
    error = "unknown platform '" + spec + "' (expected linux, sim or sim:PROFILE.json)";
    return nullptr;
}

std::unique_ptr<Platform> CreatePlatformFromEnvironment(std::string& error)
{
    const char* spec = std::getenv("KESTRUN_PLATFORM");
    return CreatePlatform(spec ? spec : "", error);
}

}  // namespace kestrun::platform
