// Every tab page inside the real main window: each of its controls lies wholly
// inside the page's client area when the page is first shown at the window's
// first size, and again after the window has grown twice, whether the page was
// shown or hidden while it grew. The window is shown on the test's X server, so
// the tab control gives the pages their sizes the way it does for the user.
#include "app/KestrunView.h"
#include "app/MainFrm.h"
#include "app/core/Help.h"
#include "display/core/MessageBox.h"
#include "pages/PageBase.h"
#include "pages/core/AppServices.h"
#include "platform/Platform.h"
#include "platform/sim/SimPlatform.h"
#include "tests/support/RecordingServices.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/utils.h>
#include <wx/evtloop.h>
#include <wx/timer.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

namespace kestrun {
namespace {

// The controls of page that are shown but not wholly inside its client area,
// or that have no area at all, one line each ("" when every control fits).
std::string ControlsOutside(const wxWindow& page)
{
    const wxRect client(wxPoint(0, 0), page.GetClientSize());
    std::ostringstream out;
    for (const wxWindow* control : page.GetChildren()) {
        if (!control->IsShown()) continue;
        const wxRect rect = control->GetRect();
        if (rect.width > 0 && rect.height > 0 && client.Contains(rect)) continue;
        out << "  control " << control->GetId() << " \"" << control->GetLabel().utf8_str().data() << "\" at ("
            << rect.x << ", " << rect.y << ") " << rect.width << " x " << rect.height << "\n";
    }
    if (out.str().empty()) return {};
    return "page client area " + std::to_string(client.width) + " x " + std::to_string(client.height) + ":\n" + out.str();
}

class PageLayout : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/kestrun-layout-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        tempDir_ = pattern;
        setenv("XDG_CONFIG_HOME", (tempDir_ / "config").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", tempDir_.c_str(), 1);
        platform::Install(platform::sim::CreateSimPlatformForTest());
        SetAppServices(&services_);
        previousBoxHandler_ = SetMessageBoxHandler([](const MessageBoxRequest&) { return kIdOk; });

        frame_ = new CMainFrame;
        ASSERT_TRUE(frame_->CreateFrame());
        view_ = frame_->view();
        // Under a window manager, with other themes and fonts, the bars above the
        // tab control take more room than here: open the window lower than its
        // default, so that the first page area is well below the template's size.
        frame_->SetSize(frame_->GetSize() - wxSize(0, 40));
        frame_->Show();
        Settle();
    }

    void TearDown() override
    {
        if (frame_ != nullptr) {
            frame_->Destroy();
            wxTheApp->ProcessPendingEvents();
        }
        SetMessageBoxHandler(previousBoxHandler_);
        SetAppServices(nullptr);
        std::error_code ignored;
        std::filesystem::remove_all(tempDir_, ignored);
    }

    // Lets the X server and the toolkit finish laying the window out. The tab
    // control's sizes arrive as events of a running loop, so run one in short
    // turns until the page's size has held still for a few of them (or give up
    // after many; the assertions then tell).
    void Settle()
    {
        wxSize last(-1, -1);
        int still = 0;
        for (int turn = 0; turn < 100 && still < 4; ++turn) {
            RunLoopFor(20);
            const wxSize now = page()->GetClientSize();
            still = now == last ? still + 1 : 0;
            last = now;
        }
    }

    static void RunLoopFor(int milliseconds)
    {
        wxGUIEventLoop loop;
        wxTimer timer;
        timer.Bind(wxEVT_TIMER, [&loop](wxTimerEvent&) { loop.Exit(); });
        timer.StartOnce(milliseconds);
        loop.Run();
    }

    void Select(int tab)
    {
        view_->tabControl()->SetSelection(static_cast<size_t>(tab));
        Settle();
    }

    void Grow(int dx, int dy)
    {
        const wxSize size = frame_->GetSize();
        frame_->SetSize(size.x + dx, size.y + dy);
        Settle();
    }

    CPageBase* page() const { return view_->Page(GetParam()); }

    std::filesystem::path tempDir_;
    testing::RecordingServices services_;
    MessageBoxHandler previousBoxHandler_;
    CMainFrame* frame_ = nullptr;
    CKestrunView* view_ = nullptr;
};

TEST_P(PageLayout, EveryControlFitsAtTheFirstSizeAndAfterGrowingWhileShown)
{
    Select(GetParam());
    ASSERT_TRUE(page()->IsPageShown());
    EXPECT_EQ(ControlsOutside(*page()), "") << "at the first size";
    Grow(120, 90);
    EXPECT_EQ(ControlsOutside(*page()), "") << "after the first growth";
    Grow(260, 170);
    EXPECT_EQ(ControlsOutside(*page()), "") << "after the second growth";
}

TEST_P(PageLayout, EveryControlFitsWhenShownAfterGrowingWhileHidden)
{
    const int other = GetParam() == kTabApplications ? kTabSystem : kTabApplications;
    Select(other);
    Grow(120, 90);
    Grow(260, 170);
    Select(GetParam());
    ASSERT_TRUE(page()->IsPageShown());
    EXPECT_EQ(ControlsOutside(*page()), "") << "shown after two growths";
    Grow(-200, -100);  // smaller again, still above the first size
    EXPECT_EQ(ControlsOutside(*page()), "") << "after shrinking";
}

// One line per page: a page added to the view is checked by adding its tab here.
INSTANTIATE_TEST_SUITE_P(EveryTab, PageLayout,
                         ::testing::Values(kTabApplications, kTabProcesses, kTabServices, kTabDevices, kTabSystem,
                                           kTabNetwork),
                         [](const ::testing::TestParamInfo<int>& info) {
                             std::wstring title = Tab(info.param).title;
                             std::string name;
                             for (wchar_t c : title)
                                 if (c != L' ') name.push_back(static_cast<char>(c));
                             return name;
                         });

}  // namespace
}  // namespace kestrun
