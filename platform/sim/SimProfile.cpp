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

void ReadVersion(Reader& r, const json& j, const std::string& path, std::optional<VersionInfo>& out)
{
    if (!j.contains("version")) return;
    const json& v = j["version"];
    const std::string p = path + ".version";
    if (!r.Object(v, p, {"description", "fileVersion", "company", "copyright", "product", "productVersion"})) return;
    VersionInfo info;
    r.Text(v, "description", p, info.fileDescription);
    r.Text(v, "fileVersion", p, info.fileVersion);
    r.Text(v, "company", p, info.companyName);
    r.Text(v, "copyright", p, info.legalCopyright);
    r.Text(v, "product", p, info.productName);
    r.Text(v, "productVersion", p, info.productVersion);
    out = info;
}

void ReadModules(Reader& r, const json& root, SimProfile& profile)
{
    r.Each(root, "modules", "modules", [&](const json& j, const std::string& p) {
        if (!r.Object(j, p, {"id", "name", "path", "base", "size", "rom", "version"})) return;
        ModuleSpec m;
        r.Id(j, "id", p, m.id);
        r.RequiredText(j, "name", p, m.name);
        r.Text(j, "path", p, m.path);
        r.Number(j, "base", p, m.baseAddress);
        r.Number(j, "size", p, m.size);
        r.Flag(j, "rom", p, m.inRom);
        ReadVersion(r, j, p, m.version);
        profile.modules.push_back(std::move(m));
    });
}

void ReadThreads(Reader& r, const json& process, const std::string& path, ProcessSpec& spec)
{
    r.Each(process, "threads", path + ".threads", [&](const json& j, const std::string& p) {
        if (!r.Object(j, p, {"id", "priority", "delta", "usage", "runsIn", "load", "kernelShare", "kernelMs", "userMs", "createdMs", "count"})) return;
        ThreadSpec t;
        uint64_t value = 0;
        r.Id(j, "id", p, t.id);
        if (r.Number(j, "priority", p, value, 0, 7)) t.basePriority = static_cast<int32_t>(value);
        r.Signed(j, "delta", p, t.deltaPriority, -255, 255);
        if (r.Number(j, "usage", p, value, 0, 0xFFFFFFFFu)) t.usageCount = static_cast<uint32_t>(value);
        r.Text(j, "runsIn", p, t.runsIn);
        if (j.contains("load")) {
            if (!j["load"].is_number() || j["load"].get<double>() < 0 || j["load"].get<double>() > 100) r.Error(p + ".load", "expected a percentage 0..100");
            else t.load = static_cast<uint32_t>(j["load"].get<double>() * 100 + 0.5);
        }
        if (r.Number(j, "kernelShare", p, value, 0, 100)) t.kernelShare = static_cast<uint32_t>(value);
        if (r.Number(j, "kernelMs", p, value)) t.kernelTime = value * 10000;
        if (r.Number(j, "userMs", p, value)) t.userTime = value * 10000;
        if (r.Number(j, "createdMs", p, value)) t.createdMs = value;
        uint64_t count = 1;
        r.Number(j, "count", p, count, 1, 10000);
        if (count > 1 && t.id != 0) r.Error(p, "a thread with an id cannot be repeated");
        for (uint64_t i = 0; i < count; ++i) spec.threads.push_back(t);
    });
}

void ReadHeaps(Reader& r, const json& process, const std::string& path, ProcessSpec& spec)
{
    r.Each(process, "heaps", path + ".heaps", [&](const json& j, const std::string& p) {
        if (!r.Object(j, p, {"id", "flags", "blocks"})) return;
        HeapSpec heap;
        uint64_t flags = 0;
        r.Number(j, "id", p, heap.heapId);
        if (r.Number(j, "flags", p, flags, 0, 0xFFFFFFFFu)) heap.flags = static_cast<uint32_t>(flags);
        r.Each(j, "blocks", p + ".blocks", [&](const json& b, const std::string& bp) {
            if (!r.Object(b, bp, {"address", "size", "flags", "lock", "repeat"})) return;
            HeapBlockSpec block;
            uint64_t value = 0;
            r.Number(b, "address", bp, block.address);
            if (!b.contains("size")) r.Error(bp, "missing \"size\"");
            r.Number(b, "size", bp, block.size);
            r.HeapFlags(b, "flags", bp, block.flags);
            if (r.Number(b, "lock", bp, value, 0, 0xFFFFFFFFu)) block.lockCount = static_cast<uint32_t>(value);
            uint64_t repeat = 1;
            r.Number(b, "repeat", bp, repeat, 1, 1000000);
            if (repeat > 1 && block.address != 0) r.Error(bp, "a block with an address cannot be repeated");
            for (uint64_t i = 0; i < repeat; ++i) heap.blocks.push_back(block);
        });
        spec.heaps.push_back(std::move(heap));
    });
}

