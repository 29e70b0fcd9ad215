// The simulated device's clock, kernel services and failure injection.
#include "SimTestSupport.h"

#include <cerrno>
#include <functional>

namespace kestrun::platform::sim::testing {
namespace {

uint64_t Busy(SimDevice& device, uint32_t threadId)
{
    const SimThread* t = device.FindThread(threadId);
    return t->kernelTime + t->userTime;
}

// ---- Clock --------------------------------------------------------------------------------

TEST(SimClock, AdvancingChargesEachThreadItsLoadShare)
{
    auto sim = SmallDevice();
    SimDevice& device = sim->device();
    const uint32_t before = sim->kernel().GetTickCount();
    device.AdvanceTime(2000);
    EXPECT_EQ(sim->kernel().GetTickCount() - before, 2000u);
    EXPECT_EQ(Busy(device, kWorkerMain), 2000u * 10000u / 4u);  // 25 %
    EXPECT_EQ(device.FindThread(kWorkerMain)->kernelTime, 2000u * 10000u / 8u) << "half of it in the kernel by default";
    EXPECT_EQ(device.FindThread(kNkThread)->kernelTime, 2000u * 10000u / 10u) << "nk.exe's thread runs in the kernel only";
    EXPECT_EQ(device.FindThread(kNkThread)->userTime, 0u);
    EXPECT_EQ(Busy(device, kSelfThread), 70000u) << "an idle thread is not charged";
}

TEST(SimClock, OneProcessorSharesOverloadProportionally)
{
    auto sim = SmallDevice();
    SimDevice& device = sim->device();
    ASSERT_TRUE(device.SetThreadLoad(kWorkerMain, 6000));
    ASSERT_TRUE(device.SetThreadLoad(kWorkerHelper, 6000));
    ASSERT_TRUE(device.SetThreadLoad(kNkThread, 0));
    device.AdvanceTime(1000);
    EXPECT_EQ(Busy(device, kWorkerMain), 5000000u);
    EXPECT_EQ(Busy(device, kWorkerHelper), 5000000u);
    EXPECT_EQ(*sim->kernel().TotalBusyTime() - 70000u, 0u) << "no access: only the program's own thread";
    AllProcessAccess access(sim->toolHelp());
    EXPECT_EQ(*sim->kernel().TotalBusyTime() - 70000u, 1000u * 10000u) << "never more than the elapsed time";
}

TEST(SimClock, ChargesFollowLoadsAsTheyChangeAndThreadsComeAndGo)
{
    auto sim = SmallDevice();
    SimDevice& device = sim->device();
    ASSERT_TRUE(device.SetThreadLoad(kWorkerMain, 0));
    ASSERT_TRUE(device.SetThreadLoad(kSelfThread, 1000));  // idle until now
    const uint64_t main = Busy(device, kWorkerMain);
    const uint64_t self = Busy(device, kSelfThread);
    device.AdvanceTime(1000);
    EXPECT_EQ(Busy(device, kWorkerMain), main) << "a thread whose load went to 0 is charged nothing";
    EXPECT_EQ(Busy(device, kSelfThread) - self, 1000u * 1000u) << "10 % of 1 s";

    // A busy thread goes; an idle one added next takes its place in the store.
    ASSERT_TRUE(device.RemoveThread(kSelfThread));
    ThreadSpec idle;
    const uint32_t added = device.AddThread(kWorker, idle);
    ASSERT_NE(added, 0u);
    ThreadSpec busy;
    busy.load = 500;
    const uint32_t second = device.AddThread(kWorker, busy);
    device.AdvanceTime(1000);
    EXPECT_EQ(Busy(device, added), 0u);
    EXPECT_EQ(Busy(device, second), 500u * 1000u);
    ASSERT_TRUE(device.EndProcess(kWorker, 0));
    ThreadSpec again;
    const uint32_t later = device.AddThread(kNk, again);
    device.AdvanceTime(1000);
    EXPECT_EQ(Busy(device, later), 0u) << "the slots of an ended process's busy threads charge nobody new";
}

TEST(SimClock, TickWrapsModulo2To32)
{
    auto sim = SmallDevice();
    sim->device().SetTick(0xFFFFFF00u);
    EXPECT_EQ(sim->kernel().GetTickCount(), 0xFFFFFF00u);
    sim->device().AdvanceTime(0x200);
    EXPECT_EQ(sim->kernel().GetTickCount(), 0x100u);
    EXPECT_EQ(Busy(sim->device(), kWorkerMain), 0x200u * 10000u / 4u) << "setting the tick charged nobody";
}

TEST(SimClock, ThreadsAddedLaterAreCreatedAtTheCurrentUptime)
{
    auto sim = SmallDevice();
    SimDevice& device = sim->device();
    device.AdvanceTime(500);
    const uint32_t id = device.AddThread(kWorker, ThreadSpec{});
    ASSERT_NE(id, 0u);
    AllProcessAccess access(sim->toolHelp());
    ThreadTimes times;
    ASSERT_TRUE(sim->toolHelp().GetThreadTimes(id, times));
    EXPECT_EQ(times.creation.Value(), device.BootTime() + (1000u + 500u) * 10000u);
    ThreadTimes main;
    ASSERT_TRUE(sim->toolHelp().GetThreadTimes(kWorkerMain, main));
    EXPECT_EQ(main.creation.Value(), device.BootTime() + 200u * 10000u);
    EXPECT_EQ(main.exit.Value(), 0u);
}

TEST(SimClock, RealClockNeverRunsBackwards)
{
    auto sim = SmallDevice();
    sim->device().SetClockMode(ClockMode::Real);
    const uint32_t first = sim->kernel().GetTickCount();
    sim->device().AdvanceTime(100);
    EXPECT_GE(sim->kernel().GetTickCount() - first, 100u);
    EXPECT_EQ(sim->device().clockMode(), ClockMode::Real);
}

// ---- Kernel services -------------------------------------------------------------------------

TEST(SimKernel, MemoryStatusFollowsTheProfile)
{
    auto sim = SmallDevice();
    const MemoryStatus m = sim->kernel().GlobalMemoryStatus();
    EXPECT_EQ(m.totalPhys, 32u << 20);
    EXPECT_EQ(m.availPhys, 8u << 20);
    EXPECT_EQ(m.memoryLoad, 75u);
    EXPECT_EQ(sim->kernel().ProcessorCount(), 1u);
}

TEST(SimKernel, OwnModuleIsTheProgramOnTheDevice)
{
    auto sim = SmallDevice();
    EXPECT_EQ(sim->kernel().OwnModuleFileName(), L"\\Windows\\kestrun.exe");
    EXPECT_EQ(sim->device().OwnProcessId(), kSelf);
}

TEST(SimKernel, InstanceLockIsHeldUntilEveryHolderLetsGo)
{
    auto sim = SmallDevice();
    InstanceLockResult first = sim->kernel().CreateInstanceLock(L"Dravik Task Manager");
    ASSERT_NE(first.lock, nullptr);
    EXPECT_FALSE(first.alreadyExists);
    InstanceLockResult second = sim->kernel().CreateInstanceLock(L"dravik task manager");
    EXPECT_TRUE(second.alreadyExists);
    first.lock.reset();
    EXPECT_TRUE(sim->kernel().CreateInstanceLock(L"Dravik Task Manager").alreadyExists) << "the second holder still has it";
    second.lock.reset();
    EXPECT_FALSE(sim->kernel().CreateInstanceLock(L"Dravik Task Manager").alreadyExists);
}

TEST(SimKernel, PriorityAndRebootRequestsAreRecorded)
{
    auto sim = SmallDevice();
    EXPECT_TRUE(sim->kernel().SetCurrentThreadPriority(1));
    EXPECT_EQ(sim->device().currentThreadPriority, 1);
    EXPECT_EQ(sim->device().FindThreadDetails(kSelfThread)->basePriority, 1);
    EXPECT_FALSE(sim->kernel().SetCurrentThreadPriority(9));
    EXPECT_EQ(sim->device().currentThreadPriority, 1);
    EXPECT_TRUE(sim->kernel().Reboot());
    EXPECT_EQ(sim->device().rebootRequests, 1);
    EXPECT_EQ(sim->device().processes().size(), 4u) << "a reboot request changes nothing else";
}

// ---- Failure injection ---------------------------------------------------------------------------

struct FailureCase {
    const char* name;
    SimCall call;
    std::function<bool(SimPlatform&)> fails;  // runs the call; true when it failed
};

std::vector<FailureCase> FailureCases()
{
    return {
        {"snapshot", SimCall::CreateSnapshot, [](SimPlatform& p) { return !p.toolHelp().CreateSnapshot(kSnapProcess, 0); }},
        {"process snapshot", SimCall::ProcessSnapshot, [](SimPlatform& p) { return !p.toolHelp().CreateSnapshot(kSnapProcess | kSnapThread, 0); }},
        {"thread snapshot", SimCall::ThreadSnapshot, [](SimPlatform& p) { return !p.toolHelp().CreateSnapshot(kSnapThread, 0); }},
        {"module snapshot", SimCall::ModuleSnapshot, [](SimPlatform& p) { return !p.toolHelp().CreateSnapshot(kSnapModule, kSelf); }},
        {"heap snapshot", SimCall::HeapListSnapshot, [](SimPlatform& p) { return !p.toolHelp().CreateSnapshot(kSnapHeapList, kSelf); }},
        {"first process", SimCall::FirstProcess, [](SimPlatform& p) { return p.toolHelp().CreateSnapshot(kSnapProcess, 0)->processes.empty(); }},
        {"first thread", SimCall::FirstThread, [](SimPlatform& p) { return p.toolHelp().CreateSnapshot(kSnapThread, 0)->threads.empty(); }},
        {"first heap list", SimCall::FirstHeapList, [](SimPlatform& p) { return p.toolHelp().CreateSnapshot(kSnapHeapList, kSelf)->heapLists.empty(); }},
        {"close", SimCall::CloseSnapshot, [](SimPlatform& p) { Snapshot s; return !p.toolHelp().CloseSnapshot(s); }},
        {"heap entries", SimCall::HeapEntries, [](SimPlatform& p) {
             return !p.toolHelp().HeapEntries(kSelf, p.device().FindProcess(kSelf)->heaps[0].id); }},
        {"thread times", SimCall::ThreadTimes, [](SimPlatform& p) { ThreadTimes t; return !p.toolHelp().GetThreadTimes(kSelfThread, t); }},
        {"get priority", SimCall::GetThreadPriority, [](SimPlatform& p) { return p.toolHelp().GetThreadPriority(kSelfThread) == kThreadPriorityError; }},
        {"set priority", SimCall::SetThreadPriority, [](SimPlatform& p) { return !p.toolHelp().SetThreadPriority(kSelfThread, 3); }},
        {"open process", SimCall::OpenProcess, [](SimPlatform& p) { return p.toolHelp().OpenProcess(kStuck) == nullptr; }},
        {"terminate", SimCall::Terminate, [](SimPlatform& p) { return !p.toolHelp().OpenProcess(kStuck)->Terminate(-1); }},
        {"module file name", SimCall::ModuleFileName, [](SimPlatform& p) { return !p.toolHelp().OpenProcess(kStuck)->ModuleFileName(); }},
        {"busy time", SimCall::TotalBusyTime, [](SimPlatform& p) { return !p.kernel().TotalBusyTime(); }},
        {"own file name", SimCall::OwnModuleFileName, [](SimPlatform& p) { return !p.kernel().OwnModuleFileName(); }},
        {"instance lock", SimCall::InstanceLock, [](SimPlatform& p) { return p.kernel().CreateInstanceLock(L"x").lock == nullptr; }},
        {"own priority", SimCall::SetCurrentThreadPriority, [](SimPlatform& p) { return !p.kernel().SetCurrentThreadPriority(1); }},
        {"reboot", SimCall::Reboot, [](SimPlatform& p) { return !p.kernel().Reboot(); }},
        {"service list", SimCall::EnumServices, [](SimPlatform& p) { return !p.services().EnumServices(); }},
        {"service control", SimCall::ServiceControl, [](SimPlatform& p) { return !p.services().Control(L"TEL0:", ServiceControl::Start); }},
        {"device search", SimCall::FindDevices, [](SimPlatform& p) { return !p.devices().FindDevices(L"*"); }},
        {"power query", SimCall::DevicePower, [](SimPlatform& p) { return !p.devices().GetDevicePower(L"COM1:"); }},
        {"deactivate", SimCall::DeactivateDevice, [](SimPlatform& p) {
             return !p.devices().DeactivateDevice(p.device().FindDevice(L"COM1:")->info.handle); }},
        {"interface table", SimCall::IfTable, [](SimPlatform& p) {
             InterfaceTableBuffer buffer;
             uint32_t required = 0;
             return !p.interfaces().AllocateTable(buffer, 26664) || !p.interfaces().GetIfTable(buffer, required); }},
        {"interface table memory", SimCall::IfTableMemory, [](SimPlatform& p) {
             InterfaceTableBuffer buffer;
             return !p.interfaces().AllocateTable(buffer, 26664); }},
        {"adapter list", SimCall::AdapterName, [](SimPlatform& p) { return p.interfaces().GetAdapterName(2).empty(); }},
        {"desktop", SimCall::Desktop, [](SimPlatform& p) { return !p.desktop().Available(); }},
        {"post close", SimCall::PostClose, [](SimPlatform& p) { return !p.desktop().PostClose(p.device().windows().front().id); }},
        {"show window", SimCall::ShowWindow, [](SimPlatform& p) { return !p.desktop().ShowWindow(p.device().windows().front().id, ShowCommand::Hide); }},
        {"foreground", SimCall::SetForeground, [](SimPlatform& p) { return !p.desktop().SetForeground(p.device().windows().back().id); }},
        {"file info", SimCall::FileInfo, [](SimPlatform& p) { return !p.shell().GetFileInfo(L"\\Windows\\coredll.dll"); }},
        {"version info", SimCall::VersionInfo, [](SimPlatform& p) { return !p.shell().GetVersionInfo(L"\\Windows\\coredll.dll"); }},
        {"help viewer", SimCall::HelpViewer, [](SimPlatform& p) { return !p.shell().StartHelpViewer(L"a.htm", L"#x"); }},
        {"registry", SimCall::Registry, [](SimPlatform& p) { return !p.registry().QueryValue(Hive::LocalMachine, L"Ident", L"Name"); }},
    };
}

TEST(SimFailureInjection, EveryCallFailsOnceWithTheInjectedError)
{
    for (const FailureCase& c : FailureCases()) {
        EXPECT_FALSE(c.fails(*SmallDevice())) << c.name << " fails without injection";
        auto sim = SmallDevice();
        sim->device().InjectFailure(c.call, EIO, 1);
        SetLastError(0);
        EXPECT_TRUE(c.fails(*sim)) << c.name;
        EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EIO)) << c.name;
        EXPECT_FALSE(c.fails(*sim)) << c.name << " fails only once";
    }
}

