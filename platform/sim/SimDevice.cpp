#include "platform/sim/SimDevice.h"

#include "platform/LastError.h"

#include <algorithm>
#include <cerrno>
#include <utility>

namespace kestrun::platform::sim {

namespace {

constexpr uint64_t kUnitsPerMs = 10000;  // 100 ns units in one millisecond
constexpr uint32_t kFullLoad = 10000;    // hundredths of a percent

uint64_t SplitMix(uint64_t& state)
{
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// With load variation: a thread's load wanders between half and one and a half of its
// nominal value, changing once a second, so that the demo looks alive.
uint32_t Wobble(uint32_t load, uint32_t threadId, uint64_t uptimeMs)
{
    uint64_t state = (uint64_t{threadId} << 32) ^ (uptimeMs / 1000);
    const uint64_t factor = 50 + SplitMix(state) % 101;  // percent
    return static_cast<uint32_t>(std::min<uint64_t>(uint64_t{load} * factor / 100, kFullLoad));
}

}  // namespace

// ---- Clock ---------------------------------------------------------------------

void SimDevice::SetClockMode(ClockMode mode)
{
    Sync();
    clock_.SetMode(mode);
}

uint32_t SimDevice::Tick()
{
    Sync();
    return clock_.Tick();
}

void SimDevice::SetTick(uint32_t tick)
{
    Sync();
    clock_.SetTick(tick);
}

void SimDevice::AdvanceTime(uint32_t milliseconds)
{
    clock_.Advance(milliseconds);
    Charge(milliseconds);
}


void SimDevice::Charge(uint64_t elapsedMs)
{
    if (elapsedMs == 0) return;
    const bool wobble = Lively(loadVariation_);
    const uint64_t uptimeMs = clock_.uptimeMs();
    // A load is a share of one processor. When the loads add up to more than all
    // processors can run, each thread gets its proportional share.
    auto loadOf = [&](uint32_t slot) -> uint64_t {
        const uint32_t load = threads_.DetailsAt(slot).load;
        return wobble ? Wobble(load, threads_.At(slot).id, uptimeMs) : load;
    };
    uint64_t total = 0;
    for (const uint32_t slot : threads_.busySlots()) total += loadOf(slot);
    const uint64_t capacity = uint64_t{kFullLoad} * processors_;
    const uint64_t scale = std::max<uint64_t>(total, capacity);
    for (const uint32_t slot : threads_.busySlots()) {
        SimThread& thread = threads_.At(slot);
        const uint64_t load = loadOf(slot);
        if (load == 0) continue;
        // elapsed x load exactly while the processors keep up.
        const auto charge = static_cast<uint64_t>(static_cast<unsigned __int128>(elapsedMs) * kUnitsPerMs * load * capacity /
                                                  (static_cast<unsigned __int128>(scale) * kFullLoad));
        const uint64_t kernel = charge * std::min<uint32_t>(threads_.DetailsAt(slot).kernelShare, 100) / 100;
        thread.kernelTime += kernel;
        thread.userTime += charge - kernel;
    }
    if (Lively(heapChurn_)) {
        const uint64_t last = uptimeMs / 1000;
        uint64_t first = (uptimeMs - elapsedMs) / 1000 + 1;
        if (last >= first + 8) first = last - 8;  // after a long pause, only the last few seconds
        for (uint64_t second = first; second <= last; ++second) Churn(second);
    }
    if (!Lively(traffic_)) return;
    for (SimInterface& itf : interfaces_) {
        itf.inCarry += itf.inRate * elapsedMs;
        itf.outCarry += itf.outRate * elapsedMs;
        const uint64_t in = itf.inCarry / 1000;
        const uint64_t out = itf.outCarry / 1000;
        itf.inCarry %= 1000;
        itf.outCarry %= 1000;
        AddTraffic(itf.row.index, in, out, (in + 511) / 512, (out + 511) / 512);
    }
}

// With heap churn: once a second each busy program allocates or frees a block,
// so that the demo's memory figures move. Bounded: at most 32 blocks per process.
void SimDevice::Churn(uint64_t second)
{
    for (SimProcess& process : processes_.all()) {
        if (process.heaps.empty()) continue;
        uint32_t load = 0;
        for (uint32_t slot : process.threadSlots) load += threads_.DetailsAt(slot).load;
        if (load < 100) continue;  // below 1 %: idle
        uint64_t state = (uint64_t{process.id} << 32) ^ second;
        const uint64_t roll = SplitMix(state);
        std::vector<HeapEntry>& entries = process.heaps.front().entries;
        if (roll % 3 == 0 && process.churnBlocks < 32) {
            HeapEntry entry;
            entry.address = NextHeapAddress(process.heaps.front());
            entry.blockSize = 256u << ((roll >> 8) % 5);
            entry.flags = kHeapFixed;
            entry.processId = process.id;
            entry.heapId = process.heaps.front().id;
            entries.push_back(entry);
            process.heaps.front().bytes += entry.blockSize;
            process.heapBytes += entry.blockSize;
            ++process.heapBlocks;
            ++process.churnBlocks;
            memory_.availPhys -= std::min(memory_.availPhys, entry.blockSize);
        } else if (roll % 3 == 1 && process.churnBlocks > 0 && !entries.empty()) {
            memory_.availPhys = std::min(memory_.totalPhys, memory_.availPhys + entries.back().blockSize);
            process.heaps.front().bytes -= entries.back().blockSize;
            process.heapBytes -= entries.back().blockSize;
            --process.heapBlocks;
            entries.pop_back();
            --process.churnBlocks;
        } else {
            continue;
        }
        if (memory_.totalPhys > 0) memory_.memoryLoad = static_cast<uint32_t>((memory_.totalPhys - memory_.availPhys) * 100 / memory_.totalPhys);
    }
}

// ---- Access scope ----------------------------------------------------------------

uint32_t SimDevice::SetPermissions(uint32_t mask)
{
    const uint32_t previous = permissions_;
    permissions_ = mask;
    return previous;
}

bool SimDevice::CanWalk(uint32_t processId) const
{
    return permissions_ == 0xFFFFFFFFu || processId == ownProcessId_;
}

// ---- Identifiers -------------------------------------------------------------------

// Ids look like the device's: scattered 32-bit values, processes ending in 2 and
// threads in E, the same on every run.
uint32_t SimDevice::NewId(uint32_t low)
{
    for (;;) {
        const auto id = static_cast<uint32_t>((SplitMix(idState_) & 0xFFFFFFF0u) | low);
        if (id == 0 || id == 0xFFFFFFFFu) continue;
        if (processes_.Contains(id) || threads_.Contains(id) || modules_.Contains(id)) continue;
        return id;
    }
}

// ---- Processes ----------------------------------------------------------------------

uint32_t SimDevice::AddProcess(const ProcessSpec& spec)
{
    Sync();
    const uint32_t id = spec.id != 0 ? spec.id : NewId(0x2);
    if (processes_.Contains(id)) return 0;
    SimProcess process;
    process.id = id;
    process.exeName = spec.exeName;
    if (!spec.exeName.empty() && spec.exeName.size() <= process.shortName.size() &&
        std::all_of(spec.exeName.begin(), spec.exeName.end(), [](wchar_t c) { return c > 0 && c < 0x80; })) {
        std::copy(spec.exeName.begin(), spec.exeName.end(), process.shortName.begin());
        process.shortNameLength = static_cast<uint8_t>(spec.exeName.size());
    }
    process.path = spec.path.empty() ? L"\\Windows\\" + spec.exeName : spec.path;
    const uint32_t slot = nextSlot_++;
    process.memoryBase = spec.memoryBase != 0 ? spec.memoryBase : 0x02000000ull * ((slot - 1) % 63 + 1);
    process.accessKey = spec.accessKey != 0 ? spec.accessKey : 1u << ((slot - 1) % 32);
    process.terminable = spec.terminable;
    process.serial = nextSerial_++;
    process.parentId = processes_.all().empty() ? 0 : processes_.all().front().id;
    const std::wstring path = processes_.Add(std::move(process)).path;
    if (spec.self) ownProcessId_ = id;

    if (FindFile(path) == nullptr) {
        FileInfo info;
        info.attributes = spec.inRom ? (kFileInRom | kFileRomModule | kFileReadOnly | kFileSystem) : kFileArchive;
        info.size = 0x8000;
        info.creation = info.lastWrite = info.lastAccess = FileTime::FromValue(clock_.bootTime() - 86400ull * 1000 * kUnitsPerMs);
        AddFile(path, info);
    }
    for (const ThreadSpec& thread : spec.threads) AddThread(id, thread);
    for (const HeapSpec& heapSpec : spec.heaps) {
        const uint64_t heapId = heapSpec.heapId != 0 ? heapSpec.heapId : AddHeap(id, heapSpec.flags);
        if (heapSpec.heapId != 0) {
            SimHeap heap;
            heap.id = heapSpec.heapId;
            heap.flags = heapSpec.flags;
            FindProcess(id)->heaps.push_back(std::move(heap));
        }
        for (const HeapBlockSpec& block : heapSpec.blocks) AddHeapBlock(id, heapId, block);
    }
    for (const ModuleUse& use : spec.modules) {
        const uint32_t moduleId = ModuleIdByName(use.name);
        if (moduleId != 0) LoadModule(id, moduleId, use.usage);
    }
    for (const WindowSpec& window : spec.windows) AddWindow(id, window);
    return id;
}

bool SimDevice::EndProcess(uint32_t processId, int exitCode)
{
    Sync();
    SimProcess* process = processes_.Find(processId);
    if (process == nullptr) return Fail(ESRCH);
    for (const uint32_t slot : process->threadSlots) threads_.Remove(slot);
    threads_.SendHome(processId);
    for (const SimModuleRef& ref : process->modules) {
        SimModule* module = modules_.Find(ref.moduleId);
        if (module != nullptr && module->processCount > 0) --module->processCount;
    }
    std::erase_if(windows_, [processId](const SimWindow& w) { return w.processId == processId; });
    windowIndexStale_ = true;
    if (foreground_ != 0 && FindWindow(foreground_) == nullptr) foreground_ = windows_.empty() ? 0 : windows_.front().id;
    processes_.Erase(processId);
    exitCodes_[processId] = exitCode;
    if (processId == ownProcessId_) ownProcessId_ = 0;
    return true;
}

std::optional<int> SimDevice::ExitCode(uint32_t processId) const
{
    auto it = exitCodes_.find(processId);
    if (it == exitCodes_.end()) return std::nullopt;
    return it->second;
}

// ---- Threads -------------------------------------------------------------------------

uint32_t SimDevice::AddThread(uint32_t processId, const ThreadSpec& spec)
{
    Sync();
    SimProcess* process = FindProcess(processId);
    if (process == nullptr) return 0;
    const uint32_t id = spec.id != 0 ? spec.id : NewId(0xE);
    if (threads_.Contains(id)) return 0;
    SimThread thread;
    thread.id = id;
    thread.ownerId = processId;
    thread.creation = clock_.bootTime() + spec.createdMs.value_or(clock_.uptimeMs()) * kUnitsPerMs;
    thread.kernelTime = spec.kernelTime;
    thread.userTime = spec.userTime;
    SimThreadDetails details;
    details.currentProcessId = processId;
    if (!spec.runsIn.empty()) {
        const uint32_t host = ProcessIdByName(spec.runsIn);
        if (host != 0) details.currentProcessId = host;
    }
    details.basePriority = spec.basePriority;
    details.deltaPriority = spec.deltaPriority;
    details.usageCount = spec.usageCount;
    details.accessKey = process->accessKey;
    details.load = std::min(spec.load, kFullLoad);
    details.kernelShare = std::min<uint32_t>(spec.kernelShare, 100);
    const uint32_t slot = threads_.Add(thread, details);
    if (process->threads.empty()) {
        process->firstThreadSlot = slot;
        process->contiguousThreads = true;
    } else if (slot != process->firstThreadSlot + process->threads.size()) {
        process->contiguousThreads = false;
    }
    process->threads.push_back(id);
    process->threadSlots.push_back(slot);
    return id;
}

bool SimDevice::RemoveThread(uint32_t threadId)
{
    const std::optional<uint32_t> slot = threads_.SlotOf(threadId);
    if (!slot) return Fail(ESRCH);
    if (SimProcess* owner = FindProcess(threads_.At(*slot).ownerId)) {
        for (size_t k = 0; k < owner->threads.size(); ++k) {
            if (owner->threads[k] != threadId) continue;
            owner->threads.erase(owner->threads.begin() + static_cast<std::ptrdiff_t>(k));
            if (k != owner->threads.size()) owner->contiguousThreads = false;  // only losing the last thread keeps them side by side
            owner->threadSlots.erase(owner->threadSlots.begin() + static_cast<std::ptrdiff_t>(k));
            break;
        }
    }
    threads_.Remove(*slot);
    return true;
}

std::span<const SimThread> SimDevice::ContiguousThreads(const SimProcess& process) const
{
    if (!process.contiguousThreads || process.threads.empty()) return {};
    return {threads_.data() + process.firstThreadSlot, process.threads.size()};
}

const SimThread* SimDevice::ThreadOf(const SimProcess& process, size_t k, uint32_t threadId) const
{
    if (process.contiguousThreads && k < process.threads.size()) {
        const SimThread& thread = threads_.At(static_cast<uint32_t>(process.firstThreadSlot + k));
        if (thread.id == threadId) return &thread;  // ids are unique; a free slot has id 0
    }
    if (k < process.threadSlots.size()) {
        const SimThread& thread = threads_.At(process.threadSlots[k]);
        if (thread.id == threadId) return &thread;  // ids are unique; a free slot has id 0
    }
    return FindThread(threadId);
}

bool SimDevice::SetThreadTimes(uint32_t threadId, uint64_t kernel, uint64_t user)
{
    SimThread* thread = FindThread(threadId);
    if (thread == nullptr) return Fail(ESRCH);
    thread->kernelTime = kernel;
    thread->userTime = user;
    return true;
}

bool SimDevice::SetThreadLoad(uint32_t threadId, uint32_t load)
{
    Sync();  // time so far is charged at the old load
    const std::optional<uint32_t> slot = threads_.SlotOf(threadId);
    if (!slot) return Fail(ESRCH);
    threads_.SetLoad(*slot, std::min(load, kFullLoad));
    return true;
}

bool SimDevice::SetThreadRunsIn(uint32_t threadId, uint32_t processId)
{
    SimThreadDetails* thread = FindThreadDetails(threadId);
    if (thread == nullptr) return Fail(ESRCH);
    if (FindProcess(processId) == nullptr) return Fail(ESRCH);
    thread->currentProcessId = processId;
    return true;
}

// ---- Heaps -----------------------------------------------------------------------------

uint64_t SimDevice::AddHeap(uint32_t processId, uint32_t flags)
{
    SimProcess* process = FindProcess(processId);
    if (process == nullptr) return 0;
    SimHeap heap;
    heap.id = process->memoryBase + 0x00010000 + 0x00100000 * process->heaps.size() + (++nextHeapId_ << 4);
    heap.flags = flags;
    process->heaps.push_back(std::move(heap));
    return process->heaps.back().id;
}

uint64_t SimDevice::NextHeapAddress(const SimHeap& heap)
{
    if (heap.entries.empty()) return heap.id + 0x20;
    const HeapEntry& last = heap.entries.back();
    return last.address + ((last.blockSize + 15) & ~uint64_t{15}) + 0x10;  // block header between entries
}

bool SimDevice::AddHeapBlock(uint32_t processId, uint64_t heapId, const HeapBlockSpec& block)
{
    SimProcess* process = FindProcess(processId);
    if (process == nullptr) return Fail(ESRCH);
    for (SimHeap& heap : process->heaps) {
        if (heap.id != heapId) continue;
        HeapEntry entry;
        entry.address = block.address != 0 ? block.address : NextHeapAddress(heap);
        entry.blockSize = block.size;
        entry.flags = block.flags;
        entry.lockCount = block.lockCount;
        entry.processId = processId;
        entry.heapId = heapId;
        heap.entries.push_back(entry);
        heap.bytes += entry.blockSize;
        process->heapBytes += entry.blockSize;
        ++process->heapBlocks;
        return true;
    }
    return Fail(ENOENT);
}

bool SimDevice::RemoveHeapBlock(uint32_t processId, uint64_t heapId, uint64_t address)
{
    SimProcess* process = FindProcess(processId);
    if (process == nullptr) return Fail(ESRCH);
    for (SimHeap& heap : process->heaps) {
        if (heap.id != heapId) continue;
        uint64_t removed = 0;
        const auto gone = std::erase_if(heap.entries, [address, &removed](const HeapEntry& e) {
            if (e.address != address) return false;
            removed += e.blockSize;
            return true;
        });
        if (gone == 0) continue;
        heap.bytes -= removed;
        process->heapBytes -= removed;
        process->heapBlocks -= static_cast<uint32_t>(gone);
        return true;
    }
    return Fail(ENOENT);
}

// ---- Modules ------------------------------------------------------------------------------

uint32_t SimDevice::AddModule(const ModuleSpec& spec)
{
    const uint32_t id = spec.id != 0 ? spec.id : NewId(0x0);
    if (modules_.Contains(id)) return 0;
    SimModule module;
    module.id = id;
    module.name = spec.name;
    module.path = spec.path.empty() ? L"\\Windows\\" + spec.name : spec.path;
    module.baseAddress = spec.baseAddress != 0 ? spec.baseAddress : 0x03F00000ull - 0x10000ull * (modules_.size() + 1);
    module.size = spec.size != 0 ? spec.size : 0x10000;
    module.inRom = spec.inRom;
    if (FindFile(module.path) == nullptr) {
        FileInfo info;
        info.attributes = spec.inRom ? (kFileInRom | kFileRomModule | kFileReadOnly | kFileSystem) : kFileArchive;
        info.size = module.size;
        info.creation = info.lastWrite = info.lastAccess = FileTime::FromValue(clock_.bootTime() - 86400ull * 1000 * kUnitsPerMs);
        AddFile(module.path, info, spec.version);
    }
    modules_.Add(std::move(module));
    return id;
}

bool SimDevice::LoadModule(uint32_t processId, uint32_t moduleId, uint32_t usage)
{
    SimProcess* process = FindProcess(processId);
    if (process == nullptr) return Fail(ESRCH);
    SimModule* module = modules_.Find(moduleId);
    if (module == nullptr) return Fail(ENOENT);
    for (SimModuleRef& ref : process->modules) {
        if (ref.moduleId == moduleId) {
            ref.usage += usage;
            return true;
        }
    }
    process->modules.push_back({moduleId, usage});
    ++module->processCount;
    return true;
}

bool SimDevice::UnloadModule(uint32_t processId, uint32_t moduleId)
{
    SimProcess* process = FindProcess(processId);
    if (process == nullptr) return Fail(ESRCH);
    if (std::erase_if(process->modules, [moduleId](const SimModuleRef& r) { return r.moduleId == moduleId; }) == 0) return Fail(ENOENT);
    if (SimModule* module = modules_.Find(moduleId)) --module->processCount;
    return true;
}

}  // namespace kestrun::platform::sim
