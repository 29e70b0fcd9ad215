// The simulated device: building it from a profile, and its windows, services,
// stream devices, interfaces, files and registry seed.
#include "platform/sim/SimDevice.h"

#include "platform/LastError.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace kestrun::platform::sim {

namespace {

constexpr uint64_t kUnitsPerMs = 10000;

std::wstring JoinKey(const std::vector<std::wstring>& parts)
{
    std::wstring out;
    for (const std::wstring& part : parts) {
        if (!out.empty()) out += L'\\';
        out += part;
    }
    return out;
}

// "COM1:" -> "COM"
std::wstring PrefixLetters(const std::wstring& legacyName)
{
    size_t end = 0;
    while (end < legacyName.size() && !(legacyName[end] >= L'0' && legacyName[end] <= L'9') && legacyName[end] != L':') ++end;
    return legacyName.substr(0, end);
}

FileInfo DriverFile(uint64_t bootTime)
{
    FileInfo info;
    info.attributes = kFileInRom | kFileRomModule | kFileReadOnly | kFileSystem;
    info.size = 0x6000;
    info.creation = info.lastWrite = info.lastAccess = FileTime::FromValue(bootTime - 86400ull * 1000 * kUnitsPerMs);
    return info;
}

}  // namespace

SimDevice::SimDevice(const SimProfile& profile)
    : clock_(profile.startTick, profile.bootTime),
      processors_(std::max(profile.processors, 1u)),
      loadVariation_(profile.loadVariation),
      heapChurn_(profile.heapChurn),
      traffic_(profile.traffic),
      source_(profile.source),
      events_(profile.events),
      memory_(profile.memory)
{
    if (!profile.memoryLoadGiven && memory_.totalPhys > 0 && memory_.availPhys <= memory_.totalPhys)
        memory_.memoryLoad = static_cast<uint32_t>((memory_.totalPhys - memory_.availPhys) * 100 / memory_.totalPhys);

    for (const ModuleSpec& module : profile.modules) AddModule(module);

    // Processes first without "runs in" links, which may name processes added later.
    struct Link { uint32_t processId; size_t thread; std::wstring host; };
    std::vector<Link> links;
    for (size_t p = 0; p < profile.processes.size(); ++p) {
        ProcessSpec spec = profile.processes[p];
        const size_t firstLink = links.size();
        for (size_t t = 0; t < spec.threads.size(); ++t) {
            ThreadSpec& thread = spec.threads[t];
            // Threads were started one after another during boot: process p at 50 ms steps.
            if (!thread.createdMs) thread.createdMs = std::min<uint64_t>(50 * p + 5 * t, clock_.uptimeMs());
            if (!thread.runsIn.empty()) links.push_back({0, t, thread.runsIn});
            thread.runsIn.clear();
        }
        const uint32_t id = AddProcess(spec);
        for (size_t l = firstLink; l < links.size(); ++l) links[l].processId = id;
    }
    for (const Link& link : links) {
        const SimProcess* process = FindProcess(link.processId);
        const uint32_t host = ProcessIdByName(link.host);
        if (process != nullptr && host != 0 && link.thread < process->threads.size())
            SetThreadRunsIn(process->threads[link.thread], host);
    }
    if (ownProcessId_ == 0) {
        ProcessSpec self;
        self.exeName = L"kestrun.exe";
        self.self = true;
        ThreadSpec ui;
        ui.createdMs = clock_.uptimeMs();
        self.threads.push_back(ui);
        AddProcess(self);
    }

    for (const ServiceSpec& service : profile.services) AddService(service);
    for (const DeviceSpec& device : profile.devices) AddDevice(device);
    for (const InterfaceSpec& itf : profile.interfaces) AddInterface(itf);
    for (const FileSpec& file : profile.files) AddFile(file.path, file.info, file.version);
    for (const RegistrySeed& seed : profile.registry) SeedRegistry(seed);
    for (const FailureSpec& failure : profile.failures) InjectFailure(failure.call, failure.error, failure.count, failure.skip);
    SetClockMode(profile.clock);
}

// ---- Windows ------------------------------------------------------------------------

