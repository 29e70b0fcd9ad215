// Reading a profile's "failures" and its timeline of "events". Every event is
// checked when the profile is read: an unknown kind, an unknown or bad field,
// or a process, module, window, service, device or interface that neither the
// profile nor an event brings is an error naming the event's index and field.
#include "platform/sim/SimProfileReader.h"

#include <algorithm>
#include <cstdint>

namespace kestrun::platform::sim {

namespace {

using json = nlohmann::ordered_json;

// What an event acts on, beside its own fields.
enum Target : unsigned {
    kNone = 0,
    kProcess = 1,  // "exe" or "pid"
    kThread = 2,   // "tid", or a process and "threadIndex"
};

struct KindInfo {
    const char* name;
    SimEventKind kind;
    unsigned target;
    std::vector<const char*> fields;  // besides "tick", "event" and the target's
};

const std::vector<KindInfo>& Kinds()
{
    static const std::vector<KindInfo> kKinds = [] {
        std::vector<const char*> counters;
        for (const InterfaceCounter& c : InterfaceCounters()) counters.push_back(c.name);
        std::vector<const char*> setInterface = {"index", "status", "speed", "mtu"};
        setInterface.insert(setInterface.end(), counters.begin(), counters.end());
        std::vector<const char*> addTraffic = {"index"};
        addTraffic.insert(addTraffic.end(), counters.begin(), counters.end());
        return std::vector<KindInfo>{
            {"startProcess", SimEventKind::StartProcess, kNone, {"process"}},
            {"endProcess", SimEventKind::EndProcess, kProcess, {"exitCode"}},
            {"startThread", SimEventKind::StartThread, kProcess, {"thread"}},
            {"endThread", SimEventKind::EndThread, kThread, {}},
            {"setThreadTimes", SimEventKind::SetThreadTimes, kThread, {"kernel", "user"}},
            {"setThreadLoad", SimEventKind::SetThreadLoad, kThread, {"load"}},
            {"addHeapBlock", SimEventKind::AddHeapBlock, kProcess, {"heap", "block"}},
            {"removeHeapBlock", SimEventKind::RemoveHeapBlock, kProcess, {"heap", "blockIndex", "address"}},
            {"openWindow", SimEventKind::OpenWindow, kProcess, {"window"}},
            {"closeWindow", SimEventKind::CloseWindow, kNone, {"title"}},
            {"retitleWindow", SimEventKind::RetitleWindow, kNone, {"title", "newTitle"}},
            {"addService", SimEventKind::AddService, kNone, {"service"}},
            {"removeService", SimEventKind::RemoveService, kNone, {"prefix"}},
            {"setServiceState", SimEventKind::SetServiceState, kNone, {"prefix", "state"}},
            {"addDevice", SimEventKind::AddDevice, kNone, {"device"}},
            {"removeDevice", SimEventKind::RemoveDevice, kNone, {"name"}},
            {"setDevicePower", SimEventKind::SetDevicePower, kNone, {"name", "power"}},
            {"addInterface", SimEventKind::AddInterface, kNone, {"interface"}},
            {"removeInterface", SimEventKind::RemoveInterface, kNone, {"index"}},
            {"setInterface", SimEventKind::SetInterface, kNone, setInterface},
            {"addTraffic", SimEventKind::AddTraffic, kNone, addTraffic},
            {"addModule", SimEventKind::AddModule, kNone, {"module"}},
            {"loadModule", SimEventKind::LoadModule, kProcess, {"module", "usage"}},
            {"unloadModule", SimEventKind::UnloadModule, kProcess, {"module"}},
            {"setMemory", SimEventKind::SetMemory, kNone, {"totalPhys", "availPhys", "totalVirtual", "availVirtual", "load"}},
            {"fail", SimEventKind::Fail, kNone, {"call", "error", "after", "count"}},
            {"clearFailures", SimEventKind::ClearFailures, kNone, {}},
        };
    }();
    return kKinds;
}

const KindInfo* FindKind(const std::string& name)
{
    for (const KindInfo& info : Kinds())
        if (name == info.name) return &info;
    return nullptr;
}

std::string KindNames()
{
    std::string names;
    for (const KindInfo& info : Kinds()) names += (names.empty() ? "" : ", ") + std::string(info.name);
    return names;
}

bool Require(Reader& r, const json& j, const char* key, const std::string& path)
{
    if (j.contains(key)) return true;
    r.Error(path, std::string("missing \"") + key + "\"");
    return false;
}

// A service prefix as the Services page shows it ("HTP0:"); the colon may be left out.
std::wstring ServicePrefix(std::wstring text)
{
    if (!text.empty() && text.back() != L':') text += L':';
    return Lower(text);
}

bool ReadFailure(Reader& r, const json& j, const std::string& p, FailureSpec& f)
{
    std::wstring call;
    if (r.RequiredText(j, "call", p, call)) {
        const std::optional<SimCall> known = SimCallByName(Narrow(call));
        if (known) f.call = *known;
        else r.Error(p + ".call", "unknown call \"" + Narrow(call) + "\" (" + SimCallNames() + ")");
    }
    if (Require(r, j, "error", p)) {
        const json& e = j["error"];
        const std::optional<uint32_t> number =
            e.is_number_unsigned() ? std::optional<uint32_t>(static_cast<uint32_t>(std::min<uint64_t>(e.get<uint64_t>(), UINT32_MAX)))
            : e.is_string()        ? ErrorNumberByName(e.get<std::string>())
                                   : std::nullopt;
        if (!number || *number == 0) r.Error(p + ".error", "expected an error number or name such as \"EACCES\"");
        else f.error = *number;
    }
    uint64_t after = 0;
    if (r.Number(j, "after", p, after, 0, 1000000000)) f.skip = static_cast<int>(after);
    if (j.contains("count")) {
        uint64_t count = 0;
        if (j["count"].is_string() && j["count"].get<std::string>() == "always") f.count = kAlways;
        else if (j["count"].is_number_unsigned() && r.Number(j, "count", p, count, 1, 1000000000)) f.count = static_cast<int>(count);
        else if (r.ok()) r.Error(p + ".count", "expected a number of calls 1.. or \"always\"");
    }
    return r.ok();
}

// The names an event may refer to: what the profile has, and what its events add.
struct Known {
    std::set<std::wstring> exes, modules, windows, services, devices;
    std::set<uint32_t> interfaces;

