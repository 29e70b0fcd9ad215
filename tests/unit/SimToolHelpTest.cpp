// The simulated device's tool help: the access scope, snapshot contents,
// thread times, priorities and process handles.
#include "SimTestSupport.h"

#include <algorithm>
#include <cerrno>
#include <set>

namespace kestrun::platform::sim::testing {
namespace {

constexpr uint32_t kAll = 0xFFFFFFFFu;

const ProcessEntry* FindEntry(const Snapshot& s, uint32_t pid)
{
    auto it = std::find_if(s.processes.begin(), s.processes.end(), [pid](const ProcessEntry& e) { return e.processId == pid; });
    return it == s.processes.end() ? nullptr : &*it;
}

// ---- The all-process access scope ---------------------------------------------------

TEST(SimAccessScope, AnotherProcessesThreadTimesNeedAllAccess)
{
    auto sim = SmallDevice();
    ToolHelp& th = sim->toolHelp();
    ThreadTimes times;
    SetLastError(0);
    EXPECT_FALSE(th.GetThreadTimes(kWorkerMain, times));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EACCES));
    {
        AllProcessAccess access(th);
        EXPECT_TRUE(th.GetThreadTimes(kWorkerMain, times));
    }
    EXPECT_FALSE(th.GetThreadTimes(kWorkerMain, times)) << "the scope must restore the previous mask";
}

TEST(SimAccessScope, OnlyAllOnesGrantsAccess)
{
    auto sim = SmallDevice();
    ToolHelp& th = sim->toolHelp();
    ThreadTimes times;
    th.SetProcPermissions(0x7FFFFFFFu);
    EXPECT_FALSE(th.GetThreadTimes(kWorkerMain, times));
    th.SetProcPermissions(kAll);
    EXPECT_TRUE(th.GetThreadTimes(kWorkerMain, times));
}

TEST(SimAccessScope, SetProcPermissionsReturnsThePreviousMask)
{
    auto sim = SmallDevice();
    ToolHelp& th = sim->toolHelp();
    const uint32_t initial = th.SetProcPermissions(5);
    EXPECT_NE(initial, kAll);
    EXPECT_EQ(th.SetProcPermissions(kAll), 5u);
    EXPECT_EQ(th.SetProcPermissions(initial), kAll);
    EXPECT_EQ(sim->device().permissions(), initial);
}

TEST(SimAccessScope, TheProgramsOwnProcessIsAlwaysAccessible)
{
    auto sim = SmallDevice();
    ToolHelp& th = sim->toolHelp();
    ThreadTimes times;
    EXPECT_TRUE(th.GetThreadTimes(kSelfThread, times));
    std::optional<Snapshot> heaps = th.CreateSnapshot(kSnapHeapList, kSelf);
    ASSERT_TRUE(heaps);
    ASSERT_EQ(heaps->heapLists.size(), 1u);
    EXPECT_TRUE(th.HeapEntries(kSelf, heaps->heapLists[0].heapId));
    EXPECT_NE(th.GetThreadPriority(kSelfThread), kThreadPriorityError);
}

TEST(SimAccessScope, HeapAndModuleWalksOfOthersNeedAllAccess)
{
    auto sim = SmallDevice();
    ToolHelp& th = sim->toolHelp();
    SetLastError(0);
    EXPECT_FALSE(th.CreateSnapshot(kSnapHeapList, kWorker));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EACCES));
    EXPECT_FALSE(th.CreateSnapshot(kSnapModule, kWorker));
    EXPECT_FALSE(th.CreateSnapshot(kSnapHeapList, 0)) << "every process's heaps include others'";
    EXPECT_EQ(th.GetThreadPriority(kWorkerMain), kThreadPriorityError);
    EXPECT_FALSE(th.SetThreadPriority(kWorkerMain, 2));

    AllProcessAccess access(th);
    std::optional<Snapshot> heaps = th.CreateSnapshot(kSnapHeapList, kWorker);
    ASSERT_TRUE(heaps);
    const uint64_t heapId = heaps->heapLists.at(0).heapId;
    EXPECT_TRUE(th.CreateSnapshot(kSnapModule, kWorker));
    th.SetProcPermissions(1);
    EXPECT_FALSE(th.HeapEntries(kWorker, heapId)) << "an entry walk checks the scope on its own";
}

