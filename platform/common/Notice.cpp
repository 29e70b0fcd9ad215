#include "platform/Notice.h"

#include <cstdio>
#include <mutex>
#include <utility>

namespace kestrun::platform {

namespace {
std::mutex g_mutex;
NoticeHandler g_handler;
}  // namespace

NoticeHandler SetNoticeHandler(NoticeHandler handler)
{
    std::lock_guard lock(g_mutex);
    return std::exchange(g_handler, std::move(handler));
}

void Notify(const std::string& text)
{
    NoticeHandler handler;
    {
        std::lock_guard lock(g_mutex);
        handler = g_handler;
    }
    if (handler) {
        handler(text);
        return;
    }
    std::fprintf(stderr, "kestrun: %s\n", text.c_str());
}

}  // namespace kestrun::platform
