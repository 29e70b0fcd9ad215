// The Threads and Heap dialogs as the user meets them: opened from the real
// Processes page with its boxes, following the page's selection and ticks,
// refreshed with F5 and Refresh, resized, asking for help and closing in every
// way the page must hear of. Every test runs on a simulated device.
#include "dialogs/FilePropertiesDlg.h"
#include "dialogs/HeapDlg.h"
#include "dialogs/ModuleUsageDlg.h"
#include "dialogs/ModulesDlg.h"
#include "dialogs/ThreadsDlg.h"
#include "dialogs/core/DetailModel.h"
#include "display/core/MessageBox.h"
#include "pages/ProcessesDlg.h"
#include "pages/core/AppServices.h"
#include "platform/sim/SimPlatform.h"
#include "tests/support/RecordingServices.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/frame.h>
#include <wx/listctrl.h>
#include <wx/textctrl.h>
#include <wx/weakref.h>

#include <string>
#include <type_traits>
#include <vector>

namespace kestrun {
namespace {

using platform::sim::HeapBlockSpec;
using platform::sim::HeapSpec;
using platform::sim::ModuleSpec;
using platform::sim::ProcessSpec;
using platform::sim::SimProfile;
using platform::sim::ThreadSpec;

constexpr int kIdcThreads = 1001;
constexpr int kIdcDlls = 1006;
constexpr int kIdcMemory = 1009;

SimProfile Device()
{
    SimProfile profile;
    ModuleSpec core;
    core.name = L"coredll.dll";
    core.size = 64 << 10;
    core.inRom = true;
    ModuleSpec app;
    app.name = L"app.dll";
    app.path = L"\\Program Files\\Worker\\app.dll";
    app.size = 8 << 10;
    profile.modules = {core, app};
    ProcessSpec worker;
    worker.modules = {{L"coredll.dll", 1}, {L"app.dll", 3}};
    worker.id = 0x100;
    worker.exeName = L"worker.exe";
    for (uint32_t id : {0x101u, 0x102u}) {
        ThreadSpec thread;
        thread.id = id;
        worker.threads.push_back(thread);
    }
    HeapSpec heap;
    heap.heapId = 1;
    heap.blocks = {HeapBlockSpec{0x10000, 100, platform::kHeapFree, 0}, HeapBlockSpec{0x20000, 924, platform::kHeapFixed, 0}};
    worker.heaps.push_back(heap);
    ProcessSpec busy;
    busy.id = 0x200;
    busy.exeName = L"busy.exe";
    for (uint32_t i = 0; i < 101; ++i) {
        ThreadSpec thread;
        thread.id = 0x1000 + i;
        busy.threads.push_back(thread);
    }
    busy.modules = {{L"coredll.dll", 1}};
    profile.processes = {worker, busy};
    return profile;
}

class DetailDialogs : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim = platform::sim::CreateSimPlatformForTest(Device());
        ASSERT_NE(sim, nullptr);
        SetAppServices(&services);
        previousBoxHandler = SetMessageBoxHandler([this](const MessageBoxRequest& request) {
            boxes.push_back(request);
            return kIdOk;
        });
        topLevelBefore = wxTopLevelWindows.GetCount();
        frame = new wxFrame(nullptr, wxID_ANY, "page", wxDefaultPosition, wxSize(900, 700));
        page = new CProcessesDlg(frame, sim.get());
        frame->Show();
        page->OnShowPage();
    }
    void TearDown() override
    {
        frame->Destroy();
        Settle();
        EXPECT_EQ(wxTopLevelWindows.GetCount(), topLevelBefore) << "no window outlives the page";
        SetMessageBoxHandler(previousBoxHandler);
        SetAppServices(nullptr);
    }

    // Runs what the toolkit queued: posted ticks, then the deletion of closed windows.
    static void Settle()
    {
        for (int i = 0; i < 3; ++i) {
            wxTheApp->ProcessPendingEvents();
            wxTheApp->ProcessIdle();  // deletes the windows destroyed meanwhile
        }
    }

