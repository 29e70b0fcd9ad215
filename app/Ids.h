// Command and control ids of the main window; fixed numbers.
#pragma once

namespace kestrun {

enum CommandId : int {
    ID_APP_ABOUT = 57664,
    ID_APP_EXIT = 57665,
    ID_HELP_CONTENTS = 32787,
    ID_OPTIONS_ALWAYS_ON_TOP = 32783,
    ID_OPTIONS_HIDE_WHEN_MINIMIZED = 32784,
    ID_OPTIONS_MINIMIZE_AFTER_SWITCH = 32788,
    ID_OPTIONS_AUTO_SCALE = 32791,
    ID_TOOLS_REBOOT = 32792,
    ID_VIEW_REFRESH = 32777,
    ID_SPEED_NORMAL = 32779,
    ID_SPEED_FAST = 32780,
    ID_SPEED_SLOW = 32781,
    ID_SPEED_STOPPED = 32782,
    ID_VIEW_SELECTED_INTERFACE = 32789,
    ID_PRIORITY_REALTIME = 32794,
    ID_PRIORITY_HIGHEST = 32795,
    ID_PRIORITY_ABOVE_NORMAL = 32796,
    ID_PRIORITY_NORMAL = 32797,
    ID_PRIORITY_BELOW_NORMAL = 32798,
    ID_PRIORITY_LOWEST = 32799,
    ID_TOOLS_SHOW_ALL_DLLS = 32802,
};

enum ControlId : int {
    IDC_TAB = 1111,          // the view's tab control
    ID_VIEW_PANE = 0xE900,   // the view in the frame
    ID_COMMAND_BAR = 0xE800,
    ID_UPDATE_TIMER = 1,     // timer 1 of the view
};

// Timer ids of the refresh tick.
inline constexpr int kTickUpdateTimer = 1;
inline constexpr int kTickRefreshCommand = 2;

}  // namespace kestrun
