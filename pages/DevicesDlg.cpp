#include "pages/DevicesDlg.h"

#include "dialogs/FilePropertiesDlg.h"
#include "display/core/Format.h"

#include "pages/core/Ticks.h"

#include <wx/button.h>
#include <wx/listctrl.h>
#include <wx/utils.h>

namespace kestrun {

namespace {
enum : int {
    kIdcDeviceList = 1097,
    kIdcDeactivate = 1098,
};
}  // namespace

CDevicesDlg::CDevicesDlg(wxWindow* parent)
{
    Init(parent, platform::IsInstalled() ? &platform::Current() : nullptr);
}

CDevicesDlg::CDevicesDlg(wxWindow* parent, platform::Platform* platform) { Init(parent, platform); }

CDevicesDlg::~CDevicesDlg()
{
    m_model.reset();  // every row record goes while the list still exists
}

void CDevicesDlg::Init(wxWindow* parent, platform::Platform* platform)
{
    CreatePage(parent, "IDD_DEVICESDLG");
    m_list = wxDynamicCast(FindWindow(kIdcDeviceList), VirtualListCtrl);
    if (m_list == nullptr)  // no template: the list still exists, so the page keeps working
        m_list = new VirtualListCtrl(this, kIdcDeviceList, wxDefaultPosition, GetClientSize(),
                                wxLC_REPORT | wxLC_SINGLE_SEL | wxBORDER_SUNKEN);
    m_deactivate = wxDynamicCast(FindWindow(kIdcDeactivate), wxButton);

    m_listView = std::make_unique<ListCtrlView>(m_list);
    m_platform = platform;
    if (platform != nullptr) {
        m_model = std::make_unique<DevicesModel>(*platform, *m_listView);
        m_model->InsertColumns();
        FillLastColumn();
    }

    Bind(wxEVT_BUTTON, &CDevicesDlg::OnDeactivate, this, kIdcDeactivate);
    Bind(wxEVT_LIST_COL_CLICK, &CDevicesDlg::OnColumnClick, this, kIdcDeviceList);
    Bind(wxEVT_LIST_ITEM_SELECTED, &CDevicesDlg::OnItemSelected, this, kIdcDeviceList);
    Bind(wxEVT_LIST_ITEM_DESELECTED, &CDevicesDlg::OnItemDeselected, this, kIdcDeviceList);
    Bind(wxEVT_LIST_ITEM_ACTIVATED, &CDevicesDlg::OnItemActivated, this, kIdcDeviceList);
}

bool CDevicesDlg::OnShowPage()
{
    BeginShow();
    RefreshList();
    if (m_model) m_model->SortIfOrdered();
    return true;
}

bool CDevicesDlg::OnHidePage()
{
    EndShow();
    return true;
}

void CDevicesDlg::OnTimerTick(int timerId)
{
    if (timerId == kTickRefreshCommand) {  // the Refresh command: a user-requested refresh
        wxBusyCursor wait;
        RefreshList();
        return;
    }
    RefreshList();
}

void CDevicesDlg::RefreshList()
{
    if (!m_model) return;
    m_model->Refresh();
    EnableDeactivate();
}

// Deactivate is usable exactly while a row is selected.
void CDevicesDlg::EnableDeactivate()
{
    if (m_deactivate != nullptr) m_deactivate->Enable(m_model && m_model->HasSelection());
}

void CDevicesDlg::LayoutControls(int dx, int dy)
{
    Grow(m_list, dx, dy);
    MoveDown(m_deactivate, dy);
    FillLastColumn();
}

// The last column (Registry Key) fills the list's width beyond the others, and
// is never narrower than its title.
void CDevicesDlg::FillLastColumn()
{
    const int last = m_list->GetColumnCount() - 1;
    if (last < 0) return;
    int used = 0;
    for (int column = 0; column < last; ++column) used += m_list->GetColumnWidth(column);
    m_list->SetColumnWidth(last, wxLIST_AUTOSIZE_USEHEADER);
    const int rest = m_list->GetClientSize().GetWidth() - used;
    if (rest > m_list->GetColumnWidth(last)) m_list->SetColumnWidth(last, rest);
}

void CDevicesDlg::OnDeactivate(wxCommandEvent&)
{
    if (!m_model) return;
    m_model->Deactivate();
    EnableDeactivate();
}

void CDevicesDlg::OnColumnClick(wxListEvent& event)
{
    if (!m_model) return;
    wxBusyCursor wait;
    m_model->ClickHeader(event.GetColumn());
}

void CDevicesDlg::OnItemSelected(wxListEvent&)
{
    if (m_deactivate != nullptr) m_deactivate->Enable();
}

void CDevicesDlg::OnItemDeselected(wxListEvent&)
{
    if (m_deactivate != nullptr) m_deactivate->Disable();
}

// Double-click opens the driver's file properties (ModuleToShow) once that dialog exists.
// Double-click: the file properties of the selected device's driver module.
// The device manager names the module, not its folder: it is looked for where
// the system keeps its drivers.
void CDevicesDlg::OnItemActivated(wxListEvent&)
{
    const DeviceRow* row = m_model ? m_model->Selected() : nullptr;
    if (row == nullptr || m_platform == nullptr || row->module.empty()) return;
    CFilePropertiesDlg::Run(*m_platform, L"\\Windows", row->module);
}

}  // namespace kestrun
