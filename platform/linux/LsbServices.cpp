#include "platform/linux/LsbServices.h"

#include "platform/LastError.h"
#include "platform/Types.h"
#include "platform/common/PathName.h"
#include "platform/linux/Dir.h"
#include "platform/linux/TimedCommand.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string_view>
#include <sys/stat.h>

namespace kestrun::platform::linux_backend {

namespace {

// Files of /etc/init.d that are not services.
bool IsScriptName(std::string_view name)
{
    if (name.empty() || name.front() == '.') return false;
    for (std::string_view skip : {"README", "skeleton", "rc", "rcS", "functions"})
        if (name == skip) return false;
    for (std::string_view suffix : {".dpkg-old", ".dpkg-new", ".dpkg-dist", ".dpkg-tmp", "~"})
        if (name.size() >= suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
            return false;
    return true;
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

std::string ReadHead(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::string text(16384, '\0');  // the header and the variables come first
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    return text;
}

std::wstring ActionText(const std::string& path, const char* action)
{
    return Widen(path) + L" " + Widen(action);
}

// LSB exit codes of the actions other than status.
const char* LsbExitMeaning(int code)
{
    switch (code) {
    case 1: return "generic or unspecified error";
    case 2: return "invalid or excess arguments";
    case 3: return "unimplemented feature";
    case 4: return "insufficient privilege";
    case 5: return "program is not installed";
    case 6: return "program is not configured";
    case 7: return "program is not running";
    default: return "error";
    }
}

uint32_t ErrnoOfLsbExit(int code)
{
    switch (code) {
    case 2: return EINVAL;
    case 3: return EOPNOTSUPP;
    case 4: return EPERM;
    case 5: return ENOENT;
    case 7: return ESRCH;
    default: return EIO;
    }
}

}  // namespace

InitScriptInfo ParseInitScript(const std::string& text)
{
    InitScriptInfo info;
    bool inHeader = false;
    std::istringstream lines(text);
    std::string raw;
    while (std::getline(lines, raw)) {
        const std::string_view line = Trim(raw);
        if (line == "### BEGIN INIT INFO") {
            inHeader = true;
        } else if (line == "### END INIT INFO") {
            inHeader = false;
        } else if (inHeader && line.rfind("# Short-Description:", 0) == 0) {
            info.shortDescription = std::string(Trim(line.substr(std::strlen("# Short-Description:"))));
        } else if (info.daemon.empty() && line.rfind("DAEMON=", 0) == 0) {
            std::string_view value = Trim(line.substr(std::strlen("DAEMON=")));
            if (!value.empty() && (value.front() == '"' || value.front() == '\'')) {
                const char quote = value.front();
                value.remove_prefix(1);
                value = value.substr(0, value.find(quote));
            }
            // Only a literal path: anything with a variable or a command in it is not one.
            if (!value.empty() && value.front() == '/' && value.find_first_of("$`; \t") == std::string_view::npos)
                info.daemon = std::string(value);
        }
    }
    return info;
}

LsbServices::LsbServices(LsbOptions options) : options_(std::move(options)) {}

// The lowest "S<nn><name>" start link over the rc?.d folders, per script name.
std::unordered_map<std::string, uint32_t> LsbServices::StartOrders() const
{
    std::unordered_map<std::string, uint32_t> orders;
    for (const char level : std::string_view("0123456S")) {
        const std::string dir = options_.rcRoot + "/rc" + level + ".d";
        Dir d(dir);
        if (!d.valid()) continue;
        while (const dirent* e = d.Next()) {
            const std::string_view link = e->d_name;
            if (link.size() < 4 || link[0] != 'S' || !std::isdigit(static_cast<unsigned char>(link[1])) ||
                !std::isdigit(static_cast<unsigned char>(link[2])))
                continue;
            const auto order = static_cast<uint32_t>((link[1] - '0') * 10 + (link[2] - '0'));
            auto [it, added] = orders.emplace(std::string(link.substr(3)), order);
            if (!added) it->second = std::min(it->second, order);
        }
    }
    return orders;
}

LsbServices::Script* LsbServices::Find(const std::string& name)
{
    if (!IsScriptName(name) || name.find('/') != std::string::npos || name == "..") return nullptr;
    const std::string path = options_.initDir + "/" + name;
    struct stat st{};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || (st.st_mode & 0111) == 0) return nullptr;
    Script& script = scripts_[name];
    if (script.path.empty() || script.modified.tv_sec != st.st_mtim.tv_sec || script.modified.tv_nsec != st.st_mtim.tv_nsec) {
        script.path = path;
        script.modified = st.st_mtim;
        script.info = ParseInitScript(ReadHead(path));
    }
    return &script;
}

std::optional<std::vector<LinuxService>> LsbServices::List()
{
    Dir d(options_.initDir);
    if (!d.valid()) {
        const int error = errno;
        FailWithText(static_cast<uint32_t>(error), L"No service manager answers: there is no system bus, and " +
                                                       Widen(options_.initDir) + L" cannot be read (" +
                                                       Widen(std::strerror(error)) + L").");
        return std::nullopt;
    }
    std::vector<std::string> names;
    while (const dirent* e = d.Next())
        if (IsScriptName(e->d_name)) names.emplace_back(e->d_name);
    std::sort(names.begin(), names.end());

    const std::unordered_map<std::string, uint32_t> orders = StartOrders();
    std::vector<LinuxService> services;
    for (const std::string& name : names) {
        Script* script = Find(name);
        if (script == nullptr) continue;
        LinuxService service;
        service.entry.prefix = Widen(name);
        const std::string& program = script->info.daemon.empty() ? script->path : script->info.daemon;
        service.entry.dllPath = Widen(program);
        service.entry.dllName = Widen(std::string(FileNameOf(program)));
        service.displayName = Widen(script->info.shortDescription);
        if (const auto order = orders.find(name); order != orders.end()) service.order = order->second;
        service.entry.state = kServiceUnknown;
        if (!script->hangs) {
            const CommandResult status = RunWithTimeout({script->path, "status"}, options_.statusTimeout);
            if (status.outcome == CommandResult::Outcome::TimedOut) script->hangs = true;
            if (status.outcome == CommandResult::Outcome::Exited && status.exitCode == 0) service.entry.state = kServiceRunning;
            if (status.outcome == CommandResult::Outcome::Exited && status.exitCode == 3) service.entry.state = kServiceOff;
        }
        services.push_back(std::move(service));
    }
    return services;
}

bool LsbServices::Control(const std::string& name, ServiceControl code)
{
    const char* action = code == ServiceControl::Start ? "start"
                         : code == ServiceControl::Stop ? "stop"
                         : code == ServiceControl::Refresh ? "reload"
                                                            : nullptr;
    if (action == nullptr) return Fail(EINVAL);
    Script* script = Find(name);
    if (script == nullptr)
        return FailWithText(ENOENT, L"There is no init script " + Widen(name) + L" in " + Widen(options_.initDir) + L".");
    script->hangs = false;  // its state is worth asking again
    const CommandResult run = RunWithTimeout({script->path, action}, options_.controlTimeout);
    const std::wstring what = ActionText(script->path, action);
    switch (run.outcome) {
    case CommandResult::Outcome::Exited:
        if (run.exitCode == 0) return true;
        return FailWithText(ErrnoOfLsbExit(run.exitCode), what + L" exited with status " + std::to_wstring(run.exitCode) +
                                                               L" (" + Widen(LsbExitMeaning(run.exitCode)) + L").");
    case CommandResult::Outcome::Signalled:
        return FailWithText(EINTR, what + L" was ended by signal " + std::to_wstring(run.signal) + L".");
    case CommandResult::Outcome::TimedOut:
        return FailWithText(ETIMEDOUT, what + L" did not finish within " +
                                           std::to_wstring((options_.controlTimeout.count() + 999) / 1000) + L" s.");
    case CommandResult::Outcome::NotRun:
        break;
    }
    return FailWithText(static_cast<uint32_t>(run.error), what + L" cannot be run (" + Widen(std::strerror(run.error)) + L").");
}

}  // namespace kestrun::platform::linux_backend
