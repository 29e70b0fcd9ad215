#include "platform/linux/ProcInterrupts.h"

#include "platform/linux/Lines.h"

#include <charconv>

namespace kestrun::platform::linux_backend {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Splits one line into its blank-separated words.
std::vector<std::string_view> Words(std::string_view line)
{
    std::vector<std::string_view> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && IsBlank(line[i])) ++i;
        const size_t start = i;
        while (i < line.size() && !IsBlank(line[i])) ++i;
        if (i > start) words.push_back(line.substr(start, i - start));
    }
    return words;
}

bool AllDigits(std::string_view word)
{
    if (word.empty()) return false;
    for (char c : word)
        if (!IsDigit(c)) return false;
    return true;
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

// The handler list is "name" or "name1, name2"; a handler's name may hold blanks.
std::vector<std::string> SplitActions(std::string_view rest)
{
    std::vector<std::string> actions;
    size_t start = 0;
    while (start <= rest.size()) {
        size_t end = rest.find(',', start);
        if (end == std::string_view::npos) end = rest.size();
        const std::string_view action = Trim(rest.substr(start, end - start));
        if (!action.empty()) actions.emplace_back(action);
        start = end + 1;
    }
    return actions;
}

}  // namespace

std::vector<InterruptLine> ParseInterrupts(std::string_view text)
{
    std::vector<InterruptLine> lines;
    size_t cpus = 0;  // 0: not known, every leading number is a count
    bool first = true;
    ForEachLine(text, [&](std::string_view line) {
        const std::vector<std::string_view> words = Words(line);
        if (first) {
            first = false;
            if (!words.empty() && words.front().substr(0, 3) == "CPU") {
                cpus = words.size();
                return;
            }
        }
        if (words.empty()) return;
        const std::string_view label = words.front();
        if (label.size() < 2 || label.back() != ':' || !AllDigits(label.substr(0, label.size() - 1))) return;
        InterruptLine entry;
        const auto [end, error] = std::from_chars(label.data(), label.data() + label.size() - 1, entry.number);
        if (error != std::errc() || end != label.data() + label.size() - 1) return;

        size_t w = 1;
        for (size_t counted = 0; w < words.size() && AllDigits(words[w]) && (cpus == 0 || counted < cpus); ++w, ++counted) {}
        if (w < words.size()) entry.chip = std::string(words[w++]);
        // The hardware field: the controller's number (with "-edge" or "-level"
        // run on), a separate trigger word, or a bare "-name" when there is no number.
        const size_t hardwareStart = w;
        if (w < words.size() && IsDigit(words[w].front())) ++w;
        if (w < words.size() && (words[w] == "Edge" || words[w] == "Level")) ++w;
        if (w < words.size() && words[w].front() == '-') ++w;
        for (size_t k = hardwareStart; k < w; ++k) {
            if (!entry.hardware.empty()) entry.hardware += ' ';
            entry.hardware += words[k];
        }
        if (w < words.size()) {
            const size_t restStart = static_cast<size_t>(words[w].data() - line.data());
            entry.actions = SplitActions(line.substr(restStart));
        }
        lines.push_back(std::move(entry));
    });
    return lines;
}

bool ServesDevice(const InterruptLine& line, std::string_view name)
{
    if (name.empty()) return false;
    for (const std::string& action : line.actions) {
        if (action == name) return true;
        if (action.size() > name.size() && action.compare(0, name.size(), name) == 0 && action[name.size()] == '-') return true;
    }
    // Message-signalled chips carry the device's address: "PCI-MSI-0000:00:1f.2", "IR-PCI-MSIX-...".
    const std::string_view chip = line.chip;
    return chip.size() > name.size() && chip.substr(chip.size() - name.size()) == name && chip[chip.size() - name.size() - 1] == '-' &&
           chip.find("MSI") != std::string_view::npos;
}

std::vector<std::string> ParseModules(std::string_view text)
{
    std::vector<std::string> names;
    ForEachLine(text, [&](std::string_view line) {
        const std::vector<std::string_view> words = Words(line);
        if (!words.empty()) names.emplace_back(words.front());
    });
    return names;
}

}  // namespace kestrun::platform::linux_backend