WindowId SimDevice::AddWindow(uint32_t processId, const WindowSpec& spec)
{
    if (FindProcess(processId) == nullptr) { Fail(ESRCH); return 0; }
    SimWindow window;
    window.id = nextWindow_;
    nextWindow_ += 0x10;  // even ids: a caller may set the lowest bit to mean "with owned windows"
    window.processId = processId;
    window.title = spec.title;
    window.visible = spec.visible;
    window.respondsToClose = spec.respondsToClose;
    window.closeAfterPolls = spec.closeAfterPolls;
    window.closeEndsProcess = spec.closeEndsProcess;
    window.iconColor = spec.iconColor;
    for (const SimWindow& other : windows_) {
        if (!spec.ownerTitle.empty() && window.owner == 0 && other.title == spec.ownerTitle) window.owner = other.id;
        if (!spec.parentTitle.empty() && window.parent == 0 && other.title == spec.parentTitle) window.parent = other.id;
    }
    windows_.insert(windows_.begin(), window);  // a new window opens on top
    windowIndexStale_ = true;
    if (spec.foreground || (foreground_ == 0 && spec.visible)) foreground_ = window.id;
    return window.id;
}

bool SimDevice::RemoveWindow(WindowId window)
{
    if (std::erase_if(windows_, [window](const SimWindow& w) { return w.id == window; }) == 0) return Fail(ENOENT);
    windowIndexStale_ = true;
    for (SimWindow& other : windows_) {
        if (other.owner == window) other.owner = 0;
        if (other.parent == window) other.parent = 0;
    }
    if (foreground_ == window) foreground_ = windows_.empty() ? 0 : windows_.front().id;
    return true;
}

SimWindow* SimDevice::FindWindow(WindowId window)
{
    if (windowIndexStale_) {
        windowIndex_.clear();
        for (size_t i = 0; i < windows_.size(); ++i) windowIndex_.emplace(windows_[i].id, i);
        windowIndexStale_ = false;
    }
    const auto it = windowIndex_.find(window);
    return it == windowIndex_.end() ? nullptr : &windows_[it->second];
}

bool SimDevice::SetWindowTitle(WindowId window, const std::wstring& title)
{
    SimWindow* w = FindWindow(window);
    if (w == nullptr) return Fail(ENOENT);
    w->title = title;
    return true;
}

bool SimDevice::BringToFront(WindowId window)
{
    auto it = std::find_if(windows_.begin(), windows_.end(), [window](const SimWindow& w) { return w.id == window; });
    if (it == windows_.end()) return Fail(ENOENT);
    std::rotate(windows_.begin(), it, it + 1);
    windowIndexStale_ = true;
    windows_.front().minimized = false;
    foreground_ = window;
    return true;
}

bool SimDevice::RequestClose(WindowId window)
{
    SimWindow* target = FindWindow(window);
    if (target == nullptr) return Fail(ENOENT);
    ++target->closeRequests;
    if (!target->respondsToClose) return true;  // the request is posted; the program never acts on it
    if (target->closeAfterPolls > 0) {
        if (target->pollsUntilClosed == 0) target->pollsUntilClosed = target->closeAfterPolls;
        return true;  // the program takes its time
    }
    CloseWindow(window);
    return true;
}

bool SimDevice::PollWindow(WindowId window)
{
    SimWindow* w = FindWindow(window);
    if (w == nullptr) return false;
    if (w->pollsUntilClosed > 0 && --w->pollsUntilClosed == 0) {
        CloseWindow(window);
        return false;
    }
    return true;
}

void SimDevice::CloseWindow(WindowId window)
{
    const SimWindow* target = FindWindow(window);
    const uint32_t processId = target->processId;
    const bool endsProcess = target->closeEndsProcess;
    RemoveWindow(window);
    const bool lastWindow = std::none_of(windows_.begin(), windows_.end(), [processId](const SimWindow& w) { return w.processId == processId; });
    if (endsProcess && lastWindow) EndProcess(processId, 0);
}

WindowId SimDevice::OwnWindow() const
{
    for (const SimWindow& w : windows_)
        if (w.processId == ownProcessId_) return w.id;
    return 0;
}

// ---- Services ---------------------------------------------------------------------------

void SimDevice::AddService(const ServiceSpec& spec)
{
    SimService service;
    service.entry.prefix = spec.prefix + std::to_wstring(spec.index) + L":";
    service.entry.dllName = spec.dll;
    service.entry.dllPath = L"\\Windows\\" + spec.dll;
    service.entry.handle = (nextHandle_ += 0x10);
    service.entry.state = spec.state;
    service.keyName = spec.keyName;
    services_.push_back(service);
    if (!spec.keyName.empty()) {
        const std::wstring key = L"Services\\" + spec.keyName;
        localMachine_.SetValue(key, L"Prefix", RegValue::String(spec.prefix));
        if (spec.writeIndex) localMachine_.SetValue(key, L"Index", RegValue::Dword(spec.index));
        localMachine_.SetValue(key, L"Dll", RegValue::String(spec.dll));
        if (spec.order) localMachine_.SetValue(key, L"Order", RegValue::Dword(*spec.order));
        if (!spec.friendlyName.empty()) localMachine_.SetValue(key, L"FriendlyName", RegValue::String(spec.friendlyName));
        if (!spec.displayName.empty()) localMachine_.SetValue(key, L"DisplayName", RegValue::String(spec.displayName));
        if (!spec.description.empty()) localMachine_.SetValue(key, L"Description", RegValue::String(spec.description));
    }
    if (!spec.dll.empty() && FindFile(L"\\Windows\\" + spec.dll) == nullptr) AddFile(L"\\Windows\\" + spec.dll, DriverFile(clock_.bootTime()));
}

