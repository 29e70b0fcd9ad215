// The simulated device's timeline: the profile's events, each done before the
// refresh tick it names. An event that finds nothing to act on (a process that
// has ended meanwhile) is reported and skipped; the rest still happen.
#include "platform/sim/SimDevice.h"

#include "platform/LastError.h"

#include <algorithm>

namespace kestrun::platform::sim {

namespace {

std::string Quoted(const std::wstring& text) { return "\"" + Narrow(text) + "\""; }

}  // namespace

std::vector<std::string> SimDevice::BeginTick(uint32_t tick)
{
    Sync();
    std::vector<std::string> problems;
    for (; nextEvent_ < events_.size() && events_[nextEvent_].tick <= tick; ++nextEvent_) {
        const SimEvent& event = events_[nextEvent_];
        std::string problem;
        if (!Play(event, problem))
            problems.push_back(source_ + ": events[" + std::to_string(event.index) + "] (tick " + std::to_string(event.tick) + ", " +
                               SimEventName(event.kind) + "): " + problem);
    }
    return problems;
}

bool SimDevice::Play(const SimEvent& e, std::string& problem)
{
    // The process and thread the event names, found when it happens.
    auto process = [&]() -> SimProcess* {
        const uint32_t id = e.processId != 0 ? e.processId : ProcessIdByName(e.exeName);
        SimProcess* found = id != 0 ? FindProcess(id) : nullptr;
        if (found == nullptr) problem = e.processId != 0 ? "no process " + std::to_string(e.processId) + " is running" : "no process " + Quoted(e.exeName) + " is running";
        return found;
    };
    auto threadId = [&]() -> uint32_t {
        if (e.threadId != 0) {
            if (FindThread(e.threadId) != nullptr) return e.threadId;
            problem = "no thread " + std::to_string(e.threadId) + " is running";
            return 0;
        }
        const SimProcess* owner = process();
        if (owner == nullptr) return 0;
        if (e.threadIndex < owner->threads.size()) return owner->threads[e.threadIndex];
        problem = Narrow(owner->exeName) + " has " + std::to_string(owner->threads.size()) + " threads, no thread " + std::to_string(e.threadIndex);
        return 0;
    };
    auto heap = [&](SimProcess& owner) -> SimHeap* {
        if (e.heapIndex < owner.heaps.size()) return &owner.heaps[e.heapIndex];
        problem = Narrow(owner.exeName) + " has " + std::to_string(owner.heaps.size()) + " heaps, no heap " + std::to_string(e.heapIndex);
        return nullptr;
    };
    auto window = [&]() -> WindowId {
        for (const SimWindow& w : windows_)
            if (w.title == e.name) return w.id;
        problem = "no window " + Quoted(e.name) + " is open";
        return 0;
    };
    auto service = [&]() -> SimService* {
        std::wstring prefix = e.name;
        if (!prefix.empty() && prefix.back() != L':') prefix += L':';
        SimService* found = FindService(prefix);
        if (found == nullptr) problem = "no service " + Quoted(prefix) + " is running";
        return found;
    };
    auto device = [&]() -> SimStreamDevice* {
        SimStreamDevice* found = FindDevice(e.name);
        if (found == nullptr) problem = "no device " + Quoted(e.name) + " is active";
        return found;
    };
    auto interfaceRow = [&]() -> SimInterface* {
        SimInterface* found = FindInterface(e.interfaceIndex);
        if (found == nullptr) problem = "no interface " + std::to_string(e.interfaceIndex);
        return found;
    };
    auto module = [&]() -> uint32_t {
        const uint32_t id = ModuleIdByName(e.name);
        if (id == 0) problem = "no module " + Quoted(e.name) + " on the device";
        return id;
    };

    switch (e.kind) {
    case SimEventKind::StartProcess: {
        for (const ModuleUse& use : e.process.modules)
            if (ModuleIdByName(use.name) == 0) {
                problem = "no module " + Quoted(use.name) + " on the device";
                return false;
            }
        if (AddProcess(e.process) != 0) return true;
        problem = "process id " + std::to_string(e.process.id) + " is taken";
        return false;
    }
    case SimEventKind::EndProcess: {
        SimProcess* p = process();
        return p != nullptr && EndProcess(p->id, e.exitCode);
    }
    case SimEventKind::StartThread: {
        SimProcess* p = process();
        if (p == nullptr) return false;
        const uint32_t owner = p->id;
        for (const ThreadSpec& spec : e.threads)
            if (AddThread(owner, spec) == 0) {
                problem = "thread id " + std::to_string(spec.id) + " is taken";
                return false;
            }
        return true;
    }
    case SimEventKind::EndThread: {
        const uint32_t id = threadId();
        return id != 0 && RemoveThread(id);
    }
    case SimEventKind::SetThreadTimes: {
        const uint32_t id = threadId();
        if (id == 0) return false;
        Sync();
        const SimThread* t = FindThread(id);
        return SetThreadTimes(id, e.kernelTime.value_or(t->kernelTime), e.userTime.value_or(t->userTime));
    }
    case SimEventKind::SetThreadLoad: {
        const uint32_t id = threadId();
        return id != 0 && SetThreadLoad(id, e.load);
    }
    case SimEventKind::AddHeapBlock: {
        SimProcess* p = process();
        SimHeap* h = p != nullptr ? heap(*p) : nullptr;
        if (h == nullptr) return false;
        const uint32_t owner = p->id;
        const uint64_t heapId = h->id;
        for (const HeapBlockSpec& block : e.blocks) AddHeapBlock(owner, heapId, block);
        return true;
    }
    case SimEventKind::RemoveHeapBlock: {
        SimProcess* p = process();
        SimHeap* h = p != nullptr ? heap(*p) : nullptr;
        if (h == nullptr) return false;
        uint64_t address = 0;
        if (e.blockAddress) {
            const bool found = std::any_of(h->entries.begin(), h->entries.end(), [&](const HeapEntry& entry) { return entry.address == *e.blockAddress; });
            if (!found) {
                problem = "no block at address " + std::to_string(*e.blockAddress) + " in heap " + std::to_string(e.heapIndex);
                return false;
            }
            address = *e.blockAddress;
        } else if (e.blockIndex < h->entries.size()) {
            address = h->entries[e.blockIndex].address;
        } else {
            problem = "heap " + std::to_string(e.heapIndex) + " has " + std::to_string(h->entries.size()) + " blocks, no block " + std::to_string(e.blockIndex);
            return false;
        }
        return RemoveHeapBlock(p->id, h->id, address);
    }
    case SimEventKind::OpenWindow: {
        SimProcess* p = process();
        return p != nullptr && AddWindow(p->id, e.window) != 0;
    }
    case SimEventKind::CloseWindow: {
        const WindowId id = window();
        return id != 0 && RemoveWindow(id);
    }
    case SimEventKind::RetitleWindow: {
        const WindowId id = window();
        return id != 0 && SetWindowTitle(id, e.newTitle);
    }
    case SimEventKind::AddService: {
        const std::wstring prefix = e.service.prefix + std::to_wstring(e.service.index) + L":";
        if (FindService(prefix) != nullptr) {
            problem = "service " + Quoted(prefix) + " is running already";
            return false;
        }
        AddService(e.service);
        return true;
    }
    case SimEventKind::RemoveService: {
        SimService* s = service();
        return s != nullptr && RemoveService(s->entry.prefix);
    }
    case SimEventKind::SetServiceState: {
        SimService* s = service();
        if (s == nullptr) return false;
        s->entry.state = e.state;
        return true;
    }
    case SimEventKind::AddDevice: {
        if (FindDevice(e.device.legacyName) != nullptr) {
            problem = "device " + Quoted(e.device.legacyName) + " is active already";
            return false;
        }
        AddDevice(e.device);
        return true;
    }
    case SimEventKind::RemoveDevice: {
        SimStreamDevice* d = device();
        if (d == nullptr) return false;
        RemoveDevice(*d);
        return true;
    }
    case SimEventKind::SetDevicePower: {
        SimStreamDevice* d = device();
        if (d == nullptr) return false;
        d->power = e.state;
        return true;
    }
    case SimEventKind::AddInterface:
        if (AddInterface(e.interfaceSpec)) return true;
        problem = "interface " + std::to_string(e.interfaceSpec.row.index) + " is there already";
        return false;
    case SimEventKind::RemoveInterface:
        if (interfaceRow() == nullptr) return false;
        return RemoveInterface(e.interfaceIndex);
    case SimEventKind::SetInterface: {
        SimInterface* itf = interfaceRow();
        if (itf == nullptr) return false;
        if (e.status) itf->row.operStatus = *e.status;
        if (e.mtu) itf->row.mtu = *e.mtu;
        if (e.speed) itf->row.speed = *e.speed;
        for (const auto& [counter, value] : e.counters) itf->row.*InterfaceCounters()[counter].field = value;
        return true;
    }
    case SimEventKind::AddTraffic:
        if (interfaceRow() == nullptr) return false;
        return AddTraffic(e.interfaceIndex, e.traffic);
    case SimEventKind::AddModule:
        if (ModuleIdByName(e.module.name) != 0) {
            problem = "module " + Quoted(e.module.name) + " is on the device already";
            return false;
        }
        if (AddModule(e.module) != 0) return true;
        problem = "module id " + std::to_string(e.module.id) + " is taken";
        return false;
    case SimEventKind::LoadModule:
    case SimEventKind::UnloadModule: {
        SimProcess* p = process();
        if (p == nullptr) return false;
        const uint32_t id = module();
        if (id == 0) return false;
        if (e.kind == SimEventKind::LoadModule) return LoadModule(p->id, id, e.usage);
        if (UnloadModule(p->id, id)) return true;
        problem = Narrow(p->exeName) + " has not loaded " + Narrow(e.name);
        return false;
    }
    case SimEventKind::SetMemory: {
        MemoryStatus status = memory_;
        if (e.totalPhys) status.totalPhys = *e.totalPhys;
        if (e.availPhys) status.availPhys = *e.availPhys;
        if (e.totalVirtual) status.totalVirtual = *e.totalVirtual;
        if (e.availVirtual) status.availVirtual = *e.availVirtual;
        if (status.availPhys > status.totalPhys) {
            problem = "availPhys would be larger than totalPhys";
            return false;
        }
        if (e.memoryLoad) status.memoryLoad = *e.memoryLoad;
        else if (status.totalPhys > 0) status.memoryLoad = static_cast<uint32_t>((status.totalPhys - status.availPhys) * 100 / status.totalPhys);
        memory_ = status;
        return true;
    }
    case SimEventKind::Fail:
        InjectFailure(e.failure.call, e.failure.error, e.failure.count, e.failure.skip);
        return true;
    case SimEventKind::ClearFailures:
        ClearFailures();
        return true;
    }
    return true;
}

}  // namespace kestrun::platform::sim
