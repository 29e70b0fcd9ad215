// The Processes page's refresh, sort, selection and actions on the simulated device.
#include "pages/core/BatchPage.h"
#include "display/core/MemoryListView.h"
#include "display/core/MessageBox.h"
#include "pages/core/ProcessesModel.h"
#include "platform/LastError.h"
#include "platform/sim/SimPlatform.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cwchar>
#include <map>
#include <set>

namespace kestrun {
namespace {

using platform::sim::HeapBlockSpec;
using platform::sim::HeapSpec;
using platform::sim::ProcessSpec;
using platform::sim::SimCall;
using platform::sim::SimDevice;
using platform::sim::SimProfile;
using platform::sim::ThreadSpec;

std::wstring Hex8(uint32_t value)
{
    wchar_t text[16];
    std::swprintf(text, 16, L"%08X", value);
    return text;
}

// A handle to a process whose program has gone (it has ended and waits for its parent).
class EndedProgramHandle final : public platform::ProcessHandle {
public:
    explicit EndedProgramHandle(uint32_t processId) : processId_(processId) {}
    uint32_t ProcessId() const override { return processId_; }
    bool Terminate(int) override { return platform::Fail(ESRCH); }
    std::optional<std::wstring> ModuleFileName() override
    {
        platform::Fail(ESRCH);
        return std::nullopt;
    }

private:
    uint32_t processId_;
};

// A platform that names some processes its own system processes, the way Linux
// names PID 1 and kernel threads, and can tell what Linux tells of a process
// that runs another program, reuses an id, or ends while it is first read;
// everything else is the simulated device's.
class SystemNamingToolHelp final : public platform::ToolHelp {
public:
    SystemNamingToolHelp(platform::ToolHelp& inner, std::set<uint32_t> system) : inner_(inner), system_(std::move(system)) {}
    std::optional<platform::Snapshot> CreateSnapshot(uint32_t flags, uint32_t processId) override
    {
        auto snapshot = inner_.CreateSnapshot(flags, processId);
        if (snapshot)
            for (auto& process : snapshot->processes) {
                process.systemProcess = system_.count(process.processId) != 0;
                const auto it = programs.find(process.processId);
                if (it == programs.end()) continue;
                process.exeFile = it->second.exeFile;
                process.memoryBase = it->second.memoryBase;
                process.image = it->second.image;
                process.startTime = it->second.startTime;
            }
        return snapshot;
    }
    std::unique_ptr<platform::ProcessHandle> OpenProcess(uint32_t p) override
    {
        if (gone.count(p) != 0) {
            platform::Fail(ESRCH);
            return nullptr;
        }
        if (refused.count(p) != 0) {
            platform::Fail(EPERM);
            return nullptr;
        }
        if (programGone.count(p) != 0) return std::make_unique<EndedProgramHandle>(p);
        return inner_.OpenProcess(p);
    }
    bool CloseSnapshot(platform::Snapshot& s) override { return inner_.CloseSnapshot(s); }
    std::optional<std::vector<platform::HeapEntry>> HeapEntries(uint32_t p, uint64_t h) override { return inner_.HeapEntries(p, h); }
    bool GetThreadTimes(uint32_t t, platform::ThreadTimes& times) override { return inner_.GetThreadTimes(t, times); }
    int GetThreadPriority(uint32_t t) override { return inner_.GetThreadPriority(t); }
    bool SetThreadPriority(uint32_t t, int level) override { return inner_.SetThreadPriority(t, level); }
    uint32_t SetProcPermissions(uint32_t mask) override { return inner_.SetProcPermissions(mask); }
    uint32_t CpuTimeResolutionMs() const override { return resolutionMs; }