void ReadWindows(Reader& r, const json& process, const std::string& path, ProcessSpec& spec)
{
    r.Each(process, "windows", path + ".windows", [&](const json& j, const std::string& p) {
        if (!r.Object(j, p, {"title", "owner", "parent", "visible", "foreground", "respondsToClose", "closeAfterPolls", "closeEndsProcess", "icon"})) return;
        WindowSpec w;
        r.Text(j, "title", p, w.title);
        r.Text(j, "owner", p, w.ownerTitle);
        r.Text(j, "parent", p, w.parentTitle);
        r.Flag(j, "visible", p, w.visible);
        r.Flag(j, "foreground", p, w.foreground);
        r.Flag(j, "respondsToClose", p, w.respondsToClose);
        r.Id(j, "closeAfterPolls", p, w.closeAfterPolls);
        r.Flag(j, "closeEndsProcess", p, w.closeEndsProcess);
        if (j.contains("icon")) {
            std::wstring text;
            uint32_t color = 0;
            if (r.Text(j, "icon", p, text) && ParseColor(text, color)) w.iconColor = color;
            else r.Error(p + ".icon", "expected a colour \"#RRGGBB\"");
        }
        spec.windows.push_back(std::move(w));
    });
}

void ReadProcesses(Reader& r, const json& root, SimProfile& profile)
{
    std::set<std::wstring> moduleNames;
    for (const ModuleSpec& m : profile.modules) moduleNames.insert(Lower(m.name));
    r.Each(root, "processes", "processes", [&](const json& j, const std::string& p) {
        if (!r.Object(j, p, {"id", "exe", "path", "memoryBase", "accessKey", "rom", "self", "terminable", "threads", "heaps", "modules", "windows"})) return;
        ProcessSpec spec;
        uint64_t value = 0;
        r.Id(j, "id", p, spec.id);
        r.RequiredText(j, "exe", p, spec.exeName);
        r.Text(j, "path", p, spec.path);
        r.Number(j, "memoryBase", p, spec.memoryBase);
        if (r.Number(j, "accessKey", p, value, 0, 0xFFFFFFFFu)) spec.accessKey = static_cast<uint32_t>(value);
        r.Flag(j, "rom", p, spec.inRom);
        r.Flag(j, "self", p, spec.self);
        r.Flag(j, "terminable", p, spec.terminable);
        ReadThreads(r, j, p, spec);
        ReadHeaps(r, j, p, spec);
        r.Each(j, "modules", p + ".modules", [&](const json& m, const std::string& mp) {
            ModuleUse use;
            if (m.is_string()) {
                use.name = Widen(m.get<std::string>());
            } else if (r.Object(m, mp, {"name", "usage"})) {
                uint64_t usage = 1;
                r.RequiredText(m, "name", mp, use.name);
                r.Number(m, "usage", mp, usage, 1, 0xFFFFFFFFu);
                use.usage = static_cast<uint32_t>(usage);
            } else {
                return;
            }
            if (moduleNames.count(Lower(use.name)) == 0) r.Error(mp, "unknown module '" + Narrow(use.name) + "' (list it under \"modules\")");
            spec.modules.push_back(std::move(use));
        });
        ReadWindows(r, j, p, spec);
        profile.processes.push_back(std::move(spec));
    });
}

void ReadServices(Reader& r, const json& root, SimProfile& profile)
{
    r.Each(root, "services", "services", [&](const json& j, const std::string& p) {
        if (!r.Object(j, p, {"prefix", "index", "dll", "state", "key", "registryIndex", "order", "friendlyName", "displayName", "description"})) return;
        ServiceSpec s;
        uint64_t value = 0;
        r.RequiredText(j, "prefix", p, s.prefix);
        if (r.ok() && s.prefix.size() != 3) r.Error(p + ".prefix", "expected three letters");
        if (r.Number(j, "index", p, value, 0, 9)) s.index = static_cast<uint32_t>(value);
        r.RequiredText(j, "dll", p, s.dll);
        r.Signed(j, "state", p, s.state, -1, 5);
        r.Text(j, "key", p, s.keyName);
        r.Flag(j, "registryIndex", p, s.writeIndex);
        if (r.Number(j, "order", p, value, 0, 0xFFFFFFFFu)) s.order = static_cast<uint32_t>(value);
        r.Text(j, "friendlyName", p, s.friendlyName);
        r.Text(j, "displayName", p, s.displayName);
        r.Text(j, "description", p, s.description);
        profile.services.push_back(std::move(s));
    });
}

