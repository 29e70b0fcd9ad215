#include "platform/sim/SimDevice.h"

#include "platform/LastError.h"

#include <algorithm>
#include <cerrno>
#include <cwctype>
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

// Real clock only: a thread's load wanders between half and one and a half of its
// nominal value, changing once a second, so that the demo looks alive.
uint32_t Wobble(uint32_t load, uint32_t threadId, uint64_t uptimeMs)
{
    uint64_t state = (uint64_t{threadId} << 32) ^ (uptimeMs / 1000);
    const uint64_t factor = 50 + SplitMix(state) % 101;  // percent
    return static_cast<uint32_t>(std::min<uint64_t>(uint64_t{load} * factor / 100, kFullLoad));
}

}  // namespace

std::wstring Lower(const std::wstring& text)
{
    std::wstring out(text);
    for (wchar_t& c : out) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    return out;
}

bool SimFailures::Consume(SimCall call)
{
    Slot& slot = slots_[Index(call)];
    if (slot.count == 0) return false;
    if (slot.skip > 0) {
        --slot.skip;
        return false;
    }
    if (slot.count > 0) --slot.count;
    SetLastError(slot.error);
    return true;
}

// ---- Clock ---------------------------------------------------------------------

void SimDevice::SetClockMode(ClockMode mode)
{
    Sync();
    clockMode_ = mode;
    realBase_ = std::chrono::steady_clock::now();
    realBaseUptime_ = uptimeMs_;
}

uint32_t SimDevice::Tick()
{
    Sync();
    return static_cast<uint32_t>(uptimeMs_) + tickOffset_;
}

void SimDevice::SetTick(uint32_t tick)
{
    Sync();
    tickOffset_ = tick - static_cast<uint32_t>(uptimeMs_);
}

void SimDevice::AdvanceTime(uint32_t milliseconds)
{
    uptimeMs_ += milliseconds;
    Charge(milliseconds);
}

void SimDevice::Sync()
{
    if (clockMode_ != ClockMode::Real) return;
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - realBase_);
    const uint64_t target = realBaseUptime_ + static_cast<uint64_t>(elapsed.count());
    if (target <= uptimeMs_) return;
    const uint64_t delta = target - uptimeMs_;
    uptimeMs_ = target;
    Charge(delta);
}

