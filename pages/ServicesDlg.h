// The Services tab page: the service list with its five columns, the selected
// service's description, Start and Stop, and Refresh configuration on the list's
// context menu. The list logic lives in ServicesModel; this class builds the
// controls and routes events.
#pragma once

#include "display/ListCtrlView.h"
#include "pages/PageBase.h"
#include "pages/core/ServicesModel.h"

#include <memory>

class wxButton;
class wxListCtrl;
class wxListEvent;
class wxTextCtrl;

namespace kestrun {

class CServicesDlg : public CPageBase {
public:
    static constexpr int kTemplateId = 141;

    explicit CServicesDlg(wxWindow* parent);
    // A page reading the given platform rather than the process-wide one.
    CServicesDlg(wxWindow* parent, platform::Platform* platform);
    ~CServicesDlg() override;

    bool OnShowPage() override;
    bool OnHidePage() override;

    [[nodiscard]] VirtualListCtrl* listControl() const { return m_list; }
    [[nodiscard]] ServicesModel* model() const { return m_model.get(); }

    // The control ids of the template.
    enum : int {
        kIdcDescription = 1077,
        kIdcStart = 1078,
        kIdcStop = 1079,
        kIdcRefresh = 1080,  // Refresh configuration
        kIdcServiceList = 1082,
    };

protected:
    void OnTimerTick(int timerId) override;
    void LayoutControls(int dx, int dy) override;

private:
    void Init(wxWindow* parent, platform::Platform* platform);
    void RefreshList();
    // Shows what the model says of the buttons and the description.
    void ShowSelectionState();

    void OnStart(wxCommandEvent& event);
    void OnStop(wxCommandEvent& event);
    void OnRefreshConfiguration(wxCommandEvent& event);
    void OnColumnClick(wxListEvent& event);
    void OnItemSelected(wxListEvent& event);
    void OnItemDeselected(wxListEvent& event);
    void OnItemActivated(wxListEvent& event);
    void OnItemRightClick(wxListEvent& event);

    VirtualListCtrl* m_list = nullptr;
    wxTextCtrl* m_description = nullptr;
    wxButton* m_start = nullptr;
    wxButton* m_stop = nullptr;
    std::unique_ptr<ListCtrlView> m_listView;
    platform::Platform* m_platform = nullptr;
    std::unique_ptr<ServicesModel> m_model;  // declared last: it empties the list when it goes
};

}  // namespace kestrun
