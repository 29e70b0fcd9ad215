// Profiles that change over time: the events of a timeline at their ticks,
// failures armed from the start, the processor count and what makes a demo
// look alive (load variation, heap churn, traffic), on the manual clock too.
#include "SimTestSupport.h"

#include <algorithm>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace kestrun::platform::sim::testing {
namespace {

uint64_t Busy(SimDevice& device, uint32_t threadId)
{
    const SimThread* t = device.FindThread(threadId);
    return t->kernelTime + t->userTime;
}

// ---- Events of every kind -------------------------------------------------------------------

TEST(SimTimeline, ProcessesAndThreadsStartAndEndAtTheirTicks)
{
    auto sim = SmallDeviceWith(R"({"events": [
        {"tick": 5, "event": "endProcess", "exe": "backup.exe", "exitCode": 3},
        {"tick": 2, "event": "startProcess", "process": {"exe": "backup.exe", "id": "0x00E00002",
            "threads": [ {"id": "0x00E0000E", "load": 40} ], "windows": [ {"title": "Backup"} ]}},
        {"tick": 3, "event": "startThread", "exe": "backup.exe", "thread": {"load": 5, "count": 2}},
        {"tick": 3, "event": "endThread", "exe": "worker.exe", "threadIndex": 1},
        {"tick": 4, "event": "setThreadTimes", "tid": "0x0080000E", "kernel": 5000, "user": 7000},
        {"tick": 4, "event": "setThreadLoad", "exe": "backup.exe", "load": 12.5}
    ]})");
    SimDevice& device = sim->device();
    constexpr uint32_t kBackup = 0x00E00002;

    EXPECT_TRUE(device.BeginTick(1).empty());
    EXPECT_EQ(device.FindProcess(kBackup), nullptr) << "not before its tick";

    device.AdvanceTime(1000);
    EXPECT_TRUE(device.BeginTick(2).empty());
    ASSERT_NE(device.FindProcess(kBackup), nullptr);
    EXPECT_EQ(device.FindProcess(kBackup)->threads, (std::vector<uint32_t>{0x00E0000E}));
    EXPECT_EQ(device.FindThread(0x00E0000E)->creation, device.BootTime() + device.UptimeMs() * 10000) << "created when it starts";
    EXPECT_TRUE(std::any_of(device.windows().begin(), device.windows().end(), [](const SimWindow& w) { return w.title == L"Backup"; }));

    device.AdvanceTime(1000);
    EXPECT_EQ(Busy(device, 0x00E0000E), 1000u * 10000u * 40 / 100) << "charged from its start";
    EXPECT_TRUE(device.BeginTick(3).empty());
    EXPECT_EQ(device.FindProcess(kBackup)->threads.size(), 3u);
    EXPECT_EQ(device.FindThread(kWorkerHelper), nullptr) << "worker.exe's second thread ended";
    EXPECT_EQ(device.FindProcess(kWorker)->threads, (std::vector<uint32_t>{kWorkerMain}));

    EXPECT_TRUE(device.BeginTick(4).empty());
    EXPECT_EQ(device.FindThread(kWorkerMain)->kernelTime, 5000u);
    EXPECT_EQ(device.FindThread(kWorkerMain)->userTime, 7000u);
    EXPECT_EQ(device.FindThreadDetails(0x00E0000E)->load, 1250u) << "the primary thread, at 12.5 %";

    EXPECT_TRUE(device.BeginTick(5).empty());
    EXPECT_EQ(device.FindProcess(kBackup), nullptr);
    EXPECT_EQ(device.ExitCode(kBackup), 3);
    EXPECT_TRUE(std::none_of(device.windows().begin(), device.windows().end(), [](const SimWindow& w) { return w.title == L"Backup"; }));
}

