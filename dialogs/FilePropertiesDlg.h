// The File properties dialog: the folder, version strings, size, times and
// attributes of one file, shown modally.
#pragma once

#include "dialogs/core/FileProperties.h"
#include "platform/Platform.h"

#include <wx/dialog.h>

#include <string>

class wxCheckBox;

namespace kestrun {

class CFilePropertiesDlg final : public wxDialog {
public:
    static constexpr int kTemplateId = 140;

    // Reads the file named fileName in the folder location.
    CFilePropertiesDlg(platform::Platform& platform, const std::wstring& location, const std::wstring& fileName);
    // Makes the window from its template, filled; false when the template could not be loaded.
    bool Create(wxWindow* parent);

    [[nodiscard]] const FileProperties& shown() const { return m_shown; }

    // Shows the properties of a file modally, without a parent window.
    static void Run(platform::Platform& platform, const std::wstring& location, const std::wstring& fileName);

private:
    void Fill();
    void ShowPropertiesHelp();

    void OnBoxClicked(wxCommandEvent& event);
    void OnClose(wxCloseEvent& event);
    void OnCharHook(wxKeyEvent& event);
    void OnHelp(wxHelpEvent& event);

    FileProperties m_shown;
};

}  // namespace kestrun
