// Device profiles: the built-in device, profile files, reasons for rejecting a
// profile, and generated devices for benchmarks.
#include "SimTestSupport.h"
#include "platform/Backends.h"

#include <algorithm>
#include <cstdlib>
#include <unistd.h>
#include <set>

namespace kestrun::platform::sim::testing {
namespace {

TEST(SimBuiltinProfile, DescribesAPlausibleDevice)
{
    std::string error;
    std::optional<SimProfile> profile = ParseProfile(BuiltinProfileText(), "built-in", error);
    ASSERT_TRUE(profile) << error;
    std::set<std::wstring> names;
    for (const ProcessSpec& p : profile->processes) names.insert(p.exeName);
    for (const wchar_t* system : {L"nk.exe", L"filesys.exe", L"device.exe", L"gwes.exe", L"services.exe", L"shell32.exe", L"kestrun.exe"})
        EXPECT_EQ(names.count(system), 1u) << Narrow(system);
    EXPECT_GE(profile->services.size(), 4u);
    EXPECT_LE(profile->services.size(), 6u);
    EXPECT_GE(profile->devices.size(), 5u);
    EXPECT_LE(profile->devices.size(), 8u);
    EXPECT_GE(profile->interfaces.size(), 2u);
    EXPECT_LE(profile->interfaces.size(), 3u);
    EXPECT_EQ(profile->interfaces[0].row.index, 1u);
    const bool romAndRam = std::any_of(profile->modules.begin(), profile->modules.end(), [](const ModuleSpec& m) { return m.inRom; }) &&
                           std::any_of(profile->modules.begin(), profile->modules.end(), [](const ModuleSpec& m) { return !m.inRom; });
    EXPECT_TRUE(romAndRam);
    EXPECT_EQ(profile->clock, ClockMode::Real) << "the demo runs on real time";
}

TEST(SimBuiltinProfile, RunsAsThePlatformCalledSim)
{
    // The demo keeps options in the user's store: point it at a scratch folder.
    const std::filesystem::path scratch = std::filesystem::temp_directory_path() / ("kestrun-sim-" + std::to_string(::getpid()));
    const char* previous = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = previous ? previous : "";
    ::setenv("XDG_CONFIG_HOME", scratch.c_str(), 1);
    std::string error;
    std::unique_ptr<Platform> platform = CreatePlatform("sim", error);
    ASSERT_NE(platform, nullptr) << error;
    EXPECT_EQ(platform->Name(), "sim");
    std::optional<Snapshot> s = platform->toolHelp().CreateSnapshot(kSnapProcess | kSnapThread, 0);
    ASSERT_TRUE(s);
    EXPECT_GE(s->processes.size(), 10u);
    size_t visibleTitled = 0;
    for (WindowId w : platform->desktop().EnumWindows())
        if (platform->desktop().IsVisible(w) && !platform->desktop().GetTitle(w).empty()) ++visibleTitled;
    EXPECT_GE(visibleTitled, 3u);
    platform.reset();
    if (previous) ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else ::unsetenv("XDG_CONFIG_HOME");
    std::filesystem::remove_all(scratch);
}

TEST(SimProfileFile, LoadsFromDisk)
{
    std::string error;
    std::unique_ptr<Platform> platform = CreatePlatform("sim:" + FixturePath("small-device.json"), error);
    ASSERT_NE(platform, nullptr) << error;
    EXPECT_EQ(platform->toolHelp().CreateSnapshot(kSnapProcess, 0)->processes.size(), 4u);
}

TEST(SimProfileFile, TheDocumentedExampleIsAValidProfile)
{
    std::ifstream in(std::filesystem::path(KESTRUN_SOURCE_DIR) / "platform" / "sim" / "PROFILE.md");
    std::ostringstream doc;
    doc << in.rdbuf();
    const std::string text = doc.str();
    const std::string start = "## Example\n\n```json\n";
    const size_t begin = text.find(start);
    ASSERT_NE(begin, std::string::npos);
    const size_t end = text.find("```", begin + start.size());
    std::string error;
    std::optional<SimProfile> example = ParseProfile(text.substr(begin + start.size(), end - begin - start.size()), "example", error);
    ASSERT_TRUE(example) << error;
    EXPECT_EQ(example->processes.size(), 2u);
}

TEST(SimProfileFile, AMissingFileIsRefusedWithItsName)
{
    std::string error;
    EXPECT_EQ(CreatePlatform("sim:/nonexistent/dev.json", error), nullptr);
    EXPECT_EQ(error, "/nonexistent/dev.json: cannot open the profile");
}

struct BadProfile {
    const char* json;
    const char* reason;  // expected in the error text
};

TEST(SimProfileErrors, NameWhereAndWhat)
{
    const BadProfile cases[] = {
        {R"({"processes": [ {"exe": "a.exe"} )", "line 1"},
        {"{\n\"clock\": \"manual\",\n\"tick\": ,\n}", "line 3"},
        {R"([1, 2])", "profile: expected an object"},
        {R"({"procesess": []})", "unknown field \"procesess\""},
        {R"({"clock": "fast"})", "clock: expected \"manual\" or \"real\""},
        {R"({"tick": -5})", "profile.tick: expected a non-negative number"},
        {R"({"tick": 4294967296})", "outside 0..4294967295"},
        {R"({"processes": [ {"path": "\\x.exe"} ]})", "processes[0]: missing \"exe\""},
        {R"({"processes": [ {"exe": ""} ]})", "processes[0].exe: must not be empty"},
        {R"({"processes": [ {"exe": "a.exe", "threads": [ {"priority": 8} ]} ]})", "processes[0].threads[0].priority: 8 is outside 0..7"},
        {R"({"processes": [ {"exe": "a.exe", "threads": [ {"load": 150} ]} ]})", "processes[0].threads[0].load"},
        {R"({"processes": [ {"exe": "a.exe", "modules": ["x.dll"]} ]})", "processes[0].modules[0]: unknown module 'x.dll'"},
        {R"({"processes": [ {"exe": "a.exe", "heaps": [ {"blocks": [ {"size": 8, "flags": "fixed|huge"} ]} ]} ]})", "unknown heap flag \"huge\""},
        {R"({"processes": [ {"exe": "a.exe", "heaps": [ {"blocks": [ {"flags": "fixed"} ]} ]} ]})", "missing \"size\""},
        {R"({"processes": [ {"exe": "a.exe", "windows": [ {"title": "t", "icon": "red"} ]} ]})", "icon: expected a colour"},
        {R"({"services": [ {"prefix": "HTTP", "dll": "httpd.dll"} ]})", "services[0].prefix: expected three letters"},
        {R"({"services": [ {"prefix": "HTP", "dll": "h.dll", "state": 6} ]})", "services[0].state: 6 is outside -1..5"},
        {R"({"devices": [ {"name": "COM1:", "ioBase": [1, 2]} ]})", "devices[0].ioBase: a string list holds strings only"},
        {R"({"interfaces": [ {"index": 2}, {"index": 2} ]})", "interfaces[1].index: index 2 is used twice"},
        {R"({"interfaces": [ {"name": "x"} ]})", "interfaces[0]: missing \"index\""},
        {R"({"memory": {"totalPhys": "8M", "availPhys": "9M"}})", "memory.availPhys: larger than totalPhys"},
        {R"({"bootTime": "yesterday"})", "bootTime: expected a time"},
        {R"({"registry": {"localMachine": {"K": {"V": {"binary": "0g"}}}}})", "binary data must be hexadecimal"},
        {R"({"registry": {"localMachine": {"K": {"V": true}}}})", "registry.localMachine[\"K\"].V"},
        {R"({"files": [ {"path": "\\a", "attributes": ["shiny"]} ]})", "unknown attribute \"shiny\""},
    };
    for (const BadProfile& c : cases) {
        std::string error;
        EXPECT_FALSE(ParseProfile(c.json, "dev.json", error)) << c.json;
        EXPECT_EQ(error.rfind("dev.json: ", 0), 0u) << error;
        EXPECT_NE(error.find(c.reason), std::string::npos) << "got: " << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << "one line: " << error;
    }
}

TEST(SimProfileErrors, CreateSimPlatformGivesTheReason)
{
    std::string error;
    EXPECT_EQ(CreateSimPlatformFromJson(R"({"clock": 3})", error), nullptr);
    EXPECT_EQ(error, "profile: profile.clock: expected a string");
}

TEST(SimProfileValues, NumbersInEveryNotation)
{
    std::string error;
    std::optional<SimProfile> p = ParseProfile(
        R"({"memory": {"totalPhys": "64M", "availPhys": "512K", "totalVirtual": "0x100000", "availVirtual": 4096},
            "bootTime": "1601-01-02 00:00:01", "tick": "0xFFFFFFF0"})", "p", error);
    ASSERT_TRUE(p) << error;
    EXPECT_EQ(p->memory.totalPhys, 64u << 20);
    EXPECT_EQ(p->memory.availPhys, 512u << 10);
    EXPECT_EQ(p->memory.totalVirtual, 0x100000u);
    EXPECT_EQ(p->memory.availVirtual, 4096u);
    EXPECT_EQ(p->bootTime, (86400u + 1u) * 10000000ull);
    EXPECT_EQ(p->startTick, 0xFFFFFFF0u);
}

TEST(SimProfileValues, TimesAreHundredNanosecondsSince1601)
{
    const struct {
        const char* text;
        uint64_t fileTime;
    } cases[] = {
        {"1601-01-01 00:00:00", 0},
        {"1601-01-02 00:00:01", (86400u + 1u) * 10000000ull},
        {"1969-12-31 23:59:59", 116444735990000000ull},
        {"1970-01-01 00:00:00", 116444736000000000ull},
        {"2000-03-01 12:00:00", 125963856000000000ull},
    };
    for (const auto& c : cases) {
        std::string error;
        const std::optional<SimProfile> p = ParseProfile(std::string(R"({"bootTime": ")") + c.text + R"("})", "p", error);
        ASSERT_TRUE(p) << c.text << ": " << error;
        EXPECT_EQ(p->bootTime, c.fileTime) << c.text;
    }
}

TEST(SimProfileValues, RepeatedThreadsAndBlocks)
{
    std::string error;
    std::optional<SimProfile> p = ParseProfile(
        R"({"processes": [ {"exe": "a.exe", "threads": [ {"count": 3, "load": 1.5} ],
                             "heaps": [ {"blocks": [ {"size": 16, "repeat": 4}, {"size": 8} ]} ]} ]})", "p", error);
    ASSERT_TRUE(p) << error;
    ASSERT_EQ(p->processes[0].threads.size(), 3u);
    EXPECT_EQ(p->processes[0].threads[2].load, 150u);
    EXPECT_EQ(p->processes[0].heaps[0].blocks.size(), 5u);
}