    uint32_t resolutionMs = 0;  // as a platform whose CPU times advance in steps
    std::map<uint32_t, platform::ProcessEntry> programs;  // name, load address, image and start given by id
    std::set<uint32_t> gone;         // opening says the process has ended
    std::set<uint32_t> programGone;  // it opens, but its program has gone
    std::set<uint32_t> refused;      // not ours to open, as a kernel thread

private:
    platform::ToolHelp& inner_;
    std::set<uint32_t> system_;
};

class SystemNamingPlatform final : public platform::Platform {
public:
    SystemNamingPlatform(platform::Platform& inner, std::set<uint32_t> system)
        : inner_(inner), toolHelp_(inner.toolHelp(), std::move(system))
    {
    }
    std::string Name() const override { return inner_.Name(); }
    platform::ToolHelp& toolHelp() override { return toolHelp_; }
    platform::Kernel& kernel() override { return inner_.kernel(); }
    platform::Registry& registry() override { return inner_.registry(); }
    platform::ServiceManager& services() override { return inner_.services(); }
    platform::DeviceManager& devices() override { return inner_.devices(); }
    platform::InterfaceTable& interfaces() override { return inner_.interfaces(); }
    platform::Desktop& desktop() override { return inner_.desktop(); }
    platform::Shell& shell() override { return inner_.shell(); }
    SystemNamingToolHelp& wrapped() { return toolHelp_; }

private:
    platform::Platform& inner_;
    SystemNamingToolHelp toolHelp_;
};

class ProcessesPage : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim_ = platform::sim::CreateSimPlatformForTest(SimProfile{});
        ASSERT_NE(sim_, nullptr);
        previous_ = SetMessageBoxHandler([this](const MessageBoxRequest& box) {
            boxes_.push_back(box);
            return answer_;
        });
        UsePlatform(*sim_);
    }
    void TearDown() override
    {
        model_.reset();
        SetMessageBoxHandler(previous_);
    }

    void UsePlatform(platform::Platform& platform)
    {
        model_.reset();
        model_ = std::make_unique<ProcessesModel>(platform, list_);
        model_->InsertColumns();
    }

    SimDevice& device() { return sim_->device(); }

    // A process with one thread (id = process id + 1) and one heap (id 1) of the given blocks.
    uint32_t Add(uint32_t id, const std::wstring& name, std::vector<uint64_t> blocks = {}, int threads = 1)
    {
        ProcessSpec spec;
        spec.id = id;
        spec.exeName = name;
        for (int t = 0; t < threads; ++t) {
            ThreadSpec thread;
            thread.id = id + 1 + static_cast<uint32_t>(t);
            spec.threads.push_back(thread);
        }
        HeapSpec heap;
        heap.heapId = 1;
        uint64_t address = 0x10000;
        for (uint64_t size : blocks) {
            heap.blocks.push_back(HeapBlockSpec{address, size, platform::kHeapFixed, 0});
            address += 0x10000;
        }
        spec.heaps.push_back(heap);
        return device().AddProcess(spec);
    }

    int RowOf(uint32_t pid) const
    {
        for (int row = 0; row < list_.RowCount(); ++row)
            if (list_.CellText(row, kColPid) == Hex8(pid)) return row;
        return -1;
    }
    std::wstring Cell(uint32_t pid, int column) const { return list_.CellText(RowOf(pid), column); }
    // Row names in list order, without the device's own copy of the program.
    std::vector<std::wstring> Names() const
    {
        std::vector<std::wstring> names;
        for (int row = 0; row < list_.RowCount(); ++row)
            if (list_.CellText(row, kColName) != L"kestrun.exe") names.push_back(list_.CellText(row, kColName));
        return names;
    }
    void Select(uint32_t pid) { list_.SetSelected(RowOf(pid), true); }

    std::unique_ptr<platform::sim::SimPlatform> sim_;
    MemoryListView list_;
    std::unique_ptr<ProcessesModel> model_;
    std::vector<MessageBoxRequest> boxes_;
    int answer_ = kIdNo;
    MessageBoxHandler previous_;
};

// ---- CPU usage -----------------------------------------------------------------

using ProcessesCpu = ProcessesPage;

TEST_F(ProcessesCpu, FirstSightShowsZeroUsageAndZeroPeak)
{
    Add(0x100, L"busy.exe");
    device().SetThreadTimes(0x101, 5000000, 2500000);
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(Cell(0x100, kColCpuUsage), L"0.0%");
    EXPECT_EQ(Cell(0x100, kColPeakCpu), L"0.0%");
    EXPECT_EQ(Cell(0x100, kColCpuTime), L"0:00:00.750");
}