TEST(SimAccessScope, ProcessThreadAndSystemModuleListsNeedNoAccess)
{
    auto sim = SmallDevice();
    ToolHelp& th = sim->toolHelp();
    std::optional<Snapshot> s = th.CreateSnapshot(kSnapProcess | kSnapThread | kSnapNoHeaps, 0);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->processes.size(), 4u);
    EXPECT_EQ(s->threads.size(), 5u);
    std::optional<Snapshot> modules = th.CreateSnapshot(kSnapModule, 0);
    ASSERT_TRUE(modules);
    EXPECT_EQ(modules->modules.size(), 2u);
}

TEST(SimAccessScope, TotalBusyTimeIsWhatAThreadWalkGives)
{
    auto sim = SmallDevice();
    ToolHelp& th = sim->toolHelp();
    sim->device().AdvanceTime(1000);
    auto walk = [&] {
        uint64_t total = 0;
        std::optional<Snapshot> s = th.CreateSnapshot(kSnapThread, 0);
        for (const ThreadEntry& t : s->threads) {
            ThreadTimes times;
            if (th.GetThreadTimes(t.threadId, times)) total += times.kernel.Value() + times.user.Value();
        }
        return total;
    };
    EXPECT_EQ(sim->kernel().TotalBusyTime(), walk()) << "without access only the program's own threads count";
    EXPECT_EQ(sim->kernel().TotalBusyTime(), 70000u) << "7 ms of the program's own user time";
    AllProcessAccess access(th);
    const uint64_t all = walk();
    EXPECT_EQ(sim->kernel().TotalBusyTime(), all);
    EXPECT_EQ(all, 70000u + 1000u * 10000u * 40u / 100u);

    ASSERT_TRUE(sim->device().EndProcess(kWorker, 0));
    EXPECT_EQ(sim->kernel().TotalBusyTime(), walk()) << "an ended process's threads drop out";
    EXPECT_LT(walk(), all);
}

// ---- Snapshot contents ---------------------------------------------------------------

TEST(SimSnapshot, FlagsChooseWhatItHolds)
{
    auto sim = SmallDevice();
    ToolHelp& th = sim->toolHelp();
    std::optional<Snapshot> processes = th.CreateSnapshot(kSnapProcess | kSnapNoHeaps, 0);
    ASSERT_TRUE(processes);
    EXPECT_FALSE(processes->processes.empty());
    EXPECT_TRUE(processes->threads.empty());
    EXPECT_TRUE(processes->modules.empty());
    std::optional<Snapshot> threads = th.CreateSnapshot(kSnapThread, 0);
    ASSERT_TRUE(threads);
    EXPECT_TRUE(threads->processes.empty());
    EXPECT_FALSE(threads->threads.empty());
    SetLastError(0);
    EXPECT_FALSE(th.CreateSnapshot(kSnapNoHeaps, 0));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EINVAL));
}

TEST(SimSnapshot, ProcessEntriesDescribeEachProcess)
{
    auto sim = SmallDevice();
    std::optional<Snapshot> s = sim->toolHelp().CreateSnapshot(kSnapProcess, 0);
    ASSERT_TRUE(s);
    std::vector<std::wstring> names;
    for (const ProcessEntry& e : s->processes) names.push_back(e.exeFile);
    EXPECT_EQ(names, (std::vector<std::wstring>{L"nk.exe", L"worker.exe", L"stuck.exe", L"kestrun.exe"}));
    const ProcessEntry* worker = FindEntry(*s, kWorker);
    ASSERT_NE(worker, nullptr);
    EXPECT_EQ(worker->threadCount, 2u);
    std::set<uint64_t> bases;
    std::set<uint32_t> keys;
    for (const ProcessEntry& e : s->processes) {
        bases.insert(e.memoryBase);
        keys.insert(e.accessKey);
    }
    EXPECT_EQ(bases.size(), 4u) << "every process has its own slot";
    EXPECT_EQ(keys.size(), 4u);
    EXPECT_EQ(bases.count(0), 0u);
}

