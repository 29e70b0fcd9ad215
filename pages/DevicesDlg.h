// The Devices tab page: the active devices with their driver, load order,
// interrupt, bases, power state and registry key, and Deactivate. The list logic
// lives in DevicesModel; this class builds the controls and routes events.
#pragma once

#include "display/ListCtrlView.h"
#include "pages/PageBase.h"
#include "pages/core/DevicesModel.h"

#include <memory>

class wxButton;
class wxListCtrl;
class wxListEvent;

namespace kestrun {

class CDevicesDlg : public CPageBase {
public:
    static constexpr int kTemplateId = 144;

    explicit CDevicesDlg(wxWindow* parent);
    // A page reading the given platform rather than the process-wide one.
    CDevicesDlg(wxWindow* parent, platform::Platform* platform);
    ~CDevicesDlg() override;

    bool OnShowPage() override;
    bool OnHidePage() override;

    [[nodiscard]] VirtualListCtrl* listControl() const { return m_list; }
    [[nodiscard]] wxButton* deactivateButton() const { return m_deactivate; }
    [[nodiscard]] DevicesModel* model() const { return m_model.get(); }

protected:
    void OnTimerTick(int timerId) override;
    void LayoutControls(int dx, int dy) override;

private:
    void Init(wxWindow* parent, platform::Platform* platform);
    void RefreshList();
    void EnableDeactivate();
    void FillLastColumn();

    void OnDeactivate(wxCommandEvent& event);
    void OnColumnClick(wxListEvent& event);
    void OnItemSelected(wxListEvent& event);
    void OnItemDeselected(wxListEvent& event);
    void OnItemActivated(wxListEvent& event);

    VirtualListCtrl* m_list = nullptr;
    wxButton* m_deactivate = nullptr;
    std::unique_ptr<ListCtrlView> m_listView;
    platform::Platform* m_platform = nullptr;
    std::unique_ptr<DevicesModel> m_model;  // declared last: it empties the list when it goes
};

}  // namespace kestrun
