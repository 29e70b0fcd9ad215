#include "platform/linux/SysfsDeviceTable.h"

#include "platform/linux/Dir.h"
#include "platform/LastError.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrun::platform::linux_backend {

namespace {

// The names in the directory path below dir, sorted; false (errno set) when it cannot be read.
bool ListDirectory(int dir, const std::string& path, std::vector<std::string>& names)
{
    names.clear();
    Dir stream(dir, path.c_str());
    if (!stream.valid()) return false;
    while (const dirent* entry = stream.Next()) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return true;
}

bool ReadLink(int dir, const std::string& path, std::string& target)
{
    char buffer[4096];
    const ssize_t n = ::readlinkat(dir, path.c_str(), buffer, sizeof buffer);
    if (n < 0 || static_cast<size_t>(n) >= sizeof buffer) return false;
    target.assign(buffer, static_cast<size_t>(n));
    return true;
}

std::string Basename(std::string_view path)
{
    while (!path.empty() && path.back() == '/') path.remove_suffix(1);
    const size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

// The directory that entry (below dir, both relative to the sysfs root) stands
// for: its link target resolved by name, as "/sys/devices/...".
std::string KeyOf(int sys, const std::string& dir, const std::string& entry)
{
    std::string target;
    if (!ReadLink(sys, dir + "/" + entry, target)) return "/sys/" + dir + "/" + entry;
    if (!target.empty() && target.front() == '/') return target;
    std::vector<std::string> parts;
    auto walk = [&parts](std::string_view path) {
        size_t start = 0;
        while (start <= path.size()) {
            size_t end = path.find('/', start);
            if (end == std::string_view::npos) end = path.size();
            const std::string_view part = path.substr(start, end - start);
            if (part == "..") {
                if (!parts.empty()) parts.pop_back();
            } else if (!part.empty() && part != ".") {
                parts.emplace_back(part);
            }
            start = end + 1;
        }
    };
    walk(dir);
    walk(target);
    std::string key = "/sys";
    for (const std::string& part : parts) key += "/" + part;
    return key;
}

// DEVNAME= of a uevent file; empty when there is none.
std::string DevName(int node)
{
    std::string uevent;
    if (ReadFileAt(node, "uevent", uevent) != ProcRead::kOk) return {};
    size_t start = 0;
    while (start < uevent.size()) {
        size_t end = uevent.find('\n', start);
        if (end == std::string::npos) end = uevent.size();
        const std::string_view line(uevent.data() + start, end - start);
        if (line.substr(0, 8) == "DEVNAME=") return std::string(line.substr(8));
        start = end + 1;
    }
    return {};
}

bool HasDriver(int device)
{
    std::string target;
    return ReadLink(device, "driver", target);
}

bool Identify(SysfsDevice& device)
{
    struct stat st {};
    if (::fstat(device.node.get(), &st) != 0) return false;
    device.nodeDevice = st.st_dev;
    device.nodeInode = st.st_ino;
    return true;
}

// "4:64" -> (4, 64) for ordering; names that are not numbers sort last.
std::pair<unsigned long, unsigned long> DeviceNumber(const std::string& name)
{
    unsigned long major = ~0ul, minor = ~0ul;
    if (std::sscanf(name.c_str(), "%lu:%lu", &major, &minor) != 2) return {~0ul, ~0ul};
    return {major, minor};
}

}  // namespace

std::string FoldAscii(std::string_view text)
{
    std::string folded(text);
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return folded;
}

SysfsDeviceTable::SysfsDeviceTable(std::string sysRoot, std::string procRoot)
    : sysRoot_(std::move(sysRoot)), procRoot_(std::move(procRoot))
{
}

bool SysfsDeviceTable::SearchCharacterDevices(int sys, Devices& found)
{
    std::vector<std::string> names;
    if (!ListDirectory(sys, "dev/char", names)) return false;
    std::stable_sort(names.begin(), names.end(),
                     [](const std::string& a, const std::string& b) { return DeviceNumber(a) < DeviceNumber(b); });
    for (const std::string& name : names) {
        const std::string path = "dev/char/" + name;
        auto device = std::make_unique<SysfsDevice>();
        device->node = Fd(::openat(sys, path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!device->node.valid()) continue;  // gone since the listing
        // Virtual devices (mem, tty1, vcs) have no device below them, or one without a driver.
        device->parent = Fd(::openat(device->node.get(), "device", O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!device->parent.valid() || !HasDriver(device->parent.get()) || !Identify(*device)) continue;
        std::string target;
        device->boundName = ReadLink(device->node.get(), "device", target) ? Basename(target) : std::string("device");
        device->bus = ReadLink(device->parent.get(), "subsystem", target) ? Basename(target) : std::string();
        device->key = KeyOf(sys, "dev/char", name);
        device->legacyName = DevName(device->node.get());
        if (device->legacyName.empty()) device->legacyName = Basename(device->key);
        device->devicePath = "/dev/" + device->legacyName;
        found.push_back(std::move(device));
    }
    return true;
}

bool SysfsDeviceTable::SearchBuses(int sys, Devices& found)
{
    std::vector<std::string> buses;
    if (!ListDirectory(sys, "bus", buses)) return false;
    std::vector<std::string> names;
    for (const std::string& bus : buses) {
        const std::string dir = "bus/" + bus + "/devices";
        if (!ListDirectory(sys, dir, names)) continue;  // not a bus, or gone
        for (const std::string& name : names) {
            const std::string path = dir + "/" + name;
            auto device = std::make_unique<SysfsDevice>();
            device->node = Fd(::openat(sys, path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
            if (!device->node.valid() || !HasDriver(device->node.get()) || !Identify(*device)) continue;
            device->legacyName = name;
            device->boundName = name;
            device->bus = bus;
            device->key = KeyOf(sys, dir, name);
            device->devicePath = "/sys/" + path;
            found.push_back(std::move(device));
        }
    }
    return true;
}

bool SysfsDeviceTable::Search()
{
    const Fd sys(::open(sysRoot_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!sys.valid()) return FailWithErrno();
    Devices found;
    const bool characters = SearchCharacterDevices(sys.get(), found);
    const bool buses = SearchBuses(sys.get(), found);
    if (!characters && !buses) return FailWithErrno();
    Adopt(std::move(found));
    interruptsRead_ = modulesRead_ = false;
    return true;
}

void SysfsDeviceTable::Adopt(Devices found)
{
    // Keep the handle of a device found again: same key and the same directory.
    std::unordered_map<std::string, SysfsDevice*> previous;
    for (auto& device : devices_) previous.emplace(FoldAscii(device->key), device.get());

    byHandle_.clear();
    byName_.clear();
    byKey_.clear();
    for (auto& device : found) {
        const auto old = previous.find(FoldAscii(device->key));
        if (old != previous.end() && old->second->nodeDevice == device->nodeDevice && old->second->nodeInode == device->nodeInode)
            device->handle = old->second->handle;
        else
            device->handle = nextHandle_++;
        // Names are unique: a second device of the same name is known by its bus too.
        if (byName_.count(FoldAscii(device->legacyName)) != 0) device->legacyName = device->bus + "/" + device->legacyName;
        byHandle_.emplace(device->handle, device.get());
        byName_.emplace(FoldAscii(device->legacyName), device.get());
        byKey_.emplace(FoldAscii(device->key), device.get());
    }
    devices_ = std::move(found);
}

const SysfsDevice* SysfsDeviceTable::ByHandle(uint64_t handle) const
{
    const auto it = byHandle_.find(handle);
    return it == byHandle_.end() ? nullptr : it->second;
}

const SysfsDevice* SysfsDeviceTable::ByName(std::string_view legacyName) const
{
    const auto it = byName_.find(FoldAscii(legacyName));
    return it == byName_.end() ? nullptr : it->second;
}

const SysfsDevice* SysfsDeviceTable::ByKey(std::string_view key) const
{
    const auto it = byKey_.find(FoldAscii(key));
    return it == byKey_.end() ? nullptr : it->second;
}

const std::vector<InterruptLine>& SysfsDeviceTable::Interrupts()
{
    if (!interruptsRead_) {
        interruptsRead_ = true;
        std::string text;
        const Fd proc(::open(procRoot_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        interrupts_ = proc.valid() && ReadFileAt(proc.get(), "interrupts", text) == ProcRead::kOk ? ParseInterrupts(text)
                                                                                                 : std::vector<InterruptLine>{};
    }
    return interrupts_;
}

const std::vector<std::string>& SysfsDeviceTable::Modules()
{
    if (!modulesRead_) {
        modulesRead_ = true;
        std::string text;
        const Fd proc(::open(procRoot_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        modules_ = proc.valid() && ReadFileAt(proc.get(), "modules", text) == ProcRead::kOk ? ParseModules(text)
                                                                                           : std::vector<std::string>{};
    }
    return modules_;
}

}  // namespace kestrun::platform::linux_backend