TEST(SimSnapshot, ASnapshotAfterOneWasClosedDescribesTheDeviceAsItIsNow)
{
    auto sim = SmallDevice();
    ToolHelp& toolHelp = sim->toolHelp();
    std::optional<Snapshot> first = toolHelp.CreateSnapshot(kSnapProcess | kSnapThread, 0);
    ASSERT_TRUE(first);
    ASSERT_TRUE(toolHelp.CloseSnapshot(*first));
    EXPECT_TRUE(first->processes.empty() && first->threads.empty()) << "a closed snapshot is empty";

    // The next snapshot reuses the closed one's storage: a shorter name and
    // fewer processes must not leave anything of the old ones behind.
    ASSERT_TRUE(sim->device().EndProcess(kStuck, 0));
    ASSERT_TRUE(sim->device().EndProcess(kWorker, 0));
    sim->device().FindThreadDetails(kNkThread)->basePriority = 6;
    ProcessSpec again;
    again.exeName = L"a.exe";
    again.threads.resize(1);
    const uint32_t added = sim->device().AddProcess(again);
    const std::wstring longName = L"a name longer than twenty-three characters.exe";
    for (const std::wstring& name : {longName, std::wstring(L"\x00E9t\x00E9.exe")}) {
        ProcessSpec other;
        other.exeName = name;
        ASSERT_NE(sim->device().AddProcess(other), 0u);
    }
    std::optional<Snapshot> second = toolHelp.CreateSnapshot(kSnapProcess | kSnapThread, 0);
    ASSERT_TRUE(second);
    std::vector<std::wstring> names;
    for (const ProcessEntry& e : second->processes) names.push_back(e.exeFile);
    EXPECT_EQ(names, (std::vector<std::wstring>{L"nk.exe", L"kestrun.exe", L"a.exe", longName, L"\x00E9t\x00E9.exe"}));
    EXPECT_EQ(second->threads.size(), sim->device().ThreadCount());
    auto nkThread = std::find_if(second->threads.begin(), second->threads.end(), [](const ThreadEntry& t) { return t.threadId == kNkThread; });
    ASSERT_NE(nkThread, second->threads.end());
    EXPECT_EQ(nkThread->basePriority, 6) << "an entry reused from the closed snapshot shows the thread as it is now";
    AllProcessAccess access(toolHelp);
    EXPECT_NE(toolHelp.SumThreadTimes(*second, added).primaryThread, 0u) << "the new process's thread is found";

    // A failed close keeps the snapshot.
    sim->device().InjectFailure(SimCall::CloseSnapshot, EIO);
    EXPECT_FALSE(toolHelp.CloseSnapshot(*second));
    EXPECT_EQ(second->processes.size(), 5u);
}

TEST(SimSnapshot, ThreadEntriesKnowWhereTheyRun)
{
    auto sim = SmallDevice();
    std::optional<Snapshot> s = sim->toolHelp().CreateSnapshot(kSnapThread, 0);
    ASSERT_TRUE(s);
    auto helper = std::find_if(s->threads.begin(), s->threads.end(), [](const ThreadEntry& t) { return t.threadId == kWorkerHelper; });
    ASSERT_NE(helper, s->threads.end());
    EXPECT_EQ(helper->ownerProcessId, kWorker);
    EXPECT_EQ(helper->currentProcessId, kNk);
    auto main = std::find_if(s->threads.begin(), s->threads.end(), [](const ThreadEntry& t) { return t.threadId == kWorkerMain; });
    ASSERT_NE(main, s->threads.end());
    EXPECT_EQ(main->currentProcessId, kWorker);
    EXPECT_EQ(main->basePriority, 4);
}