TEST(SimTimeline, EachEventHappensOnceAndASkippedTickStillGetsItsEvents)
{
    const std::string events = R"({"events": [
        {"tick": 2, "event": "startProcess", "process": {"exe": "backup.exe"}},
        {"tick": 3, "event": "endProcess", "exe": "backup.exe"},
        {"tick": 3, "event": "startProcess", "process": {"exe": "backup.exe", "id": 77}}
    ]})";
    auto stepped = SmallDeviceWith(events);
    for (uint32_t tick = 1; tick <= 3; ++tick) EXPECT_TRUE(stepped->device().BeginTick(tick).empty());
    EXPECT_TRUE(stepped->device().BeginTick(3).empty());
    EXPECT_TRUE(stepped->device().BeginTick(9).empty());
    EXPECT_EQ(stepped->device().processes().size(), 5u) << "the second backup.exe only";
    EXPECT_NE(stepped->device().FindProcess(77), nullptr);

    auto jumped = SmallDeviceWith(events);
    EXPECT_TRUE(jumped->device().BeginTick(3).empty()) << "the ticks between come all at once, in order";
    EXPECT_EQ(jumped->device().processes().size(), 5u);
    EXPECT_NE(jumped->device().FindProcess(77), nullptr);
}

TEST(SimTimeline, HeapBlocksAreAddedAndRemovedByIndexOrAddress)
{
    // Heap ids and addresses are the same on every run: read one off a device like it.
    const uint64_t nkSecond = SmallDevice()->device().FindProcess(kNk)->heaps[0].entries[1].address;
    auto sim = SmallDeviceWith(R"({"events": [
        {"tick": 2, "event": "addHeapBlock", "exe": "worker.exe", "block": {"size": "4K", "repeat": 2, "flags": "moveable"}},
        {"tick": 3, "event": "removeHeapBlock", "exe": "worker.exe", "blockIndex": 0},
        {"tick": 3, "event": "removeHeapBlock", "pid": "0x00400002", "heap": 0, "address": )" + std::to_string(nkSecond) + R"(}
    ]})");
    SimDevice& device = sim->device();
    const SimProcess& worker = *device.FindProcess(kWorker);
    ASSERT_EQ(worker.heapBlocks, 4u);
    ASSERT_EQ(worker.heapBytes, 3024u);
    device.BeginTick(2);
    EXPECT_EQ(worker.heapBlocks, 6u);
    EXPECT_EQ(worker.heapBytes, 3024u + 8192u);
    EXPECT_EQ(worker.heaps[0].entries.back().flags, static_cast<uint32_t>(kHeapMoveable));
    EXPECT_TRUE(device.BeginTick(3).empty());
    EXPECT_EQ(worker.heapBlocks, 5u);
    EXPECT_EQ(worker.heapBytes, 2024u + 8192u) << "the first 1000-byte block went";
    EXPECT_EQ(device.FindProcess(kNk)->heapBytes, 100u) << "the free block at that address went";
}

TEST(SimTimeline, WindowsOpenAreRetitledAndCloseWithoutTheirProcess)
{
    auto sim = SmallDeviceWith(R"({"events": [
        {"tick": 2, "event": "openWindow", "exe": "stuck.exe", "window": {"title": "Stuck Dialog", "owner": "Stuck"}},
        {"tick": 3, "event": "retitleWindow", "title": "Worker", "newTitle": "Worker - busy"},
        {"tick": 4, "event": "closeWindow", "title": "Stuck Dialog"},
        {"tick": 4, "event": "closeWindow", "title": "Stuck"}
    ]})");
    SimDevice& device = sim->device();
    auto titled = [&](const std::wstring& title) -> const SimWindow* {
        for (const SimWindow& w : device.windows())
            if (w.title == title) return &w;
        return nullptr;
    };
    device.BeginTick(2);
    ASSERT_NE(titled(L"Stuck Dialog"), nullptr);
    EXPECT_EQ(titled(L"Stuck Dialog")->owner, titled(L"Stuck")->id);
    EXPECT_EQ(device.windows().front().title, L"Stuck Dialog") << "a new window opens on top";
    device.BeginTick(3);
    EXPECT_EQ(titled(L"Worker"), nullptr);
    ASSERT_NE(titled(L"Worker - busy"), nullptr);
    EXPECT_EQ(sim->desktop().GetTitle(titled(L"Worker - busy")->id), L"Worker - busy");
    EXPECT_TRUE(device.BeginTick(4).empty());
    EXPECT_EQ(titled(L"Stuck"), nullptr);
    EXPECT_NE(device.FindProcess(kStuck), nullptr) << "its process stays";
}

