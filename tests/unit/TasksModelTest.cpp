// The Applications page's refresh, sort and actions on the simulated device.
#include "display/core/MemoryListView.h"
#include "display/core/MessageBox.h"
#include "pages/core/BatchPage.h"
#include "pages/core/TasksModel.h"
#include "platform/sim/SimPlatform.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace kestrun {
namespace {

using platform::WindowId;
using platform::sim::ProcessSpec;
using platform::sim::SimCall;
using platform::sim::SimDevice;
using platform::sim::SimProfile;
using platform::sim::WindowSpec;

WindowSpec Window(const std::wstring& title, std::optional<uint32_t> icon = std::nullopt)
{
    WindowSpec w;
    w.title = title;
    w.iconColor = icon;
    return w;
}

class TasksPage : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim_ = platform::sim::CreateSimPlatformForTest(SimProfile{});
        ASSERT_NE(sim_, nullptr);
        previous_ = SetMessageBoxHandler([this](const MessageBoxRequest& box) {
            boxes_.push_back(box);
            return answer_;
        });
        TasksHost host;
        host.minimizeAfterSwitch = [this] { return minimizeOption_; };
        host.minimizeOwnWindow = [this] { ++minimized_; };
        host.goToProcess = [this](uint32_t pid) { goneTo_ = pid; };
        host.wait = [this](int ms) {
            waits_.push_back(ms);
            refreshedWhileWaiting_ = refreshedWhileWaiting_ || model_->Refresh();
        };
        model_ = std::make_unique<TasksModel>(*sim_, list_, 16, std::move(host));
        model_->InsertColumns();
        list_.AddImage(platform::Image{16, 16, std::vector<uint32_t>(256, 0xFF808080u)});  // image 0: the default icon
    }
    void TearDown() override
    {
        model_.reset();
        SetMessageBoxHandler(previous_);
    }

    SimDevice& device() { return sim_->device(); }

    // A program with windows; returns its process id.
    uint32_t Program(const std::wstring& exe, std::vector<WindowSpec> windows, const std::wstring& path = {})
    {
        ProcessSpec spec;
        spec.exeName = exe;
        spec.path = path;
        spec.threads.emplace_back();
        spec.windows = std::move(windows);
        return device().AddProcess(spec);
    }
    WindowId WindowTitled(const std::wstring& title)
    {
        for (const auto& w : device().windows())
            if (w.title == title) return w.id;
        return 0;
    }
    std::vector<std::wstring> Titles() const
    {
        std::vector<std::wstring> titles;
        for (int row = 0; row < list_.RowCount(); ++row) titles.push_back(list_.CellText(row, 0));
        return titles;
    }
    std::vector<int> Images() const
    {
        std::vector<int> images;
        for (int row = 0; row < list_.RowCount(); ++row) images.push_back(list_.RowImage(row));
        return images;
    }
    void Select(const std::wstring& title)
    {
        for (int row = 0; row < list_.RowCount(); ++row)
            if (list_.CellText(row, 0) == title) list_.SetSelected(row, true);
    }

    std::unique_ptr<platform::sim::SimPlatform> sim_;
    MemoryListView list_;
    std::unique_ptr<TasksModel> model_;
    MessageBoxHandler previous_;
    std::vector<MessageBoxRequest> boxes_;
    int answer_ = kIdNo;
    bool minimizeOption_ = false;
    int minimized_ = 0;
    uint32_t goneTo_ = 0;
    std::vector<int> waits_;
    bool refreshedWhileWaiting_ = false;
};

// ---- The list ----------------------------------------------------------------------------------

TEST_F(TasksPage, ListsVisibleTopLevelUnownedTitledWindowsButNeverItsOwn)
{
    WindowSpec hidden = Window(L"Hidden");
    hidden.visible = false;
    WindowSpec dialog = Window(L"Find");
    dialog.ownerTitle = L"Editor";
    WindowSpec child = Window(L"Toolbar");
    child.parentTitle = L"Editor";
    Program(L"editor.exe", {Window(L"Editor"), dialog, child, hidden, Window(L"")});
    ProcessSpec self;
    self.exeName = L"kestrun.exe";
    self.self = true;
    self.windows = {Window(L"Dravik Task Manager")};
    ASSERT_NE(device().AddProcess(self), 0u);
    ASSERT_NE(sim_->desktop().OwnMainWindow(), 0u);

    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(Titles(), std::vector<std::wstring>{L"Editor"});
    EXPECT_TRUE(boxes_.empty());
}