TEST_F(ProcessesCpu, UsageIsCpuDeltaOverTheIntervalCappedAtOneHundredPercent)
{
    Add(0x100, L"busy.exe");
    ASSERT_TRUE(model_->Refresh());

    device().AdvanceTime(2000);
    device().SetThreadTimes(0x101, 10000000, 0);  // one second of CPU time in two seconds
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(Cell(0x100, kColCpuUsage), L"50.0%");
    EXPECT_EQ(Cell(0x100, kColPeakCpu), L"50.0%");

    device().AdvanceTime(2000);
    device().SetThreadTimes(0x101, 40000000, 0);  // three seconds in two
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(Cell(0x100, kColCpuUsage), L"100.0%");
    EXPECT_EQ(Cell(0x100, kColPeakCpu), L"100.0%");

    device().AdvanceTime(2000);
    device().SetThreadTimes(0x101, 42000000, 0);
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(Cell(0x100, kColCpuUsage), L"10.0%");
    EXPECT_EQ(Cell(0x100, kColPeakCpu), L"100.0%");  // the peak stays
}

TEST_F(ProcessesCpu, TwoRefreshesInTheSameTickShowZero)
{
    Add(0x100, L"busy.exe");
    ASSERT_TRUE(model_->Refresh());
    device().AdvanceTime(1000);
    ASSERT_TRUE(model_->Refresh());
    device().SetThreadTimes(0x101, 10000000, 0);
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(Cell(0x100, kColCpuUsage), L"0.0%");
    EXPECT_EQ(Cell(0x100, kColPeakCpu), L"0.0%");
}

// CPU times that advance in 10 ms steps: a refresh a few milliseconds after the
// last one must not read one step as a busy processor.
class ProcessesCoarseCpu : public ProcessesPage {
protected:
    void SetUp() override
    {
        ProcessesPage::SetUp();
        coarse_ = std::make_unique<SystemNamingPlatform>(*sim_, std::set<uint32_t>{});
        coarse_->wrapped().resolutionMs = 10;
        UsePlatform(*coarse_);
    }
    std::unique_ptr<SystemNamingPlatform> coarse_;
};

TEST_F(ProcessesCoarseCpu, RefreshSoonAfterTheLastSampleKeepsUsageAndPeak)
{
    Add(0x100, L"busy.exe");
    ASSERT_TRUE(model_->Refresh());
    device().AdvanceTime(2000);
    device().SetThreadTimes(0x101, 2000000, 0);  // 200 ms in 2 s
    ASSERT_TRUE(model_->Refresh());
    ASSERT_EQ(Cell(0x100, kColCpuUsage), L"10.0%");

    device().AdvanceTime(5);
    device().SetThreadTimes(0x101, 2100000, 0);  // one 10 ms step within 5 ms
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(Cell(0x100, kColCpuUsage), L"10.0%") << "no sample over 5 ms";
    EXPECT_EQ(Cell(0x100, kColPeakCpu), L"10.0%");
}

TEST_F(ProcessesCoarseCpu, SkippedIntervalCountsIntoTheNextSample)
{
    Add(0x100, L"busy.exe");
    ASSERT_TRUE(model_->Refresh());
    device().AdvanceTime(50);
    device().SetThreadTimes(0x101, 100000, 0);  // 10 ms in 50 ms: too soon to sample
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(Cell(0x100, kColCpuUsage), L"0.0%");
    EXPECT_EQ(Cell(0x100, kColCpuTime), L"0:00:00.000") << "the stored time stays until the next sample";

    device().AdvanceTime(150);
    device().SetThreadTimes(0x101, 200000, 0);  // 20 ms over the whole 200 ms since the first sample
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(Cell(0x100, kColCpuUsage), L"10.0%");
    EXPECT_EQ(Cell(0x100, kColPeakCpu), L"10.0%");
    EXPECT_EQ(Cell(0x100, kColCpuTime), L"0:00:00.020");
}

TEST_F(ProcessesCoarseCpu, NewRowIsSampledAtFirstSightEvenRightAfterARefresh)
{
    ASSERT_TRUE(model_->Refresh());
    device().AdvanceTime(1);
    Add(0x100, L"late.exe");
    device().SetThreadTimes(0x101, 3000000, 0);
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(Cell(0x100, kColCpuUsage), L"0.0%");
    EXPECT_EQ(Cell(0x100, kColCpuTime), L"0:00:00.300");
    device().AdvanceTime(1000);
    device().SetThreadTimes(0x101, 4000000, 0);  // 100 ms in the second since it was first seen
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(Cell(0x100, kColCpuUsage), L"10.0%");
}

