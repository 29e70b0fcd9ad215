#include "platform/linux/ModuleCensus.h"

#include "platform/linux/Dir.h"
#include "platform/linux/ProcDir.h"
#include "platform/linux/ProcMaps.h"

#include <algorithm>
#include <cctype>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace kestrun::platform::linux_backend {

namespace {
bool AllDigits(const char* name)
{
    if (*name == '\0') return false;
    for (const char* p = name; *p != '\0'; ++p)
        if (std::isdigit(static_cast<unsigned char>(*p)) == 0) return false;
    return true;
}
}  // namespace

uint32_t ModuleCensus::UsersOf(int root, uint64_t processEpoch, uint32_t moduleId)
{
    const auto now = std::chrono::steady_clock::now();
    if (!counted_ || epoch_ != processEpoch || now - countedAt_ > kValidity) {
        Count(root);
        counted_ = true;
        epoch_ = processEpoch;
        countedAt_ = now;
    }
    const auto it = users_.find(moduleId);
    return std::max<uint32_t>(it == users_.end() ? 0 : it->second, 1);
}

void ModuleCensus::Count(int root)
{
    users_.clear();
    Dir list(root, ".");
    if (!list.valid()) return;  // no count: every module has its one user
    while (const dirent* entry = list.Next()) {
        if (!AllDigits(entry->d_name)) continue;
        const ProcDir dir(root, entry->d_name);
        if (!dir.valid() || dir.Read("maps", maps_) != ProcRead::kOk) continue;  // ended, or not ours to read
        for (const auto& module : ModulesFromMaps(maps_, 0)) ++users_[module.moduleId];
    }
}

}  // namespace kestrun::platform::linux_backend