TEST(SimTimeline, ServicesChangeStateAndDevicesAppearVanishAndChangePower)
{
    auto sim = SmallDeviceWith(R"({"events": [
        {"tick": 2, "event": "setServiceState", "prefix": "HTP0:", "state": 0},
        {"tick": 2, "event": "addService", "service": {"prefix": "FTP", "dll": "ftpd.dll", "state": 1, "key": "FTPD", "order": 9}},
        {"tick": 3, "event": "removeService", "prefix": "TEL0"},
        {"tick": 2, "event": "addDevice", "device": {"name": "USB1:", "dll": "usbser.dll", "irq": 9}},
        {"tick": 3, "event": "setDevicePower", "name": "COM1:", "power": 4},
        {"tick": 3, "event": "removeDevice", "name": "NDS0:"}
    ]})");
    SimDevice& device = sim->device();
    auto states = [&] {
        std::vector<std::pair<std::wstring, int32_t>> out;
        const std::optional<std::vector<ServiceEntry>> services = sim->services().EnumServices();
        if (!services) return out;
        for (const ServiceEntry& s : *services) out.emplace_back(s.prefix, s.state);
        return out;
    };
    device.BeginTick(2);
    EXPECT_EQ(states(), (std::vector<std::pair<std::wstring, int32_t>>{{L"HTP0:", 0}, {L"TEL0:", 0}, {L"FTP0:", 1}}));
    EXPECT_EQ(sim->registry().QueryValue(Hive::LocalMachine, L"Services\\FTPD", L"Order")->dword, 9u) << "with its key";
    ASSERT_NE(device.FindDevice(L"USB1:"), nullptr);
    EXPECT_EQ(sim->devices().FindDevices(L"*")->size(), 4u);
    const std::wstring ndsActiveKey = device.FindDevice(L"NDS0:")->activeKey;
    device.BeginTick(3);
    EXPECT_EQ(states(), (std::vector<std::pair<std::wstring, int32_t>>{{L"HTP0:", 0}, {L"FTP0:", 1}}));
    EXPECT_EQ(*sim->devices().GetDevicePower(L"COM1:"), 4);
    EXPECT_EQ(device.FindDevice(L"NDS0:"), nullptr);
    EXPECT_FALSE(sim->registry().QueryValue(Hive::LocalMachine, ndsActiveKey, L"Name")) << "its active key went with it";
    EXPECT_EQ(sim->devices().FindDevices(L"*")->size(), 3u);
}

TEST(SimTimeline, InterfacesCountTrafficAndChangeStatusAndComeAndGo)
{
    auto sim = SmallDeviceWith(R"({"events": [
        {"tick": 2, "event": "addTraffic", "index": 2, "inOctets": 4294967000, "outOctets": 20, "inErrors": 2},
        {"tick": 3, "event": "setInterface", "index": 2, "status": 2, "speed": 100000000, "inErrors": 17, "outOctets": 5},
        {"tick": 3, "event": "addInterface", "interface": {"index": 3, "adapter": "WLAN1", "type": 71, "status": 1}},
        {"tick": 4, "event": "removeInterface", "index": 3}
    ]})");
    SimDevice& device = sim->device();
    device.BeginTick(2);
    const InterfaceRow* row = &device.FindInterface(2)->row;
    EXPECT_EQ(row->inOctets, 704u) << "32-bit counters wrap: 1000 + 4294967000 - 2^32";
    EXPECT_EQ(row->outOctets, 520u);
    EXPECT_EQ(row->inErrors, 2u);
    device.BeginTick(3);
    row = &device.FindInterface(2)->row;
    EXPECT_EQ(row->operStatus, 2u);
    EXPECT_EQ(row->speed, 100000000u);
    EXPECT_EQ(row->inErrors, 17u);
    EXPECT_EQ(row->outOctets, 5u) << "setInterface sets, addTraffic adds";
    EXPECT_EQ(row->inOctets, 704u) << "what it does not name stays";
    ASSERT_NE(device.FindInterface(3), nullptr);
    EXPECT_EQ(sim->interfaces().GetAdapterName(3), L"WLAN1");
    device.BeginTick(4);
    EXPECT_EQ(device.FindInterface(3), nullptr);
}

