// The simulated device backend.
#pragma once

#include "platform/Platform.h"
#include "platform/sim/SimDevice.h"
#include "platform/sim/SimProfile.h"

#include <memory>
#include <optional>
#include <string>

namespace kestrun::platform::sim {

// profilePath empty: the built-in profile. On failure returns null with a reason in error.
std::unique_ptr<Platform> CreateSimPlatform(const std::string& profilePath, std::string& error);

// A platform on a simulated device that tests can drive.
class SimPlatform : public Platform {
public:
    virtual SimDevice& device() = 0;
};

struct SimOptions {
    // Database file of the current user hive; empty: the hive lives in memory.
    std::string userHivePath;
    // The clock to run; unset: the profile's. Tests want the manual clock.
    std::optional<ClockMode> clock = ClockMode::Manual;
};

std::unique_ptr<SimPlatform> CreateSimPlatformForTest(const SimProfile& profile = BuiltinProfile(), const SimOptions& options = {});
// From profile JSON text; null (reason in error) when the text is not a valid profile.
std::unique_ptr<SimPlatform> CreateSimPlatformFromJson(const std::string& json, std::string& error, const SimOptions& options = {});

}  // namespace kestrun::platform::sim
