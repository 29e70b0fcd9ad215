// The Processes tab page: the process list with its thirteen columns, End
// Process, and the Set Priority operations the view's menu calls. The list logic
// lives in ProcessesModel; this class builds the controls and routes events.
#pragma once

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

class CProcessesDlg : public CPageBase {
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

    [[nodiscard]] wxListCtrl* listControl() const { return m_list; }

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

    wxListCtrl* m_list = nullptr;
    wxCheckBox* m_threads = nullptr;
    wxCheckBox* m_dlls = nullptr;
    wxCheckBox* m_memory = nullptr;
    wxButton* m_endProcess = nullptr;
    wxStaticText* m_showLabel = nullptr;
    bool m_applyingPending = false;  // the view has already placed the page
    std::unique_ptr<ListCtrlView> m_listView;
    std::unique_ptr<ProcessesModel> m_model;  // declared last: it empties the list when it goes
};

}  // namespace kestrun
