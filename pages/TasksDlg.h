// The Applications tab page: the task windows with their icons, and Switch to,
// Go to Process and End Task on the selected one. The list logic lives in
// TasksModel; this class builds the controls and routes events.
#pragma once

#include "display/ListCtrlView.h"
#include "pages/PageBase.h"
#include "pages/core/TasksModel.h"

#include <memory>

class wxButton;
class wxListCtrl;
class wxListEvent;

namespace kestrun {

class CTasksDlg : public CPageBase {
public:
    static constexpr int kTemplateId = 136;

    explicit CTasksDlg(wxWindow* parent);
    // A page reading the given platform rather than the process-wide one.
    CTasksDlg(wxWindow* parent, platform::Platform* platform);
    ~CTasksDlg() override;

    bool OnShowPage() override;
    bool OnHidePage() override;

    [[nodiscard]] VirtualListCtrl* listControl() const { return m_list; }
    [[nodiscard]] TasksModel* model() const { return m_model.get(); }

    // The commands, as the buttons and a double-click give them.
    void SwitchTo();
    void GoToProcess();
    void EndTask();

protected:
    void OnTimerTick(int timerId) override;
    void LayoutControls(int dx, int dy) override;

private:
    void Init(wxWindow* parent, platform::Platform* platform);
    void RefreshList();
    void EnableButtons(bool enable);
    void FillColumn();

    void OnColumnClick(wxListEvent& event);
    void OnItemSelected(wxListEvent& event);
    void OnItemDeselected(wxListEvent& event);

    platform::Platform* m_platform = nullptr;
    VirtualListCtrl* m_list = nullptr;
    wxButton* m_goToProcess = nullptr;
    wxButton* m_switchTo = nullptr;
    wxButton* m_endTask = nullptr;
    std::unique_ptr<ListCtrlView> m_listView;
    std::unique_ptr<TasksModel> m_model;  // declared last: it empties the list when it goes
};

}  // namespace kestrun