TEST_F(TasksPage, RowsKeepTheOrderTheyWereFoundInAndNewOnesGoLast)
{
    Program(L"a.exe", {Window(L"Alpha"), Window(L"Beta")});  // Beta opens on top of Alpha
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(Titles(), (std::vector<std::wstring>{L"Beta", L"Alpha"}));
    Program(L"c.exe", {Window(L"Gamma")});
    device().BringToFront(WindowTitled(L"Alpha"));
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(Titles(), (std::vector<std::wstring>{L"Beta", L"Alpha", L"Gamma"}));
}

TEST_F(TasksPage, ARetitledWindowKeepsItsRowAndIconAndOnlyItsTitleIsWritten)
{
    Program(L"a.exe", {Window(L"Report", 0xFF336699u), Window(L"Other")});
    ASSERT_TRUE(model_->Refresh());
    ASSERT_EQ(Titles(), (std::vector<std::wstring>{L"Other", L"Report"}));
    const int image = list_.RowImage(1);
    EXPECT_GT(image, 0);
    list_.ResetCounters();
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(list_.counters().cellWrites, 0u) << "nothing changed, nothing written";
    device().SetWindowTitle(WindowTitled(L"Report"), L"Report (2)");
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(Titles(), (std::vector<std::wstring>{L"Other", L"Report (2)"}));
    EXPECT_EQ(list_.RowImage(1), image);
    EXPECT_EQ(list_.counters().cellWrites, 1u);
    EXPECT_EQ(list_.counters().inserts, 0u);
}

TEST_F(TasksPage, MoreThan256TaskWindowsFailAndTheListKeepsItsRows)
{
    Program(L"a.exe", {Window(L"First")});
    ASSERT_TRUE(model_->Refresh());
    std::vector<WindowSpec> many;
    for (int i = 0; i < 255; ++i) many.push_back(Window(L"Window " + std::to_wstring(i)));
    Program(L"many.exe", many);
    ASSERT_TRUE(model_->Refresh()) << "256 task windows fit";
    EXPECT_EQ(model_->rowCount(), 256u);

    Program(L"one.exe", {Window(L"One too many")});
    EXPECT_FALSE(model_->Refresh());
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text.rfind(L"The task windows cannot be enumerated.\nError: ", 0), 0u);
    EXPECT_EQ(model_->rowCount(), 256u);

    // A window list that cannot be read at all.
    device().InjectFailure(SimCall::EnumWindows, EIO);
    EXPECT_FALSE(model_->Refresh());
    EXPECT_EQ(boxes_.size(), 2u);
    EXPECT_EQ(model_->rowCount(), 256u);
}

TEST_F(TasksPage, ARemovedRowTakesItsImageAndLaterImagesMoveDown)
{
    // Images 1 and 2 are taken, as other rows' would be: the rows get 0, 3, 4 and 5.
    list_.AddImage(platform::Image{16, 16, std::vector<uint32_t>(256, 1)});
    list_.AddImage(platform::Image{16, 16, std::vector<uint32_t>(256, 2)});
    // Opened in this order, so the topmost (the first found) is Three.
    Program(L"p.exe", {Window(L"Plain")});
    Program(L"q.exe", {Window(L"Five", 0xFF000005u)});
    Program(L"r.exe", {Window(L"Four", 0xFF000004u)});
    Program(L"s.exe", {Window(L"Three", 0xFF000003u)});
    ASSERT_TRUE(model_->Refresh());
    ASSERT_EQ(Titles(), (std::vector<std::wstring>{L"Three", L"Four", L"Five", L"Plain"}));
    ASSERT_EQ(Images(), (std::vector<int>{3, 4, 5, 0}));
    ASSERT_EQ(list_.ImageCount(), 6);

    device().RemoveWindow(WindowTitled(L"Three"));
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(Titles(), (std::vector<std::wstring>{L"Four", L"Five", L"Plain"}));
    EXPECT_EQ(Images(), (std::vector<int>{3, 4, 0}));
    EXPECT_EQ(list_.ImageCount(), 5);

    device().RemoveWindow(WindowTitled(L"Plain"));  // image 0 is the list's, not the row's
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(list_.ImageCount(), 5);
}

TEST_F(TasksPage, AWindowWithoutIconShowsItsProgramsFileIconOrTheDefault)
{
    const uint32_t viewer = Program(L"viewer.exe", {Window(L"Viewer")});
    Program(L"bare.exe", {Window(L"Bare")});
    ASSERT_TRUE(device().SetFileIcon(device().FindProcess(viewer)->path, 0xFF00AA00u));
    ASSERT_TRUE(model_->Refresh());
    ASSERT_EQ(Titles(), (std::vector<std::wstring>{L"Bare", L"Viewer"}));
    EXPECT_EQ(Images(), (std::vector<int>{0, 1}));
}

