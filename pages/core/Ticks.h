// The ids of the refresh tick the view sends the pages (and the pages pass on
// to their detail dialogs).
#pragma once

namespace kestrun {

inline constexpr int kTickUpdateTimer = 1;     // the view's update timer
inline constexpr int kTickRefreshCommand = 2;  // View > Refresh: lists are rebuilt

}  // namespace kestrun
