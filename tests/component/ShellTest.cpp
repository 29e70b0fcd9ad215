// The main window as the user meets it: the frame with its title, menus and
// command bar around the tab view; keyboard tab switching; the states of the
// view's commands; how the pages follow size changes; tab help; Go To Process.
// Every test builds the real frame on the simulated device.
#include "pages/core/AppServices.h"
#include "app/Ids.h"
#include "app/KestrunView.h"
#include "app/MainFrm.h"
#include "app/core/ViewState.h"
#include "display/UsageHistoryCtrl.h"
#include "display/core/MessageBox.h"
#include "pages/DevicesDlg.h"
#include "pages/NetworkDlg.h"
#include "pages/PageBase.h"
#include "pages/ProcessesDlg.h"
#include "pages/ServicesDlg.h"
#include "pages/SystemDlg.h"
#include "pages/TasksDlg.h"
#include "platform/Platform.h"
#include "platform/sim/SimPlatform.h"
#include "tests/support/RecordingServices.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/listctrl.h>
#include <wx/menu.h>
#include <wx/toolbar.h>
#include <wx/uiaction.h>
#include <wx/utils.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace kestrun {
namespace {

class Shell : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/kestrun-shelltest-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        tempDir = pattern;
        setenv("XDG_CONFIG_HOME", (tempDir / "config").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", tempDir.c_str(), 1);

        auto sim = platform::sim::CreateSimPlatformForTest();
        device = &sim->device();
        platform::Install(std::move(sim));
        SetAppServices(&services);
        previousBoxHandler = SetMessageBoxHandler([this](const MessageBoxRequest& request) {
            boxes.push_back(request);
            return kIdOk;
        });

        frame = new CMainFrame;
        ASSERT_TRUE(frame->CreateFrame());
        view = frame->view();
        ASSERT_NE(view, nullptr);
        // Sizes here are the test's own: the first one is not a widening for the tab titles.
        view->SetClassicWidth(0);
        const wxRealPoint scale = CMainFrame::ClassicScale(view);
        thresholds = ViewSizeTracker(scale.x, scale.y);
    }

    void TearDown() override
    {
        if (frame != nullptr) {
            frame->Destroy();
            wxTheApp->ProcessPendingEvents();  // deletes the frame
        }
        SetMessageBoxHandler(previousBoxHandler);
        SetAppServices(nullptr);
        std::error_code ignored;
        std::filesystem::remove_all(tempDir, ignored);
    }

    // Gives the view a client size the way the frame's layout does.
    void SizeView(int width, int height)
    {
        view->SetSize(0, 0, width, height);
        wxSizeEvent event(view->GetSize(), view->GetId());
        event.SetEventObject(view);
        view->HandleWindowEvent(event);  // a repeat of the same size is ignored by the view
    }

    // The first size the view accepts (wide enough not to shrink the pages).
    void ShowFirstPage() { SizeView(thresholds.narrowWidth() + 200, thresholds.minHeight() + 200); }

    bool SendCommand(int id)
    {
        wxCommandEvent event(wxEVT_MENU, id);
        event.SetEventObject(frame);
        return frame->ProcessWindowEvent(event);
    }

    // Asks for every menu item's state as the toolkit does before a menu opens.
    void UpdateMenus() { frame->GetMenuBar()->UpdateMenus(); }
    bool Enabled(int id) const { return frame->GetMenuBar()->IsEnabled(id); }
    bool Checked(int id) const { return frame->GetMenuBar()->IsChecked(id); }

    static wxKeyEvent Key(int code, bool ctrl = false, bool shift = false)
    {
        wxKeyEvent event(wxEVT_KEY_DOWN);
        event.m_keyCode = code;
        event.SetControlDown(ctrl);
        event.SetShiftDown(shift);
        return event;
    }

    std::vector<int> ShownPages() const
    {
        std::vector<int> shown;
        for (int i = 0; i < 6; ++i)
            if (view->Page(i)->IsPageShown()) shown.push_back(i);
        return shown;
    }

    int HistorySamples() const { return view->systemPage()->cpuHistory()->newest(); }

    uint32_t ProcessId(const std::wstring& exeName) const
    {
        for (const auto& process : device->processes())
            if (process.exeName == exeName) return process.id;
        return 0;
    }