SimService* SimDevice::FindService(const std::wstring& prefix)
{
    const std::wstring wanted = Lower(prefix);
    for (SimService& service : services_)
        if (Lower(service.entry.prefix) == wanted) return &service;
    return nullptr;
}

bool SimDevice::RemoveService(const std::wstring& prefix)
{
    const SimService* service = FindService(prefix);
    if (service == nullptr) return false;
    services_.erase(services_.begin() + (service - services_.data()));
    return true;
}

// ---- Stream devices -------------------------------------------------------------------------

void SimDevice::RemoveDevice(const SimStreamDevice& device)
{
    localMachine_.DeleteKey(device.activeKey);
    devices_.erase(devices_.begin() + (&device - devices_.data()));
}

void SimDevice::AddDevice(const DeviceSpec& spec)
{
    SimStreamDevice device;
    device.info.handle = (nextHandle_ += 0x10);
    device.info.legacyName = spec.legacyName;
    std::wstring bare = spec.legacyName;
    if (!bare.empty() && bare.back() == L':') bare.pop_back();
    device.info.name = spec.name.empty() ? L"\\$device\\" + bare : spec.name;
    device.info.busName = spec.busName;
    const std::wstring letters = PrefixLetters(spec.legacyName);
    device.info.deviceKey = spec.driverKey.empty() ? L"Drivers\\BuiltIn\\" + letters : spec.driverKey;
    wchar_t number[8];
    std::swprintf(number, 8, L"%02u", nextActiveKey_++ % 100);
    device.activeKey = std::wstring(L"Drivers\\Active\\") + number;
    device.power = spec.power;
    device.deactivatable = spec.deactivatable;

    // The active key points at the driver's key, which holds its settings.
    localMachine_.SetValue(device.activeKey, L"Key", RegValue::String(device.info.deviceKey));
    localMachine_.SetValue(device.activeKey, L"Name", RegValue::String(spec.legacyName));
    localMachine_.SetValue(device.activeKey, L"Hnd", RegValue::Dword(static_cast<uint32_t>(device.info.handle)));
    const std::wstring& key = device.info.deviceKey;
    localMachine_.SetValue(key, L"Prefix", RegValue::String(letters));
    if (!spec.dll.empty()) localMachine_.SetValue(key, L"Dll", RegValue::String(spec.dll));
    if (spec.order) localMachine_.SetValue(key, L"Order", RegValue::Dword(*spec.order));
    if (spec.irq) localMachine_.SetValue(key, L"IRQ", RegValue::Dword(*spec.irq));
    if (spec.sysIntr) localMachine_.SetValue(key, L"SysIntr", RegValue::Dword(*spec.sysIntr));
    if (spec.ioBase) localMachine_.SetValue(key, L"IoBase", *spec.ioBase);
    if (spec.memBase) localMachine_.SetValue(key, L"MemBase", *spec.memBase);
    if (!spec.dll.empty() && FindFile(L"\\Windows\\" + spec.dll) == nullptr) AddFile(L"\\Windows\\" + spec.dll, DriverFile(clock_.bootTime()));
    devices_.push_back(std::move(device));
}

SimStreamDevice* SimDevice::FindDevice(const std::wstring& legacyName)
{
    const std::wstring wanted = Lower(legacyName);
    for (SimStreamDevice& device : devices_)
        if (Lower(device.info.legacyName) == wanted) return &device;
    return nullptr;
}

bool SimDevice::SetDevicePower(const std::wstring& legacyName, int power)
{
    SimStreamDevice* device = FindDevice(legacyName);
    if (device == nullptr) return Fail(ENODEV);
    device->power = power;
    return true;
}

// ---- Network interfaces ------------------------------------------------------------------------

namespace {

// The device's counters are 32 bits wide.
uint64_t Wrap32(uint64_t value) { return value & 0xFFFFFFFFu; }

void Add32(uint64_t& counter, uint64_t count) { counter = Wrap32(counter + count); }

}  // namespace