TEST(SimSnapshot, ModulesCarryUsageCountsAndRomFlag)
{
    auto sim = SmallDevice();
    AllProcessAccess access(sim->toolHelp());
    std::optional<Snapshot> s = sim->toolHelp().CreateSnapshot(kSnapModule, kWorker);
    ASSERT_TRUE(s);
    ASSERT_EQ(s->modules.size(), 2u);
    const ModuleEntry& core = s->modules[0];
    const ModuleEntry& app = s->modules[1];
    EXPECT_EQ(core.moduleName, L"coredll.dll");
    EXPECT_EQ(core.exePath, L"\\Windows\\coredll.dll");
    EXPECT_EQ(core.flags & kModuleInRom, uint32_t{kModuleInRom});
    EXPECT_EQ(core.globalUsage, 2u) << "nk.exe and worker.exe";
    EXPECT_EQ(app.exePath, L"\\Program Files\\Worker\\app.dll");
    EXPECT_EQ(app.flags & kModuleInRom, 0u);
    EXPECT_EQ(app.processUsage, 3u);
    EXPECT_EQ(app.globalUsage, 1u);
    EXPECT_EQ(app.processId, kWorker);

    std::optional<Snapshot> system = sim->toolHelp().CreateSnapshot(kSnapModule, 0);
    ASSERT_TRUE(system);
    for (const ModuleEntry& m : system->modules) EXPECT_EQ(m.processId, 0u);
}

TEST(SimSnapshot, HeapEntriesAreLaidOutWithoutOverlap)
{
    auto sim = SmallDevice();
    ToolHelp& th = sim->toolHelp();
    AllProcessAccess access(th);
    std::optional<Snapshot> s = th.CreateSnapshot(kSnapHeapList, kWorker);
    ASSERT_TRUE(s);
    ASSERT_EQ(s->heapLists.size(), 1u);
    EXPECT_EQ(s->heapLists[0].flags, 1u);
    std::optional<std::vector<HeapEntry>> entries = th.HeapEntries(kWorker, s->heapLists[0].heapId);
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 4u);
    for (size_t i = 1; i < entries->size(); ++i)
        EXPECT_GE((*entries)[i].address, (*entries)[i - 1].address + (*entries)[i - 1].blockSize);
    EXPECT_EQ(entries->back().flags, uint32_t{kHeapMoveable | kHeapBig});
    EXPECT_EQ(entries->back().lockCount, 2u);
    EXPECT_EQ(th.SumHeap(kWorker)->bytes, 3024u);
    EXPECT_EQ(th.SumHeap(kNk)->blocks, 2u) << "free entries count too";
}

TEST(SimSnapshot, AddedAndRemovedHeapBlocksShowInTheNextWalk)
{
    auto sim = SmallDevice();
    SimDevice& device = sim->device();
    AllProcessAccess access(sim->toolHelp());
    const uint64_t heap = device.FindProcess(kWorker)->heaps[0].id;
    ASSERT_TRUE(device.AddHeapBlock(kWorker, heap, HeapBlockSpec{0, 500, kHeapFixed, 0}));
    EXPECT_EQ(sim->toolHelp().SumHeap(kWorker)->bytes, 3524u);
    const uint64_t first = device.FindProcess(kWorker)->heaps[0].entries[0].address;
    ASSERT_TRUE(device.RemoveHeapBlock(kWorker, heap, first));
    EXPECT_EQ(sim->toolHelp().SumHeap(kWorker)->bytes, 2524u);
}