TEST(SimFailureInjection, SkippedCallsPassAndAlwaysLastsUntilCleared)
{
    auto sim = SmallDevice();
    SimDevice& device = sim->device();
    device.InjectFailure(SimCall::ThreadTimes, ENOMEM, 2, 1);
    ThreadTimes t;
    EXPECT_TRUE(sim->toolHelp().GetThreadTimes(kSelfThread, t));
    EXPECT_FALSE(sim->toolHelp().GetThreadTimes(kSelfThread, t));
    EXPECT_FALSE(sim->toolHelp().GetThreadTimes(kSelfThread, t));
    EXPECT_TRUE(sim->toolHelp().GetThreadTimes(kSelfThread, t));
    device.InjectFailure(SimCall::ThreadTimes, ENOMEM, kAlways);
    for (int i = 0; i < 5; ++i) EXPECT_FALSE(sim->toolHelp().GetThreadTimes(kSelfThread, t));
    device.ClearFailures();
    EXPECT_TRUE(sim->toolHelp().GetThreadTimes(kSelfThread, t));
}

TEST(SimFailureInjection, AnEmptyFirstEntryCarriesItsError)
{
    auto sim = SmallDevice();
    sim->device().InjectFailure(SimCall::FirstThread, ENOENT, 1);
    SetLastError(0);
    std::optional<Snapshot> s = sim->toolHelp().CreateSnapshot(kSnapProcess | kSnapThread, 0);
    ASSERT_TRUE(s);
    EXPECT_TRUE(s->threads.empty());
    EXPECT_FALSE(s->processes.empty()) << "only the thread list is affected";
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ENOENT));
}

}  // namespace
}  // namespace kestrun::platform::sim::testing