    std::filesystem::path tempDir;
    platform::sim::SimDevice* device = nullptr;
    testing::RecordingServices services;
    MessageBoxHandler previousBoxHandler;
    std::vector<MessageBoxRequest> boxes;
    CMainFrame* frame = nullptr;
    CKestrunView* view = nullptr;
    ViewSizeTracker thresholds;
};

// --- The frame and its tabs ---------------------------------------------------------

TEST_F(Shell, FrameIsTitledWithTheProgramNameAndHoldsTheSixTabsInOrder)
{
    EXPECT_EQ(frame->GetTitle(), "Dravik Task Manager");
    wxNotebook* tabs = view->tabControl();
    ASSERT_NE(tabs, nullptr);
    EXPECT_EQ(tabs->GetId(), 1111);
    const char* titles[] = {"Applications", "Processes", "Services", "Devices", "System Performance", "Network"};
    ASSERT_EQ(tabs->GetPageCount(), 6u);
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(tabs->GetPageText(i), titles[i]) << i;
        EXPECT_EQ(tabs->GetPage(i), view->Page(static_cast<int>(i))) << i;
    }
    EXPECT_NE(dynamic_cast<CTasksDlg*>(view->Page(0)), nullptr);
    EXPECT_NE(dynamic_cast<CProcessesDlg*>(view->Page(1)), nullptr);
    EXPECT_NE(dynamic_cast<CServicesDlg*>(view->Page(2)), nullptr);
    EXPECT_NE(dynamic_cast<CDevicesDlg*>(view->Page(3)), nullptr);
    EXPECT_NE(dynamic_cast<CSystemDlg*>(view->Page(4)), nullptr);
    EXPECT_NE(dynamic_cast<CNetworkDlg*>(view->Page(5)), nullptr);
    EXPECT_EQ(view->CurrentTab(), 0);
    EXPECT_EQ(view->UpdateInterval(), 2000);
}

TEST_F(Shell, FirstAcceptedSizeShowsOnlyTheApplicationsPage)
{
    // Whatever size the frame gave the view so far, once a size is accepted exactly
    // the current page is shown.
    ShowFirstPage();
    EXPECT_EQ(ShownPages(), std::vector<int>{0});
    EXPECT_TRUE(view->Page(0)->IsShown());
    EXPECT_EQ(view->tabControl()->GetSize(), view->GetClientSize());
}

struct MenuItemCase {
    int id;
    const char* label;
    bool checkable;
};

TEST_F(Shell, MenuBarHasTheFiveMenusWithTheirItemsAndCheckItems)
{
    wxMenuBar* bar = frame->GetMenuBar();
    ASSERT_NE(bar, nullptr);
    const char* menus[] = {"&File", "&Options", "&View", "&Tools", "&Help"};
    ASSERT_EQ(bar->GetMenuCount(), 5u);
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(bar->GetMenuLabel(i), menus[i]) << i;

    const MenuItemCase items[] = {
        {ID_APP_EXIT, "E&xit", false},
        {ID_OPTIONS_ALWAYS_ON_TOP, "Always On &Top", true},
        {ID_OPTIONS_HIDE_WHEN_MINIMIZED, "&Hide When Minimized", true},
        {ID_OPTIONS_MINIMIZE_AFTER_SWITCH, "&Minimize After Program Switch", true},
        {ID_OPTIONS_AUTO_SCALE, "&Auto Scale", true},
        {ID_VIEW_REFRESH, "&Refresh\tF5", false},
        {ID_SPEED_NORMAL, "&Normal", true},
        {ID_SPEED_FAST, "&Fast", true},
        {ID_SPEED_SLOW, "&Slow", true},
        {ID_SPEED_STOPPED, "S&topped", true},
        {ID_VIEW_SELECTED_INTERFACE, "&Usage of Selected Interface", true},
        {ID_PRIORITY_REALTIME, "&Realtime", true},
        {ID_PRIORITY_HIGHEST, "&Highest", true},
        {ID_PRIORITY_ABOVE_NORMAL, "&Above Normal", true},
        {ID_PRIORITY_NORMAL, "&Normal", true},
        {ID_PRIORITY_BELOW_NORMAL, "&Below Normal", true},
        {ID_PRIORITY_LOWEST, "&Lowest", true},
        {ID_TOOLS_SHOW_ALL_DLLS, "Show All &DLLs", false},
        {ID_TOOLS_REBOOT, "&Reboot System", false},
        {ID_HELP_CONTENTS, "&Contents", false},
        {ID_APP_ABOUT, "&About Kestrun...", false},
    };
    for (const MenuItemCase& item : items) {
        wxMenuItem* found = bar->FindItem(item.id);
        ASSERT_NE(found, nullptr) << item.label;
        EXPECT_EQ(found->GetItemLabel(), item.label) << item.id;
        EXPECT_EQ(found->IsCheckable(), item.checkable) << item.label;
    }

    // The items sit in their menus, the speeds and priorities in submenus.
    const auto menuOf = [bar](int id) {
        wxMenu* menu = nullptr;
        bar->FindItem(id, &menu);
        return menu;
    };
    EXPECT_EQ(menuOf(ID_APP_EXIT), bar->GetMenu(0));
    EXPECT_EQ(menuOf(ID_OPTIONS_AUTO_SCALE), bar->GetMenu(1));
    EXPECT_EQ(menuOf(ID_VIEW_REFRESH), bar->GetMenu(2));
    EXPECT_EQ(menuOf(ID_SPEED_STOPPED)->GetParent(), bar->GetMenu(2));
    EXPECT_EQ(menuOf(ID_PRIORITY_LOWEST)->GetParent(), bar->GetMenu(3));
    EXPECT_EQ(menuOf(ID_TOOLS_REBOOT), bar->GetMenu(3));
    EXPECT_EQ(menuOf(ID_APP_ABOUT), bar->GetMenu(4));
}