    wxCheckBox* Box(int id) const { return wxDynamicCast(page->FindWindow(id), wxCheckBox); }
    // Clicks a box of the page: it toggles itself, then tells the page.
    void Click(int id)
    {
        wxCheckBox* box = Box(id);
        box->SetValue(!box->GetValue());
        wxCommandEvent event(wxEVT_CHECKBOX, id);
        event.SetEventObject(box);
        event.SetInt(box->GetValue() ? 1 : 0);
        box->HandleWindowEvent(event);
        Settle();
    }
    void SelectProcess(const wxString& name)
    {
        wxListCtrl* list = page->listControl();
        const long row = list->FindItem(-1, name);
        ASSERT_GE(row, 0) << name;
        list->SetItemState(row, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
    }
    void Deselect()
    {
        wxListCtrl* list = page->listControl();
        const long row = list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
        if (row >= 0) list->SetItemState(row, 0, wxLIST_STATE_SELECTED);
    }
    void Tick(int id)
    {
        page->PostTimer(id);
        Settle();
    }
public:
    static std::vector<wxString> ColumnOf(wxListCtrl* list, int column) { return Column(list, column); }

protected:
    static std::vector<wxString> Column(wxListCtrl* list, int column)
    {
        std::vector<wxString> texts;
        for (int row = 0; row < list->GetItemCount(); ++row) texts.push_back(list->GetItemText(row, column));
        return texts;
    }
    static void SendKey(wxWindow* window, wxEventType type, int code)
    {
        wxKeyEvent key(type);
        key.m_keyCode = code;
        key.SetEventObject(window);
        window->HandleWindowEvent(key);
    }
    static void PressInList(CDetailDlg* dialog, int code)
    {
        wxListEvent event(wxEVT_LIST_KEY_DOWN, dialog->listControl()->GetId());
        event.m_code = code;
        event.SetEventObject(dialog->listControl());
        dialog->listControl()->HandleWindowEvent(event);
    }
    // Gives the dialog a client size as the window manager would.
    static void SizeClient(CDetailDlg* dialog, int width, int height)
    {
        dialog->SetClientSize(width, height);
        wxSizeEvent event(dialog->GetSize(), dialog->GetId());
        event.SetEventObject(dialog);
        dialog->HandleWindowEvent(event);
    }

    std::unique_ptr<platform::sim::SimPlatform> sim;
    testing::RecordingServices services;
    MessageBoxHandler previousBoxHandler;
    std::vector<MessageBoxRequest> boxes;
    size_t topLevelBefore = 0;
    wxFrame* frame = nullptr;
    CProcessesDlg* page = nullptr;
};

TEST_F(DetailDialogs, TheThreeBoxesAreEnabled)
{
    EXPECT_TRUE(Box(kIdcThreads)->IsEnabled());
    EXPECT_TRUE(Box(kIdcDlls)->IsEnabled());
    EXPECT_TRUE(Box(kIdcMemory)->IsEnabled());
}

TEST_F(DetailDialogs, CheckingThreadsOpensTheDialogForTheSelectedProcessAfterItShows)
{
    SelectProcess("worker.exe");
    Click(kIdcThreads);
    CThreadsDlg* dialog = page->threadsDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->IsShown());
    EXPECT_EQ(dialog->GetParent(), page);
    EXPECT_EQ(dialog->listControl()->GetId(), 1008);
    EXPECT_EQ(dialog->GetTitle(), "worker.exe - 2 Threads");
    EXPECT_EQ(Column(dialog->listControl(), 0), (std::vector<wxString>{"00000101", "00000102"}));
    EXPECT_TRUE(dialog->HasFlag(wxRESIZE_BORDER));
    std::vector<wxString> titles;
    for (int column = 0; column < dialog->listControl()->GetColumnCount(); ++column) {
        wxListItem item;
        item.SetMask(wxLIST_MASK_TEXT);
        dialog->listControl()->GetColumn(column, item);
        titles.push_back(item.GetText());
    }
    EXPECT_EQ(titles, (std::vector<wxString>{"Thread ID", "Created", "User Time", "Kernel Time", "Base Prio.", "Delta Prio.",
                                             "Usage", "Current Proc.", "Access Key"}));
}

