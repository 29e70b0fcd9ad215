// Reading a device profile (JSON). Every field is checked; the first problem
// becomes a one-line reason naming where it is.
#include "platform/sim/SimProfile.h"

#include "platform/sim/SimProfileReader.h"

#include <cwctype>
#include <fstream>
#include <set>
#include <sstream>

namespace kestrun::platform::sim {

std::wstring Lower(const std::wstring& text)
{
    std::wstring out(text);
    for (wchar_t& c : out) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    return out;
}

namespace {

using json = nlohmann::ordered_json;

void ReadModules(Reader& r, const json& root, SimProfile& profile)
{
    r.Each(root, "modules", "modules", [&](const json& j, const std::string& p) {
        ModuleSpec m;
        if (ReadModuleSpec(r, j, p, m)) profile.modules.push_back(std::move(m));
    });
}

void ReadProcesses(Reader& r, const json& root, SimProfile& profile, const std::set<std::wstring>& moduleNames)
{
    r.Each(root, "processes", "processes", [&](const json& j, const std::string& p) {
        ProcessSpec spec;
        if (ReadProcessSpec(r, j, p, moduleNames, spec)) profile.processes.push_back(std::move(spec));
    });
}

void ReadServices(Reader& r, const json& root, SimProfile& profile)
{
    r.Each(root, "services", "services", [&](const json& j, const std::string& p) {
        ServiceSpec s;
        if (ReadServiceSpec(r, j, p, s)) profile.services.push_back(std::move(s));
    });
}

void ReadDevices(Reader& r, const json& root, SimProfile& profile)
{
    r.Each(root, "devices", "devices", [&](const json& j, const std::string& p) {
        DeviceSpec d;
        if (ReadDeviceSpec(r, j, p, d)) profile.devices.push_back(std::move(d));
    });
}

void ReadInterfaces(Reader& r, const json& root, SimProfile& profile)
{
    std::set<uint64_t> indices;
    r.Each(root, "interfaces", "interfaces", [&](const json& j, const std::string& p) {
        InterfaceSpec s;
        if (!ReadInterfaceSpec(r, j, p, s)) return;
        if (!indices.insert(s.row.index).second) r.Error(p + ".index", "index " + std::to_string(s.row.index) + " is used twice");
        profile.interfaces.push_back(std::move(s));
    });
}

void ReadFiles(Reader& r, const json& root, SimProfile& profile)
{
    r.Each(root, "files", "files", [&](const json& j, const std::string& p) {
        if (!r.Object(j, p, {"path", "size", "attributes", "created", "written", "accessed", "version"})) return;
        FileSpec f;
        r.RequiredText(j, "path", p, f.path);
        r.Number(j, "size", p, f.info.size);
        r.Attributes(j, "attributes", p, f.info.attributes);
        uint64_t time = profile.bootTime;
        if (r.Time(j, "created", p, time)) f.info.creation = f.info.lastWrite = f.info.lastAccess = FileTime::FromValue(time);
        if (r.Time(j, "written", p, time)) f.info.lastWrite = FileTime::FromValue(time);
        if (r.Time(j, "accessed", p, time)) f.info.lastAccess = FileTime::FromValue(time);
        ReadVersion(r, j, p, f.version);
        profile.files.push_back(std::move(f));
    });
}

void ReadRegistry(Reader& r, const json& root, SimProfile& profile)
{
    if (!root.contains("registry")) return;
    const json& reg = root["registry"];
    if (!r.Object(reg, "registry", {"localMachine", "currentUser"})) return;
    for (const auto& [hiveName, hive] : {std::pair{"localMachine", Hive::LocalMachine}, std::pair{"currentUser", Hive::CurrentUser}}) {
        if (!reg.contains(hiveName)) continue;
        const std::string hp = std::string("registry.") + hiveName;
        const json& keys = reg[hiveName];
        if (!keys.is_object()) { r.Error(hp, "expected an object of keys"); continue; }
        for (const auto& [key, values] : keys.items()) {
            const std::string kp = hp + "[\"" + key + "\"]";
            if (!values.is_object()) { r.Error(kp, "expected an object of values"); continue; }
            if (values.empty()) profile.registry.push_back({hive, Widen(key), {}, std::nullopt});
            for (const auto& [name, value] : values.items()) {
                std::optional<RegValue> v = r.Value(value, kp + "." + name);
                if (v) profile.registry.push_back({hive, Widen(key), Widen(name), std::move(v)});
            }
        }
    }
}

}  // namespace

std::optional<SimProfile> ParseProfile(const std::string& text, const std::string& source, std::string& error)
{
    json root;
    try {
        root = json::parse(text, nullptr, true, true);  // comments allowed
    } catch (const json::parse_error& e) {
        error = source + ": " + StripExceptionPrefix(e.what());
        return std::nullopt;
    }
    Reader r;
    SimProfile profile;
    if (r.Object(root, "profile", {"name", "clock", "tick", "bootTime", "memory", "modules", "processes", "services",
                                   "devices", "interfaces", "files", "registry", "generate", "processors", "loadVariation",
                                   "heapChurn", "traffic", "failures", "events"})) {
        profile.source = source;
        std::wstring name;
        if (r.Text(root, "name", "profile", name)) profile.name = Narrow(name);
        std::wstring clock;
        if (r.Text(root, "clock", "profile", clock)) {
            if (clock == L"manual") profile.clock = ClockMode::Manual;
            else if (clock == L"real") profile.clock = ClockMode::Real;
            else r.Error("clock", "expected \"manual\" or \"real\"");
        }
        uint64_t tick = 0;
        if (r.Number(root, "tick", "profile", tick, 0, 0xFFFFFFFFu)) profile.startTick = static_cast<uint32_t>(tick);
        r.Time(root, "bootTime", "profile", profile.bootTime);
        uint64_t processors = 1;
        if (r.Number(root, "processors", "profile", processors, 1, 256)) profile.processors = static_cast<unsigned>(processors);
        for (auto [key, flag] : {std::pair{"loadVariation", &profile.loadVariation}, std::pair{"heapChurn", &profile.heapChurn},
                                 std::pair{"traffic", &profile.traffic}}) {
            bool on = false;
            if (r.Flag(root, key, "profile", on)) *flag = on;
        }
        if (root.contains("memory")) {
            const json& m = root["memory"];
            if (r.Object(m, "memory", {"totalPhys", "availPhys", "totalVirtual", "availVirtual", "load"})) {
                r.Number(m, "totalPhys", "memory", profile.memory.totalPhys);
                r.Number(m, "availPhys", "memory", profile.memory.availPhys);
                r.Number(m, "totalVirtual", "memory", profile.memory.totalVirtual);
                r.Number(m, "availVirtual", "memory", profile.memory.availVirtual);
                uint64_t load = 0;
                if (r.Number(m, "load", "memory", load, 0, 100)) {
                    profile.memory.memoryLoad = static_cast<uint32_t>(load);
                    profile.memoryLoadGiven = true;
                }
                if (r.ok() && profile.memory.availPhys > profile.memory.totalPhys) r.Error("memory.availPhys", "larger than totalPhys");
            }
        }
        ReadModules(r, root, profile);
        std::set<std::wstring> moduleNames;
        for (const ModuleSpec& m : profile.modules) moduleNames.insert(Lower(m.name));
        ReadProcesses(r, root, profile, moduleNames);
        ReadServices(r, root, profile);
        ReadDevices(r, root, profile);
        ReadInterfaces(r, root, profile);
        ReadFiles(r, root, profile);
        ReadRegistry(r, root, profile);
        if (root.contains("generate")) {
            const json& g = root["generate"];
            uint64_t processes = 0, threads = 1, blocks = 0;
            if (r.Object(g, "generate", {"processes", "threadsPerProcess", "heapEntriesPerProcess"})) {
                r.Number(g, "processes", "generate", processes, 0, 100000);
                r.Number(g, "threadsPerProcess", "generate", threads, 1, 1000);
                r.Number(g, "heapEntriesPerProcess", "generate", blocks, 0, 100000);
                if (r.ok()) AppendGeneratedPrograms(profile, static_cast<uint32_t>(processes), static_cast<uint32_t>(threads), static_cast<uint32_t>(blocks));
            }
        }
        ReadFailures(r, root, profile);
        ReadEvents(r, root, profile);
    }
    if (!r.ok()) {
        error = source + ": " + r.error();
        return std::nullopt;
    }
    return profile;
}

std::optional<SimProfile> LoadProfileFile(const std::string& path, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot open the profile";
        return std::nullopt;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) {
        error = path + ": cannot read the profile";
        return std::nullopt;
    }
    return ParseProfile(text.str(), path, error);
}

}  // namespace kestrun::platform::sim