TEST(ProcessesCpuUsage, DividesByTheIntervalAndEveryProcessor)
{
    struct Case {
        uint32_t delta, lastTick, newTick;
        unsigned processors;
        uint32_t usage;
    };
    const Case cases[] = {
        {10000000, 1000, 3000, 1, 5000},
        {10000000, 1000, 3000, 2, 2500},  // one of two processors busy half the time
        {20000000, 1000, 3000, 2, 5000},
        {30000000, 1000, 3000, 1, 10000},  // capped
        {0, 1000, 3000, 1, 0},
        {10000000, 0, 3000, 1, 0},          // no previous tick
        {10000000, 3000, 3000, 1, 0},       // same tick
        {5120000, 0xFFFFFF00u, 0x100, 1, 10000},  // the tick wrapped: 512 ms
        {2560000, 0xFFFFFF00u, 0x100, 1, 5000},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CpuUsage(c.delta, c.lastTick, c.newTick, c.processors), c.usage) << c.delta << " over " << c.newTick - c.lastTick;
}

// ---- Memory ---------------------------------------------------------------------

TEST(ProcessesCellText, FormatsEveryColumn)
{
    ProcessRow row;
    row.processId = 0x1A2B;
    row.name = L"shell.exe";
    row.folder = L"\\Windows";
    row.peakCpu = 1234;
    row.cpuTime = platform::FileTime::FromValue(37230040000ull);  // 3,723,004 ms
    row.memory = 1023;
    row.memoryDelta = -1536;
    row.peakMemory = 5 * 1024 + 1023;
    row.blocks = 17;
    row.threads = 3;
    row.loadAddress = 0x1A0000;
    row.accessKey = 0x20;
    const std::pair<int, std::wstring> cases[] = {
        {kColName, L"shell.exe"},   {kColPid, L"00001A2B"},     {kColPeakCpu, L"12.3%"},
        {kColCpuTime, L"1:02:03.004"}, {kColMemUsage, L"0 k"},   {kColDeltaMem, L"-1 k"},
        {kColPeakMem, L"5 k"},      {kColMemBlocks, L"17"},     {kColThreads, L"3"},
        {kColLoadAddress, L"001A0000"}, {kColAccessKey, L"00000020"}, {kColPath, L"\\Windows"},
    };
    for (const auto& [column, text] : cases) EXPECT_EQ(ProcessCellText(row, column), text) << column;
    row.cpuUsage = 5000;
    EXPECT_EQ(ProcessCellText(row, kColCpuUsage), L"50.0%");

    const std::pair<int64_t, std::wstring> deltas[] = {{-512, L"0 k"}, {-1024, L"-1 k"}, {-2047, L"-1 k"}, {2048, L"2 k"}, {0, L"0 k"}};
    for (const auto& [delta, text] : deltas) {
        row.memoryDelta = delta;
        EXPECT_EQ(ProcessCellText(row, kColDeltaMem), text) << delta;
    }
}

using ProcessesMemory = ProcessesPage;

TEST_F(ProcessesMemory, DeltaFollowsTheHeapAndReturnsToZeroWhenUnchanged)
{
    Add(0x100, L"app.exe", {4096, 1536});
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(Cell(0x100, kColMemUsage), L"5 k");
    EXPECT_EQ(Cell(0x100, kColMemBlocks), L"2");
    EXPECT_EQ(Cell(0x100, kColDeltaMem), L"0 k");

    ASSERT_TRUE(device().RemoveHeapBlock(0x100, 1, 0x20000));
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(Cell(0x100, kColDeltaMem), L"-1 k");
    EXPECT_EQ(Cell(0x100, kColMemUsage), L"4 k");
    EXPECT_EQ(Cell(0x100, kColPeakMem), L"5 k");
    EXPECT_EQ(Cell(0x100, kColMemBlocks), L"1");

    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(Cell(0x100, kColDeltaMem), L"0 k");
}