// The test display has neither a panel nor a notification area: a hidden window
// could not be brought back, so minimising never hides it (MainFrameTest has the icon).
TEST_F(Shell, WithoutAnyNotificationIconMinimisingNeverHidesTheProgram)
{
    struct Case {
        bool option;
        bool iconized;
        int hides;
    };
    for (const Case c : {Case{false, true, 0}, Case{true, false, 0}, Case{true, true, 0}}) {
        services.appOptions.HideWhenMinimized = c.option;
        services.hides = 0;
        wxIconizeEvent event(frame->GetId(), c.iconized);
        event.SetEventObject(frame);
        frame->ProcessWindowEvent(event);
        EXPECT_EQ(services.hides, c.hides) << "option " << c.option << " iconized " << c.iconized;
    }
}

// --- Refresh --------------------------------------------------------------------------

TEST_F(Shell, RefreshCommandReachesTheViewFromMenuAndToolbar)
{
    ShowFirstPage();
    const int before = HistorySamples();
    EXPECT_TRUE(SendCommand(ID_VIEW_REFRESH));
    EXPECT_EQ(HistorySamples(), before + 1);

    wxToolBar* toolBar = frame->GetToolBar();
    ASSERT_NE(toolBar, nullptr);
    ASSERT_NE(toolBar->FindById(ID_VIEW_REFRESH), nullptr);
    wxCommandEvent click(wxEVT_TOOL, ID_VIEW_REFRESH);
    click.SetEventObject(toolBar);
    toolBar->ProcessWindowEvent(click);  // goes up to the frame, which hands it to the view
    EXPECT_EQ(HistorySamples(), before + 2);

    UpdateMenus();
    EXPECT_TRUE(Enabled(ID_VIEW_REFRESH));
    EXPECT_TRUE(boxes.empty());
}

TEST_F(Shell, F5RefreshesWhileTheFocusIsInsideAPage)
{
    frame->Show();
    ShowFirstPage();
    view->GoToProcess(0);  // the Processes page with its list
    wxListCtrl* list = view->processesPage()->listControl();
    ASSERT_NE(list, nullptr);
    for (int i = 0; i < 100 && !list->IsShownOnScreen(); ++i) {
        wxYield();
        wxMilliSleep(10);
    }
    frame->Raise();
    list->SetFocus();
    for (int i = 0; i < 50 && wxWindow::FindFocus() != list; ++i) {
        wxYield();
        wxMilliSleep(10);
    }
    ASSERT_EQ(wxWindow::FindFocus(), list) << "the test display did not give the list the focus";

    const int before = HistorySamples();
    wxUIActionSimulator keyboard;
    keyboard.Char(WXK_F5);
    for (int i = 0; i < 100 && HistorySamples() == before; ++i) {
        wxYield();
        wxMilliSleep(10);
    }
    EXPECT_EQ(HistorySamples(), before + 1);
}

// --- Keyboard ---------------------------------------------------------------------------

