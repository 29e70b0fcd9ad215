// The Processes tab page: the process list with its thirteen columns, End
// Process, and the Set Priority operations the view's menu calls. The list logic
// lives in ProcessesModel; this class builds the controls and routes events.
#pragma once

#include "dialogs/DetailDialogOwner.h"
#include "display/ListCtrlView.h"
#include "pages/PageBase.h"
#include "pages/core/ProcessesModel.h"

#include <cstdint>
#include <memory>

class wxButton;
class wxCheckBox;
class wxListCtrl;
class wxListEvent;
class wxStaticText;

namespace kestrun {

class CDetailDlg;
class CHeapDlg;
class CModulesDlg;
class CThreadsDlg;

class CProcessesDlg : public CPageBase, public DetailDialogOwner {
public:
    static constexpr int kTemplateId = 131;

    explicit CProcessesDlg(wxWindow* parent);
    // A page reading the given platform rather than the process-wide one.
    CProcessesDlg(wxWindow* parent, platform::Platform* platform);
    ~CProcessesDlg() override;

    bool OnShowPage() override;
    bool OnHidePage() override;

    [[nodiscard]] bool CanSetPriority() const;
    [[nodiscard]] int GetPriority() const;
    void SetPriority(int level);

    // Selects the process's row at the next refresh that lists it (Go to Process).
    void SelectProcess(uint32_t processId);

    [[nodiscard]] VirtualListCtrl* listControl() const { return m_list; }
    // The open detail dialogs, null when closed.
    [[nodiscard]] CThreadsDlg* threadsDialog() const { return m_threadsDlg; }
    [[nodiscard]] CModulesDlg* modulesDialog() const { return m_modulesDlg; }
    [[nodiscard]] CHeapDlg* heapDialog() const { return m_heapDlg; }

    // DetailDialogOwner: a dialog closed itself.
    void ThreadsDialogClosed() override;
    void ModulesDialogClosed() override;
    void HeapDialogClosed() override;

protected:
    void OnTimerTick(int timerId) override;
    void LayoutControls(int dx, int dy) override;

private:
    void Init(wxWindow* parent, platform::Platform* platform);
    void RefreshList();

    void OnEndProcess(wxCommandEvent& event);
    void OnColumnClick(wxListEvent& event);
    void OnItemSelected(wxListEvent& event);
    void OnItemDeselected(wxListEvent& event);
    void OnItemActivated(wxListEvent& event);
    template <class Dialog>
    void ToggleDetail(Dialog*& open, wxCheckBox* box);
    void OnThreadsBox(wxCommandEvent& event);
    void OnDllsBox(wxCommandEvent& event);
    void OnMemoryBox(wxCommandEvent& event);

    // Gives an open dialog the selected row's process (none: 0 and "(none)") and rebuilds it.
    void FollowSelection(const ProcessRow* row);
    void ShowSelectedProcess(CDetailDlg& dialog, const ProcessRow* row);
    void ShowSelectedProcess(CHeapDlg& dialog, const ProcessRow* row);

    VirtualListCtrl* m_list = nullptr;
    wxCheckBox* m_threads = nullptr;
    wxCheckBox* m_dlls = nullptr;
    wxCheckBox* m_memory = nullptr;
    wxButton* m_endProcess = nullptr;
    wxStaticText* m_showLabel = nullptr;
    platform::Platform* m_platform = nullptr;
    CThreadsDlg* m_threadsDlg = nullptr;  // owned by the toolkit; it calls back when it closes
    CModulesDlg* m_modulesDlg = nullptr;
    CHeapDlg* m_heapDlg = nullptr;
    bool m_listWork = false;  // a refresh or sort of the list is running
    uint32_t m_followedProcess = 0;  // the process the dialogs were last given, 0 none
    std::unique_ptr<ListCtrlView> m_listView;
    std::unique_ptr<ProcessesModel> m_model;  // declared last: it empties the list when it goes
};

}  // namespace kestrun
