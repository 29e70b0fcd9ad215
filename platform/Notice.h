// Notices for the user from below the windows: a fallback taken, a damaged file
// kept aside. Each is one line; by default it goes to standard error as
// "kestrun: TEXT". The program goes on after every notice.
#pragma once

#include <functional>
#include <string>

namespace kestrun::platform {

using NoticeHandler = std::function<void(const std::string& text)>;

// Replaces where notices go (null: standard error again); returns the previous handler.
NoticeHandler SetNoticeHandler(NoticeHandler handler);

void Notify(const std::string& text);

}  // namespace kestrun::platform