TEST_F(Shell, CtrlTabCyclesTheTabsForwardsAndWrapsToTheFirst)
{
    ShowFirstPage();
    for (int step = 1; step <= 6; ++step) {
        const int previous = view->CurrentTab();
        EXPECT_TRUE(view->PreTranslateKey(Key(WXK_TAB, true)));
        const int expected = step % 6;
        EXPECT_EQ(view->CurrentTab(), expected);
        EXPECT_EQ(ShownPages(), std::vector<int>{expected}) << "from tab " << previous;
    }
}

TEST_F(Shell, CtrlShiftTabCyclesBackwardsAndWrapsToTheLast)
{
    ShowFirstPage();
    for (int expected : {5, 4, 3, 2, 1, 0, 5}) {
        EXPECT_TRUE(view->PreTranslateKey(Key(WXK_TAB, true, true)));
        EXPECT_EQ(view->CurrentTab(), expected);
        EXPECT_EQ(ShownPages(), std::vector<int>{expected});
    }
}

TEST_F(Shell, EnterAndEscapeAreConsumedAndOtherKeysPassWithoutSwitching)
{
    ShowFirstPage();
    EXPECT_TRUE(view->PreTranslateKey(Key(WXK_RETURN)));
    EXPECT_TRUE(view->PreTranslateKey(Key(WXK_NUMPAD_ENTER)));
    EXPECT_TRUE(view->PreTranslateKey(Key(WXK_ESCAPE)));
    EXPECT_TRUE(view->PreTranslateKey(Key(WXK_RETURN, true)));
    EXPECT_FALSE(view->PreTranslateKey(Key(WXK_TAB)));
    EXPECT_FALSE(view->PreTranslateKey(Key(WXK_TAB, false, true)));
    EXPECT_FALSE(view->PreTranslateKey(Key('A')));
    EXPECT_FALSE(view->PreTranslateKey(Key('A', true)));
    EXPECT_FALSE(view->PreTranslateKey(Key(WXK_F5)));
    EXPECT_FALSE(view->PreTranslateKey(Key(WXK_SPACE)));
    EXPECT_EQ(view->CurrentTab(), 0);
    EXPECT_EQ(ShownPages(), std::vector<int>{0});
}

// --- Command states ---------------------------------------------------------------------

TEST_F(Shell, NetworkCommandsAreEnabledOnlyOnTheNetworkTab)
{
    ShowFirstPage();
    for (int tab = 0; tab < 6; ++tab) {
        view->tabControl()->SetSelection(static_cast<size_t>(tab));
        UpdateMenus();
        EXPECT_EQ(Enabled(ID_OPTIONS_AUTO_SCALE), tab == 5) << "tab " << tab;
        EXPECT_EQ(Enabled(ID_VIEW_SELECTED_INTERFACE), tab == 5) << "tab " << tab;
    }
}

TEST_F(Shell, NetworkCommandsToggleAndShowTheirCheckMarks)
{
    ShowFirstPage();
    view->tabControl()->SetSelection(5);
    services.appOptions.AutoScale = false;
    UpdateMenus();
    EXPECT_FALSE(Checked(ID_OPTIONS_AUTO_SCALE));
    EXPECT_FALSE(Checked(ID_VIEW_SELECTED_INTERFACE));

    SendCommand(ID_OPTIONS_AUTO_SCALE);
    SendCommand(ID_VIEW_SELECTED_INTERFACE);
    EXPECT_TRUE(services.appOptions.AutoScale);
    EXPECT_TRUE(view->networkPage()->m_selectedInterfaceOnly);
    UpdateMenus();
    EXPECT_TRUE(Checked(ID_OPTIONS_AUTO_SCALE));
    EXPECT_TRUE(Checked(ID_VIEW_SELECTED_INTERFACE));

    SendCommand(ID_OPTIONS_AUTO_SCALE);
    EXPECT_FALSE(services.appOptions.AutoScale);
}

