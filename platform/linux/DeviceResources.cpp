#include "platform/linux/DeviceResources.h"

#include "platform/linux/Lines.h"

#include <charconv>
#include <string>

namespace kestrun::platform::linux_backend {

namespace {

constexpr uint64_t kIoFlag = 0x100;      // IORESOURCE_IO
constexpr uint64_t kMemoryFlag = 0x200;  // IORESOURCE_MEM
constexpr size_t kPciBars = 6;           // line 6 is the expansion ROM

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

// Takes the next blank-separated word off text.
std::string_view NextWord(std::string_view& text)
{
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    size_t n = 0;
    while (n < text.size() && !IsBlank(text[n])) ++n;
    const std::string_view word = text.substr(0, n);
    text.remove_prefix(n);
    return word;
}

// "0x3f8" (the prefix required when hex is true) or "26".
std::optional<uint64_t> ParseWord(std::string_view word, bool hexOnly)
{
    int base = 10;
    if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
        word.remove_prefix(2);
        base = 16;
    } else if (hexOnly) {
        return std::nullopt;
    }
    if (word.empty()) return std::nullopt;
    uint64_t value = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value, base);
    if (error != std::errc() || end != word.data() + word.size()) return std::nullopt;
    return value;
}

// "0x3f8-0x3ff" -> the inclusive range.
bool ParseSpan(std::string_view word, ResourceRange& range)
{
    const size_t dash = word.find('-');
    if (dash == std::string_view::npos) return false;
    const auto start = ParseWord(word.substr(0, dash), true);
    const auto end = ParseWord(word.substr(dash + 1), true);
    if (!start || !end || *end < *start) return false;
    range.start = *start;
    range.end = *end;
    return true;
}

}  // namespace

std::vector<ResourceRange> ParsePciResource(std::string_view text)
{
    std::vector<ResourceRange> ranges;
    size_t line = 0;
    ForEachLine(text, [&](std::string_view rest) {
        if (line++ >= kPciBars) return;
        const auto start = ParseWord(NextWord(rest), true);
        const auto end = ParseWord(NextWord(rest), true);
        const auto flags = ParseWord(NextWord(rest), true);
        if (!start || !end || !flags || !Trim(rest).empty()) return;
        if ((*start == 0 && *end == 0) || *end < *start) return;
        ResourceRange range;
        range.start = *start;
        range.end = *end;
        if ((*flags & kIoFlag) != 0) range.kind = ResourceKind::Io;
        else if ((*flags & kMemoryFlag) != 0) range.kind = ResourceKind::Memory;
        else return;
        ranges.push_back(range);
    });
    return ranges;
}

PnpResources ParsePnpResources(std::string_view text)
{
    PnpResources resources;
    ForEachLine(text, [&](std::string_view rest) {
        const std::string_view type = NextWord(rest);
        const std::string_view value = NextWord(rest);
        if (type == "io" || type == "mem") {
            ResourceRange range;
            range.kind = type == "io" ? ResourceKind::Io : ResourceKind::Memory;
            if (ParseSpan(value, range)) resources.ranges.push_back(range);  // "disabled" does not parse
        } else if (type == "irq") {
            const auto number = ParseWord(value, false);
            if (number && *number <= UINT32_MAX) resources.interrupts.push_back(static_cast<uint32_t>(*number));
        }
    });
    return resources;
}

std::optional<uint64_t> ParseSysfsNumber(std::string_view text)
{
    text = Trim(text);
    return ParseWord(text, false);
}

std::optional<int> ParsePciPowerState(std::string_view text)
{
    text = Trim(text);
    if (text == "D0") return 0;
    if (text == "D1") return 1;
    if (text == "D2") return 2;
    if (text == "D3hot" || text == "D3") return 3;
    if (text == "D3cold") return 4;
    return std::nullopt;
}

std::optional<int> ParseRuntimeStatus(std::string_view text)
{
    text = Trim(text);
    if (text == "active" || text == "suspending") return 0;
    if (text == "suspended" || text == "resuming") return 3;
    return std::nullopt;
}

}  // namespace kestrun::platform::linux_backend