TEST_F(ProcessesMemory, HeapThatCannotBeWalkedShowsZeros)
{
    Add(0x100, L"app.exe", {4096});
    device().InjectFailure(SimCall::HeapListSnapshot, EACCES, 1000);
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(Cell(0x100, kColMemUsage), L"0 k");
    EXPECT_EQ(Cell(0x100, kColMemBlocks), L"0");
}

// ---- Rows kept across refreshes -------------------------------------------------

using ProcessesRows = ProcessesPage;

TEST_F(ProcessesRows, RefreshWithNothingChangedWritesNoCell)
{
    Add(0x100, L"a.exe", {4096});
    Add(0x200, L"b.exe", {8192});
    ASSERT_TRUE(model_->Refresh());
    device().AdvanceTime(2000);
    list_.ResetCounters();
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(list_.counters().cellWrites, 0u);
    EXPECT_EQ(list_.counters().inserts, 0u);
    EXPECT_EQ(list_.counters().sorts, 0u);
}

TEST_F(ProcessesRows, EndedProcessLeavesAtTheNextRefresh)
{
    Add(0x100, L"a.exe");
    Add(0x200, L"b.exe");
    ASSERT_TRUE(model_->Refresh());
    device().EndProcess(0x100, 0);
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(RowOf(0x100), -1);
    EXPECT_NE(RowOf(0x200), -1);
}

TEST_F(ProcessesRows, UnsortedListAppendsNewProcesses)
{
    Add(0x300, L"c.exe");
    ASSERT_TRUE(model_->Refresh());
    Add(0x100, L"a.exe");
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"c.exe", L"a.exe"}));
}

TEST_F(ProcessesRows, ProcessThatRunsAnotherProgramKeepsItsRowWithTheNewNameAndLoadAddress)
{
    Add(0x100, L"bash", {4096});
    SystemNamingPlatform platform(*sim_, {});
    UsePlatform(platform);
    ASSERT_TRUE(model_->Refresh());
    const auto* before = static_cast<const ProcessRow*>(list_.RowData(RowOf(0x100)));
    const std::wstring folder = Cell(0x100, kColPath);

    platform::ProcessEntry exec;
    exec.exeFile = L"python3.11";
    exec.memoryBase = 0x400000;
    exec.image = 1;
    platform.wrapped().programs[0x100] = exec;
    device().AdvanceTime(2000);
    list_.ResetCounters();
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(list_.counters().inserts, 0u);
    EXPECT_EQ(static_cast<const ProcessRow*>(list_.RowData(RowOf(0x100))), before);
    EXPECT_EQ(Cell(0x100, kColName), L"python3.11");
    EXPECT_EQ(Cell(0x100, kColLoadAddress), L"00400000");
    EXPECT_EQ(Cell(0x100, kColPath), folder);  // read again: the device keeps the program's file

    // Read once per program: the next refresh writes none of them.
    device().AdvanceTime(2000);
    list_.ResetCounters();
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(list_.counters().cellWrites, 0u);

    // The program is gone by the time its folder is asked: the old cells stay until the row goes.
    exec.exeFile = L"sleep";
    exec.image = 2;
    platform.wrapped().programs[0x100] = exec;
    platform.wrapped().programGone.insert(0x100);
    device().AdvanceTime(2000);
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(Cell(0x100, kColName), L"python3.11");
}

TEST_F(ProcessesRows, ProcessThatReusesAnEndedOnesIdGetsANewRow)
{
    Add(0x100, L"a.exe", {4096, 4096});
    SystemNamingPlatform platform(*sim_, {});
    UsePlatform(platform);
    ASSERT_TRUE(model_->Refresh());
    Select(0x100);
    const size_t rows = model_->rowCount();

    platform::ProcessEntry other;
    other.exeFile = L"other";
    other.startTime = 9000;
    platform.wrapped().programs[0x100] = other;
    device().AdvanceTime(2000);
    list_.ResetCounters();
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(list_.counters().inserts, 1u);
    EXPECT_EQ(list_.counters().deletes, 1u);
    EXPECT_EQ(model_->rowCount(), rows);
    EXPECT_EQ(Cell(0x100, kColName), L"other");
    EXPECT_EQ(Cell(0x100, kColDeltaMem), L"0 k");  // no delta against the ended process
    EXPECT_EQ(model_->Selected(), nullptr);        // the selection went with the ended process's row
}