TEST_F(Shell, SpeedItemsCheckTheCurrentInterval)
{
    ShowFirstPage();
    struct Step {
        int command;
        int interval;
    };
    const int speeds[] = {ID_SPEED_NORMAL, ID_SPEED_FAST, ID_SPEED_SLOW, ID_SPEED_STOPPED};
    for (const Step step : {Step{ID_SPEED_NORMAL, 2000}, Step{ID_SPEED_NORMAL, 2000}, Step{ID_SPEED_FAST, 500},
                            Step{ID_SPEED_STOPPED, 0}, Step{ID_SPEED_NORMAL, 2000}, Step{ID_SPEED_SLOW, 4000},
                            Step{ID_SPEED_SLOW, 4000}, Step{ID_SPEED_STOPPED, 0}, Step{ID_SPEED_STOPPED, 0}}) {
        EXPECT_TRUE(SendCommand(step.command));
        EXPECT_EQ(view->UpdateInterval(), step.interval);
        UpdateMenus();
        for (int id : speeds) {
            EXPECT_TRUE(Enabled(id)) << id;
            EXPECT_EQ(Checked(id), id == step.command) << "item " << id << " after " << step.command;
        }
    }
    EXPECT_TRUE(boxes.empty()) << "setting the timer never failed here";
}

TEST_F(Shell, RefreshStillWorksWithTheTimerStopped)
{
    ShowFirstPage();
    SendCommand(ID_SPEED_STOPPED);
    const int before = HistorySamples();
    SendCommand(ID_VIEW_REFRESH);
    SendCommand(ID_VIEW_REFRESH);
    EXPECT_EQ(HistorySamples(), before + 2);
}

TEST_F(Shell, SetPriorityIsEnabledOnlyForTheSelectedProcessOnTheProcessesTab)
{
    ShowFirstPage();
    UpdateMenus();
    for (int id = ID_PRIORITY_REALTIME; id <= ID_PRIORITY_LOWEST; ++id) EXPECT_FALSE(Enabled(id)) << id;

    const uint32_t pid = ProcessId(L"fieldlog.exe");
    ASSERT_NE(pid, 0u);
    view->GoToProcess(pid);
    wxTheApp->ProcessPendingEvents();
    ASSERT_TRUE(view->processesPage()->CanSetPriority());
    const int level = view->processesPage()->GetPriority();
    ASSERT_GE(level, 0);
    ASSERT_LE(level, 5);
    UpdateMenus();
    for (int id = ID_PRIORITY_REALTIME; id <= ID_PRIORITY_LOWEST; ++id) {
        EXPECT_TRUE(Enabled(id)) << id;
        EXPECT_EQ(Checked(id), id - ID_PRIORITY_REALTIME == level) << id;
    }

    // The same selection behind another tab: every item grey and unchecked.
    for (int tab : {0, 2, 3, 4, 5}) {
        view->tabControl()->SetSelection(static_cast<size_t>(tab));
        UpdateMenus();
        for (int id = ID_PRIORITY_REALTIME; id <= ID_PRIORITY_LOWEST; ++id) {
            EXPECT_FALSE(Enabled(id)) << "tab " << tab << " item " << id;
            EXPECT_FALSE(Checked(id)) << "tab " << tab << " item " << id;
        }
    }
}

TEST_F(Shell, ShowAllDllsIsEnabledOnEveryTab)
{
    ShowFirstPage();
    for (int tab : {0, 1, 5}) {
        view->tabControl()->SetSelection(static_cast<size_t>(tab));
        UpdateMenus();
        EXPECT_TRUE(Enabled(ID_TOOLS_SHOW_ALL_DLLS)) << tab;
    }
}

// --- Sizing -----------------------------------------------------------------------------

TEST_F(Shell, SizesBelowTheMinimumChangeNothing)
{
    ShowFirstPage();
    const wxSize accepted = view->GetClientSize();
    const wxSize tabs = view->tabControl()->GetSize();
    SizeView(thresholds.minWidth() - 1, thresholds.minHeight() + 300);
    SizeView(thresholds.minWidth() + 300, thresholds.minHeight() - 1);
    EXPECT_EQ(view->tabControl()->GetSize(), tabs);
    for (int i = 1; i < 6; ++i) EXPECT_FALSE(view->Page(i)->resizeState().pending()) << i;

    // Growing again applies the whole change since the last accepted size.
    SizeView(accepted.x + 7, accepted.y + 11);
    for (int i = 1; i < 6; ++i) {
        EXPECT_EQ(view->Page(i)->resizeState().pendingDx(), 7) << i;
        EXPECT_EQ(view->Page(i)->resizeState().pendingDy(), 11) << i;
    }
}