TEST(SimTimeline, ModulesAreAddedLoadedAndUnloaded)
{
    auto sim = SmallDeviceWith(R"({"events": [
        {"tick": 2, "event": "addModule", "module": {"name": "zlib.dll", "size": "48K"}},
        {"tick": 2, "event": "loadModule", "exe": "worker.exe", "module": "zlib.dll", "usage": 2},
        {"tick": 3, "event": "startProcess", "process": {"exe": "zip.exe", "modules": ["zlib.dll"]}},
        {"tick": 3, "event": "unloadModule", "exe": "worker.exe", "module": "app.dll"}
    ]})");
    SimDevice& device = sim->device();
    device.BeginTick(2);
    const uint32_t zlib = device.ModuleIdByName(L"zlib.dll");
    ASSERT_NE(zlib, 0u);
    EXPECT_EQ(device.FindModule(zlib)->size, 48u * 1024u);
    EXPECT_EQ(device.FindModule(zlib)->processCount, 1u);
    const auto usageIn = [&](uint32_t pid, uint32_t module) {
        for (const SimModuleRef& ref : device.FindProcess(pid)->modules)
            if (ref.moduleId == module) return ref.usage;
        return 0u;
    };
    EXPECT_EQ(usageIn(kWorker, zlib), 2u);
    EXPECT_TRUE(device.BeginTick(3).empty());
    EXPECT_EQ(device.FindModule(zlib)->processCount, 2u) << "zip.exe loaded it";
    EXPECT_EQ(usageIn(kWorker, device.ModuleIdByName(L"app.dll")), 0u);
    EXPECT_EQ(device.FindModule(device.ModuleIdByName(L"app.dll"))->processCount, 0u);
}

TEST(SimTimeline, MemoryAndFailuresFollowTheTimeline)
{
    auto sim = SmallDeviceWith(R"({"events": [
        {"tick": 2, "event": "setMemory", "availPhys": "16M"},
        {"tick": 2, "event": "fail", "call": "threadTimes", "error": "EACCES", "after": 1, "count": "always"},
        {"tick": 3, "event": "setMemory", "load": 99},
        {"tick": 3, "event": "clearFailures"}
    ]})");
    SimDevice& device = sim->device();
    ThreadTimes times;
    EXPECT_EQ(sim->kernel().GlobalMemoryStatus().memoryLoad, 75u);
    device.BeginTick(2);
    EXPECT_EQ(sim->kernel().GlobalMemoryStatus().memoryLoad, 50u) << "computed from the new figures";
    EXPECT_TRUE(sim->toolHelp().GetThreadTimes(kSelfThread, times)) << "after one call";
    SetLastError(0);
    EXPECT_FALSE(sim->toolHelp().GetThreadTimes(kSelfThread, times));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EACCES));
    EXPECT_FALSE(sim->toolHelp().GetThreadTimes(kSelfThread, times));
    device.BeginTick(3);
    EXPECT_EQ(sim->kernel().GlobalMemoryStatus().memoryLoad, 99u);
    EXPECT_TRUE(sim->toolHelp().GetThreadTimes(kSelfThread, times));
}

TEST(SimTimeline, AnEventWithNothingToActOnIsReportedAndTheOthersStillHappen)
{
    auto sim = SmallDeviceWith(R"({"events": [
        {"tick": 2, "event": "endProcess", "exe": "worker.exe"},
        {"tick": 3, "event": "endProcess", "exe": "worker.exe"},
        {"tick": 3, "event": "setThreadLoad", "exe": "nk.exe", "threadIndex": 4, "load": 1},
        {"tick": 3, "event": "closeWindow", "title": "Worker"},
        {"tick": 3, "event": "setServiceState", "prefix": "HTP0:", "state": 0}
    ]})");
    SimDevice& device = sim->device();
    EXPECT_TRUE(device.BeginTick(2).empty());
    EXPECT_EQ(device.BeginTick(3), (std::vector<std::string>{
        "profile: events[1] (tick 3, endProcess): no process \"worker.exe\" is running",
        "profile: events[2] (tick 3, setThreadLoad): nk.exe has 1 threads, no thread 4",
        "profile: events[3] (tick 3, closeWindow): no window \"Worker\" is open",
    }));
    EXPECT_EQ(device.FindService(L"HTP0:")->entry.state, 0) << "the events after a failed one happen";
}