TEST(SimSnapshot, HeapSumSkipsExactlyTheHeapWhoseEntriesFailToRead)
{
    auto sim = SmallDevice();
    SimDevice& device = sim->device();
    AllProcessAccess access(sim->toolHelp());
    const uint64_t second = device.AddHeap(kWorker, 0);
    ASSERT_TRUE(device.AddHeapBlock(kWorker, second, HeapBlockSpec{0, 100, kHeapFixed, 0}));
    ASSERT_TRUE(device.AddHeapBlock(kWorker, second, HeapBlockSpec{0, 28, kHeapFree, 0}));
    const HeapTotals all = *sim->toolHelp().SumHeap(kWorker);
    EXPECT_EQ(all.bytes, 3152u);
    EXPECT_EQ(all.blocks, 6u);

    device.InjectFailure(SimCall::HeapEntries, EIO, 1, 1);  // the second heap's entries fail
    const HeapTotals firstOnly = *sim->toolHelp().SumHeap(kWorker);
    EXPECT_EQ(firstOnly.bytes, 3024u);
    EXPECT_EQ(firstOnly.blocks, 4u);

    device.InjectFailure(SimCall::HeapEntries, EIO, 1);  // now the first heap's
    const HeapTotals secondOnly = *sim->toolHelp().SumHeap(kWorker);
    EXPECT_EQ(secondOnly.bytes, 128u);
    EXPECT_EQ(secondOnly.blocks, 2u);
    EXPECT_EQ(sim->toolHelp().SumHeap(kWorker)->bytes, 3152u) << "the injected failures are used up";
}

TEST(SimSnapshot, IdsAreDeterministicAndLookLikeTheDevices)
{
    auto a = CreateSimPlatformForTest();
    auto b = CreateSimPlatformForTest();
    std::optional<Snapshot> sa = a->toolHelp().CreateSnapshot(kSnapProcess | kSnapThread, 0);
    std::optional<Snapshot> sb = b->toolHelp().CreateSnapshot(kSnapProcess | kSnapThread, 0);
    ASSERT_TRUE(sa && sb);
    ASSERT_EQ(sa->processes.size(), sb->processes.size());
    for (size_t i = 0; i < sa->processes.size(); ++i) {
        EXPECT_EQ(sa->processes[i].processId, sb->processes[i].processId);
        EXPECT_EQ(sa->processes[i].processId & 0xF, 0x2u);
    }
    for (size_t i = 0; i < sa->threads.size(); ++i) EXPECT_EQ(sa->threads[i].threadId & 0xF, 0xEu);
}

TEST(SimSnapshot, SummedThreadTimesMatchTheGenericWalk)
{
    auto sim = SmallDevice();
    ToolHelp& th = sim->toolHelp();
    sim->device().AdvanceTime(700);
    AllProcessAccess access(th);
    std::optional<Snapshot> s = th.CreateSnapshot(kSnapProcess | kSnapThread, 0);
    ASSERT_TRUE(s);
    for (const ProcessEntry& p : s->processes) {
        const ProcessCpu fast = th.SumThreadTimes(*s, p.processId);
        const ProcessCpu generic = th.ToolHelp::SumThreadTimes(*s, p.processId);
        EXPECT_EQ(fast.cpuTime, generic.cpuTime) << p.processId;
        EXPECT_EQ(fast.primaryThread, generic.primaryThread) << p.processId;
    }
    EXPECT_EQ(th.SumThreadTimes(*s, kWorker).primaryThread, kWorkerHelper) << "the earliest created thread";
}

TEST(SimSnapshot, AThreadWhoseTimesFailEndsTheWalk)
{
    auto sim = SmallDevice();
    ToolHelp& th = sim->toolHelp();
    sim->device().AdvanceTime(1000);
    AllProcessAccess access(th);
    std::optional<Snapshot> s = th.CreateSnapshot(kSnapThread, 0);
    ASSERT_TRUE(s);
    sim->device().InjectFailure(SimCall::ThreadTimes, EIO, 1, 1);
    const ProcessCpu cpu = th.SumThreadTimes(*s, kWorker);
    EXPECT_EQ(cpu.cpuTime, 1000u * 10000u * 25u / 100u) << "only the first thread was summed";
    EXPECT_EQ(cpu.primaryThread, kWorkerMain);
}