TEST_F(Shell, HiddenPagesAddUpResizesAndApplyThemOnceWhenShown)
{
    ShowFirstPage();
    wxListCtrl* list = view->processesPage()->listControl();
    ASSERT_NE(list, nullptr);
    const wxSize listBefore = list->GetSize();
    const wxSize size = view->GetClientSize();
    SizeView(size.x + 30, size.y + 40);
    SizeView(size.x + 40, size.y + 35);
    SizeView(size.x + 40, size.y + 35);  // unchanged: nothing to add
    for (int i = 1; i < 6; ++i) {
        const PageResize& state = view->Page(i)->resizeState();
        EXPECT_TRUE(state.pending()) << i;
        EXPECT_EQ(state.pendingDx(), 40) << i;
        EXPECT_EQ(state.pendingDy(), 35) << i;
    }
    EXPECT_FALSE(view->Page(0)->resizeState().pending()) << "the visible page resizes at once";
    EXPECT_EQ(list->GetSize(), listBefore) << "a hidden page does not lay out";

    // Shown, the page lays its controls out for the size the tab control gave it
    // (the window is not on screen here, so that size is still the template's;
    // PageLayoutTest follows real sizes).
    CPageBase* processes = view->processesPage();
    const wxSize margins = processes->GetClientSize() - listBefore;
    processes->SetSize(processes->GetSize() + wxSize(40, 35));  // as the tab control does
    EXPECT_EQ(list->GetSize(), listBefore) << "a hidden page does not lay out";
    view->PreTranslateKey(Key(WXK_TAB, true));  // to Processes
    ASSERT_EQ(ShownPages(), std::vector<int>{1});
    EXPECT_FALSE(processes->resizeState().pending());
    EXPECT_EQ(list->GetSize(), listBefore + wxSize(40, 35));
    EXPECT_EQ(processes->GetClientSize() - list->GetSize(), margins);

    // Shown again later, the change is not applied a second time.
    view->PreTranslateKey(Key(WXK_TAB, true, true));
    view->PreTranslateKey(Key(WXK_TAB, true));
    EXPECT_EQ(list->GetSize(), listBefore + wxSize(40, 35));
    EXPECT_TRUE(view->Page(2)->resizeState().pending()) << "pages not yet shown keep theirs";

    // While shown the page follows its size at once.
    processes->SetSize(processes->GetSize() - wxSize(10, 20));
    EXPECT_EQ(list->GetSize(), listBefore + wxSize(30, 15));
}

// The first size is taken on a view of its own, so that no layout of the frame
// has given it one before the test does.
class ShellFirstSize : public Shell {
protected:
    void SetUp() override
    {
        Shell::SetUp();
        host = new wxFrame(nullptr, wxID_ANY, "host");
        fresh = new CKestrunView;
        ASSERT_TRUE(fresh->CreateView(host, wxID_ANY));
        boxes.clear();
    }
    void TearDown() override
    {
        host->Destroy();
        Shell::TearDown();
    }
    void SizeFresh(int width, int height)
    {
        fresh->SetSize(0, 0, width, height);
        wxSizeEvent event(fresh->GetSize(), fresh->GetId());
        event.SetEventObject(fresh);
        fresh->HandleWindowEvent(event);
    }

    wxFrame* host = nullptr;
    CKestrunView* fresh = nullptr;
};

TEST_F(ShellFirstSize, NarrowFirstSizeShrinksEveryPageOnceThenShowsTheApplicationsPage)
{
    for (int i = 0; i < 6; ++i) ASSERT_FALSE(fresh->Page(i)->IsPageShown()) << "no page before the first size";
    wxListCtrl* list = fresh->processesPage()->listControl();
    ASSERT_NE(list, nullptr);
    const wxSize listBefore = list->GetSize();

    SizeFresh(thresholds.minWidth() - 1, thresholds.minHeight() + 100);  // too narrow: ignored
    SizeFresh(thresholds.minWidth() + 100, thresholds.minHeight() - 1);  // too low: ignored
    for (int i = 0; i < 6; ++i) EXPECT_FALSE(fresh->Page(i)->IsPageShown()) << i;

    SizeFresh(thresholds.narrowWidth() - 1, thresholds.minHeight() + 100);
    EXPECT_TRUE(fresh->Page(0)->IsPageShown());
    for (int i = 1; i < 6; ++i) {
        EXPECT_FALSE(fresh->Page(i)->IsPageShown()) << i;
        EXPECT_EQ(fresh->Page(i)->resizeState().pendingDx(), thresholds.shrinkDx()) << i;
        EXPECT_EQ(fresh->Page(i)->resizeState().pendingDy(), thresholds.shrinkDy()) << i;
    }
    EXPECT_FALSE(fresh->Page(0)->resizeState().pending());

    // Shown, the Processes page has forgotten the shrink it was told of and fits
    // its controls to its own size.
    CPageBase* processes = fresh->processesPage();
    const wxSize margins = processes->GetClientSize() - listBefore;
    fresh->GoToProcess(0);
    EXPECT_FALSE(processes->resizeState().pending());
    EXPECT_EQ(processes->GetClientSize() - list->GetSize(), margins);
}