TEST_F(ProcessesRows, ProcessThatEndsBeforeItsRowIsFilledGetsNoRow)
{
    Add(0x100, L"gone.exe", {4096});
    Add(0x200, L"zombie.exe", {4096});
    Add(0x300, L"kernel", {});
    Add(0x400, L"stays.exe", {4096});
    SystemNamingPlatform platform(*sim_, {});
    UsePlatform(platform);
    platform.wrapped().gone.insert(0x100);
    platform.wrapped().programGone.insert(0x200);
    platform.wrapped().refused.insert(0x300);
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(RowOf(0x100), -1);
    EXPECT_EQ(RowOf(0x200), -1);
    ASSERT_NE(RowOf(0x300), -1);  // refused, not ended: listed without a folder
    EXPECT_EQ(Cell(0x300, kColPath), L"");
    ASSERT_NE(RowOf(0x400), -1);
    EXPECT_NE(Cell(0x400, kColPath), L"");
    EXPECT_TRUE(boxes_.empty());

    // Once it can be read, it is listed.
    platform.wrapped().gone.clear();
    device().AdvanceTime(2000);
    ASSERT_TRUE(model_->Refresh());
    EXPECT_NE(RowOf(0x100), -1);
    EXPECT_EQ(RowOf(0x200), -1);
}

// ---- Sorting ---------------------------------------------------------------------

using ProcessesSort = ProcessesPage;

TEST_F(ProcessesSort, SameHeaderThreeTimesSortsAscendingDescendingAscending)
{
    Add(0x100, L"Beta.exe");
    Add(0x200, L"alpha.exe");
    Add(0x300, L"gamma.exe");
    ASSERT_TRUE(model_->Refresh());
    model_->ClickHeader(kColName);
    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"alpha.exe", L"Beta.exe", L"gamma.exe"}));
    model_->ClickHeader(kColName);
    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"gamma.exe", L"Beta.exe", L"alpha.exe"}));
    model_->ClickHeader(kColName);
    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"alpha.exe", L"Beta.exe", L"gamma.exe"}));
}

TEST_F(ProcessesSort, CpuUsageSortsByTheRawDeltaNotTheShownPercentage)
{
    Add(0x100, L"more.exe");
    Add(0x200, L"less.exe");
    ASSERT_TRUE(model_->Refresh());
    device().AdvanceTime(2000);
    device().SetThreadTimes(0x101, 1500, 0);
    device().SetThreadTimes(0x201, 1000, 0);
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(Cell(0x100, kColCpuUsage), Cell(0x200, kColCpuUsage));  // both 0.0%
    model_->ClickHeader(kColCpuUsage);
    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"less.exe", L"more.exe"}));
}

TEST_F(ProcessesSort, NewProcessGoesBeforeRowsThatCompareEqual)
{
    Add(0x100, L"a.exe", {}, 2);
    Add(0x200, L"b.exe", {}, 1);
    ASSERT_TRUE(model_->Refresh());
    model_->ClickHeader(kColThreads);
    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"b.exe", L"a.exe"}));
    Add(0x300, L"c.exe", {}, 1);
    list_.ResetCounters();
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"c.exe", L"b.exe", L"a.exe"}));
    EXPECT_EQ(list_.counters().sorts, 0u);
}

TEST_F(ProcessesSort, KnownRowThatMovesOutOfOrderIsResorted)
{
    Add(0x100, L"a.exe", {1024});
    Add(0x200, L"b.exe", {2048});
    ASSERT_TRUE(model_->Refresh());
    model_->ClickHeader(kColMemUsage);
    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"a.exe", L"b.exe"}));
    ASSERT_TRUE(device().AddHeapBlock(0x100, 1, HeapBlockSpec{0x90000, 8192, platform::kHeapFixed, 0}));
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"b.exe", L"a.exe"}));
}

// ---- Go to Process ----------------------------------------------------------------

using ProcessesGoTo = ProcessesPage;

