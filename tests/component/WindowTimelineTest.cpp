// A simulated device's timeline in the window: each tick of the update timer
// plays the events of that tick before the pages refresh, so a profile that
// starts and ends programs demos the same in the window as in batch mode.
#include "app/Ids.h"
#include "app/KestrunView.h"
#include "app/MainFrm.h"
#include "display/core/MessageBox.h"
#include "pages/ProcessesDlg.h"
#include "pages/core/AppServices.h"
#include "platform/Platform.h"
#include "platform/sim/SimPlatform.h"
#include "tests/support/RecordingServices.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/listctrl.h>
#include <wx/timer.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace kestrun {
namespace {

bool Listed(wxListCtrl* list, const wxString& name)
{
    for (long row = 0; row < list->GetItemCount(); ++row)
        if (list->GetItemText(row, 0) == name) return true;
    return false;
}

TEST(WindowTimeline, EachUpdateTimerTickPlaysItsEventsBeforeThePagesRefresh)
{
    char pattern[] = "/tmp/kestrun-timelinetest-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::filesystem::path tempDir = pattern;
    setenv("XDG_CONFIG_HOME", (tempDir / "config").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", tempDir.c_str(), 1);

    platform::sim::SimProfile profile = platform::sim::BuiltinProfile();
    platform::sim::SimEvent start;
    start.kind = platform::sim::SimEventKind::StartProcess;
    start.tick = 2;
    start.process.exeName = L"backup.exe";
    platform::sim::SimEvent end;
    end.kind = platform::sim::SimEventKind::EndProcess;
    end.tick = 3;
    end.index = 1;
    end.exeName = L"backup.exe";
    profile.events = {start, end};
    platform::Install(platform::sim::CreateSimPlatformForTest(profile));

    testing::RecordingServices services;
    SetAppServices(&services);
    std::vector<MessageBoxRequest> boxes;
    const MessageBoxHandler previous = SetMessageBoxHandler([&boxes](const MessageBoxRequest& box) {
        boxes.push_back(box);
        return kIdOk;
    });
    auto* frame = new CMainFrame;
    ASSERT_TRUE(frame->CreateFrame());
    CKestrunView* view = frame->view();
    ASSERT_NE(view, nullptr);
    view->SetSize(0, 0, 1000, 800);
    wxSizeEvent size(view->GetSize(), view->GetId());
    size.SetEventObject(view);
    view->HandleWindowEvent(size);
    wxCommandEvent stop(wxEVT_MENU, ID_SPEED_STOPPED);  // only the test's own ticks
    frame->ProcessWindowEvent(stop);
    view->GoToProcess(0);
    wxListCtrl* list = view->processesPage()->listControl();
    ASSERT_NE(list, nullptr);

    wxTimer updateTimer(view, ID_UPDATE_TIMER);  // never started: the test ticks it
    auto tick = [&] {
        wxTimerEvent event(updateTimer);
        view->ProcessWindowEvent(event);
        for (int i = 0; i < 3; ++i) wxTheApp->ProcessPendingEvents();  // the page's posted refresh
    };
    tick();
    EXPECT_FALSE(Listed(list, "backup.exe")) << "tick 1";
    tick();
    EXPECT_TRUE(Listed(list, "backup.exe")) << "started before tick 2";
    tick();
    EXPECT_FALSE(Listed(list, "backup.exe")) << "ended before tick 3";
    EXPECT_TRUE(boxes.empty());

    frame->Destroy();
    wxTheApp->ProcessPendingEvents();
    SetMessageBoxHandler(previous);
    SetAppServices(nullptr);
    std::error_code ignored;
    std::filesystem::remove_all(tempDir, ignored);
}

}  // namespace
}  // namespace kestrun