TEST_F(ShellFirstSize, WideFirstSizeShowsTheApplicationsPageWithoutShrinking)
{
    SizeFresh(thresholds.narrowWidth(), thresholds.minHeight());
    EXPECT_TRUE(fresh->Page(0)->IsPageShown());
    for (int i = 1; i < 6; ++i) EXPECT_FALSE(fresh->Page(i)->resizeState().pending()) << i;
}

// --- Help -------------------------------------------------------------------------------

TEST_F(Shell, WithoutAHelpViewerEachTabShowsItsDescriptionWithTheQuestionIcon)
{
    ShowFirstPage();
    struct HelpCase {
        const wchar_t* anchor;
        const wchar_t* description;
    };
    const HelpCase cases[] = {
        {L"#applications", L"This tab shows the programs running on the system."},
        {L"#processes", L"This tab shows information about the processes running on the system."},
        {L"#services", L"This tab shows information about the services running on the system."},
        {L"#devices", L"This tab shows information about the active devices in the system."},
        {L"#system", L"This tab shows a dynamic overview about the performance of the computer."},
        {L"#network", L"This tab shows a graphical representation of the network performance."},
    };
    services.helpStarts = false;
    for (int tab = 0; tab < 6; ++tab) {
        view->tabControl()->SetSelection(static_cast<size_t>(tab));
        boxes.clear();
        services.helpAnchors.clear();
        view->ShowTabHelp();
        ASSERT_EQ(services.helpAnchors.size(), 1u) << tab;
        EXPECT_EQ(services.helpAnchors[0], cases[tab].anchor) << tab;
        ASSERT_EQ(boxes.size(), 1u) << tab;
        EXPECT_EQ(boxes[0].text, cases[tab].description) << tab;
        EXPECT_EQ(boxes[0].style & kMbIconMask, static_cast<unsigned>(kMbIconQuestion)) << tab;
        EXPECT_EQ(boxes[0].style & 0xFu, static_cast<unsigned>(kMbOk)) << tab;
    }
}

TEST_F(Shell, HelpRequestToTheFrameShowsTheCurrentTabsHelp)
{
    ShowFirstPage();
    view->tabControl()->SetSelection(3);
    services.helpStarts = true;
    wxHelpEvent help(wxEVT_HELP, frame->GetId());
    help.SetEventObject(frame);
    frame->ProcessWindowEvent(help);
    ASSERT_EQ(services.helpAnchors.size(), 1u);
    EXPECT_EQ(services.helpAnchors[0], L"#devices");
    EXPECT_TRUE(boxes.empty()) << "a started viewer needs no box";

    services.helpStarts = false;
    frame->ProcessWindowEvent(help);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, L"This tab shows information about the active devices in the system.");
}

// --- Go To Process ----------------------------------------------------------------------

TEST_F(Shell, GoToProcessShowsTheProcessesPageWithTheProcessSelected)
{
    ShowFirstPage();
    const uint32_t pid = ProcessId(L"scanner.exe");
    ASSERT_NE(pid, 0u);
    view->GoToProcess(pid);
    EXPECT_EQ(view->CurrentTab(), 1);
    EXPECT_EQ(ShownPages(), std::vector<int>{1});
    EXPECT_FALSE(view->Page(0)->IsShown());

    wxListCtrl* list = view->processesPage()->listControl();
    ASSERT_NE(list, nullptr);
    const long selected = list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
    ASSERT_NE(selected, -1);
    EXPECT_EQ(list->GetItemText(selected, 0), "scanner.exe");

    // Again while already on the Processes tab: still exactly that page shown.
    const uint32_t other = ProcessId(L"cmd.exe");
    ASSERT_NE(other, 0u);
    view->GoToProcess(other);
    EXPECT_EQ(ShownPages(), std::vector<int>{1});
    const long now = list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
    ASSERT_NE(now, -1);
    EXPECT_EQ(list->GetItemText(now, 0), "cmd.exe");
}

}  // namespace
}  // namespace kestrun