void SimDevice::Charge(uint64_t elapsedMs)
{
    if (elapsedMs == 0) return;
    const bool real = clockMode_ == ClockMode::Real;
    // One processor: when the loads add up to more than all of it, each gets its proportional share.
    auto loadOf = [&](size_t slot) -> uint64_t {
        const uint32_t load = threadDetails_[slot].load;
        return real ? Wobble(load, threadStore_[slot].id, uptimeMs_) : load;
    };
    uint64_t total = 0;
    for (const uint32_t slot : busySlots_) total += loadOf(slot);
    const uint64_t scale = std::max<uint64_t>(total, kFullLoad);
    for (const uint32_t slot : busySlots_) {
        SimThread& thread = threadStore_[slot];
        const uint64_t load = loadOf(slot);
        if (load == 0) continue;
        const auto charge = static_cast<uint64_t>(static_cast<unsigned __int128>(elapsedMs) * kUnitsPerMs * load / scale);
        const uint64_t kernel = charge * std::min<uint32_t>(threadDetails_[slot].kernelShare, 100) / 100;
        thread.kernelTime += kernel;
        thread.userTime += charge - kernel;
    }
    if (!real) return;
    const uint64_t last = uptimeMs_ / 1000;
    uint64_t first = (uptimeMs_ - elapsedMs) / 1000 + 1;
    if (last >= first + 8) first = last - 8;  // after a long pause, only the last few seconds
    for (uint64_t second = first; second <= last; ++second) Churn(second);
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

// Real clock only: once a second each busy program allocates or frees a block,
// so that the demo's memory figures move. Bounded: at most 32 blocks per process.
void SimDevice::Churn(uint64_t second)
{
    for (SimProcess& process : processes_) {
        if (process.heaps.empty()) continue;
        uint32_t load = 0;
        for (uint32_t slot : process.threadSlots) load += threadDetails_[slot].load;
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
        if (processIndex_.count(id) != 0 || threadSlot_.count(id) != 0 || moduleIndex_.count(id) != 0) continue;
        return id;
    }
}

void SimDevice::IndexProcesses()
{
    processIndex_.clear();
    for (size_t i = 0; i < processes_.size(); ++i) processIndex_[processes_[i].id] = i;
}

// ---- Processes ----------------------------------------------------------------------

uint32_t SimDevice::AddProcess(const ProcessSpec& spec)
{
    Sync();
    const uint32_t id = spec.id != 0 ? spec.id : NewId(0x2);
    if (processIndex_.count(id) != 0) return 0;
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
    process.parentId = processes_.empty() ? 0 : processes_.front().id;
    processes_.push_back(std::move(process));
    processIndex_[id] = processes_.size() - 1;
    if (spec.self) ownProcessId_ = id;

    const std::wstring path = processes_.back().path;
    if (FindFile(path) == nullptr) {
        FileInfo info;
        info.attributes = spec.inRom ? (kFileInRom | kFileRomModule | kFileReadOnly | kFileSystem) : kFileArchive;
        info.size = 0x8000;
        info.creation = info.lastWrite = info.lastAccess = FileTime::FromValue(bootTime_ - 86400ull * 1000 * kUnitsPerMs);
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
    auto found = processIndex_.find(processId);
    if (found == processIndex_.end()) return Fail(ESRCH);
    SimProcess& process = processes_[found->second];
    for (size_t k = 0; k < process.threads.size(); ++k) {
        threadSlot_.erase(process.threads[k]);
        threadStore_[process.threadSlots[k]] = SimThread{.id = 0};
        threadDetails_[process.threadSlots[k]] = {};
        MarkBusy(process.threadSlots[k], false);
        freeThreadSlots_.push_back(process.threadSlots[k]);
    }
    for (size_t slot = 0; slot < threadStore_.size(); ++slot) {
        SimThreadDetails& details = threadDetails_[slot];
        if (threadStore_[slot].id != 0 && details.currentProcessId == processId)
            details.currentProcessId = threadStore_[slot].ownerId;  // calls into it return
    }
    for (const SimModuleRef& ref : process.modules) {
        auto module = moduleIndex_.find(ref.moduleId);
        if (module != moduleIndex_.end() && modules_[module->second].processCount > 0) --modules_[module->second].processCount;
    }
    std::erase_if(windows_, [processId](const SimWindow& w) { return w.processId == processId; });
    windowIndexStale_ = true;
    if (foreground_ != 0 && FindWindow(foreground_) == nullptr) foreground_ = windows_.empty() ? 0 : windows_.front().id;
    processes_.erase(processes_.begin() + static_cast<std::ptrdiff_t>(found->second));
    IndexProcesses();
    exitCodes_[processId] = exitCode;
    if (processId == ownProcessId_) ownProcessId_ = 0;
    return true;
}

SimProcess* SimDevice::FindProcess(uint32_t processId)
{
    return const_cast<SimProcess*>(std::as_const(*this).FindProcess(processId));
}

// Walks over all processes ask in list order: the process after the last one
// found is tried before the index.
const SimProcess* SimDevice::FindProcess(uint32_t processId) const
{
    for (size_t at : {lastFound_, lastFound_ + 1})
        if (at < processes_.size() && processes_[at].id == processId) {
            lastFound_ = at;
            return &processes_[at];
        }
    auto it = processIndex_.find(processId);
    if (it == processIndex_.end()) return nullptr;
    lastFound_ = it->second;
    return &processes_[it->second];
}

uint32_t SimDevice::ProcessIdByName(const std::wstring& exeName) const
{
    const std::wstring wanted = Lower(exeName);
    for (const SimProcess& process : processes_)
        if (Lower(process.exeName) == wanted) return process.id;
    return 0;
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
    if (threadSlot_.count(id) != 0) return 0;
    SimThread thread;
    thread.id = id;
    thread.ownerId = processId;
    thread.creation = bootTime_ + spec.createdMs.value_or(uptimeMs_) * kUnitsPerMs;
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
    uint32_t slot = 0;
    if (!freeThreadSlots_.empty()) {
        slot = freeThreadSlots_.back();
        freeThreadSlots_.pop_back();
        threadStore_[slot] = thread;
        threadDetails_[slot] = details;
    } else {
        slot = static_cast<uint32_t>(threadStore_.size());
        threadStore_.push_back(thread);
        threadDetails_.push_back(details);
    }
    MarkBusy(slot, details.load > 0);
    threadSlot_.emplace(id, slot);
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
    auto it = threadSlot_.find(threadId);
    if (it == threadSlot_.end()) return Fail(ESRCH);
    const uint32_t slot = it->second;
    if (SimProcess* owner = FindProcess(threadStore_[slot].ownerId)) {
        for (size_t k = 0; k < owner->threads.size(); ++k) {
            if (owner->threads[k] != threadId) continue;
            owner->threads.erase(owner->threads.begin() + static_cast<std::ptrdiff_t>(k));
            if (k != owner->threads.size()) owner->contiguousThreads = false;  // only losing the last thread keeps them side by side
            owner->threadSlots.erase(owner->threadSlots.begin() + static_cast<std::ptrdiff_t>(k));
            break;
        }
    }
    threadStore_[slot] = SimThread{.id = 0};
    threadDetails_[slot] = {};
    MarkBusy(slot, false);
    freeThreadSlots_.push_back(slot);
    threadSlot_.erase(it);
    return true;
}

SimThread* SimDevice::FindThread(uint32_t threadId)
{
    auto it = threadSlot_.find(threadId);
    return it == threadSlot_.end() ? nullptr : &threadStore_[it->second];
}

const SimThread* SimDevice::FindThread(uint32_t threadId) const
{
    auto it = threadSlot_.find(threadId);
    return it == threadSlot_.end() ? nullptr : &threadStore_[it->second];
}

SimThreadDetails* SimDevice::FindThreadDetails(uint32_t threadId)
{
    auto it = threadSlot_.find(threadId);
    return it == threadSlot_.end() ? nullptr : &threadDetails_[it->second];
}

std::span<const SimThread> SimDevice::ContiguousThreads(const SimProcess& process) const
{
    if (!process.contiguousThreads || process.threads.empty()) return {};
    return {threadStore_.data() + process.firstThreadSlot, process.threads.size()};
}

const SimThread* SimDevice::ThreadOf(const SimProcess& process, size_t k, uint32_t threadId) const
{
    if (process.contiguousThreads && k < process.threads.size()) {
        const SimThread& thread = threadStore_[process.firstThreadSlot + k];
        if (thread.id == threadId) return &thread;  // ids are unique; a free slot has id 0
    }
    if (k < process.threadSlots.size()) {
        const SimThread& thread = threadStore_[process.threadSlots[k]];
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
    SimThreadDetails* thread = FindThreadDetails(threadId);
    if (thread == nullptr) return Fail(ESRCH);
    thread->load = std::min(load, kFullLoad);
    MarkBusy(static_cast<uint32_t>(thread - threadDetails_.data()), load > 0);
    return true;
}

void SimDevice::MarkBusy(uint32_t slot, bool busy)
{
    const auto at = std::lower_bound(busySlots_.begin(), busySlots_.end(), slot);
    const bool listed = at != busySlots_.end() && *at == slot;
    if (busy && !listed) busySlots_.insert(at, slot);
    if (!busy && listed) busySlots_.erase(at);
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
    if (moduleIndex_.count(id) != 0) return 0;
    SimModule module;
    module.id = id;
    module.name = spec.name;
    module.path = spec.path.empty() ? L"\\Windows\\" + spec.name : spec.path;
    module.baseAddress = spec.baseAddress != 0 ? spec.baseAddress : 0x03F00000ull - 0x10000ull * (modules_.size() + 1);
    module.size = spec.size != 0 ? spec.size : 0x10000;
    module.inRom = spec.inRom;
    modules_.push_back(module);
    moduleIndex_[id] = modules_.size() - 1;
    moduleByName_.emplace(Lower(spec.name), id);
    if (FindFile(module.path) == nullptr) {
        FileInfo info;
        info.attributes = spec.inRom ? (kFileInRom | kFileRomModule | kFileReadOnly | kFileSystem) : kFileArchive;
        info.size = module.size;
        info.creation = info.lastWrite = info.lastAccess = FileTime::FromValue(bootTime_ - 86400ull * 1000 * kUnitsPerMs);
        AddFile(module.path, info, spec.version);
    }
    return id;
}

const SimModule* SimDevice::FindModule(uint32_t moduleId) const
{
    auto it = moduleIndex_.find(moduleId);
    return it == moduleIndex_.end() ? nullptr : &modules_[it->second];
}

uint32_t SimDevice::ModuleIdByName(const std::wstring& name) const
{
    auto it = moduleByName_.find(Lower(name));
    return it == moduleByName_.end() ? 0 : it->second;
}

bool SimDevice::LoadModule(uint32_t processId, uint32_t moduleId, uint32_t usage)
{
    SimProcess* process = FindProcess(processId);
    if (process == nullptr) return Fail(ESRCH);
    auto module = moduleIndex_.find(moduleId);
    if (module == moduleIndex_.end()) return Fail(ENOENT);
    for (SimModuleRef& ref : process->modules) {
        if (ref.moduleId == moduleId) {
            ref.usage += usage;
            return true;
        }
    }
    process->modules.push_back({moduleId, usage});
    ++modules_[module->second].processCount;
    return true;
}

bool SimDevice::UnloadModule(uint32_t processId, uint32_t moduleId)
{
    SimProcess* process = FindProcess(processId);
    if (process == nullptr) return Fail(ESRCH);
    if (std::erase_if(process->modules, [moduleId](const SimModuleRef& r) { return r.moduleId == moduleId; }) == 0) return Fail(ENOENT);
    --modules_[moduleIndex_.at(moduleId)].processCount;
    return true;
}

}  // namespace kestrun::platform::sim
