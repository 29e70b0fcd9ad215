// The About box as a real dialog: its first line names the program and the
// version the build gives, every line shows its whole text inside the box and
// clear of the OK button, and Return (or Escape) closes it.
#include "app/AboutDlg.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/button.h>
#include <wx/stattext.h>
#include <wx/timer.h>

#include <string>

namespace kestrun {
namespace {

const char* const kLines[] = {"IDC_ABOUT_VERSION", "IDC_ABOUT_PUBLISHER", "IDC_ABOUT_LICENSE"};

TEST(AboutBox, NamesTheProgramAndTheBuildsVersion)
{
    EXPECT_EQ(AboutVersionLine(), L"Kestrun Task Manager Version " + std::wstring(KESTRUN_VERSION, KESTRUN_VERSION + sizeof KESTRUN_VERSION - 1));
    CAboutDlg dialog;
    ASSERT_TRUE(dialog.Create(nullptr));
    EXPECT_EQ(dialog.GetTitle(), "About Kestrun");
    const auto* version = wxDynamicCast(dialog.FindWindow("IDC_ABOUT_VERSION"), wxStaticText);
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version->GetLabel().ToStdWstring(), AboutVersionLine());
    for (const char* name : kLines)
        EXPECT_EQ(static_cast<const wxStaticText*>(dialog.FindWindow(name))->GetLabel().Find("Windows"), wxNOT_FOUND) << name;
}

TEST(AboutBox, EveryLineFitsWhollyInsideTheBoxAndClearOfTheButton)
{
    CAboutDlg dialog;
    ASSERT_TRUE(dialog.Create(nullptr));
    const wxRect client(wxPoint(0, 0), dialog.GetClientSize());
    const wxWindow* ok = dialog.FindWindow(wxID_OK);
    ASSERT_NE(ok, nullptr);
    EXPECT_TRUE(client.Contains(ok->GetRect()));
    EXPECT_GE(ok->GetSize().y, ok->GetBestSize().y);
    int previousBottom = -1;
    for (const char* name : kLines) {
        const wxWindow* line = dialog.FindWindow(name);
        ASSERT_NE(line, nullptr) << name;
        const wxRect rect = line->GetRect();
        EXPECT_TRUE(client.Contains(rect)) << name;
        EXPECT_GE(rect.width, line->GetBestSize().x) << name << ": the text is cut short";
        EXPECT_GE(rect.height, line->GetBestSize().y) << name;
        EXPECT_FALSE(rect.Intersects(ok->GetRect())) << name << " touches the OK button";
        EXPECT_GT(rect.y, previousBottom) << name << " overlaps the line above";
        previousBottom = rect.GetBottom();
    }
}

TEST(AboutBox, ReturnAndEscapeCloseIt)
{
    for (const int key : {WXK_RETURN, WXK_ESCAPE}) {
        CAboutDlg dialog;
        ASSERT_TRUE(dialog.Create(nullptr));
        EXPECT_TRUE(CAboutDlg::Owns(dialog.FindWindow(wxID_OK)));
        // A box that does not close would hold the test: a timer ends it as a failure.
        wxTimer failsafe;
        failsafe.Bind(wxEVT_TIMER, [&dialog](wxTimerEvent&) { dialog.EndModal(wxID_ABORT); });
        failsafe.StartOnce(10000);
        dialog.CallAfter([&dialog, key] {
            wxKeyEvent event(wxEVT_CHAR_HOOK);
            event.m_keyCode = key;
            event.SetEventObject(dialog.FindWindow(wxID_OK));
            dialog.FindWindow(wxID_OK)->GetEventHandler()->ProcessEvent(event);
        });
        const int result = dialog.ShowModal();
        EXPECT_EQ(result, key == WXK_RETURN ? wxID_OK : wxID_CANCEL) << key;
    }
    EXPECT_FALSE(CAboutDlg::Owns(nullptr));
}

}  // namespace
}  // namespace kestrun
