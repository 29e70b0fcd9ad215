#include "pages/core/SystemPage.h"
#include "pages/core/BatchPage.h"
#include "platform/LastError.h"
#include "platform/sim/SimPlatform.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <map>

namespace kestrun {
namespace {

// Tool help holding a fixed process list; snapshots may be made to fail.
class FakeToolHelp final : public platform::ToolHelp {
public:
    std::vector<platform::ProcessEntry> processes;
    bool failSnapshots = false;
    uint32_t lastFlags = 0;
    int open = 0;  // snapshots taken and not closed

    std::optional<platform::Snapshot> CreateSnapshot(uint32_t flags, uint32_t processId) override
    {
        lastFlags = flags;
        if (failSnapshots) {
            platform::Fail(ENOMEM);
            return std::nullopt;
        }
        ++open;
        platform::Snapshot snapshot;
        snapshot.flags = flags;
        snapshot.processId = processId;
        snapshot.processes = processes;
        return snapshot;
    }
    bool CloseSnapshot(platform::Snapshot&) override
    {
        --open;
        return true;
    }
    std::optional<std::vector<platform::HeapEntry>> HeapEntries(uint32_t, uint64_t) override { return std::nullopt; }
    bool GetThreadTimes(uint32_t, platform::ThreadTimes&) override { return false; }
    int GetThreadPriority(uint32_t) override { return platform::kThreadPriorityError; }
    bool SetThreadPriority(uint32_t, int) override { return false; }
    std::unique_ptr<platform::ProcessHandle> OpenProcess(uint32_t) override { return nullptr; }
    uint32_t SetProcPermissions(uint32_t mask) override { return mask; }
};

class FakeKernel final : public platform::Kernel {
public:
    platform::MemoryStatus memory;
    uint32_t GetTickCount() override { return 0; }
    platform::MemoryStatus GlobalMemoryStatus() override { return memory; }
    unsigned ProcessorCount() override { return 1; }
    std::optional<uint64_t> TotalBusyTime() override { return std::nullopt; }
    std::optional<std::wstring> OwnModuleFileName() override { return std::nullopt; }
    uint32_t GetCurrentProcessId() override { return 1; }
    platform::InstanceLockResult CreateInstanceLock(const std::wstring&) override { return {}; }
    bool SetCurrentThreadPriority(int) override { return false; }
    bool Reboot() override { return false; }
};

platform::ProcessEntry Process(uint32_t id, uint32_t threads)
{
    platform::ProcessEntry entry;
    entry.processId = id;
    entry.threadCount = threads;
    return entry;
}

TEST(SystemFigures, ShowHashMarksUntilFirstRead)
{
    const SystemFigures figures;
    EXPECT_EQ(figures.threads(), L"#");
    EXPECT_EQ(figures.processes(), L"#");
    EXPECT_EQ(figures.totalMemory(), L"#");
    EXPECT_EQ(figures.availMemory(), L"#");
}

TEST(SystemFigures, CountProcessesAndSumTheirThreadsFromOneClosedSnapshot)
{
    FakeToolHelp toolHelp;
    toolHelp.processes = {Process(1, 12), Process(7, 1), Process(9, 30)};
    SystemFigures figures;
    figures.UpdateCounts(toolHelp);
    EXPECT_EQ(figures.processes(), L"3");
    EXPECT_EQ(figures.threads(), L"43");
    EXPECT_EQ(toolHelp.lastFlags, platform::kSnapProcess | platform::kSnapNoHeaps);
    EXPECT_EQ(toolHelp.open, 0);
}

TEST(SystemFigures, AFailedSnapshotKeepsThePreviousCounts)
{
    FakeToolHelp toolHelp;
    SystemFigures figures;
    toolHelp.failSnapshots = true;
    figures.UpdateCounts(toolHelp);
    EXPECT_EQ(figures.threads(), L"#");

    toolHelp.failSnapshots = false;
    toolHelp.processes = {Process(1, 5)};
    figures.UpdateCounts(toolHelp);
    toolHelp.failSnapshots = true;
    toolHelp.processes = {Process(1, 5), Process(2, 5)};
    figures.UpdateCounts(toolHelp);
    EXPECT_EQ(figures.processes(), L"1");
    EXPECT_EQ(figures.threads(), L"5");
}

TEST(SystemFigures, ProgramMemoryIsInWholeKilobytesRoundedDown)
{
    FakeKernel kernel;
    kernel.memory.totalPhys = 8ull * 1024 * 1024 * 1024 + 1023;  // beyond 32 bits
    kernel.memory.availPhys = 2047;
    SystemFigures figures;
    figures.UpdateMemory(kernel);
    EXPECT_EQ(figures.totalMemory(), L"8388608");
    EXPECT_EQ(figures.availMemory(), L"1");
}

// --- The page's layout on a size change ----------------------------------------

std::map<int, EdgeShift> ShiftsById(int dx, int dy)
{
    std::map<int, EdgeShift> byId;
    for (const EdgeShift& shift : SystemLayoutShifts(dx, dy)) byId[shift.id] = shift;
    return byId;
}

void ExpectShift(const std::map<int, EdgeShift>& shifts, int id, int left, int top, int right, int bottom)
{
    const EdgeShift& s = shifts.at(id);
    EXPECT_EQ(s.left, left) << "control " << id;
    EXPECT_EQ(s.top, top) << "control " << id;
    EXPECT_EQ(s.right, right) << "control " << id;
    EXPECT_EQ(s.bottom, bottom) << "control " << id;
}

TEST(SystemLayout, GaugeRowsShareTheExtraHeightAndHistoriesTakeTheWidth)
{
    const auto shifts = ShiftsById(6, 26);
    ASSERT_EQ(shifts.size(), 18u);
    for (int id : {kIdcCpuGroup, kIdcCpuGauge}) ExpectShift(shifts, id, 0, 0, 0, 13);
    for (int id : {kIdcCpuHistoryGroup, kIdcCpuHistory}) ExpectShift(shifts, id, 0, 0, 6, 13);
    for (int id : {kIdcMemGroup, kIdcMemGauge}) ExpectShift(shifts, id, 0, 13, 0, 26);
    for (int id : {kIdcMemHistoryGroup, kIdcMemHistory}) ExpectShift(shifts, id, 0, 13, 6, 26);
    for (int id : {kIdcTotalGroup, kIdcThreadsLabel, kIdcThreads, kIdcProcessesLabel, kIdcProcesses,
                   kIdcProgramMemoryGroup, kIdcTotalLabel, kIdcTotalMemory, kIdcAvailLabel, kIdcAvailMemory})
        ExpectShift(shifts, id, 0, 26, 0, 26);
}

TEST(SystemLayout, HalfTheHeightChangeIsTruncatedTowardZero)
{
    // dy -3: h = -1, the upper row shrinks by 1, the lower one moves up by 1 and
    // shrinks by 1, the bottom blocks move up by 3.
    const auto shrink = ShiftsById(0, -3);
    ExpectShift(shrink, kIdcCpuGauge, 0, 0, 0, -1);
    ExpectShift(shrink, kIdcMemGauge, 0, -1, 0, -2);
    ExpectShift(shrink, kIdcThreads, 0, -3, 0, -3);

    const auto grow = ShiftsById(-5, 3);
    ExpectShift(grow, kIdcCpuHistory, 0, 0, -5, 1);
    ExpectShift(grow, kIdcMemHistory, 0, 1, -5, 2);
    ExpectShift(grow, kIdcAvailMemory, 0, 3, 0, 3);
}

TEST(GaugePercentText, IsRightAlignedInThreeCharactersAndEmptyOutsideTheRange)
{
    EXPECT_EQ(GaugePercentText(0), L"  0%");
    EXPECT_EQ(GaugePercentText(5), L"  5%");
    EXPECT_EQ(GaugePercentText(42), L" 42%");
    EXPECT_EQ(GaugePercentText(100), L"100%");
    EXPECT_EQ(GaugePercentText(101), L"");
    EXPECT_EQ(GaugePercentText(-1), L"");
}

}  // namespace
}  // namespace kestrun