bool SimDevice::AddInterface(const InterfaceSpec& spec)
{
    auto at = std::lower_bound(interfaces_.begin(), interfaces_.end(), spec.row.index,
                               [](const SimInterface& itf, uint32_t index) { return itf.row.index < index; });
    if (at != interfaces_.end() && at->row.index == spec.row.index) return Fail(EEXIST);
    SimInterface itf;
    itf.row = spec.row;
    itf.row.speed = Wrap32(itf.row.speed);
    for (uint64_t* counter : {&itf.row.inOctets, &itf.row.inUcastPkts, &itf.row.inNUcastPkts, &itf.row.inDiscards,
                              &itf.row.inErrors, &itf.row.outOctets, &itf.row.outUcastPkts, &itf.row.outNUcastPkts,
                              &itf.row.outDiscards, &itf.row.outErrors})
        *counter = Wrap32(*counter);
    itf.adapterName = spec.adapterName;
    itf.inRate = spec.inRate;
    itf.outRate = spec.outRate;
    interfaces_.insert(at, std::move(itf));
    if (!spec.adapterName.empty() && !spec.friendlyName.empty()) {
        const std::wstring mappings = L"Comm\\AdapterNameMappings";
        AddUserOverlayRoot(mappings);
        userOverlay_.SetValue(mappings, spec.adapterName, RegValue::String(spec.friendlyName));
    }
    return true;
}

bool SimDevice::RemoveInterface(uint32_t index)
{
    SimInterface* itf = FindInterface(index);
    if (itf == nullptr) return Fail(ENODEV);
    interfaces_.erase(interfaces_.begin() + (itf - interfaces_.data()));
    return true;
}

SimInterface* SimDevice::FindInterface(uint32_t index)
{
    auto at = std::lower_bound(interfaces_.begin(), interfaces_.end(), index,
                               [](const SimInterface& itf, uint32_t wanted) { return itf.row.index < wanted; });
    return at != interfaces_.end() && at->row.index == index ? &*at : nullptr;
}

bool SimDevice::AddTraffic(uint32_t index, uint64_t inBytes, uint64_t outBytes, uint64_t inPackets, uint64_t outPackets)
{
    InterfaceRow traffic;
    traffic.inOctets = inBytes;
    traffic.outOctets = outBytes;
    traffic.inUcastPkts = inPackets;
    traffic.outUcastPkts = outPackets;
    return AddTraffic(index, traffic);
}

bool SimDevice::AddTraffic(uint32_t index, const InterfaceRow& traffic)
{
    SimInterface* itf = FindInterface(index);
    if (itf == nullptr) return Fail(ENODEV);
    InterfaceRow& row = itf->row;
    Add32(row.inOctets, traffic.inOctets);
    Add32(row.outOctets, traffic.outOctets);
    Add32(row.inUcastPkts, traffic.inUcastPkts);
    Add32(row.outUcastPkts, traffic.outUcastPkts);
    Add32(row.inNUcastPkts, traffic.inNUcastPkts);
    Add32(row.outNUcastPkts, traffic.outNUcastPkts);
    Add32(row.inDiscards, traffic.inDiscards);
    Add32(row.outDiscards, traffic.outDiscards);
    Add32(row.inErrors, traffic.inErrors);
    Add32(row.outErrors, traffic.outErrors);
    return true;
}

// ---- Files and registry ------------------------------------------------------------------------

void SimDevice::AddFile(const std::wstring& path, const FileInfo& info, std::optional<VersionInfo> version)
{
    files_[Lower(path)] = SimFile{info, std::move(version), std::nullopt};
}

bool SimDevice::SetFileIcon(const std::wstring& path, std::optional<uint32_t> color)
{
    auto it = files_.find(Lower(path));
    if (it == files_.end()) return Fail(ENOENT);
    it->second.iconColor = color;
    return true;
}

const SimFile* SimDevice::FindFile(const std::wstring& path) const
{
    auto it = files_.find(Lower(path));
    return it == files_.end() ? nullptr : &it->second;
}

void SimDevice::AddUserOverlayRoot(const std::wstring& key)
{
    const std::wstring normal = JoinKey(SplitKey(key));
    for (const std::wstring& root : userOverlayRoots_)
        if (Lower(root) == Lower(normal)) return;
    userOverlayRoots_.push_back(normal);
}

void SimDevice::SeedRegistry(const RegistrySeed& seed)
{
    SimHive* hive = &localMachine_;
    if (seed.hive == Hive::CurrentUser) {
        AddUserOverlayRoot(seed.key);
        hive = &userOverlay_;
    }
    if (seed.value) hive->SetValue(seed.key, seed.name, *seed.value);
    else hive->CreateKey(seed.key);
}

}  // namespace kestrun::platform::sim
