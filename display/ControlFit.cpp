#include "display/ControlFit.h"

#include <wx/checkbox.h>
#include <wx/window.h>

namespace kestrun {

void WidenCheckBoxesToFit(wxWindow* parent)
{
    for (wxWindow* child : parent->GetChildren()) {
        auto* box = dynamic_cast<wxCheckBox*>(child);
        if (box == nullptr) continue;
        const wxSize size = box->GetSize();
        const int needed = box->GetBestSize().x;
        if (size.x < needed) box->SetSize(needed, size.y);
    }
}

}  // namespace kestrun