TEST_F(TasksPage, HeaderClicksSortByTitleIgnoringCaseOnTheFirst99Characters)
{
    const std::wstring head(99, L'x');
    Program(L"a.exe", {Window(L"banana"), Window(L"Apple"), Window(head + L"2"), Window(L"cherry"), Window(head + L"1")});
    ASSERT_TRUE(model_->Refresh());
    model_->ClickHeader(0);
    EXPECT_EQ(Titles(), (std::vector<std::wstring>{L"Apple", L"banana", L"cherry", head + L"1", head + L"2"}))
        << "equal on 99 characters: the found order stays";
    model_->ClickHeader(0);
    EXPECT_EQ(Titles(), (std::vector<std::wstring>{head + L"1", head + L"2", L"cherry", L"banana", L"Apple"}));
    EXPECT_EQ(model_->sortOrder(), -1);
    // Sorted, a retitled row moves to its place at the next refresh.
    device().SetWindowTitle(WindowTitled(L"Apple"), L"zucchini");
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(Titles().front(), L"zucchini");
}

TEST_F(TasksPage, TheLastRowGoingEmptiesTheList)
{
    Program(L"a.exe", {Window(L"Only")});
    ASSERT_TRUE(model_->Refresh());
    list_.SetSelected(0, true);
    device().RemoveWindow(WindowTitled(L"Only"));
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(model_->rowCount(), 0u);
    EXPECT_EQ(model_->Selected(), nullptr);
}

// ---- The commands ----------------------------------------------------------------------------------

TEST_F(TasksPage, EveryCommandNeedsASelectedTask)
{
    Program(L"a.exe", {Window(L"Editor")});
    ASSERT_TRUE(model_->Refresh());
    model_->SwitchTo();
    model_->GoToProcess();
    model_->EndTask();
    ASSERT_EQ(boxes_.size(), 3u);
    for (const auto& box : boxes_) EXPECT_EQ(box.text, L"You must first select a task.");
    EXPECT_EQ(device().windows().front().closeRequests, 0u);
}

TEST_F(TasksPage, SwitchToBringsTheWindowForwardAfterMinimisingOurOwnUnderTheOption)
{
    Program(L"a.exe", {Window(L"Back"), Window(L"Front")});
    ASSERT_TRUE(model_->Refresh());
    Select(L"Back");
    model_->SwitchTo();
    EXPECT_EQ(sim_->desktop().GetForeground(), WindowTitled(L"Back"));
    EXPECT_EQ(minimized_, 0);
    minimizeOption_ = true;
    Select(L"Front");
    model_->SwitchTo();
    EXPECT_EQ(sim_->desktop().GetForeground(), WindowTitled(L"Front"));
    EXPECT_EQ(minimized_, 1);
}

TEST_F(TasksPage, GoToProcessHandsOnTheWindowsProcess)
{
    const uint32_t pid = Program(L"a.exe", {Window(L"Editor")});
    ASSERT_TRUE(model_->Refresh());
    Select(L"Editor");
    model_->GoToProcess();
    EXPECT_EQ(goneTo_, pid);
}

TEST_F(TasksPage, EndTaskOnAWindowThatClosesAtOnceAsksNothing)
{
    const uint32_t pid = Program(L"a.exe", {Window(L"Editor")});
    ASSERT_TRUE(model_->Refresh());
    Select(L"Editor");
    model_->EndTask();
    EXPECT_TRUE(boxes_.empty());
    EXPECT_TRUE(waits_.empty());
    EXPECT_EQ(device().FindProcess(pid), nullptr) << "its last window closed, the program ended";
    EXPECT_EQ(model_->rowCount(), 1u) << "the next refresh removes the row";
}

TEST_F(TasksPage, EndTaskWaitsASecondAtATimeAndSkipsRefreshesMeanwhile)
{
    WindowSpec slow = Window(L"Slow");
    slow.closeAfterPolls = 3;
    Program(L"slow.exe", {slow});
    ASSERT_TRUE(model_->Refresh());
    Select(L"Slow");
    model_->EndTask();
    EXPECT_EQ(waits_, (std::vector<int>{1000, 1000}));
    EXPECT_FALSE(refreshedWhileWaiting_);
    EXPECT_TRUE(boxes_.empty());
    EXPECT_EQ(WindowTitled(L"Slow"), 0u);
    EXPECT_TRUE(model_->Refresh());
}

