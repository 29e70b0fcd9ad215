// Shared setup of the simulated-device tests: the small device of tests/fixtures/sim.
#pragma once

#include "platform/sim/SimPlatform.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace kestrun::platform::sim::testing {

inline std::string FixturePath(const std::string& name)
{
    return (std::filesystem::path(KESTRUN_SOURCE_DIR) / "tests" / "fixtures" / "sim" / name).string();
}

inline std::string ReadFixture(const std::string& name)
{
    std::ifstream in(FixturePath(name));
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Ids of the small device.
constexpr uint32_t kNk = 0x00400002;
constexpr uint32_t kNkThread = 0x0040000E;
constexpr uint32_t kWorker = 0x00800002;
constexpr uint32_t kWorkerMain = 0x0080000E;
constexpr uint32_t kWorkerHelper = 0x0080001E;  // runs inside nk.exe
constexpr uint32_t kStuck = 0x00A00002;
constexpr uint32_t kSelf = 0x00C00002;
constexpr uint32_t kSelfThread = 0x00C0000E;

inline std::unique_ptr<SimPlatform> SmallDevice()
{
    std::string error;
    auto platform = CreateSimPlatformFromJson(ReadFixture("small-device.json"), error);
    EXPECT_NE(platform, nullptr) << error;
    return platform;
}

// The small device's profile with the top-level fields of extra (a JSON object) added or replaced.
inline std::string WithSmallDevice(const std::string& extra)
{
    nlohmann::ordered_json profile = nlohmann::ordered_json::parse(ReadFixture("small-device.json"), nullptr, true, true);
    const nlohmann::ordered_json fields = nlohmann::ordered_json::parse(extra);
    for (const auto& [key, value] : fields.items()) profile[key] = value;
    return profile.dump();
}

inline std::unique_ptr<SimPlatform> SmallDeviceWith(const std::string& extra, const SimOptions& options = {})
{
    std::string error;
    auto platform = CreateSimPlatformFromJson(WithSmallDevice(extra), error, options);
    EXPECT_NE(platform, nullptr) << error;
    return platform;
}

}  // namespace kestrun::platform::sim::testing