TEST_F(ProcessesGoTo, PendingProcessIsSelectedByTheFirstRefreshThatFindsIt)
{
    Add(0x100, L"a.exe");
    model_->SelectWhenListed(0x500);
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(model_->processToSelect(), 0x500u);
    EXPECT_EQ(list_.SelectedRow(), -1);

    Add(0x500, L"late.exe");
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(model_->processToSelect(), 0u);
    EXPECT_EQ(list_.SelectedRow(), RowOf(0x500));
    EXPECT_EQ(list_.lastVisible(), RowOf(0x500));
}

// ---- End Process --------------------------------------------------------------------

using ProcessesEnd = ProcessesPage;

TEST_F(ProcessesEnd, AsksTheSystemProcessQuestionForSystemNames)
{
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"NK.EXE", L"Do you really want to terminate the system process 'nk.exe'?\nThis action may crash your device!"},
        {L"s.exe", L"Do you really want to terminate the system process 's.exe'?\nThis action may crash your device!"},
        {L"Device.exe", L"Do you really want to terminate the system process 'device.exe'?\nThis action may crash your device!"},
        {L"Shell.EXE", L"Do you really want to terminate 'shell.exe'?"},
        {L"nk.exe.bak", L"Do you really want to terminate 'nk.exe.bak'?"},
    };
    uint32_t pid = 0x100;
    for (const auto& [name, question] : cases) {
        Add(pid, name);
        ASSERT_TRUE(model_->Refresh());
        Select(pid);
        boxes_.clear();
        model_->EndProcess();  // answered No
        ASSERT_EQ(boxes_.size(), 1u) << platform::Narrow(name);
        EXPECT_EQ(boxes_[0].text, question);
        EXPECT_EQ(boxes_[0].style & ~unsigned{kMbIconMask}, unsigned{kMbYesNo | kMbDefButton2});
        EXPECT_NE(device().FindProcess(pid), nullptr) << "No ends nothing";
        pid += 0x100;
    }
}

TEST_F(ProcessesEnd, PlatformSystemProcessesGetTheSystemQuestion)
{
    Add(0x100, L"init");
    SystemNamingPlatform naming(*sim_, {0x100});
    UsePlatform(naming);
    ASSERT_TRUE(model_->Refresh());
    Select(0x100);
    model_->EndProcess();
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, L"Do you really want to terminate the system process 'init'?\nThis action may crash your device!");
}

TEST_F(ProcessesEnd, YesTerminatesWithExitCodeMinusOne)
{
    Add(0x100, L"app.exe");
    ASSERT_TRUE(model_->Refresh());
    Select(0x100);
    answer_ = kIdYes;
    model_->EndProcess();
    EXPECT_EQ(device().FindProcess(0x100), nullptr);
    EXPECT_EQ(device().ExitCode(0x100), -1);
    EXPECT_EQ(boxes_.size(), 1u);
    EXPECT_NE(RowOf(0x100), -1);  // the next refresh removes the row
}

TEST_F(ProcessesEnd, ReportsEachFailureWithItsOwnText)
{
    struct Case {
        SimCall call;
        const wchar_t* text;
    };
    const Case cases[] = {
        {SimCall::OpenProcess, L"The process cannot be accessed.\nError: 1 ("},
        {SimCall::Terminate, L"The process cannot be terminated.\nError: 1 ("},
    };
    for (const Case& c : cases) {
        Add(0x100, L"app.exe");
        ASSERT_TRUE(model_->Refresh());
        Select(0x100);
        answer_ = kIdYes;
        boxes_.clear();
        device().InjectFailure(c.call, EPERM);
        model_->EndProcess();
        ASSERT_EQ(boxes_.size(), 2u);
        EXPECT_EQ(boxes_[1].text.rfind(c.text, 0), 0u) << platform::Narrow(boxes_[1].text);
        EXPECT_NE(device().FindProcess(0x100), nullptr);
    }
}

TEST_F(ProcessesEnd, WithoutSelectionSaysSo)
{
    Add(0x100, L"app.exe");
    ASSERT_TRUE(model_->Refresh());
    model_->EndProcess();
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, L"You must first select a process.");
    EXPECT_EQ(boxes_[0].style & ~unsigned{kMbIconMask}, unsigned{kMbOk});
}

// ---- Refresh failures ---------------------------------------------------------------

using ProcessesFailures = ProcessesPage;

