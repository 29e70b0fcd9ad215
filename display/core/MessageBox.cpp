#include "display/core/MessageBox.h"

#include "platform/Types.h"

#include <cstdio>
#include <utility>

namespace kestrun {

namespace {
MessageBoxHandler& Handler()
{
    static MessageBoxHandler handler;
    return handler;
}

int SafeAnswer(unsigned style)
{
    switch (style & 0xF) {
    case kMbOkCancel: return kIdCancel;
    case kMbYesNo: return kIdNo;
    default: return kIdOk;
    }
}
}  // namespace

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler)
{
    return std::exchange(Handler(), std::move(handler));
}

unsigned WithDefaultIcon(unsigned style)
{
    if ((style & kMbIconMask) != 0) return style;
    return style | ((style & 0xF) == kMbYesNo ? kMbIconQuestion : kMbIconExclamation);
}

int MessageBox(const std::wstring& text, unsigned style, const std::wstring& caption)
{
    const MessageBoxRequest request{text, caption, WithDefaultIcon(style)};
    if (Handler()) return Handler()(request);
    std::fprintf(stderr, "%s%s%s\n", platform::Narrow(caption).c_str(), caption.empty() ? "" : ": ",
                 platform::Narrow(text).c_str());
    return SafeAnswer(style);
}

}  // namespace kestrun