TEST_F(DetailDialogs, TheDialogFollowsTheSelectionWithARebuild)
{
    Click(kIdcThreads);
    CThreadsDlg* dialog = page->threadsDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->GetTitle(), "(none) - 0 Threads");

    SelectProcess("worker.exe");
    EXPECT_EQ(dialog->GetTitle(), "worker.exe - 2 Threads");
    SelectProcess("busy.exe");
    EXPECT_EQ(dialog->GetTitle(), "busy.exe - 101 Threads");
    Deselect();
    EXPECT_EQ(dialog->GetTitle(), "(none) - 0 Threads");
    EXPECT_EQ(dialog->listControl()->GetItemCount(), 0);
}

TEST_F(DetailDialogs, ASortOfThePageDoesNotRebuildTheDialog)
{
    SelectProcess("worker.exe");
    Click(kIdcThreads);
    CThreadsDlg* dialog = page->threadsDialog();
    ASSERT_NE(dialog, nullptr);
    const void* before = dialog->listControl()->RowData(0);
    wxListEvent click(wxEVT_LIST_COL_CLICK, page->listControl()->GetId());
    click.m_col = 0;
    click.SetEventObject(page->listControl());
    page->listControl()->HandleWindowEvent(click);
    EXPECT_EQ(dialog->listControl()->RowData(0), before);
    EXPECT_EQ(dialog->GetTitle(), "worker.exe - 2 Threads");
}

TEST_F(DetailDialogs, ARowSelectedByGoToProcessIsFollowed)
{
    Click(kIdcThreads);
    CThreadsDlg* dialog = page->threadsDialog();
    ASSERT_NE(dialog, nullptr);
    page->SelectProcess(0x200);
    Tick(1);
    EXPECT_EQ(dialog->GetTitle(), "busy.exe - 101 Threads");
}

TEST_F(DetailDialogs, ClosingTheDialogUnchecksTheBoxAndDeletesTheWindow)
{
    SelectProcess("worker.exe");
    for (int way = 0; way < 4; ++way) {
        Click(kIdcThreads);
        CThreadsDlg* dialog = page->threadsDialog();
        ASSERT_NE(dialog, nullptr) << way;
        ASSERT_TRUE(Box(kIdcThreads)->GetValue());
        wxWeakRef<wxDialog> alive(dialog);
        switch (way) {
        case 0: dialog->Close(); break;  // the caption's close button
        case 1: SendKey(dialog, wxEVT_CHAR_HOOK, WXK_ESCAPE); break;
        case 2: {
            wxCommandEvent ok(wxEVT_BUTTON, wxID_OK);
            dialog->HandleWindowEvent(ok);
            break;
        }
        default: Click(kIdcThreads); break;  // unchecking the box: the page's close request
        }
        EXPECT_EQ(page->threadsDialog(), nullptr) << way;
        EXPECT_FALSE(Box(kIdcThreads)->GetValue()) << way;
        Settle();
        EXPECT_FALSE(alive) << "the dialog object goes after its window, way " << way;
    }
}

TEST_F(DetailDialogs, TicksRefreshOnlyWhileAutomaticRefreshIsCheckedAndRefreshRebuilds)
{
    SelectProcess("worker.exe");
    Click(kIdcThreads);
    CThreadsDlg* dialog = page->threadsDialog();
    ASSERT_NE(dialog, nullptr);
    VirtualListCtrl* list = dialog->listControl();
    sim->device().SetThreadTimes(0x101, 20000000, 0);

    Tick(1);  // the update timer, box unchecked
    EXPECT_EQ(list->GetItemText(0, 3), "0:00:00.000");
    auto* automatic = wxDynamicCast(dialog->FindWindow(1094), wxCheckBox);
    ASSERT_NE(automatic, nullptr);
    automatic->SetValue(true);
    const void* row = list->RowData(0);
    Tick(1);
    EXPECT_EQ(list->GetItemText(0, 3), "0:00:02.000");
    EXPECT_EQ(list->RowData(0), row) << "an update keeps the row";

    automatic->SetValue(false);
    Tick(2);  // the Refresh command rebuilds whatever the box says
    EXPECT_NE(list->RowData(0), row);
}

