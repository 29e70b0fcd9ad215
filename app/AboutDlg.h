// The About box: the program's name and version as the build gives them, and
// two lines about its publisher, each laid out at the size its text needs.
#pragma once

#include <wx/dialog.h>

#include <string>

class wxStaticText;

namespace kestrun {

// "Kestrun Task Manager Version 0.1.0", from the build's name and version.
std::wstring AboutVersionLine();

class CAboutDlg : public wxDialog {
public:
    CAboutDlg() = default;

    // Loads template 100 as a child of parent; false when it cannot be loaded.
    bool Create(wxWindow* parent);

    // Whether window is this box or inside one: such keys are its own, not the
    // program's key filter's (Return and Escape close it).
    static bool Owns(wxWindow* window);

private:
    // Every line at the size its text needs, the OK button below the last one.
    void LayOut();
    void OnCharHook(wxKeyEvent& event);
};

}  // namespace kestrun