// ---- Mistakes in events and failures --------------------------------------------------------

TEST(SimProfileEvents, ABadEventOrFailureNamesItsIndexAndField)
{
    const struct {
        const char* json;
        const char* reason;
    } cases[] = {
        {R"({"events": {"tick": 1}})", "dev.json: events: expected an array"},
        {R"({"events": [ 3 ]})", "events[0]: expected an object"},
        {R"({"events": [ {"tick": 1} ]})", "events[0]: missing \"event\""},
        {R"({"events": [ {"tick": 1, "event": "startProces"} ]})", "events[0].event: unknown event \"startProces\" (startProcess, endProcess,"},
        {R"({"events": [ {"event": "clearFailures"} ]})", "events[0]: missing \"tick\""},
        {R"({"events": [ {"tick": 0, "event": "clearFailures"} ]})", "events[0].tick: 0 is outside 1..4294967295"},
        {R"({"events": [ {"tick": 1, "event": "clearFailures"}, {"tick": 1, "event": "endProcess", "exe": "worker.exe", "code": 1} ]})",
         "events[1]: unknown field \"code\""},
        {R"({"events": [ {"tick": 1, "event": "endProcess", "exe": "worker.exe", "pid": 5} ]})", "events[0]: give \"exe\" or \"pid\""},
        {R"({"events": [ {"tick": 1, "event": "endProcess"} ]})", "events[0]: give \"exe\" or \"pid\""},
        {R"({"events": [ {"tick": 1, "event": "endThread", "tid": 5, "exe": "worker.exe"} ]})", "events[0]: give \"tid\" or a process"},
        {R"({"events": [ {"tick": 1, "event": "clearFailures"}, {"tick": 1, "event": "endProcess", "exe": "nosuch.exe"} ]})",
         "events[1].exe: no process \"nosuch.exe\" in the profile or started by an earlier event"},
        {R"({"events": [ {"tick": 1, "event": "endProcess", "exe": "late.exe"},
                         {"tick": 2, "event": "startProcess", "process": {"exe": "late.exe"}} ]})",
         "events[0].exe: no process \"late.exe\""},
        {R"({"events": [ {"tick": 1, "event": "startProcess"} ]})", "events[0]: missing \"process\""},
        {R"({"events": [ {"tick": 1, "event": "startProcess", "process": {"exe": "a.exe", "threads": [ {"priority": 9} ]}} ]})",
         "events[0].process.threads[0].priority: 9 is outside 0..7"},
        {R"({"events": [ {"tick": 1, "event": "startProcess", "process": {"exe": "a.exe", "modules": ["zip.dll"]}} ]})",
         "events[0].process.modules[0]: unknown module 'zip.dll'"},
        {R"({"events": [ {"tick": 1, "event": "setThreadLoad", "tid": 9, "load": 150} ]})", "events[0].load: expected a percentage 0..100"},
        {R"({"events": [ {"tick": 1, "event": "setThreadLoad", "tid": 9} ]})", "events[0]: missing \"load\""},
        {R"({"events": [ {"tick": 1, "event": "setThreadTimes", "tid": 9} ]})", "events[0]: missing \"kernel\" or \"user\""},
        {R"({"events": [ {"tick": 1, "event": "setThreadTimes", "tid": 9, "user": -1} ]})", "events[0].user: expected a non-negative number"},
        {R"({"events": [ {"tick": 1, "event": "addHeapBlock", "exe": "nk.exe", "block": {"flags": "fixed"}} ]})", "events[0].block: missing \"size\""},
        {R"({"events": [ {"tick": 1, "event": "removeHeapBlock", "exe": "nk.exe"} ]})", "events[0]: give \"blockIndex\" or \"address\""},
        {R"({"events": [ {"tick": 1, "event": "openWindow", "exe": "nk.exe", "window": {"icon": "blue"}} ]})", "events[0].window.icon: expected a colour"},
        {R"({"events": [ {"tick": 1, "event": "closeWindow", "title": "Nope"} ]})", "events[0].title: no window \"Nope\""},
        {R"({"events": [ {"tick": 1, "event": "retitleWindow", "title": "Worker"} ]})", "events[0]: missing \"newTitle\""},
        {R"({"events": [ {"tick": 1, "event": "setServiceState", "prefix": "XYZ0:", "state": 1} ]})", "events[0].prefix: no service \"XYZ0:\""},
        {R"({"events": [ {"tick": 1, "event": "setServiceState", "prefix": "HTP0:", "state": 7} ]})", "events[0].state: 7 is outside -1..5"},
        {R"({"events": [ {"tick": 1, "event": "addService", "service": {"prefix": "FTPD", "dll": "f.dll"}} ]})", "events[0].service.prefix: expected three letters"},
        {R"({"events": [ {"tick": 1, "event": "setDevicePower", "name": "COM9:", "power": 1} ]})", "events[0].name: no device \"COM9:\""},
        {R"({"events": [ {"tick": 1, "event": "removeDevice"} ]})", "events[0]: missing \"name\""},
        {R"({"events": [ {"tick": 1, "event": "addTraffic", "index": 9, "inOctets": 1} ]})", "events[0].index: no interface 9"},
        {R"({"events": [ {"tick": 1, "event": "addTraffic", "index": 2, "inOctets": 4294967296} ]})", "events[0].inOctets: 4294967296 is outside 0..4294967295"},
        {R"({"events": [ {"tick": 1, "event": "setInterface", "index": 2, "status": 6} ]})", "events[0].status: 6 is outside 0..5"},
        {R"({"events": [ {"tick": 1, "event": "addInterface", "interface": {"name": "x"}} ]})", "events[0].interface: missing \"index\""},
        {R"({"events": [ {"tick": 1, "event": "loadModule", "exe": "nk.exe", "module": "x.dll"} ]})", "events[0].module: unknown module 'x.dll'"},
        {R"({"events": [ {"tick": 1, "event": "setMemory", "load": 101} ]})", "events[0].load: 101 is outside 0..100"},
        {R"({"events": [ {"tick": 1, "event": "fail", "call": "threadTime", "error": 5} ]})", "events[0].call: unknown call \"threadTime\" (createSnapshot, "},
        {R"({"events": [ {"tick": 1, "event": "fail", "call": "threadTimes", "error": "EWHAT"} ]})", "events[0].error: expected an error number or name"},
        {R"({"events": [ {"tick": 1, "event": "fail", "call": "threadTimes"} ]})", "events[0]: missing \"error\""},
        {R"({"failures": [ {"call": "reboot", "error": 1}, {"call": "reboot", "error": 2} ]})", "failures[1].call: reboot fails in an earlier entry already"},
        {R"({"failures": [ {"call": "reboot", "error": 1, "count": "sometimes"} ]})", "failures[0].count: expected a number of calls 1.. or \"always\""},
        {R"({"failures": [ {"call": "reboot", "error": 1, "count": 0} ]})", "failures[0].count: 0 is outside 1..1000000000"},
        {R"({"failures": [ {"call": "reboot", "error": 1, "times": 2} ]})", "failures[0]: unknown field \"times\""},
        {R"({"processors": 0})", "profile.processors: 0 is outside 1..256"},
        {R"({"loadVariation": "yes"})", "profile.loadVariation: expected true or false"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(ParseProfile(WithSmallDevice(c.json), "dev.json", error)) << c.json;
        EXPECT_EQ(error.rfind("dev.json: ", 0), 0u) << error;
        EXPECT_NE(error.find(c.reason), std::string::npos) << "expected: " << c.reason << "\n     got: " << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << "one line: " << error;
    }
}