TEST_F(DetailDialogs, F5AndTheRefreshButtonUpdateTheList)
{
    SelectProcess("worker.exe");
    Click(kIdcThreads);
    CThreadsDlg* dialog = page->threadsDialog();
    ASSERT_NE(dialog, nullptr);
    VirtualListCtrl* list = dialog->listControl();
    const void* row = list->RowData(0);

    sim->device().SetThreadTimes(0x101, 10000000, 0);
    PressInList(dialog, WXK_F5);
    EXPECT_EQ(list->GetItemText(0, 3), "0:00:01.000");
    PressInList(dialog, 'A');  // other keys do nothing here
    sim->device().SetThreadTimes(0x101, 30000000, 0);
    wxCommandEvent refresh(wxEVT_BUTTON, 1080);
    dialog->FindWindow(1080)->HandleWindowEvent(refresh);
    EXPECT_EQ(list->GetItemText(0, 3), "0:00:03.000");
    EXPECT_EQ(list->RowData(0), row);
}

TEST_F(DetailDialogs, AboveOneHundredRowsTheAutomaticBoxIsUncheckedAndDisabled)
{
    Click(kIdcThreads);
    CThreadsDlg* dialog = page->threadsDialog();
    ASSERT_NE(dialog, nullptr);
    auto* automatic = wxDynamicCast(dialog->FindWindow(1094), wxCheckBox);
    automatic->SetValue(true);
    SelectProcess("busy.exe");
    EXPECT_FALSE(automatic->GetValue());
    EXPECT_FALSE(automatic->IsEnabled());
    SelectProcess("worker.exe");
    EXPECT_TRUE(automatic->IsEnabled());
    EXPECT_FALSE(automatic->GetValue());
}

TEST_F(DetailDialogs, GrowingMovesTheListEdgesAndTheControlsBelowAndSmallHeightsAreIgnored)
{
    Click(kIdcMemory);
    CHeapDlg* dialog = page->heapDialog();
    ASSERT_NE(dialog, nullptr);
    const std::vector<int> below = {1043, 1013, 1044, 1014, 1080, 1094};
    auto rects = [&] {
        std::vector<wxRect> all{dialog->listControl()->GetRect()};
        for (int id : below) all.push_back(dialog->FindWindow(id)->GetRect());
        return all;
    };
    const std::vector<wxRect> before = rects();
    const wxSize client = dialog->GetClientSize();
    SizeClient(dialog, client.x + 40, client.y + 60);
    const std::vector<wxRect> grown = rects();
    EXPECT_EQ(grown[0].GetTopLeft(), before[0].GetTopLeft());
    EXPECT_EQ(grown[0].GetSize(), before[0].GetSize() + wxSize(40, 60));
    for (size_t i = 1; i < grown.size(); ++i) {
        EXPECT_EQ(grown[i].GetPosition(), before[i].GetPosition() + wxPoint(0, 60)) << below[i - 1];
        EXPECT_EQ(grown[i].GetSize(), before[i].GetSize()) << below[i - 1];
    }

    // Below the Heap dialog's minimum height nothing moves, and the size is not recorded.
    const int minimum = dialog->sizeRule().minimumHeight();
    EXPECT_GT(minimum, 0);
    SizeClient(dialog, client.x, minimum - 1);
    EXPECT_EQ(rects(), grown);
    EXPECT_EQ(dialog->sizeRule().height(), client.y + 60);
    SizeClient(dialog, client.x + 40, client.y + 60);  // the last accepted size again: nothing moves
    EXPECT_EQ(rects(), grown);
    SizeClient(dialog, client.x, client.y);
    EXPECT_EQ(rects(), before);
}