    void AddProcess(const ProcessSpec& p)
    {
        exes.insert(Lower(p.exeName));
        for (const WindowSpec& w : p.windows) windows.insert(w.title);
    }
};

Known KnownOfProfile(const SimProfile& profile)
{
    Known known;
    for (const ProcessSpec& p : profile.processes) known.AddProcess(p);
    for (const ModuleSpec& m : profile.modules) known.modules.insert(Lower(m.name));
    for (const ServiceSpec& s : profile.services) known.services.insert(ServicePrefix(s.prefix + std::to_wstring(s.index)));
    for (const DeviceSpec& d : profile.devices) known.devices.insert(Lower(d.legacyName));
    for (const InterfaceSpec& i : profile.interfaces) known.interfaces.insert(i.row.index);
    return known;
}

void ReadTarget(Reader& r, const json& j, const std::string& p, unsigned target, SimEvent& e)
{
    if (target == kNone) return;
    if (target == kThread && j.contains("tid")) {
        if (j.contains("exe") || j.contains("pid") || j.contains("threadIndex")) r.Error(p, "give \"tid\" or a process with \"threadIndex\", not both");
        r.Id(j, "tid", p, e.threadId);
        return;
    }
    if (j.contains("exe") == j.contains("pid")) {
        r.Error(p, target == kThread ? "give \"tid\", or \"exe\" or \"pid\" (with \"threadIndex\")" : "give \"exe\" or \"pid\"");
        return;
    }
    r.Text(j, "exe", p, e.exeName);
    r.Id(j, "pid", p, e.processId);
    uint64_t index = 0;
    if (target == kThread && r.Number(j, "threadIndex", p, index, 0, 1000000)) e.threadIndex = static_cast<size_t>(index);
}

void ReadFields(Reader& r, const json& j, const std::string& p, const std::set<std::wstring>& moduleNames, SimEvent& e)
{
    uint64_t value = 0;
    switch (e.kind) {
    case SimEventKind::StartProcess:
        if (Require(r, j, "process", p)) ReadProcessSpec(r, j["process"], p + ".process", moduleNames, e.process);
        break;
    case SimEventKind::EndProcess:
        r.Signed(j, "exitCode", p, e.exitCode, INT32_MIN, INT32_MAX);
        break;
    case SimEventKind::StartThread:
        if (Require(r, j, "thread", p)) ReadThreadSpec(r, j["thread"], p + ".thread", e.threads);
        break;
    case SimEventKind::EndThread:
        break;
    case SimEventKind::SetThreadTimes:
        if (!j.contains("kernel") && !j.contains("user")) r.Error(p, "missing \"kernel\" or \"user\"");
        if (r.Number(j, "kernel", p, value)) e.kernelTime = value;
        if (r.Number(j, "user", p, value)) e.userTime = value;
        break;
    case SimEventKind::SetThreadLoad:
        if (Require(r, j, "load", p)) r.Load(j, "load", p, e.load);
        break;
    case SimEventKind::AddHeapBlock:
        if (r.Number(j, "heap", p, value, 0, 1000000)) e.heapIndex = static_cast<size_t>(value);
        if (Require(r, j, "block", p)) ReadHeapBlockSpec(r, j["block"], p + ".block", e.blocks);
        break;
    case SimEventKind::RemoveHeapBlock:
        if (r.Number(j, "heap", p, value, 0, 1000000)) e.heapIndex = static_cast<size_t>(value);
        if (j.contains("blockIndex") == j.contains("address")) r.Error(p, "give \"blockIndex\" or \"address\"");
        if (r.Number(j, "blockIndex", p, value, 0, 100000000)) e.blockIndex = static_cast<size_t>(value);
        if (r.Number(j, "address", p, value)) e.blockAddress = value;
        break;
    case SimEventKind::OpenWindow:
        if (Require(r, j, "window", p)) ReadWindowSpec(r, j["window"], p + ".window", e.window);
        break;
    case SimEventKind::CloseWindow:
        if (Require(r, j, "title", p)) r.Text(j, "title", p, e.name);
        break;
    case SimEventKind::RetitleWindow:
        if (Require(r, j, "title", p)) r.Text(j, "title", p, e.name);
        if (Require(r, j, "newTitle", p)) r.Text(j, "newTitle", p, e.newTitle);
        break;
    case SimEventKind::AddService:
        if (Require(r, j, "service", p)) ReadServiceSpec(r, j["service"], p + ".service", e.service);
        break;
    case SimEventKind::RemoveService:
        r.RequiredText(j, "prefix", p, e.name);
        break;
    case SimEventKind::SetServiceState:
        r.RequiredText(j, "prefix", p, e.name);
        if (Require(r, j, "state", p)) r.Signed(j, "state", p, e.state, -1, 5);
        break;
    case SimEventKind::AddDevice:
        if (Require(r, j, "device", p)) ReadDeviceSpec(r, j["device"], p + ".device", e.device);
        break;
    case SimEventKind::RemoveDevice:
        r.RequiredText(j, "name", p, e.name);
        break;
    case SimEventKind::SetDevicePower:
        r.RequiredText(j, "name", p, e.name);
        if (Require(r, j, "power", p)) r.Signed(j, "power", p, e.state, -1, 255);
        break;
    case SimEventKind::AddInterface:
        if (Require(r, j, "interface", p)) ReadInterfaceSpec(r, j["interface"], p + ".interface", e.interfaceSpec);
        break;
    case SimEventKind::RemoveInterface:
    case SimEventKind::SetInterface:
    case SimEventKind::AddTraffic:
        if (Require(r, j, "index", p) && r.Number(j, "index", p, value, 1, 0xFFFFFFFFu)) e.interfaceIndex = static_cast<uint32_t>(value);
        if (e.kind == SimEventKind::RemoveInterface) break;
        for (size_t c = 0; c < InterfaceCounters().size(); ++c) {
            const InterfaceCounter& counter = InterfaceCounters()[c];
            if (!r.Number(j, counter.name, p, value, 0, 0xFFFFFFFFu)) continue;
            e.traffic.*counter.field = value;
            e.counters.emplace_back(c, value);
        }
        if (e.kind == SimEventKind::AddTraffic) break;
        if (r.Number(j, "status", p, value, 0, 5)) e.status = static_cast<uint32_t>(value);
        if (r.Number(j, "mtu", p, value, 0, 0xFFFFFFFFu)) e.mtu = static_cast<uint32_t>(value);
        if (r.Number(j, "speed", p, value, 0, 0xFFFFFFFFu)) e.speed = value;
        break;
    case SimEventKind::AddModule:
        if (Require(r, j, "module", p)) ReadModuleSpec(r, j["module"], p + ".module", e.module);
        break;
    case SimEventKind::LoadModule:
    case SimEventKind::UnloadModule:
        r.RequiredText(j, "module", p, e.name);
        if (r.Number(j, "usage", p, value, 1, 0xFFFFFFFFu)) e.usage = static_cast<uint32_t>(value);
        break;
    case SimEventKind::SetMemory:
        if (r.Number(j, "totalPhys", p, value)) e.totalPhys = value;
        if (r.Number(j, "availPhys", p, value)) e.availPhys = value;
        if (r.Number(j, "totalVirtual", p, value)) e.totalVirtual = value;
        if (r.Number(j, "availVirtual", p, value)) e.availVirtual = value;
        if (r.Number(j, "load", p, value, 0, 100)) e.memoryLoad = static_cast<uint32_t>(value);
        break;
    case SimEventKind::Fail:
        ReadFailure(r, j, p, e.failure);
        break;
    case SimEventKind::ClearFailures:
        break;
    }
}

// What an event adds, for the events after it to refer to.
void Learn(const SimEvent& e, Known& known)
{
    switch (e.kind) {
    case SimEventKind::StartProcess: known.AddProcess(e.process); break;
    case SimEventKind::OpenWindow: known.windows.insert(e.window.title); break;
    case SimEventKind::RetitleWindow: known.windows.insert(e.newTitle); break;
    case SimEventKind::AddService: known.services.insert(ServicePrefix(e.service.prefix + std::to_wstring(e.service.index))); break;
    case SimEventKind::AddDevice: known.devices.insert(Lower(e.device.legacyName)); break;
    case SimEventKind::AddInterface: known.interfaces.insert(e.interfaceSpec.row.index); break;
    case SimEventKind::AddModule: known.modules.insert(Lower(e.module.name)); break;
    default: break;
    }
}

// Each name an event refers to must be one the profile or an event brings.
void CheckReferences(Reader& r, const SimEvent& e, const std::string& p, const Known& known)
{
    if (!e.exeName.empty() && known.exes.count(Lower(e.exeName)) == 0)
        r.Error(p + ".exe", "no process \"" + Narrow(e.exeName) + "\" in the profile or started by an earlier event");
    switch (e.kind) {
    case SimEventKind::CloseWindow:
    case SimEventKind::RetitleWindow:
        if (known.windows.count(e.name) == 0) r.Error(p + ".title", "no window \"" + Narrow(e.name) + "\" in the profile or opened by an earlier event");
        break;
    case SimEventKind::RemoveService:
    case SimEventKind::SetServiceState:
        if (known.services.count(ServicePrefix(e.name)) == 0)
            r.Error(p + ".prefix", "no service \"" + Narrow(e.name) + "\" in the profile or added by an earlier event (write it as the page shows it: \"HTP0:\")");
        break;
    case SimEventKind::RemoveDevice:
    case SimEventKind::SetDevicePower:
        if (known.devices.count(Lower(e.name)) == 0) r.Error(p + ".name", "no device \"" + Narrow(e.name) + "\" in the profile or added by an earlier event");
        break;
    case SimEventKind::RemoveInterface:
    case SimEventKind::SetInterface:
    case SimEventKind::AddTraffic:
        if (known.interfaces.count(e.interfaceIndex) == 0)
            r.Error(p + ".index", "no interface " + std::to_string(e.interfaceIndex) + " in the profile or added by an earlier event");
        break;
    case SimEventKind::LoadModule:
    case SimEventKind::UnloadModule:
        if (known.modules.count(Lower(e.name)) == 0) r.Error(p + ".module", "unknown module '" + Narrow(e.name) + "' (list it under \"modules\" or add it by an earlier event)");
        break;
    default:
        break;
    }
}

}  // namespace

std::string SimEventName(SimEventKind kind)
{
    for (const KindInfo& info : Kinds())
        if (info.kind == kind) return info.name;
    return "?";
}

void ReadFailures(Reader& r, const json& root, SimProfile& profile)
{
    r.Each(root, "failures", "failures", [&](const json& j, const std::string& p) {
        if (!r.Object(j, p, {"call", "error", "after", "count"})) return;
        FailureSpec f;
        if (!ReadFailure(r, j, p, f)) return;
        for (const FailureSpec& other : profile.failures)
            if (other.call == f.call) r.Error(p + ".call", SimCallName(f.call) + " fails in an earlier entry already (one entry per call)");
        profile.failures.push_back(f);
    });
}

void ReadEvents(Reader& r, const json& root, SimProfile& profile)
{
    if (!root.contains("events")) return;
    // Modules an event adds may be loaded by processes an event starts.
    std::set<std::wstring> moduleNames;
    for (const ModuleSpec& m : profile.modules) moduleNames.insert(Lower(m.name));
    if (root["events"].is_array())
        for (const json& j : root["events"])
            if (j.is_object() && j.value("event", json()) == "addModule" && j.contains("module") && j["module"].is_object() &&
                j["module"].contains("name") && j["module"]["name"].is_string())
                moduleNames.insert(Lower(Widen(j["module"]["name"].get<std::string>())));

    std::vector<std::string> paths;
    r.Each(root, "events", "events", [&](const json& j, const std::string& p) {
        if (!j.is_object()) {
            r.Error(p, "expected an object");
            return;
        }
        std::wstring name;
        if (!r.RequiredText(j, "event", p, name)) return;
        const KindInfo* info = FindKind(Narrow(name));
        if (info == nullptr) {
            r.Error(p + ".event", "unknown event \"" + Narrow(name) + "\" (" + KindNames() + ")");
            return;
        }
        std::vector<const char*> allowed = {"tick", "event"};
        if (info->target != kNone) allowed.insert(allowed.end(), {"exe", "pid"});
        if (info->target == kThread) allowed.insert(allowed.end(), {"tid", "threadIndex"});
        allowed.insert(allowed.end(), info->fields.begin(), info->fields.end());
        if (!r.Object(j, p, allowed)) return;
        SimEvent e;
        e.kind = info->kind;
        e.index = profile.events.size();
        uint64_t tick = 0;
        if (Require(r, j, "tick", p) && r.Number(j, "tick", p, tick, 1, 0xFFFFFFFFu)) e.tick = static_cast<uint32_t>(tick);
        ReadTarget(r, j, p, info->target, e);
        ReadFields(r, j, p, moduleNames, e);
        profile.events.push_back(std::move(e));
        paths.push_back(p);
    });
    if (!r.ok()) return;
    std::stable_sort(profile.events.begin(), profile.events.end(), [](const SimEvent& a, const SimEvent& b) { return a.tick < b.tick; });
    // In the order they happen: an event may refer to what an earlier one brings.
    Known known = KnownOfProfile(profile);
    for (const SimEvent& e : profile.events) {
        CheckReferences(r, e, paths[e.index], known);
        if (!r.ok()) return;
        Learn(e, known);
    }
}

}  // namespace kestrun::platform::sim
