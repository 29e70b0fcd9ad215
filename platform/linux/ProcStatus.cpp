#include "platform/linux/ProcStatus.h"

#include <charconv>

namespace kestrun::platform::linux_backend {

namespace {

// The value of a "Name:   1234 kB" line in bytes; 0 when it is no number.
uint64_t KilobytesOf(std::string_view value)
{
    const size_t digits = value.find_first_not_of(" \t");
    if (digits == std::string_view::npos) return 0;
    value.remove_prefix(digits);
    uint64_t kb = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), kb);
    if (error != std::errc() || end == value.data()) return 0;
    const std::string_view unit(end, static_cast<size_t>(value.data() + value.size() - end));
    if (unit != " kB") return 0;
    return kb > (~uint64_t{0} >> 10) ? ~uint64_t{0} : kb << 10;
}

}  // namespace

uint64_t AnonymousInUse(std::string_view status)
{
    uint64_t resident = 0;
    uint64_t swapped = 0;
    while (!status.empty()) {
        const size_t end = status.find('\n');
        const std::string_view line = status.substr(0, end);
        if (line.starts_with("RssAnon:")) resident = KilobytesOf(line.substr(8));
        else if (line.starts_with("VmSwap:")) swapped = KilobytesOf(line.substr(7));
        if (end == std::string_view::npos) break;
        status.remove_prefix(end + 1);
    }
    return resident > ~uint64_t{0} - swapped ? ~uint64_t{0} : resident + swapped;
}

}  // namespace kestrun::platform::linux_backend