TEST_F(DetailDialogs, HeapShowsTheEntriesWithTotalAndFree)
{
    SelectProcess("worker.exe");
    Click(kIdcMemory);
    CHeapDlg* dialog = page->heapDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->GetTitle(), "worker.exe - 2 Memory Blocks");
    EXPECT_EQ(Column(dialog->listControl(), 2), (std::vector<wxString>{"Free ", "Fixed "}));
    EXPECT_EQ(wxDynamicCast(dialog->FindWindow(1013), wxTextCtrl)->GetValue(), "1 kB");
    EXPECT_EQ(wxDynamicCast(dialog->FindWindow(1014), wxTextCtrl)->GetValue(), "100");
    EXPECT_FALSE(wxDynamicCast(dialog->FindWindow(1013), wxTextCtrl)->IsEditable());
}

TEST_F(DetailDialogs, BothDialogsFollowTheSelectionAndCloseOnTheirOwn)
{
    Click(kIdcThreads);
    Click(kIdcMemory);
    ASSERT_NE(page->threadsDialog(), nullptr);
    ASSERT_NE(page->heapDialog(), nullptr);
    SelectProcess("worker.exe");
    EXPECT_EQ(page->threadsDialog()->GetTitle(), "worker.exe - 2 Threads");
    EXPECT_EQ(page->heapDialog()->GetTitle(), "worker.exe - 2 Memory Blocks");
    page->heapDialog()->Close();
    EXPECT_EQ(page->heapDialog(), nullptr);
    EXPECT_FALSE(Box(kIdcMemory)->GetValue());
    EXPECT_TRUE(Box(kIdcThreads)->GetValue());
    EXPECT_NE(page->threadsDialog(), nullptr);
}

TEST_F(DetailDialogs, F1AsksForTheDialogsHelpAndShowsItsDescriptionWithoutAViewer)
{
    Click(kIdcThreads);
    Click(kIdcMemory);
    SendKey(page->threadsDialog(), wxEVT_CHAR_HOOK, WXK_F1);
    SendKey(page->heapDialog(), wxEVT_CHAR_HOOK, WXK_F1);
    EXPECT_EQ(services.helpAnchors, (std::vector<std::wstring>{L"#threads", L"#memory"}));
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, L"This dialog shows the threads of the selected process.");
    EXPECT_EQ(boxes[1].text, L"This dialog shows the heap entries allocated by the selected process.");
    EXPECT_EQ(boxes[0].style & kMbIconMask, unsigned{kMbIconQuestion});
}

// What a modal dialog shows once its loop runs: its title and the texts of a
// list column or of the controls asked for, read as it opens; then it is closed.
struct ModalSeen {
    bool opened = false;
    wxString title;
    std::vector<wxString> cells;
};

template <class Dialog>
void CloseNextModal(ModalSeen& seen, int column = 0)
{
    wxTheApp->CallAfter([&seen, column] {
        for (wxWindow* window : wxTopLevelWindows) {
            auto* dialog = dynamic_cast<Dialog*>(window);
            if (dialog == nullptr || !dialog->IsModal()) continue;
            seen.opened = true;
            seen.title = dialog->GetTitle();
            if constexpr (std::is_base_of_v<CDetailDlg, Dialog>) {
                seen.cells = DetailDialogs::ColumnOf(dialog->listControl(), column);
            } else {
                seen.cells = {dialog->shown().description, dialog->shown().size};
            }
            dialog->EndModal(wxID_CANCEL);
        }
    });
}

TEST_F(DetailDialogs, DllsListsTheSelectedProcesssModulesWithTheirSums)
{
    SelectProcess("worker.exe");
    Click(kIdcDlls);
    CModulesDlg* dialog = page->modulesDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(dialog->systemMode());
    EXPECT_FALSE(dialog->ownTimerRunning());
    EXPECT_EQ(dialog->GetTitle(), "worker.exe - 2 Modules");
    EXPECT_EQ(Column(dialog->listControl(), 0), (std::vector<wxString>{"coredll.dll", "app.dll"}));
    EXPECT_EQ(Column(dialog->listControl(), 4), (std::vector<wxString>{"ROM", "RAM"}));
    EXPECT_EQ(wxDynamicCast(dialog->FindWindow(1013), wxTextCtrl)->GetValue(), "72 kB");
    EXPECT_EQ(wxDynamicCast(dialog->FindWindow(1071), wxTextCtrl)->GetValue(), "64 kB");
    EXPECT_EQ(wxDynamicCast(dialog->FindWindow(1014), wxTextCtrl)->GetValue(), "8 kB");
    dialog->Close();
    EXPECT_EQ(page->modulesDialog(), nullptr);
    EXPECT_FALSE(Box(kIdcDlls)->GetValue());
}

