#include "dialogs/FilePropertiesDlg.h"

#include "display/ControlFit.h"
#include "display/core/MessageBox.h"
#include "pages/core/AppServices.h"

#include <wx/checkbox.h>
#include <wx/textctrl.h>
#include <wx/utils.h>
#include <wx/xrc/xmlres.h>

#include <optional>

namespace kestrun {

namespace {
enum : int {
    kIdcDescription = 1077,
    kIdcLocation = 1078,
    kIdcSize = 1079,
    kIdcCreated = 1080,
    kIdcLastChange = 1081,
    kIdcLastAccess = 1082,
    kIdcVersion = 1085,
    kIdcCopyright = 1086,
    kIdcCompany = 1087,
    kIdcInRom = 1073,
    kIdcRomModule = 1074,
    kIdcReadOnly = 1075,
    kIdcCompressed = 1076,
    kIdcSystem = 1083,
    kIdcHidden = 1084,
};
}  // namespace

CFilePropertiesDlg::CFilePropertiesDlg(platform::Platform& platform, const std::wstring& location, const std::wstring& fileName)
    : m_shown(ReadFileProperties(platform.shell(), location, fileName))
{
}

bool CFilePropertiesDlg::Create(wxWindow* parent)
{
    if (!wxXmlResource::Get()->LoadDialog(this, parent, kFilePropertiesInfo.templateName)) return false;
    SetClientSize(GetSize());
    WidenCheckBoxesToFit(this);
    Fill();
    SetTitle(m_shown.caption);
    Bind(wxEVT_CHECKBOX, &CFilePropertiesDlg::OnBoxClicked, this);
    Bind(wxEVT_CHAR_HOOK, &CFilePropertiesDlg::OnCharHook, this);
    Bind(wxEVT_HELP, &CFilePropertiesDlg::OnHelp, this);
    Bind(wxEVT_CLOSE_WINDOW, &CFilePropertiesDlg::OnClose, this);
    CentreOnScreen();
    return true;
}

void CFilePropertiesDlg::Fill()
{
    const std::pair<int, const std::wstring*> texts[] = {
        {kIdcLocation, &m_shown.location},   {kIdcDescription, &m_shown.description}, {kIdcVersion, &m_shown.version},
        {kIdcCopyright, &m_shown.copyright}, {kIdcCompany, &m_shown.company},         {kIdcSize, &m_shown.size},
        {kIdcCreated, &m_shown.created},     {kIdcLastChange, &m_shown.lastChange},   {kIdcLastAccess, &m_shown.lastAccess},
    };
    for (const auto& [id, text] : texts)
        if (auto* box = wxDynamicCast(FindWindow(id), wxTextCtrl)) box->ChangeValue(*text);
    const std::pair<int, bool> boxes[] = {
        {kIdcReadOnly, m_shown.readOnly},     {kIdcSystem, m_shown.system}, {kIdcHidden, m_shown.hidden},
        {kIdcCompressed, m_shown.compressed}, {kIdcInRom, m_shown.inRom},   {kIdcRomModule, m_shown.romModule},
    };
    for (const auto& [id, set] : boxes)
        if (auto* box = wxDynamicCast(FindWindow(id), wxCheckBox)) box->SetValue(set);
}

// The caption's close button is the dialog's OK.
void CFilePropertiesDlg::OnClose(wxCloseEvent&)
{
    if (IsModal()) EndModal(wxID_OK);
}

// The boxes show the attributes; a click does not change them.
void CFilePropertiesDlg::OnBoxClicked(wxCommandEvent&) { Fill(); }

void CFilePropertiesDlg::OnCharHook(wxKeyEvent& event)
{
    if (!event.HasAnyModifiers() && (event.GetKeyCode() == WXK_ESCAPE || event.GetKeyCode() == WXK_RETURN)) {
        EndModal(wxID_OK);  // the caption's OK
        return;
    }
    if (!event.HasAnyModifiers() && event.GetKeyCode() == WXK_F1) {
        ShowPropertiesHelp();
        return;
    }
    event.Skip();
}

void CFilePropertiesDlg::ShowPropertiesHelp()
{
    if (App().ShowHelp(kFilePropertiesInfo.anchor)) return;
    MessageBox(kFilePropertiesInfo.description, kMbOk | kMbIconQuestion);
}

void CFilePropertiesDlg::OnHelp(wxHelpEvent&) { ShowPropertiesHelp(); }

void CFilePropertiesDlg::Run(platform::Platform& platform, const std::wstring& location, const std::wstring& fileName)
{
    std::optional<wxBusyCursor> wait(std::in_place);  // while the file is read
    CFilePropertiesDlg dialog(platform, location, fileName);
    const bool made = dialog.Create(nullptr);
    wait.reset();
    if (made) dialog.ShowModal();
}

}  // namespace kestrun
