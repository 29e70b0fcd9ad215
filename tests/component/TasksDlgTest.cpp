// The Applications page in the real main window: on the live X11 desktop with
// another program's windows (the tests' own client) under openbox, and on the
// simulated device. The program's own window is never a task on either.
#include "../x11/TestClient.h"
#include "app/KestrunView.h"
#include "app/MainFrm.h"
#include "display/core/MessageBox.h"
#include "pages/ProcessesDlg.h"
#include "pages/TasksDlg.h"
#include "pages/core/AppServices.h"
#include "platform/Platform.h"
#include "platform/linux/LinuxPlatform.h"
#include "platform/sim/SimPlatform.h"
#include "tests/support/RecordingServices.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/button.h>
#include <wx/listctrl.h>
#include <wx/utils.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

namespace kestrun {
namespace {

// Polls every 50 ms, letting the toolkit run, until done() or the polls (600:
// about thirty seconds) have gone.
template <typename Done>
bool WaitFor(Done done, int polls = 600)
{
    for (int i = 0; i < polls; ++i) {
        if (done()) return true;
        wxTheApp->Yield(true);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return done();
}

// Go to Process reaches the view, as the application's services pass it on.
class PageServices : public testing::RecordingServices {
public:
    void GoToProcess(uint32_t pid) override
    {
        if (view != nullptr) view->GoToProcess(pid);
    }
    CKestrunView* view = nullptr;
};

class TasksPageWindow : public ::testing::Test {
protected:
    void Start(std::unique_ptr<platform::Platform> platform)
    {
        char pattern[] = "/tmp/kestrun-taskstest-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        tempDir_ = pattern;
        setenv("XDG_CONFIG_HOME", (tempDir_ / "config").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", tempDir_.c_str(), 1);
        platform::Install(std::move(platform));
        SetAppServices(&services_);
        previous_ = SetMessageBoxHandler([this](const MessageBoxRequest& box) {
            boxes_.push_back(box);
            return answer_;
        });
        frame_ = new CMainFrame;
        ASSERT_TRUE(frame_->CreateFrame());
        frame_->Show(true);
        services_.view = frame_->view();
        page_ = frame_->view()->tasksPage();
        ASSERT_NE(page_, nullptr);
        // The first size shows the Applications page.
        ASSERT_TRUE(WaitFor([&] { return page_->IsPageShown(); }));
        boxes_.clear();
    }
    void TearDown() override
    {
        if (frame_ != nullptr) {
            frame_->Destroy();
            wxTheApp->ProcessPendingEvents();
        }
        SetMessageBoxHandler(previous_);
        SetAppServices(nullptr);
        std::error_code ignored;
        std::filesystem::remove_all(tempDir_, ignored);
    }

    void Refresh()
    {
        page_->PostTimer(1);
        wxTheApp->ProcessPendingEvents();
    }
    wxListCtrl* List() { return page_->listControl(); }
    std::vector<std::wstring> Titles()
    {
        std::vector<std::wstring> titles;
        for (long i = 0; i < List()->GetItemCount(); ++i) titles.push_back(List()->GetItemText(i).ToStdWstring());
        return titles;
    }
    long RowOf(const std::wstring& title)
    {
        for (long i = 0; i < List()->GetItemCount(); ++i)
            if (List()->GetItemText(i).ToStdWstring() == title) return i;
        return -1;
    }
    bool Select(const std::wstring& title)
    {
        const long row = RowOf(title);
        if (row < 0) return false;
        List()->SetItemState(row, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
        wxTheApp->ProcessPendingEvents();
        return true;
    }
    bool ButtonEnabled(int id)
    {
        auto* button = wxDynamicCast(page_->FindWindow(id), wxButton);
        return button != nullptr && button->IsEnabled();
    }

    std::filesystem::path tempDir_;
    PageServices services_;
    MessageBoxHandler previous_;
    std::vector<MessageBoxRequest> boxes_;
    int answer_ = kIdCancel;
    CMainFrame* frame_ = nullptr;
    CTasksDlg* page_ = nullptr;
};

// --- The simulated device -------------------------------------------------------------------

TEST_F(TasksPageWindow, TheSimulatedDeviceListsItsProgramsButNotThisOne)
{
    Start(platform::sim::CreateSimPlatformForTest());
    Refresh();
    const auto titles = Titles();
    EXPECT_NE(std::find(titles.begin(), titles.end(), L"Field Logger - Route 7"), titles.end());
    EXPECT_EQ(std::find(titles.begin(), titles.end(), L"Dravik Task Manager"), titles.end())
        << "the device's own copy of the program has its window, and it is no task";
    EXPECT_EQ(std::find(titles.begin(), titles.end(), L"Sync Status"), titles.end()) << "an owned window";
    EXPECT_EQ(List()->GetColumnCount(), 1);
    EXPECT_GE(List()->GetColumnWidth(0), List()->GetClientSize().x - 4) << "the Task column fills the list";
    EXPECT_EQ(List()->GetImageList(wxIMAGE_LIST_SMALL)->GetImageCount(), 1 + 4) << "icon 141 and four own icons";
    for (int id : {1018, 1019, 1020}) EXPECT_FALSE(ButtonEnabled(id)) << id;
}

// --- The live desktop, under a window manager -------------------------------------------------

class TasksPageOnX11 : public TasksPageWindow {
protected:
    void SetUp() override
    {
        display_ = XOpenDisplay(nullptr);
        ASSERT_NE(display_, nullptr);
        char name[] = "openbox";
        char noSession[] = "--sm-disable";
        char* argv[] = {name, noSession, nullptr};
        if (posix_spawnp(&manager_, "openbox", nullptr, nullptr, argv, environ) != 0) GTEST_SKIP() << "no openbox";
        ASSERT_TRUE(WaitFor([&] { return ManagerIsUp(); })) << "openbox did not come up";
        Start(platform::linux_backend::CreateLinuxPlatform());
    }
    void TearDown() override
    {
        client_.Stop();
        TasksPageWindow::TearDown();
        if (manager_ > 0) {
            kill(manager_, SIGTERM);
            waitpid(manager_, nullptr, 0);
        }
        if (display_ != nullptr) XCloseDisplay(display_);
    }

    // Up once it has published its client list.
    bool ManagerIsUp()
    {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        XGetWindowProperty(display_, DefaultRootWindow(display_), XInternAtom(display_, "_NET_CLIENT_LIST", False), 0, 1,
                           False, XA_WINDOW, &type, &format, &count, &after, &data);
        if (data != nullptr) XFree(data);
        return type == XA_WINDOW;
    }

    // The manager's active window; -1 while it has published none.
    Window Active()
    {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        XGetWindowProperty(display_, DefaultRootWindow(display_), XInternAtom(display_, "_NET_ACTIVE_WINDOW", False), 0, 1,
                           False, XA_WINDOW, &type, &format, &count, &after, &data);
        Window active = static_cast<Window>(-1);
        if (data != nullptr && count > 0) active = static_cast<Window>(reinterpret_cast<long*>(data)[0]);
        if (data != nullptr) XFree(data);
        return active;
    }
    bool Listed(const std::wstring& title)
    {
        return WaitFor([&] {
            Refresh();
            return RowOf(title) >= 0;
        });
    }

    Display* display_ = nullptr;
    pid_t manager_ = -1;
    testing::X11TestClient client_;
};

TEST_F(TasksPageOnX11, AnotherProgramsWindowsAreTasksAndOurOwnIsNot)
{
    client_.Make("main", "title=Editor delete icon=16:00AA00");
    client_.Make("dialog", "title=Find transient=main");
    client_.Make("menu", "title=Menu override");
    client_.Make("hidden", "title=Hidden unmapped");
    client_.Make("untitled");
    ASSERT_TRUE(Listed(L"Editor"));
    const auto titles = Titles();
    for (const wchar_t* absent : {L"Find", L"Menu", L"Hidden", L"Dravik Task Manager"})
        EXPECT_EQ(std::find(titles.begin(), titles.end(), std::wstring(absent)), titles.end()) << platform::Narrow(absent);

    // Retitled: the same row, the same icon, the new title.
    const long row = RowOf(L"Editor");
    wxListItem item;
    item.SetId(row);
    item.SetMask(wxLIST_MASK_IMAGE);
    ASSERT_TRUE(List()->GetItem(item));
    const int image = item.GetImage();
    EXPECT_GT(image, 0) << "the window's own icon";
    ASSERT_EQ(client_.Ask("title main Editor%20-%20notes.txt"), "ok");
    ASSERT_TRUE(Listed(L"Editor - notes.txt"));
    EXPECT_EQ(RowOf(L"Editor - notes.txt"), row);
    ASSERT_TRUE(List()->GetItem(item));
    EXPECT_EQ(item.GetImage(), image);
}

TEST_F(TasksPageOnX11, SwitchToMakesTheWindowTheActiveOne)
{
    const uint64_t a = client_.Make("a", "title=First");
    const uint64_t b = client_.Make("b", "title=Second");
    ASSERT_TRUE(Listed(L"First") && Listed(L"Second"));
    ASSERT_TRUE(Select(L"First"));
    for (int id : {1018, 1019, 1020}) EXPECT_TRUE(ButtonEnabled(id)) << id;
    // Under load the manager now and then ends up focusing another window after
    // it handled the request (the windows were mapped a moment ago): a user would
    // click again, and so does the test, once.
    auto switchTo = [&](uint64_t window) {
        page_->SwitchTo();
        if (WaitFor([&] { return Active() == window; }, 100)) return true;
        page_->SwitchTo();
        return WaitFor([&] { return Active() == window; });
    };
    EXPECT_TRUE(switchTo(a));
    ASSERT_TRUE(Select(L"Second"));
    EXPECT_TRUE(switchTo(b));
    EXPECT_EQ(services_.minimizes, 0);
}

TEST_F(TasksPageOnX11, GoToProcessSelectsTheProgramOnTheProcessesPage)
{
    client_.Make("a", "title=Worker");
    ASSERT_TRUE(Listed(L"Worker"));
    ASSERT_TRUE(Select(L"Worker"));
    page_->GoToProcess();
    wxTheApp->ProcessPendingEvents();
    EXPECT_EQ(frame_->view()->CurrentTab(), 1);
    wxListCtrl* processes = frame_->view()->processesPage()->listControl();
    const long selected = processes->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
    ASSERT_NE(selected, -1);
    wchar_t pid[16];
    std::swprintf(pid, 16, L"%08X", static_cast<unsigned>(client_.pid()));
    EXPECT_EQ(processes->GetItemText(selected, 1).ToStdWstring(), pid);
}

TEST_F(TasksPageOnX11, EndTaskClosesAPoliteWindowAndTheLastRowGoing)
{
    client_.Make("a", "title=Polite delete");
    ASSERT_TRUE(Listed(L"Polite"));
    ASSERT_TRUE(Select(L"Polite"));
    page_->EndTask();
    EXPECT_TRUE(boxes_.empty()) << "closed within the first second: no box";
    EXPECT_TRUE(client_.Running());
    EXPECT_TRUE(WaitFor([&] {
        Refresh();
        return RowOf(L"Polite") < 0;
    }));
    // It was the only task (the frame is ours): the list is empty and nothing can be chosen.
    EXPECT_EQ(List()->GetItemCount(), 0);
    for (int id : {1018, 1019, 1020}) EXPECT_FALSE(ButtonEnabled(id)) << id;
}

TEST_F(TasksPageOnX11, AProgramThatIgnoresTheRequestIsAskedAboutThenEnded)
{
    client_.Make("a", "title=Stubborn ignore-delete");
    ASSERT_TRUE(Listed(L"Stubborn"));
    ASSERT_TRUE(Select(L"Stubborn"));
    answer_ = kIdCancel;
    page_->EndTask();
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, kNotRespondingText);
    EXPECT_EQ(boxes_[0].caption, L"kestrun_x11_client");
    EXPECT_EQ(client_.Ask("closes a"), "1") << "it was asked once";
    EXPECT_TRUE(client_.Running()) << "Cancel leaves it running";

    answer_ = kIdOk;
    page_->EndTask();
    EXPECT_EQ(boxes_.size(), 2u);
    EXPECT_TRUE(WaitFor([&] { return !client_.Running(); }));
}

}  // namespace
}  // namespace kestrun
