#include "display/WxMessageBox.h"

#include "display/core/MessageBox.h"

#include <wx/app.h>
#include <wx/msgdlg.h>
#include <wx/toplevel.h>

namespace kestrun {

namespace {
int g_showing = 0;

long WxStyle(unsigned style)
{
    long wx = 0;
    switch (style & 0xF) {
    case kMbOkCancel: wx |= wxOK | wxCANCEL; break;
    case kMbYesNo: wx |= wxYES_NO; break;
    default: wx |= wxOK; break;
    }
    if ((style & kMbDefButton2) != 0) wx |= ((style & 0xF) == kMbYesNo ? wxNO_DEFAULT : wxCANCEL_DEFAULT);
    switch (style & kMbIconMask) {
    case kMbIconStop: wx |= wxICON_ERROR; break;
    case kMbIconQuestion: wx |= wxICON_QUESTION; break;
    case kMbIconInformation: wx |= wxICON_INFORMATION; break;
    case kMbIconExclamation: wx |= wxICON_EXCLAMATION; break;
    default: break;
    }
    if ((style & kMbTopMost) != 0) wx |= wxSTAY_ON_TOP;
    return wx;
}

int Result(int wxResult)
{
    switch (wxResult) {
    case wxID_YES: return kIdYes;
    case wxID_NO: return kIdNo;
    case wxID_CANCEL: return kIdCancel;
    default: return kIdOk;
    }
}
}  // namespace

void InstallWxMessageBoxHandler()
{
    SetMessageBoxHandler([](const MessageBoxRequest& request) {
        wxWindow* parent = wxTheApp ? wxTheApp->GetTopWindow() : nullptr;
        if (parent != nullptr && !parent->IsShown()) parent = nullptr;
        const wxString caption = request.caption.empty() ? wxString(kAppName) : wxString(request.caption);
        wxMessageDialog dialog(parent, wxString(request.text), caption, WxStyle(request.style));
        ++g_showing;
        const int answer = dialog.ShowModal();
        --g_showing;
        return Result(answer);
    });
}

bool IsMessageBoxShowing() { return g_showing > 0; }

}  // namespace kestrun
