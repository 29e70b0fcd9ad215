// The Threads dialog's list on the simulated device: which threads it lists and
// how, what update and rebuild keep, the title and automatic-refresh rules, the
// sorts, and its failures.
#include "DetailDialogSupport.h"
#include "dialogs/core/ThreadsModel.h"

#include <cerrno>

namespace kestrun {
namespace {

using platform::FileTime;
using platform::sim::ProcessSpec;
using platform::sim::SimCall;
using platform::sim::ThreadSpec;

constexpr uint64_t kOneSecond = 10000000;  // 100 ns units

class ThreadsDialog : public testing::DetailDialogTest {
protected:
    void SetUp() override
    {
        DetailDialogTest::SetUp();
        model_ = std::make_unique<ThreadsModel>(*sim_, list_, controls_);
        model_->InsertColumns();
    }
    void TearDown() override
    {
        model_.reset();
        DetailDialogTest::TearDown();
    }

    // A process with threads of the given ids (priorities 3 unless given).
    uint32_t Add(uint32_t id, const std::wstring& name, const std::vector<ThreadSpec>& threads)
    {
        ProcessSpec spec;
        spec.id = id;
        spec.exeName = name;
        spec.path = L"\\Program Files\\" + name;
        spec.threads = threads;
        return device().AddProcess(spec);
    }
    static ThreadSpec Thread(uint32_t id, int32_t priority = 3)
    {
        ThreadSpec thread;
        thread.id = id;
        thread.basePriority = priority;
        return thread;
    }
    void Show(uint32_t pid, const std::wstring& name)
    {
        model_->SetProcess(pid, name);
        ASSERT_TRUE(model_->OnTimer(kDetailTickRebuild));
    }

