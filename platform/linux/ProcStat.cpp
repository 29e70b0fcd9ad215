#include "platform/linux/ProcStat.h"

#include <array>
#include <charconv>

namespace kestrun::platform::linux_backend {

namespace {

template <typename T>
bool ParseNumber(std::string_view text, T& value)
{
    if (text.empty()) return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

}  // namespace

std::optional<ProcStat> ParseProcStat(std::string_view text)
{
    const size_t open = text.find('(');
    const size_t close = text.rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open) return std::nullopt;

    ProcStat stat;
    std::string_view pid = text.substr(0, open);
    while (!pid.empty() && pid.back() == ' ') pid.remove_suffix(1);
    if (!ParseNumber(pid, stat.pid)) return std::nullopt;
    stat.comm.assign(text.substr(open + 1, close - open - 1));

    // Fields 3 and on, split at blanks; index 0 is field 3.
    constexpr size_t kWanted = 41 - 2;
    std::array<std::string_view, kWanted> fields{};
    size_t count = 0;
    // A plain scan: this runs for every process on every refresh, and the
    // string searches for a set of characters cost a call per character.
    const char* at = text.data() + close + 1;
    const char* const end = text.data() + text.size();
    auto blank = [](char c) { return c == ' ' || c == '\n'; };
    while (count < kWanted) {
        while (at != end && blank(*at)) ++at;
        if (at == end) break;
        const char* const begin = at;
        while (at != end && !blank(*at)) ++at;
        fields[count++] = std::string_view(begin, static_cast<size_t>(at - begin));
    }
    constexpr size_t kRequired = 23 - 2;  // up to vsize
    if (count < kRequired) return std::nullopt;
    auto field = [&](int number) { return fields[static_cast<size_t>(number - 3)]; };

    if (field(3).size() != 1) return std::nullopt;
    stat.state = field(3)[0];
    bool ok = ParseNumber(field(4), stat.ppid) && ParseNumber(field(9), stat.flags) && ParseNumber(field(14), stat.utime) &&
              ParseNumber(field(15), stat.stime) && ParseNumber(field(18), stat.priority) && ParseNumber(field(19), stat.nice) &&
              ParseNumber(field(20), stat.numThreads) && ParseNumber(field(22), stat.startTime) &&
              ParseNumber(field(23), stat.vsize);
    if (ok && count >= 24 - 2) ok = ParseNumber(field(24), stat.rss);
    if (ok && count >= 26 - 2) ok = ParseNumber(field(26), stat.startCode);
    if (ok && count >= 41 - 2) ok = ParseNumber(field(40), stat.rtPriority) && ParseNumber(field(41), stat.policy);
    if (!ok) return std::nullopt;
    return stat;
}

}  // namespace kestrun::platform::linux_backend