TEST(SimProfileEvents, ErrorsCanBeGivenByNameOrNumber)
{
    EXPECT_EQ(ErrorNumberByName("EACCES"), static_cast<uint32_t>(EACCES));
    EXPECT_EQ(ErrorNumberByName("ENOMEM"), static_cast<uint32_t>(ENOMEM));
    EXPECT_EQ(ErrorNumberByName("1460"), 1460u);
    EXPECT_EQ(ErrorNumberByName("eacces"), std::nullopt) << "the names are the system's, in capitals";
    EXPECT_EQ(ErrorNumberByName(""), std::nullopt);
    EXPECT_EQ(ErrorNumberByName("5x"), std::nullopt);
    for (size_t i = 0; i < static_cast<size_t>(SimCall::Count); ++i)
        EXPECT_EQ(SimCallByName(SimCallName(static_cast<SimCall>(i))), static_cast<SimCall>(i)) << SimCallName(static_cast<SimCall>(i));
}

// The events and failures PROFILE.md shows, on the profile of its example:
// every kind has its example, and each one can be done.
TEST(SimProfileEvents, TheDocumentedExamplesAreValidAndHappen)
{
    std::ifstream in(std::filesystem::path(KESTRUN_SOURCE_DIR) / "platform" / "sim" / "PROFILE.md");
    std::ostringstream doc;
    doc << in.rdbuf();
    const std::string text = doc.str();
    auto block = [&](const std::string& opening) {
        const size_t begin = text.find("```json\n" + opening);
        EXPECT_NE(begin, std::string::npos) << opening;
        const size_t start = begin + 8;
        return text.substr(start, text.find("```", start) - start);
    };
    std::string example = block("{\n  \"name\": \"Two programs\"");
    example.erase(example.rfind('}'));
    const std::string profileText = example + ",\n" + block("\"failures\"") + ",\n" + block("\"events\"") + "}";
    std::string error;
    const std::optional<SimProfile> profile = ParseProfile(profileText, "example", error);
    ASSERT_TRUE(profile) << error;
    EXPECT_EQ(profile->failures.size(), 1u);
    std::set<std::string> kinds;
    for (const SimEvent& e : profile->events) kinds.insert(SimEventName(e.kind));
    EXPECT_EQ(kinds.size(), static_cast<size_t>(SimEventKind::ClearFailures) + 1) << "one example of each kind";
    SimOptions manual;
    auto sim = CreateSimPlatformFromJson(profileText, error, manual);
    ASSERT_NE(sim, nullptr) << error;
    for (uint32_t tick = 1; tick <= 6; ++tick) {
        sim->device().AdvanceTime(1000);
        EXPECT_EQ(sim->device().BeginTick(tick), std::vector<std::string>{}) << "tick " << tick;
    }
}