// ---- Priorities and process handles ---------------------------------------------------

TEST(SimThreadPriority, SetThenGetWithinLevels)
{
    auto sim = SmallDevice();
    ToolHelp& th = sim->toolHelp();
    AllProcessAccess access(th);
    EXPECT_EQ(th.GetThreadPriority(kWorkerMain), 4);
    EXPECT_TRUE(th.SetThreadPriority(kWorkerMain, 1));
    EXPECT_EQ(th.GetThreadPriority(kWorkerMain), 1);
    EXPECT_FALSE(th.SetThreadPriority(kWorkerMain, 8));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EINVAL));
    EXPECT_FALSE(th.SetThreadPriority(kWorkerMain, -1));
    EXPECT_EQ(th.GetThreadPriority(0x12345678), kThreadPriorityError);
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ESRCH));
}

TEST(SimProcessHandle, TerminateRemovesTheProcessItsThreadsAndWindows)
{
    auto sim = SmallDevice();
    SimDevice& device = sim->device();
    std::unique_ptr<ProcessHandle> handle = sim->toolHelp().OpenProcess(kWorker);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(handle->ModuleFileName(), L"\\Program Files\\Worker\\worker.exe");
    const size_t windows = device.windows().size();
    ASSERT_TRUE(handle->Terminate(-1));
    EXPECT_EQ(device.ExitCode(kWorker), -1);
    EXPECT_EQ(device.FindProcess(kWorker), nullptr);
    EXPECT_EQ(device.FindThread(kWorkerMain), nullptr);
    EXPECT_EQ(device.FindThread(kWorkerHelper), nullptr);
    EXPECT_EQ(device.windows().size(), windows - 2);
    EXPECT_EQ(device.FindModule(device.ModuleIdByName(L"coredll.dll"))->processCount, 1u);
    std::optional<Snapshot> s = sim->toolHelp().CreateSnapshot(kSnapProcess | kSnapThread, 0);
    EXPECT_EQ(FindEntry(*s, kWorker), nullptr);
    EXPECT_FALSE(handle->Terminate(-1));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ESRCH));
}

TEST(SimProcessHandle, AHandleNeverHitsAProcessThatReusedTheId)
{
    auto sim = SmallDevice();
    std::unique_ptr<ProcessHandle> handle = sim->toolHelp().OpenProcess(kStuck);
    ASSERT_TRUE(sim->device().EndProcess(kStuck, 0));
    ProcessSpec again;
    again.id = kStuck;
    again.exeName = L"newcomer.exe";
    ASSERT_EQ(sim->device().AddProcess(again), kStuck);
    EXPECT_FALSE(handle->Terminate(-1));
    EXPECT_FALSE(handle->ModuleFileName());
    EXPECT_NE(sim->device().FindProcess(kStuck), nullptr);
}

TEST(SimProcessHandle, RefusalsAndUnknownProcesses)
{
    auto sim = SmallDevice();
    SetLastError(0);
    EXPECT_EQ(sim->toolHelp().OpenProcess(0x0BADBAD2), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ESRCH));
    std::unique_ptr<ProcessHandle> nk = sim->toolHelp().OpenProcess(kNk);
    ASSERT_NE(nk, nullptr);
    EXPECT_FALSE(nk->Terminate(-1));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EPERM));
    EXPECT_NE(sim->device().FindProcess(kNk), nullptr);
}

TEST(SimProcessHandle, EndingAHostSendsVisitingThreadsHome)
{
    auto sim = SmallDevice();
    sim->device().FindProcess(kNk)->terminable = true;
    ASSERT_TRUE(sim->toolHelp().OpenProcess(kNk)->Terminate(-1));
    ASSERT_NE(sim->device().FindThread(kWorkerHelper), nullptr);
    EXPECT_EQ(sim->device().FindThreadDetails(kWorkerHelper)->currentProcessId, kWorker);
}

}  // namespace
}  // namespace kestrun::platform::sim::testing
