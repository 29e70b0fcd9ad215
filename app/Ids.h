// Command and control ids of the main window.
#pragma once

#include "pages/core/Ticks.h"

namespace kestrun {

// The program's command numbers are fixed (32777 Refresh, 57665 Exit, ...), but the
// toolkit takes ids below 32767 only: a command's id is its number modulo 32768.
constexpr int WxCommandId(int number) { return number & 0x7FFF; }

enum CommandId : int {
    ID_APP_ABOUT = WxCommandId(57664),
    ID_APP_EXIT = WxCommandId(57665),
    ID_HELP_CONTENTS = WxCommandId(32787),
    ID_OPTIONS_ALWAYS_ON_TOP = WxCommandId(32783),
    ID_OPTIONS_HIDE_WHEN_MINIMIZED = WxCommandId(32784),
    ID_OPTIONS_MINIMIZE_AFTER_SWITCH = WxCommandId(32788),
    ID_OPTIONS_AUTO_SCALE = WxCommandId(32791),
    ID_TOOLS_REBOOT = WxCommandId(32792),
    ID_VIEW_REFRESH = WxCommandId(32777),
    ID_SPEED_NORMAL = WxCommandId(32779),
    ID_SPEED_FAST = WxCommandId(32780),
    ID_SPEED_SLOW = WxCommandId(32781),
    ID_SPEED_STOPPED = WxCommandId(32782),
    ID_VIEW_SELECTED_INTERFACE = WxCommandId(32789),
    ID_PRIORITY_REALTIME = WxCommandId(32794),
    ID_PRIORITY_HIGHEST = WxCommandId(32795),
    ID_PRIORITY_ABOVE_NORMAL = WxCommandId(32796),
    ID_PRIORITY_NORMAL = WxCommandId(32797),
    ID_PRIORITY_BELOW_NORMAL = WxCommandId(32798),
    ID_PRIORITY_LOWEST = WxCommandId(32799),
    ID_TOOLS_SHOW_ALL_DLLS = WxCommandId(32802),
};

enum ControlId : int {
    IDC_TAB = 1111,          // the view's tab control
    ID_UPDATE_TIMER = 1,     // timer 1 of the view
};

}  // namespace kestrun