// --- Batch mode on the simulated device -----------------------------------------

namespace kestrun {
namespace {

class SystemBatch : public ::testing::Test {
protected:
    std::unique_ptr<platform::sim::SimPlatform> sim = platform::sim::CreateSimPlatformForTest();
    std::unique_ptr<BatchPage> page = MakeSystemBatchPage(*sim);
};

TEST_F(SystemBatch, PrintsCountsMemoryAndTheTicksLoadsInOneRow)
{
    platform::MemoryStatus memory;
    memory.memoryLoad = 40;
    memory.totalPhys = 64ull << 20;
    memory.availPhys = (20ull << 20) + 1000;
    sim->device().SetMemoryStatus(memory);
    size_t threads = 0;
    for (const auto& process : sim->device().processes()) threads += process.threads.size();

    EXPECT_EQ(page->Header(), (std::vector<std::wstring>{L"Threads", L"Processes", L"Total (kB)", L"Available (kB)",
                                                         L"CPU Usage", L"Mem. Usage"}));
    page->Tick(1, 7, 40);
    const auto rows = page->Rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], (std::vector<std::wstring>{std::to_wstring(threads),
                                                  std::to_wstring(sim->device().processes().size()), L"65536", L"20480",
                                                  L"  7%", L" 40%"}));
}

TEST_F(SystemBatch, AFailedSnapshotKeepsTheCountsOfTheTickBefore)
{
    page->Tick(1, 0, 0);
    const std::wstring processes = page->Rows()[0][1];
    platform::sim::ProcessSpec spec;
    spec.exeName = L"extra.exe";
    ASSERT_NE(sim->device().AddProcess(spec), 0u);
    sim->device().InjectFailure(platform::sim::SimCall::ProcessSnapshot, 12);
    page->Tick(2, 100, 3);
    const auto row = page->Rows()[0];
    EXPECT_EQ(row[1], processes);
    EXPECT_EQ(row[4], L"100%");
    EXPECT_EQ(row[5], L"  3%");
    page->Tick(1, 0, 0);
    EXPECT_EQ(page->Rows()[0][1], std::to_wstring(std::stoul(processes) + 1));
}

}  // namespace
}  // namespace kestrun
