#include "platform/linux/UnitFile.h"

#include <fstream>
#include <sstream>
#include <string_view>

namespace kestrun::platform::linux_backend {

namespace {

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

// "-/usr/bin/foo --x" -> "/usr/bin/foo": the prefixes that change how systemd
// runs the command ("-", "@", ":", "+", "!") go, and so do the arguments.
std::string ProgramOf(std::string_view command)
{
    while (!command.empty() && std::string_view("-@:+!").find(command.front()) != std::string_view::npos)
        command.remove_prefix(1);
    if (!command.empty() && (command.front() == '"' || command.front() == '\'')) {
        const char quote = command.front();
        command.remove_prefix(1);
        return std::string(command.substr(0, command.find(quote)));
    }
    return std::string(command.substr(0, command.find_first_of(" \t")));
}

}  // namespace

UnitFileSettings ParseUnitFile(const std::string& text)
{
    UnitFileSettings settings;
    std::string section;
    bool haveExec = false;
    std::istringstream lines(text);
    std::string raw;
    while (std::getline(lines, raw)) {
        const std::string_view line = Trim(raw);
        if (line.empty() || line.front() == '#' || line.front() == ';') continue;
        if (line.front() == '[') {
            section = std::string(line);
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        const std::string_view key = Trim(line.substr(0, eq));
        const std::string_view value = Trim(line.substr(eq + 1));
        if (section == "[Unit]" && key == "Description") {
            settings.description = std::string(value);
        } else if (section == "[Service]" && key == "ExecStart") {
            // An empty assignment clears the commands given so far.
            if (value.empty()) {
                settings.execStart.clear();
                haveExec = false;
            } else if (!haveExec) {
                settings.execStart = ProgramOf(value);
                haveExec = !settings.execStart.empty();
            }
        }
    }
    return settings;
}

UnitFileSettings ReadUnitFile(const std::string& path)
{
    std::ifstream in(path);
    if (!in) return {};
    std::ostringstream text;
    text << in.rdbuf();
    return ParseUnitFile(text.str());
}

}  // namespace kestrun::platform::linux_backend
