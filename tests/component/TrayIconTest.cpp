// The notification icon on a display without a notification area.
#include "app/TrayIcon.h"
#include "display/core/MessageBox.h"

#include <gtest/gtest.h>

#include <wx/taskbar.h>

#include <string>
#include <vector>

namespace kestrun {
namespace {

TEST(TrayIconWithoutTray, SaysOnceThatTheIconCannotBeAddedAndGoesOn)
{
    ASSERT_FALSE(wxTaskBarIcon::IsAvailable()) << "the test display has no notification area";
    std::vector<std::wstring> boxes;
    const MessageBoxHandler previous = SetMessageBoxHandler([&boxes](const MessageBoxRequest& request) {
        boxes.push_back(request.text);
        return kIdOk;
    });
    {
        CTrayIcon tray([] { return true; }, [] {}, [] {});
        tray.Create();
        tray.UpdateTrayIcon(55);
        tray.UpdateTrayIcon(100);
        EXPECT_EQ(tray.state().iconIndex(), 11);
        EXPECT_EQ(tray.state().tooltip(), L"CPU Load: 100%");
        tray.Destroy();
    }
    SetMessageBoxHandler(previous);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], L"The taskbar notification icon cannot be added.");
}

}  // namespace
}  // namespace kestrun
