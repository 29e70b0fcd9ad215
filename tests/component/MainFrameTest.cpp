// The main window as it first opens: where, how wide (every tab title on one
// row), without toolkit complaints, and what minimising does with and without a
// notification icon to bring it back.
#include "app/KestrunView.h"
#include "pages/core/AppServices.h"
#include "app/MainFrm.h"
#include "display/core/MessageBox.h"
#include "pages/ProcessesDlg.h"
#include "platform/Platform.h"
#include "platform/sim/SimPlatform.h"
#include "tests/support/PrivateSessionBus.h"
#include "tests/support/RecordingServices.h"

#include <gtest/gtest.h>

#include <gtk/gtk.h>

#include <wx/app.h>
#include <wx/display.h>
#include <wx/listctrl.h>
#include <wx/notebook.h>
#include <wx/panel.h>
#include <wx/utils.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace kestrun {
namespace {

class MainFrame : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/kestrun-mainframe-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        tempDir = pattern;
        setenv("XDG_CONFIG_HOME", (tempDir / "config").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", tempDir.c_str(), 1);
        platform::Install(platform::sim::CreateSimPlatformForTest());
        SetAppServices(&services);
        previousBoxHandler = SetMessageBoxHandler([this](const MessageBoxRequest&) {
            ++boxes;
            return kIdOk;
        });
    }
    void TearDown() override
    {
        if (frame != nullptr) {
            frame->Destroy();
            wxTheApp->ProcessPendingEvents();
        }
        SetMessageBoxHandler(previousBoxHandler);
        SetAppServices(nullptr);
        unsetenv("DBUS_SESSION_BUS_ADDRESS");
        std::error_code ignored;
        std::filesystem::remove_all(tempDir, ignored);
    }

    // Creates and shows the window as start-up does, and lets the toolkit lay it out.
    void Open()
    {
        frame = new CMainFrame;
        ASSERT_TRUE(frame->CreateFrame());
        frame->Show(true);
        Pump([] { return false; }, 25);
    }
    bool Pump(const std::function<bool()>& done, int rounds = 500)
    {
        for (int i = 0; i < rounds; ++i) {
            if (done()) return true;
            wxYield();
            wxMilliSleep(20);
        }
        return done();
    }

    std::filesystem::path tempDir;
    testing::RecordingServices services;
    MessageBoxHandler previousBoxHandler;
    int boxes = 0;
    CMainFrame* frame = nullptr;
};

TEST_F(MainFrame, OpensWithEveryTabTitleOnOneRowAtTheScaledClassicPlace)
{
    Open();
    GtkNotebook* notebook = GTK_NOTEBOOK(frame->view()->tabControl()->GetHandle());
    GtkAllocation book{};
    gtk_widget_get_allocation(GTK_WIDGET(notebook), &book);
    ASSERT_EQ(gtk_notebook_get_n_pages(notebook), 6);
    int row = -1;
    int right = 0;
    for (int i = 0; i < 6; ++i) {
        GtkWidget* label = gtk_notebook_get_tab_label(notebook, gtk_notebook_get_nth_page(notebook, i));
        ASSERT_NE(label, nullptr);
        EXPECT_TRUE(gtk_widget_get_mapped(label) && gtk_widget_get_child_visible(label))
            << "tab " << i << " is scrolled out of sight";
        GtkAllocation tab{};
        gtk_widget_get_allocation(label, &tab);
        EXPECT_GE(tab.x, book.x) << "tab " << i;
        EXPECT_LE(tab.x + tab.width, book.x + book.width) << "tab " << i;
        EXPECT_GE(tab.x, right) << "tab " << i << " overlaps the one before";
        right = tab.x + tab.width;
        if (row < 0) row = tab.y;
        EXPECT_EQ(tab.y, row) << "tab " << i << " on another row";
    }

    const wxRealPoint scale = CMainFrame::ClassicScale(frame);
    EXPECT_EQ(frame->GetPosition(), wxPoint(static_cast<int>(175 * scale.x), static_cast<int>(145 * scale.y)));
    EXPECT_GE(frame->GetSize().x, static_cast<int>(350 * scale.x));
    EXPECT_EQ(frame->GetSize().y, static_cast<int>(290 * scale.y));
    EXPECT_EQ(boxes, 0) << "no box at start-up";
}

TEST_F(MainFrame, PagesFillTheWindowThatWasWidenedForTheTabs)
{
    Open();
    frame->view()->tabControl()->SetSelection(1);  // Processes
    Pump([] { return false; }, 10);
    const int widening = frame->view()->GetClientSize().x - static_cast<int>(350 * CMainFrame::ClassicScale(frame).x);
    ASSERT_GT(widening, 0) << "the tab titles fit the classic width here; nothing to check";

    // The list keeps the template's right margin in the page the tab control sized.
    wxFrame* host = new wxFrame(nullptr, wxID_ANY, "template");
    auto* asDesigned = new CProcessesDlg(new wxPanel(host));
    const int designedMargin = asDesigned->GetClientSize().x - asDesigned->listControl()->GetRect().GetRight();
    CProcessesDlg* page = frame->view()->processesPage();
    EXPECT_EQ(page->GetClientSize().x - page->listControl()->GetRect().GetRight(), designedMargin);
    EXPECT_GT(page->listControl()->GetSize().x, asDesigned->listControl()->GetSize().x) << "the list takes the widening";
    host->Destroy();
}

TEST_F(MainFrame, OpensWithoutToolkitWarnings)
{
    ::testing::internal::CaptureStderr();
    Open();
    frame->view()->tabControl()->SetSelection(1);  // the Processes page with its check boxes
    Pump([] { return false; }, 10);
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(said.find("Gtk-"), std::string::npos) << said;
}

TEST_F(MainFrame, MinimisingHidesUnderHideWhenMinimizedWhileAPanelShowsTheIcon)
{
    testing::PrivateSessionBus bus;
    ASSERT_TRUE(bus.ok());
    ASSERT_TRUE(bus.StartWatcher());
    setenv("DBUS_SESSION_BUS_ADDRESS", bus.address().c_str(), 1);
    Open();
    ASSERT_TRUE(Pump([&] { return frame->view()->TrayIconShown(); })) << "the status item was not registered";

    services.appOptions.HideWhenMinimized = true;
    wxIconizeEvent minimise(frame->GetId(), true);
    minimise.SetEventObject(frame);
    frame->ProcessWindowEvent(minimise);
    EXPECT_EQ(services.hides, 1);

    bus.StopWatcher();  // the panel goes: nothing would bring the window back
    ASSERT_TRUE(Pump([&] { return !frame->view()->TrayIconShown(); }));
    frame->ProcessWindowEvent(minimise);
    EXPECT_EQ(services.hides, 1);
    EXPECT_TRUE(services.appOptions.HideWhenMinimized) << "the option keeps its value";
}

}  // namespace
}  // namespace kestrun