// ---- Failures, processors and liveliness ----------------------------------------------------

TEST(SimProfileFailures, AreArmedFromTheStart)
{
    auto sim = SmallDeviceWith(R"({"failures": [
        {"call": "processSnapshot", "error": "ENOMEM", "after": 1, "count": 2},
        {"call": "enumServices", "error": 13, "count": "always"}
    ]})");
    EXPECT_TRUE(sim->toolHelp().CreateSnapshot(kSnapProcess, 0));
    SetLastError(0);
    EXPECT_FALSE(sim->toolHelp().CreateSnapshot(kSnapProcess, 0));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ENOMEM));
    EXPECT_FALSE(sim->toolHelp().CreateSnapshot(kSnapProcess, 0));
    EXPECT_TRUE(sim->toolHelp().CreateSnapshot(kSnapProcess, 0)) << "two calls fail, then they pass again";
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(sim->services().EnumServices());
    EXPECT_EQ(GetLastError(), 13u);
}

TEST(SimProcessors, ThreadsGetTheirLoadUntilAllProcessorsAreBusy)
{
    auto sim = SmallDeviceWith(R"({"processors": 2})");
    SimDevice& device = sim->device();
    EXPECT_EQ(sim->kernel().ProcessorCount(), 2u);
    device.AdvanceTime(1000);
    EXPECT_EQ(Busy(device, kWorkerMain), 1000u * 10000u / 4u) << "a load is a share of one processor";
    // Three threads asking for a whole processor each on two: each gets two thirds.
    for (const uint32_t thread : {kWorkerMain, kWorkerHelper, kNkThread}) ASSERT_TRUE(device.SetThreadLoad(thread, 10000));
    AllProcessAccess access(sim->toolHelp());
    const uint64_t before = Busy(device, kWorkerMain);
    const uint64_t totalBefore = *sim->kernel().TotalBusyTime();
    device.AdvanceTime(3000);
    EXPECT_EQ(Busy(device, kWorkerMain) - before, 2000u * 10000u);
    EXPECT_EQ(*sim->kernel().TotalBusyTime() - totalBefore, 2u * 3000u * 10000u) << "both processors busy, no more";
}