    std::unique_ptr<ThreadsModel> model_;
};

TEST_F(ThreadsDialog, ListsTheProcesssThreadsWithTheirTexts)
{
    ThreadSpec main = Thread(0x101, 2);
    main.deltaPriority = -1;
    main.usageCount = 4;
    main.kernelTime = 3 * kOneSecond;
    main.userTime = 61 * kOneSecond + 5000;
    main.createdMs = 1500;  // after the device's boot at 2024-01-01 00:00:00
    Add(0x100, L"worker.exe", {main, Thread(0x102)});
    Add(0x200, L"other.exe", {Thread(0x201)});
    Show(0x100, L"worker.exe");

    EXPECT_EQ(Column(kColThreadId), (std::vector<std::wstring>{L"00000101", L"00000102"}));
    const std::vector<std::wstring> first = list_.Cells()[0];
    EXPECT_EQ(first[kColCreated], L"2024/01/01 00:00:01.500");
    EXPECT_EQ(first[kColUserTime], L"0:01:01.000");
    EXPECT_EQ(first[kColKernelTime], L"0:00:03.000");
    EXPECT_EQ(first[kColBasePriority], L"2");
    EXPECT_EQ(first[kColDeltaPriority], L"-1");
    EXPECT_EQ(first[kColUsage], L"4");
    EXPECT_EQ(first[kColCurrentProcess], L"worker.exe");
    EXPECT_EQ(first[kColThreadAccessKey].size(), 8u);
    EXPECT_EQ(controls_.caption, L"worker.exe - 2 Threads");
}

TEST_F(ThreadsDialog, TitleSaysThreadForExactlyOne)
{
    Add(0x100, L"one.exe", {Thread(0x101)});
    Show(0x100, L"one.exe");
    EXPECT_EQ(controls_.caption, L"one.exe - 1 Thread");

    Show(0, kNoProcessName);
    EXPECT_EQ(list_.RowCount(), 0);
    EXPECT_EQ(controls_.caption, L"(none) - 0 Threads");
}

TEST_F(ThreadsDialog, AThreadRunningInAnotherProcessShowsThatProcessWithABang)
{
    Add(0x100, L"worker.exe", {Thread(0x101), Thread(0x102)});
    Add(0x200, L"host.exe", {Thread(0x201)});
    ASSERT_TRUE(device().SetThreadRunsIn(0x102, 0x200));
    Show(0x100, L"worker.exe");
    EXPECT_EQ(Column(kColCurrentProcess), (std::vector<std::wstring>{L"worker.exe", L"!host.exe"}));

    // A path that cannot be read gives the id, without "!" for the owner itself.
    device().InjectFailure(SimCall::ModuleFileName, EACCES, platform::sim::kAlways);
    ASSERT_TRUE(model_->Refresh(RefreshMode::kUpdate));
    EXPECT_EQ(Column(kColCurrentProcess), (std::vector<std::wstring>{L"00000100", L"!00000200"}));
}

TEST_F(ThreadsDialog, UpdateKeepsCreatedAndBasePriorityFromTheRefreshThatMadeTheRow)
{
    Add(0x100, L"worker.exe", {Thread(0x101, 3)});
    Show(0x100, L"worker.exe");
    const std::wstring created = list_.CellText(0, kColCreated);

    device().FindThreadDetails(0x101)->basePriority = 6;
    device().FindThreadDetails(0x101)->deltaPriority = 2;
    device().FindThread(0x101)->creation += 12345 * 10000ull;
    device().SetThreadTimes(0x101, 2 * kOneSecond, kOneSecond);
    list_.ResetCounters();
    ASSERT_TRUE(model_->Refresh(RefreshMode::kUpdate));
    EXPECT_EQ(list_.counters().inserts, 0u);
    EXPECT_EQ(list_.CellText(0, kColBasePriority), L"3");
    EXPECT_EQ(list_.CellText(0, kColCreated), created);
    EXPECT_EQ(list_.CellText(0, kColDeltaPriority), L"2");
    EXPECT_EQ(list_.CellText(0, kColKernelTime), L"0:00:02.000");
    EXPECT_EQ(list_.CellText(0, kColUserTime), L"0:00:01.000");

    // A rebuild (a change of process, the Refresh command) makes the row anew.
    ASSERT_TRUE(model_->OnTimer(kDetailTickRebuild));
    EXPECT_EQ(list_.CellText(0, kColBasePriority), L"6");
    EXPECT_NE(list_.CellText(0, kColCreated), created);
}

TEST_F(ThreadsDialog, TimerIdsChooseBetweenNothingUpdateAndRebuild)
{
    Add(0x100, L"worker.exe", {Thread(0x101)});
    Show(0x100, L"worker.exe");
    device().SetThreadTimes(0x101, kOneSecond, 0);

    // The update timer (1, and 0) refreshes only while the box is checked.
    for (int id : {0, 1}) {
        list_.ResetCounters();
        EXPECT_FALSE(model_->OnTimer(id));
        EXPECT_EQ(list_.counters().cellWrites, 0u) << id;
    }
    controls_.autoRefreshChecked = true;
    list_.ResetCounters();
    EXPECT_TRUE(model_->OnTimer(1));
    EXPECT_EQ(list_.counters().inserts, 0u);
    EXPECT_EQ(list_.counters().cellWrites, 1u);  // the kernel time only
    EXPECT_EQ(list_.CellText(0, kColKernelTime), L"0:00:01.000");

    // Id 2 replaces every row; any other id updates.
    list_.ResetCounters();
    EXPECT_TRUE(model_->OnTimer(2));
    EXPECT_EQ(list_.counters().inserts, 1u);
    EXPECT_EQ(list_.counters().deletes, 1u);
    list_.ResetCounters();
    controls_.autoRefreshChecked = false;
    EXPECT_TRUE(model_->OnTimer(7));
    EXPECT_EQ(list_.counters().inserts, 0u);
}

TEST_F(ThreadsDialog, UpdateAppendsNewThreadsAfterTheRowsAlreadyListed)
{
    Add(0x100, L"worker.exe", {Thread(0x105), Thread(0x103)});
    Show(0x100, L"worker.exe");
    ASSERT_NE(device().AddThread(0x100, Thread(0x101)), 0u);
    ASSERT_TRUE(device().RemoveThread(0x105));
    ASSERT_TRUE(model_->Refresh(RefreshMode::kUpdate));
    EXPECT_EQ(Column(kColThreadId), (std::vector<std::wstring>{L"00000103", L"00000101"}));
    EXPECT_EQ(controls_.caption, L"worker.exe - 2 Threads");
}

TEST_F(ThreadsDialog, MoreThanOneHundredRowsSwitchAutomaticRefreshOffUntilAtMostOneHundred)
{
    std::vector<ThreadSpec> threads;
    for (uint32_t i = 0; i < 101; ++i) threads.push_back(Thread(0x1000 + i));
    Add(0x100, L"busy.exe", threads);
    controls_.autoRefreshChecked = true;
    Show(0x100, L"busy.exe");
    EXPECT_EQ(list_.RowCount(), 101);
    EXPECT_FALSE(controls_.autoRefreshChecked);
    EXPECT_FALSE(controls_.autoRefreshEnabled);
    EXPECT_FALSE(model_->OnTimer(1));  // the update timer no longer refreshes

    ASSERT_TRUE(device().RemoveThread(0x1000));
    ASSERT_TRUE(model_->Refresh(RefreshMode::kUpdate));
    EXPECT_EQ(list_.RowCount(), 100);
    EXPECT_TRUE(controls_.autoRefreshEnabled);
    EXPECT_FALSE(controls_.autoRefreshChecked);  // enabled again, unchecked
}

TEST_F(ThreadsDialog, NumericColumnsSortByNumberAndTheIdByItsText)
{
    auto thread = [](uint32_t id, int32_t priority, int32_t delta, uint32_t usage) {
        ThreadSpec spec = Thread(id, priority);
        spec.deltaPriority = delta;
        spec.usageCount = usage;
        return spec;
    };
    Add(0x100, L"worker.exe", {thread(0x10A, 1, 10, 9), thread(0x109, 7, -2, 10), thread(0x1FF, 3, 9, 100)});
    Show(0x100, L"worker.exe");

    model_->ClickHeader(kColUsage);
    EXPECT_EQ(Column(kColUsage), (std::vector<std::wstring>{L"9", L"10", L"100"}));
    model_->ClickHeader(kColDeltaPriority);
    EXPECT_EQ(Column(kColDeltaPriority), (std::vector<std::wstring>{L"-2", L"9", L"10"}));
    model_->ClickHeader(kColDeltaPriority);
    EXPECT_EQ(Column(kColDeltaPriority), (std::vector<std::wstring>{L"10", L"9", L"-2"}));
    model_->ClickHeader(kColBasePriority);
    EXPECT_EQ(Column(kColBasePriority), (std::vector<std::wstring>{L"1", L"3", L"7"}));
    model_->ClickHeader(kColThreadId);
    EXPECT_EQ(Column(kColThreadId), (std::vector<std::wstring>{L"00000109", L"0000010A", L"000001FF"}));

    // A rebuild keeps the order, and threads that compare equal follow the snapshot.
    model_->ClickHeader(kColCurrentProcess);
    ASSERT_TRUE(model_->OnTimer(kDetailTickRebuild));
    EXPECT_EQ(Column(kColThreadId), (std::vector<std::wstring>{L"0000010A", L"00000109", L"000001FF"}));
}

TEST_F(ThreadsDialog, TimesThatCannotBeReadShowZeros)
{
    Add(0x100, L"worker.exe", {Thread(0x101)});
    device().SetThreadTimes(0x101, kOneSecond, kOneSecond);
    device().InjectFailure(SimCall::ThreadTimes, EACCES, platform::sim::kAlways);
    Show(0x100, L"worker.exe");
    EXPECT_EQ(list_.CellText(0, kColCreated), L"0000/00/00 00:00:00.000");
    EXPECT_EQ(list_.CellText(0, kColUserTime), L"0:00:00.000");
    EXPECT_EQ(list_.CellText(0, kColKernelTime), L"0:00:00.000");
    EXPECT_TRUE(boxes_.empty());
}

TEST_F(ThreadsDialog, SnapshotFailuresShowTheirBoxAndKeepTheList)
{
    Add(0x100, L"worker.exe", {Thread(0x101), Thread(0x102)});
    Show(0x100, L"worker.exe");

    device().InjectFailure(SimCall::ThreadSnapshot, ENOMEM);
    EXPECT_FALSE(model_->Refresh(RefreshMode::kRebuild));
    device().InjectFailure(SimCall::FirstThread, EIO);
    EXPECT_FALSE(model_->Refresh(RefreshMode::kRebuild));
    // A failed close skips the removal of ended threads and the title.
    ASSERT_TRUE(device().RemoveThread(0x102));
    device().InjectFailure(SimCall::CloseSnapshot, EBADF);
    EXPECT_FALSE(model_->Refresh(RefreshMode::kUpdate));
    EXPECT_EQ(BoxTexts(), (std::vector<std::wstring>{L"The thread list snapshot cannot be created.",
                                                     L"The first thread entry cannot be read.",
                                                     L"The thread list snapshot cannot be closed."}));
    EXPECT_NE(boxes_[1].text.find(L"Error: 5 "), std::wstring::npos) << "the walk's own error";
    EXPECT_EQ(list_.RowCount(), 2);
    EXPECT_EQ(controls_.caption, L"worker.exe - 2 Threads");

    ASSERT_TRUE(model_->Refresh(RefreshMode::kUpdate));
    EXPECT_EQ(list_.RowCount(), 1);
}

TEST_F(ThreadsDialog, WalksAnotherProcessWithAllProcessAccessAndRestoresIt)
{
    Add(0x100, L"worker.exe", {Thread(0x101)});
    device().SetThreadTimes(0x101, kOneSecond, 0);
    const uint32_t before = device().permissions();
    Show(0x100, L"worker.exe");
    EXPECT_EQ(list_.CellText(0, kColKernelTime), L"0:00:01.000");
    EXPECT_EQ(device().permissions(), before);
}

// The Created text of a creation time.
TEST(ThreadCreationText, FormatsCalendarTimeWithoutZoneOrReportsTheError)
{
    struct Case {
        uint64_t fileTime;
        const wchar_t* text;
    };
    const Case cases[] = {
        {0, L"0000/00/00 00:00:00.000"},
        {1, L"1601/01/01 00:00:00.000"},
        {116444736000000000ull, L"1970/01/01 00:00:00.000"},
        {133485408000000000ull + 10000ull * 1500, L"2024/01/01 00:00:01.500"},
        {125963423999990000ull, L"2000/02/29 23:59:59.999"},  // a leap day
        {0x7FFFFFFFFFFFFFFFull, L"30828/09/14 02:48:05.477"},
        {0x8000000000000000ull, L"Err#22"},
    };
    for (const Case& c : cases) EXPECT_EQ(CreationTimeText(FileTime::FromValue(c.fileTime)), c.text) << c.fileTime;
}

}  // namespace
}  // namespace kestrun
