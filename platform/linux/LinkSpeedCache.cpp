#include "platform/linux/LinkSpeedCache.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>

namespace kestrun::platform::linux_backend {

uint64_t ParseLinkSpeed(std::string_view text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.remove_suffix(1);
    int64_t mbits = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), mbits);
    if (error != std::errc() || end != text.data() + text.size()) return 0;
    // The kernel prints an unsigned 32-bit speed as a signed number: unknown is -1.
    if (mbits <= 0 || mbits >= 0xFFFFFFFF) return 0;
    return static_cast<uint64_t>(mbits) * 1000000u;
}

uint64_t LinkSpeedCache::SpeedOf(uint32_t index, std::string_view name, uint32_t state)
{
    auto [it, inserted] = entries_.try_emplace(index);
    Entry& entry = it->second;
    entry.pass = pass_;
    if (inserted || entry.state != state || entry.name != name) {
        entry.name.assign(name);
        entry.state = state;
        entry.speed = ReadSpeed(name);
    }
    return entry.speed;
}

std::string_view LinkSpeedCache::NameOf(uint32_t index) const
{
    auto it = entries_.find(index);
    return it == entries_.end() ? std::string_view() : std::string_view(it->second.name);
}

void LinkSpeedCache::Sweep()
{
    std::erase_if(entries_, [this](const auto& item) { return item.second.pass != pass_; });
}

uint64_t LinkSpeedCache::ReadSpeed(std::string_view name)
{
    // The name comes from a netlink message: it must name an entry of class/net, never a path.
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string_view::npos) return 0;
    const std::string path = sysRoot_ + "/class/net/" + std::string(name) + "/speed";
    ++fileReads_;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    char text[32];
    ssize_t length;
    do {
        length = read(fd, text, sizeof text);
    } while (length < 0 && errno == EINTR);
    close(fd);
    // A link that is down, or a driver without a speed, fails the read (EINVAL, EOPNOTSUPP).
    if (length <= 0) return 0;
    return ParseLinkSpeed(std::string_view(text, static_cast<size_t>(length)));
}

}  // namespace kestrun::platform::linux_backend