// ---- Generated devices ---------------------------------------------------------------------------

TEST(SimScaledProfile, HasTheRequestedShape)
{
    auto sim = CreateSimPlatformForTest(MakeScaledProfile(1000, 3, 20));
    std::optional<Snapshot> s = sim->toolHelp().CreateSnapshot(kSnapProcess | kSnapThread, 0);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->processes.size(), 1000u);
    EXPECT_EQ(s->threads.size(), 3000u);
    std::set<uint32_t> ids;
    for (const ProcessEntry& p : s->processes) ids.insert(p.processId);
    EXPECT_EQ(ids.size(), 1000u);
    AllProcessAccess access(sim->toolHelp());
    const uint32_t some = s->processes[500].processId;
    EXPECT_EQ(sim->toolHelp().SumHeap(some)->blocks, 20u);
    EXPECT_NE(sim->toolHelp().SumThreadTimes(*s, some).primaryThread, 0u);
    EXPECT_NE(sim->device().OwnProcessId(), 0u);
}

TEST(SimScaledProfile, GenerateDirectiveAddsPrograms)
{
    std::string error;
    auto sim = CreateSimPlatformFromJson(R"({"generate": {"processes": 50, "threadsPerProcess": 2, "heapEntriesPerProcess": 5}})", error);
    ASSERT_NE(sim, nullptr) << error;
    EXPECT_EQ(sim->device().processes().size(), 51u) << "50 programs and the program itself";
    EXPECT_EQ(sim->device().ThreadCount(), 101u);
}

}  // namespace
}  // namespace kestrun::platform::sim::testing
