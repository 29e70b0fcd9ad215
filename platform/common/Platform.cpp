#include "platform/Platform.h"

namespace kestrun::platform {

namespace {
std::unique_ptr<Platform>& Slot()
{
    static std::unique_ptr<Platform> platform;
    return platform;
}
}  // namespace

void Install(std::unique_ptr<Platform> platform) { Slot() = std::move(platform); }

Platform& Current() { return *Slot(); }

bool IsInstalled() { return Slot() != nullptr; }

}  // namespace kestrun::platform
