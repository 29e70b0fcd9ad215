#include "pages/ServicesDlg.h"

#include "dialogs/FilePropertiesDlg.h"
#include "display/core/Format.h"

#include "pages/core/Ticks.h"

#include <wx/button.h>
#include <wx/listctrl.h>
#include <wx/menu.h>
#include <wx/textctrl.h>
#include <wx/utils.h>

namespace kestrun {

CServicesDlg::CServicesDlg(wxWindow* parent)
{
    Init(parent, platform::IsInstalled() ? &platform::Current() : nullptr);
}

CServicesDlg::CServicesDlg(wxWindow* parent, platform::Platform* platform) { Init(parent, platform); }

CServicesDlg::~CServicesDlg()
{
    m_model.reset();  // every row record goes while the list still exists
}

void CServicesDlg::Init(wxWindow* parent, platform::Platform* platform)
{
    CreatePage(parent, "IDD_SERVICESDLG");
    m_list = wxDynamicCast(FindWindow(kIdcServiceList), VirtualListCtrl);
    if (m_list == nullptr)  // no template: the list still exists, so the page keeps working
        m_list = new VirtualListCtrl(this, kIdcServiceList, wxDefaultPosition, GetClientSize(),
                                wxLC_REPORT | wxLC_SINGLE_SEL | wxBORDER_SUNKEN);
    m_description = wxDynamicCast(FindWindow(kIdcDescription), wxTextCtrl);
    m_start = wxDynamicCast(FindWindow(kIdcStart), wxButton);
    m_stop = wxDynamicCast(FindWindow(kIdcStop), wxButton);

    m_listView = std::make_unique<ListCtrlView>(m_list);
    m_platform = platform;
    if (platform != nullptr) {
        m_model = std::make_unique<ServicesModel>(*platform, *m_listView);
        m_model->InsertColumns();
        m_model->SetBusyHandler([](bool busy) {
            if (busy)
                wxBeginBusyCursor();
            else
                wxEndBusyCursor();
        });
    }

    Bind(wxEVT_BUTTON, &CServicesDlg::OnStart, this, kIdcStart);
    Bind(wxEVT_BUTTON, &CServicesDlg::OnStop, this, kIdcStop);
    Bind(wxEVT_MENU, &CServicesDlg::OnRefreshConfiguration, this, kIdcRefresh);
    Bind(wxEVT_LIST_COL_CLICK, &CServicesDlg::OnColumnClick, this, kIdcServiceList);
    Bind(wxEVT_LIST_ITEM_SELECTED, &CServicesDlg::OnItemSelected, this, kIdcServiceList);
    Bind(wxEVT_LIST_ITEM_DESELECTED, &CServicesDlg::OnItemDeselected, this, kIdcServiceList);
    Bind(wxEVT_LIST_ITEM_ACTIVATED, &CServicesDlg::OnItemActivated, this, kIdcServiceList);
    Bind(wxEVT_LIST_ITEM_RIGHT_CLICK, &CServicesDlg::OnItemRightClick, this, kIdcServiceList);
}

bool CServicesDlg::OnShowPage()
{
    BeginShow();
    RefreshList();
    if (m_model) m_model->SortIfOrdered();
    return true;
}

bool CServicesDlg::OnHidePage()
{
    EndShow();
    return true;
}

void CServicesDlg::OnTimerTick(int timerId)
{
    if (timerId == kTickRefreshCommand) {  // a user-requested refresh
        wxBusyCursor wait;
        RefreshList();
        return;
    }
    RefreshList();
}

void CServicesDlg::RefreshList()
{
    if (!m_model) return;
    if (m_model->Refresh()) ShowSelectionState();
}

void CServicesDlg::ShowSelectionState()
{
    if (!m_model) return;
    if (m_start != nullptr) m_start->Enable(m_model->startEnabled());
    if (m_stop != nullptr) m_stop->Enable(m_model->stopEnabled());
}

// The list grows; the description box moves down and grows in width; the buttons move down.
void CServicesDlg::LayoutControls(int dx, int dy)
{
    Grow(m_list, dx, dy);
    MoveDown(m_description, dy);
    Grow(m_description, dx, 0);
    MoveDown(m_start, dy);
    MoveDown(m_stop, dy);
}

void CServicesDlg::OnStart(wxCommandEvent&)
{
    if (!m_model) return;
    m_model->Start();
    ShowSelectionState();  // a control that worked refreshed the list
}

void CServicesDlg::OnStop(wxCommandEvent&)
{
    if (!m_model) return;
    m_model->Stop();
    ShowSelectionState();  // a control that worked refreshed the list
}

void CServicesDlg::OnRefreshConfiguration(wxCommandEvent&)
{
    if (!m_model) return;
    m_model->RefreshConfiguration();
    ShowSelectionState();  // a control that worked refreshed the list
}

void CServicesDlg::OnColumnClick(wxListEvent& event)
{
    if (!m_model) return;
    wxBusyCursor wait;
    m_model->ClickHeader(event.GetColumn());
}

void CServicesDlg::OnItemSelected(wxListEvent& event)
{
    if (!m_model) return;
    m_model->SelectionChanged(m_model->RecordAt(static_cast<int>(event.GetIndex())), true);
    ShowSelectionState();
    if (m_description != nullptr) m_description->ChangeValue(m_model->descriptionText());
}

void CServicesDlg::OnItemDeselected(wxListEvent&)
{
    if (!m_model) return;
    m_model->SelectionChanged(nullptr, false);
    ShowSelectionState();
    if (m_description != nullptr) m_description->ChangeValue(m_model->descriptionText());
}

// Double-click opens the module's file properties once that dialog exists.
// Double-click: the file properties of the selected service's module, in the
// folder it lies in ("\\Windows" when the service manager names no path).
void CServicesDlg::OnItemActivated(wxListEvent&)
{
    const ServiceRow* row = m_model ? m_model->Selected() : nullptr;
    if (row == nullptr || m_platform == nullptr) return;
    if (row->modulePath.empty()) {
        CFilePropertiesDlg::Run(*m_platform, L"\\Windows", row->module);
        return;
    }
    const std::wstring folder = DirectoryOf(row->modulePath);
    const std::wstring name = folder.empty() ? row->modulePath : row->modulePath.substr(folder.size() + 1);
    CFilePropertiesDlg::Run(*m_platform, folder, name);
}

// The context menu of a row holds Refresh configuration.
void CServicesDlg::OnItemRightClick(wxListEvent&)
{
    wxMenu menu;
    menu.Append(kIdcRefresh, "Refresh &Configuration");
    PopupMenu(&menu);
}

}  // namespace kestrun