TEST(SimLiveliness, OffOnTheManualClockUnlessTheProfileAsks)
{
    // Off: exactly the nominal loads, no new heap blocks, no traffic.
    auto plain = SmallDevice();
    for (int second = 0; second < 20; ++second) plain->device().AdvanceTime(1000);
    EXPECT_EQ(Busy(plain->device(), kWorkerMain), 20u * 1000u * 10000u / 4u);
    EXPECT_EQ(plain->device().FindProcess(kWorker)->heapBlocks, 4u);
    EXPECT_EQ(plain->device().FindInterface(2)->row.inOctets, 1000u);

    // On: the same wandering loads and churn on every run of the profile.
    const std::string lively = R"({"loadVariation": true, "heapChurn": true, "traffic": true})";
    auto first = SmallDeviceWith(lively);
    auto second = SmallDeviceWith(lively);
    for (int s = 0; s < 20; ++s) {
        first->device().AdvanceTime(1000);
        second->device().AdvanceTime(1000);
    }
    EXPECT_NE(Busy(first->device(), kWorkerMain), 20u * 1000u * 10000u / 4u) << "the load wandered";
    EXPECT_EQ(Busy(first->device(), kWorkerMain), Busy(second->device(), kWorkerMain));
    EXPECT_NE(first->device().FindProcess(kWorker)->heapBlocks, 4u) << "worker.exe allocated or freed";
    EXPECT_EQ(first->device().FindProcess(kWorker)->heapBytes, second->device().FindProcess(kWorker)->heapBytes);
    EXPECT_EQ(first->device().FindInterface(2)->row.inOctets, 1000u + 20u * 1000u) << "1000 bytes a second";

    // Each can be had alone.
    auto churnOnly = SmallDeviceWith(R"({"heapChurn": true})");
    for (int s = 0; s < 20; ++s) churnOnly->device().AdvanceTime(1000);
    EXPECT_EQ(Busy(churnOnly->device(), kWorkerMain), 20u * 1000u * 10000u / 4u);
    EXPECT_EQ(churnOnly->device().FindProcess(kWorker)->heapBlocks, first->device().FindProcess(kWorker)->heapBlocks);

    // Unset, they follow the clock: on once it is real, unless the profile says off.
    auto following = SmallDevice();
    auto quiet = SmallDeviceWith(R"({"loadVariation": false, "heapChurn": false, "traffic": false})");
    for (auto* device : {&following->device(), &quiet->device()}) {
        device->SetClockMode(ClockMode::Real);
        for (int s = 0; s < 20; ++s) device->AdvanceTime(1000);  // ahead of real time, which then adds nothing
    }
    EXPECT_EQ(Busy(following->device(), kWorkerMain), Busy(first->device(), kWorkerMain));
    EXPECT_EQ(Busy(quiet->device(), kWorkerMain), 20u * 1000u * 10000u / 4u);
    EXPECT_EQ(quiet->device().FindProcess(kWorker)->heapBlocks, 4u);
    EXPECT_EQ(quiet->device().FindInterface(2)->row.inOctets, 1000u);
}

}  // namespace
}  // namespace kestrun::platform::sim::testing
