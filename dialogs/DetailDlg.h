// The window every detail dialog shares (Threads, Heap, Modules): a modeless,
// centred, resizable dialog from its own template around a full-row list, with
// "Refresh" (and F5 in the list), the "Automatic list refresh" box, header-click
// sorting, the size rules, help, and the owning page called back when the dialog
// closes itself. The list logic is the dialog's DetailModel.
#pragma once

#include "dialogs/core/DetailControls.h"
#include "dialogs/core/DetailModel.h"
#include "dialogs/core/DetailSize.h"
#include "display/ListCtrlView.h"

#include <wx/dialog.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

class wxButton;
class wxCheckBox;
class wxListCtrl;
class wxListEvent;
class wxTextCtrl;

namespace kestrun {

class DetailDialogOwner;

class CDetailDlg : public wxDialog, public DetailControls {
public:
    ~CDetailDlg() override;

    // The timer message the page sends (its own ticks, and 2 after a change of
    // process); see DetailModel::OnTimer.
    void OnTimerMessage(int timerId);
    // The process to show; the page sends a timer message with id 2 afterwards.
    void SetProcess(uint32_t processId, const std::wstring& name);
    // The page's close request: the dialog closes as with Cancel.
    void RequestClose() { Close(); }
    // The page is going: the dialog no longer calls it back.
    void ForgetOwner() { m_owner = nullptr; }

    [[nodiscard]] DetailModel* model() const { return m_model.get(); }
    [[nodiscard]] VirtualListCtrl* listControl() const { return m_list; }
    [[nodiscard]] const DetailSize& sizeRule() const { return m_size; }

    // DetailControls
    void SetCaption(const std::wstring& title) override;
    [[nodiscard]] bool AutoRefreshChecked() const override;
    void AllowAutoRefresh(bool allowed) override;
    void SetValueText(int control, const std::wstring& text) override;
    void SuspendListRedraw(bool suspend) override;

protected:
    // platform null: a dialog without list logic (its window only).
    CDetailDlg(DetailDialogOwner* owner, platform::Platform* platform, const DetailDialogInfo& info);

    // Loads the template as a child of parent, finds the list (listId), the
    // controls below it (moved down with the height) and the value boxes, makes
    // the model and posts the first tick. False when the template could not be loaded.
    bool CreateDetail(wxWindow* parent, int listId, const std::vector<int>& below, const std::vector<int>& valueBoxes = {});
    // The dialog's list logic over its list and these controls.
    virtual std::unique_ptr<DetailModel> MakeModel(platform::Platform& platform, ListView& list, DetailControls& controls) = 0;
    // Tells the owner that this dialog closed (a modeless dialog's).
    virtual void NotifyClosed(DetailDialogOwner& owner) = 0;
    // A double click on a row of the list.
    virtual void OnRowActivated(long row);

    // The selected row, -1 when none.
    [[nodiscard]] long SelectedRow() const;
    [[nodiscard]] platform::Platform* platformPtr() const { return m_platform; }

private:
    void CloseDetail();
    void ShowDetailHelp();
    void RefreshWithWaitCursor();

    void OnOk(wxCommandEvent& event);
    void OnCancel(wxCommandEvent& event);
    void OnClose(wxCloseEvent& event);
    void OnRefreshButton(wxCommandEvent& event);
    void OnHelpKey(wxCommandEvent& event);
    void OnHelp(wxHelpEvent& event);
    void OnCharHook(wxKeyEvent& event);
    void OnListKeyDown(wxListEvent& event);
    void OnColumnClick(wxListEvent& event);
    void OnItemActivated(wxListEvent& event);
    void OnSize(wxSizeEvent& event);

    DetailDialogOwner* m_owner;
    platform::Platform* m_platform;
    const DetailDialogInfo& m_info;
    DetailSize m_size;
    bool m_closing = false;
    int m_redrawSuspended = 0;
    VirtualListCtrl* m_list = nullptr;
    wxButton* m_refresh = nullptr;
    wxCheckBox* m_autoRefresh = nullptr;
    std::vector<wxWindow*> m_below;  // moved down with the height
    std::map<int, wxTextCtrl*> m_values;  // value boxes by control id
    std::unique_ptr<ListCtrlView> m_listView;
    std::unique_ptr<DetailModel> m_model;  // declared last: it empties the list when it goes
};

}  // namespace kestrun