void ReadDevices(Reader& r, const json& root, SimProfile& profile)
{
    r.Each(root, "devices", "devices", [&](const json& j, const std::string& p) {
        if (!r.Object(j, p, {"name", "deviceName", "bus", "driverKey", "dll", "order", "irq", "sysIntr", "ioBase", "memBase", "power", "deactivatable"})) return;
        DeviceSpec d;
        uint64_t value = 0;
        r.RequiredText(j, "name", p, d.legacyName);
        r.Text(j, "deviceName", p, d.name);
        r.Text(j, "bus", p, d.busName);
        r.Text(j, "driverKey", p, d.driverKey);
        r.Text(j, "dll", p, d.dll);
        if (r.Number(j, "order", p, value, 0, 0xFFFFFFFFu)) d.order = static_cast<uint32_t>(value);
        if (r.Number(j, "irq", p, value, 0, 0xFFFFFFFFu)) d.irq = static_cast<uint32_t>(value);
        if (r.Number(j, "sysIntr", p, value, 0, 0xFFFFFFFFu)) d.sysIntr = static_cast<uint32_t>(value);
        if (j.contains("ioBase")) d.ioBase = r.Value(j["ioBase"], p + ".ioBase");
        if (j.contains("memBase")) d.memBase = r.Value(j["memBase"], p + ".memBase");
        r.Signed(j, "power", p, d.power, -1, 255);
        r.Flag(j, "deactivatable", p, d.deactivatable);
        profile.devices.push_back(std::move(d));
    });
}

void ReadInterfaces(Reader& r, const json& root, SimProfile& profile)
{
    constexpr uint64_t kMax32 = 0xFFFFFFFFu;  // the device's counters and speeds are 32 bits wide
    std::set<uint64_t> indices;
    r.Each(root, "interfaces", "interfaces", [&](const json& j, const std::string& p) {
        if (!r.Object(j, p, {"index", "name", "adapter", "friendlyName", "type", "mtu", "speed", "status", "description",
                             "inOctets", "outOctets", "inUcastPkts", "outUcastPkts", "inNUcastPkts", "outNUcastPkts",
                             "inDiscards", "outDiscards", "inErrors", "outErrors", "inRate", "outRate"})) return;
        InterfaceSpec s;
        uint64_t value = 0;
        if (!j.contains("index")) r.Error(p, "missing \"index\"");
        if (r.Number(j, "index", p, value, 1, 0xFFFFFFFFu)) {
            s.row.index = static_cast<uint32_t>(value);
            if (!indices.insert(value).second) r.Error(p + ".index", "index " + std::to_string(value) + " is used twice");
        }
        r.Text(j, "name", p, s.row.name);
        r.Text(j, "adapter", p, s.adapterName);
        r.Text(j, "friendlyName", p, s.friendlyName);
        if (r.Number(j, "type", p, value, 0, 0xFFFFFFFFu)) s.row.type = static_cast<uint32_t>(value);
        if (r.Number(j, "mtu", p, value, 0, 0xFFFFFFFFu)) s.row.mtu = static_cast<uint32_t>(value);
        r.Number(j, "speed", p, s.row.speed, 0, kMax32);
        if (r.Number(j, "status", p, value, 0, 5)) s.row.operStatus = static_cast<uint32_t>(value);
        r.Text(j, "description", p, s.row.description);
        r.Number(j, "inOctets", p, s.row.inOctets, 0, kMax32);
        r.Number(j, "outOctets", p, s.row.outOctets, 0, kMax32);
        r.Number(j, "inUcastPkts", p, s.row.inUcastPkts, 0, kMax32);
        r.Number(j, "outUcastPkts", p, s.row.outUcastPkts, 0, kMax32);
        r.Number(j, "inNUcastPkts", p, s.row.inNUcastPkts, 0, kMax32);
        r.Number(j, "outNUcastPkts", p, s.row.outNUcastPkts, 0, kMax32);
        r.Number(j, "inDiscards", p, s.row.inDiscards, 0, kMax32);
        r.Number(j, "outDiscards", p, s.row.outDiscards, 0, kMax32);
        r.Number(j, "inErrors", p, s.row.inErrors, 0, kMax32);
        r.Number(j, "outErrors", p, s.row.outErrors, 0, kMax32);
        r.Number(j, "inRate", p, s.inRate);
        r.Number(j, "outRate", p, s.outRate);
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
                                   "devices", "interfaces", "files", "registry", "generate"})) {
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
        ReadProcesses(r, root, profile);
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