TEST_F(ProcessesFailures, SnapshotFailuresShowTheirTextAndKeepTheList)
{
    struct Case {
        SimCall call;
        const wchar_t* text;
    };
    const Case cases[] = {
        {SimCall::ProcessSnapshot, L"The process list snapshot cannot be created.\nError: 12 ("},
        {SimCall::FirstProcess, L"The first process entry cannot be read.\nError: "},
    };
    for (const Case& c : cases) {
        Add(0x100, L"a.exe");
        ASSERT_TRUE(model_->Refresh());
        device().EndProcess(0x100, 0);
        boxes_.clear();
        device().InjectFailure(c.call, ENOMEM);
        EXPECT_FALSE(model_->Refresh());
        ASSERT_EQ(boxes_.size(), 1u);
        EXPECT_EQ(boxes_[0].text.rfind(c.text, 0), 0u) << platform::Narrow(boxes_[0].text);
        EXPECT_NE(RowOf(0x100), -1);
        ASSERT_TRUE(model_->Refresh());
        EXPECT_EQ(RowOf(0x100), -1);
    }
}

TEST_F(ProcessesFailures, CloseFailureKeepsVanishedRowsUntilALaterRefresh)
{
    Add(0x100, L"a.exe");
    Add(0x200, L"b.exe");
    ASSERT_TRUE(model_->Refresh());
    device().EndProcess(0x100, 0);
    device().InjectFailure(SimCall::CloseSnapshot, EIO, 100);  // the heap walks close snapshots too
    EXPECT_FALSE(model_->Refresh());
    device().ClearFailures();
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text.rfind(L"The process list snapshot cannot be closed.\nError: 5 (", 0), 0u);
    EXPECT_NE(RowOf(0x100), -1);
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(RowOf(0x100), -1);
}

// ---- Priority -------------------------------------------------------------------------

using ProcessesPriority = ProcessesPage;

TEST_F(ProcessesPriority, CanSetPriorityOnlyWhileShownWithASelectedProcessOtherThanTheKernel)
{
    Add(0x100, L"nk.exe");
    Add(0x200, L"app.exe");
    ASSERT_TRUE(model_->Refresh());
    EXPECT_FALSE(model_->CanSetPriority(true));  // nothing selected
    EXPECT_EQ(model_->GetPriority(), platform::kThreadPriorityError);
    Select(0x100);
    EXPECT_FALSE(model_->CanSetPriority(true));
    Select(0x200);
    EXPECT_TRUE(model_->CanSetPriority(true));
    EXPECT_FALSE(model_->CanSetPriority(false));
}

TEST_F(ProcessesPriority, SetsThePrimaryThreadAndReportsFailure)
{
    Add(0x200, L"app.exe", {}, 2);
    ASSERT_TRUE(model_->Refresh());
    Select(0x200);
    model_->SetPriority(5);
    EXPECT_EQ(model_->GetPriority(), 5);
    EXPECT_EQ(device().FindThreadDetails(0x201)->basePriority, 5);
    EXPECT_TRUE(boxes_.empty());

    device().InjectFailure(SimCall::SetThreadPriority, EPERM);
    model_->SetPriority(1);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, L"The priority cannot be set.\nError: 1 (Operation not permitted)");
}

// ---- Batch mode -------------------------------------------------------------------------

TEST_F(ProcessesPage, BatchPagePrintsTheWindowsTexts)
{
    Add(0x100, L"app.exe", {2048});
    std::unique_ptr<BatchPage> batch = MakeProcessesBatchPage(*sim_);
    const std::vector<std::wstring> header = batch->Header();
    ASSERT_EQ(header.size(), 13u);
    EXPECT_EQ(header.front(), L"Name");
    EXPECT_EQ(header[6], L"Delta Mem.");
    EXPECT_EQ(header.back(), L"Path");
    batch->Tick(1, 0, 0);
    ASSERT_TRUE(model_->Refresh());
    const auto rows = batch->Rows();
    ASSERT_EQ(rows.size(), static_cast<size_t>(list_.RowCount()));
    for (size_t row = 0; row < rows.size(); ++row)
        for (int column = 0; column < kProcessColumnCount; ++column)
            EXPECT_EQ(rows[row][static_cast<size_t>(column)], list_.CellText(static_cast<int>(row), column));
}

}  // namespace
}  // namespace kestrun