TEST_F(TasksPage, AProgramThatDoesNotRespondIsLeftOnCancelAndEndedOnOk)
{
    WindowSpec stuck = Window(L"Stuck");
    stuck.respondsToClose = false;
    const uint32_t pid = Program(L"Stuck.EXE", {stuck}, L"\\Program Files\\Stuck\\Stuck.EXE");
    ASSERT_TRUE(model_->Refresh());
    Select(L"Stuck");
    answer_ = kIdCancel;
    model_->EndTask();
    EXPECT_EQ(waits_.size(), 5u);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, kNotRespondingText);
    EXPECT_EQ(boxes_[0].caption, L"stuck.exe");
    EXPECT_EQ(boxes_[0].style, kMbOkCancel | kMbIconStop | kMbTopMost);
    EXPECT_NE(device().FindProcess(pid), nullptr);

    answer_ = kIdOk;
    model_->EndTask();
    EXPECT_EQ(device().FindProcess(pid), nullptr);
    EXPECT_EQ(device().ExitCode(pid), -1);
    EXPECT_EQ(boxes_.size(), 2u);
}

TEST_F(TasksPage, EndTaskAsksFirstForAWindowOfASystemProcess)
{
    // Any folder, any case; and a name that is only part of the list counts too.
    for (const auto& [exe, path] : std::vector<std::pair<std::wstring, std::wstring>>{
             {L"DeViCe.EXE", L"\\Some Folder\\DeViCe.EXE"}, {L"s.exe", L"\\Windows\\s.exe"}}) {
        boxes_.clear();
        const uint32_t pid = Program(exe, {Window(L"System task")}, path);
        ASSERT_TRUE(model_->Refresh());
        Select(L"System task");
        answer_ = kIdNo;
        model_->EndTask();
        ASSERT_EQ(boxes_.size(), 1u) << "for " << platform::Narrow(exe);
        EXPECT_EQ(boxes_[0].text, L"Should the program 'System task' be closed now?\nThis task belongs to a system "
                                  L"process. This action may crash your device!");
        EXPECT_EQ(boxes_[0].style, WithDefaultIcon(kMbYesNo | kMbDefButton2)) << "the question icon";
        EXPECT_EQ(device().FindWindow(WindowTitled(L"System task"))->closeRequests, 0u) << "No sends nothing";
        answer_ = kIdYes;
        model_->EndTask();
        EXPECT_EQ(device().FindProcess(pid), nullptr);
        ASSERT_TRUE(model_->Refresh());
    }
}

TEST_F(TasksPage, EndTaskReportsWhatItCannotReadAndStillAsksPolitely)
{
    const uint32_t pid = Program(L"a.exe", {Window(L"Editor")});
    ASSERT_TRUE(model_->Refresh());
    Select(L"Editor");
    device().InjectFailure(SimCall::OpenProcess, EACCES);
    model_->EndTask();
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text.rfind(L"The process cannot be accessed.\nError: ", 0), 0u);
    EXPECT_EQ(device().FindProcess(pid), nullptr) << "the close request went all the same";

    boxes_.clear();
    Program(L"b.exe", {Window(L"Viewer")});
    ASSERT_TRUE(model_->Refresh());
    Select(L"Viewer");
    device().InjectFailure(SimCall::ModuleFileName, EIO);
    model_->EndTask();
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text.rfind(L"The file name of the process cannot be read.\nError: ", 0), 0u);
}

TEST_F(TasksPage, AForcedEndThatIsRefusedSaysSo)
{
    WindowSpec stuck = Window(L"Stuck");
    stuck.respondsToClose = false;
    ProcessSpec spec;
    spec.exeName = L"guard.exe";
    spec.terminable = false;
    spec.threads.emplace_back();
    spec.windows = {stuck};
    device().AddProcess(spec);
    ASSERT_TRUE(model_->Refresh());
    Select(L"Stuck");
    answer_ = kIdOk;
    model_->EndTask();
    ASSERT_EQ(boxes_.size(), 2u);
    EXPECT_EQ(boxes_[1].text.rfind(L"The process cannot be terminated.\nError: ", 0), 0u);
}

// ---- Batch mode --------------------------------------------------------------------------------------

TEST_F(TasksPage, BatchRowsCarryTheWindowAndProcessIds)
{
    const uint32_t pid = Program(L"a.exe", {Window(L"Editor")});
    auto page = MakeTasksBatchPage(*sim_);
    EXPECT_EQ(page->Header(), (std::vector<std::wstring>{L"Task", L"Window", L"PID"}));
    page->Tick(1, 0, 0);
    const auto rows = page->Rows();
    ASSERT_EQ(rows.size(), 1u);
    wchar_t window[32], process[16];
    std::swprintf(window, 32, L"0x%llx", static_cast<unsigned long long>(WindowTitled(L"Editor")));
    std::swprintf(process, 16, L"%08X", pid);
    EXPECT_EQ(rows[0], (std::vector<std::wstring>{L"Editor", window, process}));
}

}  // namespace
}  // namespace kestrun