TEST_F(DetailDialogs, UsageNeedsAModuleAndThenListsItsProcesses)
{
    SelectProcess("worker.exe");
    Click(kIdcDlls);
    CModulesDlg* dialog = page->modulesDialog();
    ASSERT_NE(dialog, nullptr);
    wxCommandEvent usage(wxEVT_BUTTON, CModulesDlg::kIdcUsage);
    dialog->HandleWindowEvent(usage);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, L"You must first select a module.");

    dialog->listControl()->SetItemState(0, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);  // coredll.dll
    ModalSeen seen;
    CloseNextModal<CModuleUsageDlg>(seen);
    dialog->HandleWindowEvent(usage);
    ASSERT_TRUE(seen.opened);
    EXPECT_EQ(seen.title, "coredll.dll - Used by 2 Processes");
    EXPECT_EQ(seen.cells, (std::vector<wxString>{"worker.exe", "busy.exe"}));
}

TEST_F(DetailDialogs, DoubleClickingAModuleShowsItsFileProperties)
{
    SelectProcess("worker.exe");
    Click(kIdcDlls);
    CModulesDlg* dialog = page->modulesDialog();
    ASSERT_NE(dialog, nullptr);
    dialog->listControl()->SetItemState(1, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);  // app.dll
    ModalSeen seen;
    CloseNextModal<CFilePropertiesDlg>(seen);
    wxListEvent activated(wxEVT_LIST_ITEM_ACTIVATED, dialog->listControl()->GetId());
    activated.m_itemIndex = 1;
    activated.SetEventObject(dialog->listControl());
    dialog->listControl()->HandleWindowEvent(activated);
    ASSERT_TRUE(seen.opened);
    EXPECT_EQ(seen.title, "app.dll Properties");
    EXPECT_EQ(seen.cells[1], "8192 bytes");
}

TEST_F(DetailDialogs, ShowAllDllsRunsTheSystemModeWithItsOwnTimer)
{
    ModalSeen seen;
    bool timed = false;
    wxTheApp->CallAfter([&] {
        for (wxWindow* window : wxTopLevelWindows)
            if (auto* dialog = dynamic_cast<CModulesDlg*>(window); dialog != nullptr && dialog->IsModal()) {
                seen.opened = true;
                timed = dialog->systemMode() && dialog->ownTimerRunning();
                dialog->OnTimerMessage(CModulesDlg::kOwnTimerId);
                seen.title = dialog->GetTitle();
                dialog->EndModal(wxID_CANCEL);
            }
    });
    CModulesDlg system(nullptr, sim.get(), true);  // as the view's Show All DLLs makes it
    ASSERT_TRUE(system.Create(nullptr));
    system.ShowModal();
    ASSERT_TRUE(seen.opened);
    EXPECT_TRUE(timed);
    EXPECT_EQ(seen.title, "System - 2 Modules");
}

TEST_F(DetailDialogs, OpenDialogsGoWithThePage)
{
    Click(kIdcThreads);
    Click(kIdcMemory);
    wxWeakRef<wxDialog> threads(page->threadsDialog());
    wxWeakRef<wxDialog> heap(page->heapDialog());
    frame->Destroy();
    Settle();
    EXPECT_FALSE(threads);
    EXPECT_FALSE(heap);
    frame = new wxFrame(nullptr, wxID_ANY, "again");  // for TearDown
}

}  // namespace
}  // namespace kestrun
