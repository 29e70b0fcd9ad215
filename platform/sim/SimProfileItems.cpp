// Reading one element of a profile's lists: a module, a process with its
// threads, heaps and windows, a service, a device, an interface. The lists and
// the events that add such things at a later tick share these readers.
#include "platform/sim/SimProfileReader.h"

namespace kestrun::platform::sim {

namespace {

using json = nlohmann::ordered_json;

void ReadThreads(Reader& r, const json& process, const std::string& path, ProcessSpec& spec)
{
    r.Each(process, "threads", path + ".threads", [&](const json& j, const std::string& p) { ReadThreadSpec(r, j, p, spec.threads); });
}

void ReadHeaps(Reader& r, const json& process, const std::string& path, ProcessSpec& spec)
{
    r.Each(process, "heaps", path + ".heaps", [&](const json& j, const std::string& p) {
        if (!r.Object(j, p, {"id", "flags", "blocks"})) return;
        HeapSpec heap;
        uint64_t flags = 0;
        r.Number(j, "id", p, heap.heapId);
        if (r.Number(j, "flags", p, flags, 0, 0xFFFFFFFFu)) heap.flags = static_cast<uint32_t>(flags);
        r.Each(j, "blocks", p + ".blocks", [&](const json& b, const std::string& bp) { ReadHeapBlockSpec(r, b, bp, heap.blocks); });
        spec.heaps.push_back(std::move(heap));
    });
}

void ReadWindows(Reader& r, const json& process, const std::string& path, ProcessSpec& spec)
{
    r.Each(process, "windows", path + ".windows", [&](const json& j, const std::string& p) {
        WindowSpec w;
        if (ReadWindowSpec(r, j, p, w)) spec.windows.push_back(std::move(w));
    });
}

}  // namespace

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

bool ReadModuleSpec(Reader& r, const json& j, const std::string& p, ModuleSpec& m)
{
    if (!r.Object(j, p, {"id", "name", "path", "base", "size", "rom", "version"})) return false;
    r.Id(j, "id", p, m.id);
    r.RequiredText(j, "name", p, m.name);
    r.Text(j, "path", p, m.path);
    r.Number(j, "base", p, m.baseAddress);
    r.Number(j, "size", p, m.size);
    r.Flag(j, "rom", p, m.inRom);
    ReadVersion(r, j, p, m.version);
    return r.ok();
}

bool ReadThreadSpec(Reader& r, const json& j, const std::string& p, std::vector<ThreadSpec>& out)
{
    if (!r.Object(j, p, {"id", "priority", "delta", "usage", "runsIn", "load", "kernelShare", "kernelMs", "userMs", "createdMs", "count"})) return false;
    ThreadSpec t;
    uint64_t value = 0;
    r.Id(j, "id", p, t.id);
    if (r.Number(j, "priority", p, value, 0, 7)) t.basePriority = static_cast<int32_t>(value);
    r.Signed(j, "delta", p, t.deltaPriority, -255, 255);
    if (r.Number(j, "usage", p, value, 0, 0xFFFFFFFFu)) t.usageCount = static_cast<uint32_t>(value);
    r.Text(j, "runsIn", p, t.runsIn);
    r.Load(j, "load", p, t.load);
    if (r.Number(j, "kernelShare", p, value, 0, 100)) t.kernelShare = static_cast<uint32_t>(value);
    if (r.Number(j, "kernelMs", p, value)) t.kernelTime = value * 10000;
    if (r.Number(j, "userMs", p, value)) t.userTime = value * 10000;
    if (r.Number(j, "createdMs", p, value)) t.createdMs = value;
    uint64_t count = 1;
    r.Number(j, "count", p, count, 1, 10000);
    if (count > 1 && t.id != 0) r.Error(p, "a thread with an id cannot be repeated");
    if (!r.ok()) return false;
    for (uint64_t i = 0; i < count; ++i) out.push_back(t);
    return true;
}

bool ReadHeapBlockSpec(Reader& r, const json& b, const std::string& bp, std::vector<HeapBlockSpec>& out)
{
    if (!r.Object(b, bp, {"address", "size", "flags", "lock", "repeat"})) return false;
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
    if (!r.ok()) return false;
    for (uint64_t i = 0; i < repeat; ++i) out.push_back(block);
    return true;
}

bool ReadWindowSpec(Reader& r, const json& j, const std::string& p, WindowSpec& w)
{
    if (!r.Object(j, p, {"title", "owner", "parent", "visible", "foreground", "respondsToClose", "closeAfterPolls", "closeEndsProcess", "icon"})) return false;
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
    return r.ok();
}

bool ReadProcessSpec(Reader& r, const json& j, const std::string& p, const std::set<std::wstring>& moduleNames, ProcessSpec& spec)
{
    if (!r.Object(j, p, {"id", "exe", "path", "memoryBase", "accessKey", "rom", "self", "terminable", "threads", "heaps", "modules", "windows"})) return false;
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
    return r.ok();
}

bool ReadServiceSpec(Reader& r, const json& j, const std::string& p, ServiceSpec& s)
{
    if (!r.Object(j, p, {"prefix", "index", "dll", "state", "key", "registryIndex", "order", "friendlyName", "displayName", "description"})) return false;
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
    return r.ok();
}

bool ReadDeviceSpec(Reader& r, const json& j, const std::string& p, DeviceSpec& d)
{
    if (!r.Object(j, p, {"name", "deviceName", "bus", "driverKey", "dll", "order", "irq", "sysIntr", "ioBase", "memBase", "power", "deactivatable"})) return false;
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
    return r.ok();
}

bool ReadInterfaceSpec(Reader& r, const json& j, const std::string& p, InterfaceSpec& s)
{
    constexpr uint64_t kMax32 = 0xFFFFFFFFu;  // the device's counters and speeds are 32 bits wide
    std::vector<const char*> fields = {"index", "name", "adapter", "friendlyName", "type", "mtu", "speed", "status", "description", "inRate", "outRate"};
    for (const InterfaceCounter& counter : InterfaceCounters()) fields.push_back(counter.name);
    if (!r.Object(j, p, fields)) return false;
    uint64_t value = 0;
    if (!j.contains("index")) r.Error(p, "missing \"index\"");
    if (r.Number(j, "index", p, value, 1, 0xFFFFFFFFu)) s.row.index = static_cast<uint32_t>(value);
    r.Text(j, "name", p, s.row.name);
    r.Text(j, "adapter", p, s.adapterName);
    r.Text(j, "friendlyName", p, s.friendlyName);
    if (r.Number(j, "type", p, value, 0, 0xFFFFFFFFu)) s.row.type = static_cast<uint32_t>(value);
    if (r.Number(j, "mtu", p, value, 0, 0xFFFFFFFFu)) s.row.mtu = static_cast<uint32_t>(value);
    r.Number(j, "speed", p, s.row.speed, 0, kMax32);
    if (r.Number(j, "status", p, value, 0, 5)) s.row.operStatus = static_cast<uint32_t>(value);
    r.Text(j, "description", p, s.row.description);
    for (const InterfaceCounter& counter : InterfaceCounters()) r.Number(j, counter.name, p, s.row.*counter.field, 0, kMax32);
    r.Number(j, "inRate", p, s.inRate);
    r.Number(j, "outRate", p, s.outRate);
    return r.ok();
}

const std::vector<InterfaceCounter>& InterfaceCounters()
{
    static const std::vector<InterfaceCounter> kCounters = {
        {"inOctets", &InterfaceRow::inOctets},         {"outOctets", &InterfaceRow::outOctets},
        {"inUcastPkts", &InterfaceRow::inUcastPkts},   {"outUcastPkts", &InterfaceRow::outUcastPkts},
        {"inNUcastPkts", &InterfaceRow::inNUcastPkts}, {"outNUcastPkts", &InterfaceRow::outNUcastPkts},
        {"inDiscards", &InterfaceRow::inDiscards},     {"outDiscards", &InterfaceRow::outDiscards},
        {"inErrors", &InterfaceRow::inErrors},         {"outErrors", &InterfaceRow::outErrors},
    };
    return kCounters;
}

}  // namespace kestrun::platform::sim
