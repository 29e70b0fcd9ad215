// Machine-wide kernel services on Linux: the boot clock, /proc/meminfo capped by
// the memory cgroup, /proc/stat busy time, the single-instance lock file,
// per-thread scheduling levels and reboot through logind.
#include "platform/Notice.h"
#include "platform/linux/LinuxPlatform.h"
#include "platform/linux/LogindReboot.h"
#include "platform/linux/PriorityMap.h"
#include "platform/linux/RuntimeDir.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <sched.h>
#include <sstream>
#include <sys/file.h>
#include <sys/reboot.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysinfo.h>
#include <unistd.h>

namespace kestrun::platform::linux_backend {

namespace {

// Whole small text file; nullopt (errno set) when it cannot be opened.
std::optional<std::string> ReadText(const std::string& path)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int error = errno;
            close(fd);
            errno = error;
            return std::nullopt;
        }
        if (n == 0) break;
        text.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    return text;
}

std::optional<uint64_t> ParseUnsigned(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.remove_suffix(1);
    uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return value;
}

// --- Memory ------------------------------------------------------------------

struct MemInfo {
    std::optional<uint64_t> total, available, free, buffers, cached;  // bytes
};

MemInfo ParseMemInfo(const std::string& text)
{
    MemInfo info;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const auto colon = line.find(':');
        if (colon == std::string::npos) continue;
        const std::string key = line.substr(0, colon);
        std::istringstream rest(line.substr(colon + 1));
        std::string number, unit;
        rest >> number >> unit;
        const auto value = ParseUnsigned(number);
        if (!value) continue;
        // Every size line is in kB (KiB); a line without a unit is a count.
        if (unit != "kB") continue;
        if (*value > UINT64_MAX / 1024) continue;
        const uint64_t bytes = *value * 1024;
        if (key == "MemTotal") info.total = bytes;
        else if (key == "MemAvailable") info.available = bytes;
        else if (key == "MemFree") info.free = bytes;
        else if (key == "Buffers") info.buffers = bytes;
        else if (key == "Cached") info.cached = bytes;
    }
    return info;
}

// A cgroup's limit and what it holds that cannot be reclaimed at once.
struct CgroupMemory {
    uint64_t limit = UINT64_MAX;
    uint64_t used = 0;
};

std::optional<uint64_t> StatValue(const std::string& text, std::string_view key)
{
    std::istringstream lines(text);
    std::string name, value;
    while (lines >> name >> value)
        if (name == key) return ParseUnsigned(value);
    return std::nullopt;
}

// Walks from the process's cgroup to the hierarchy's root: a parent's limit
// binds the children too. Usage is taken at the cgroup with the tightest
// limit, less its inactive file cache (reclaimable, as MemAvailable counts it).
void CapByHierarchy(const std::string& mount, std::string path, bool v2, CgroupMemory& result)
{
    const char* limitFile = v2 ? "memory.max" : "memory.limit_in_bytes";
    const char* usageFile = v2 ? "memory.current" : "memory.usage_in_bytes";
    const char* inactiveKey = v2 ? "inactive_file" : "total_inactive_file";
    for (;;) {
        const std::string dir = mount + (path == "/" ? "" : path);
        if (const auto text = ReadText(dir + "/" + limitFile)) {
            const auto limit = ParseUnsigned(*text);  // "max" parses as none
            if (limit && *limit < result.limit) {
                result.limit = *limit;
                const auto usage = ReadText(dir + "/" + usageFile);
                uint64_t used = usage ? ParseUnsigned(*usage).value_or(0) : 0;
                if (const auto stat = ReadText(dir + "/memory.stat")) {
                    const uint64_t inactive = StatValue(*stat, inactiveKey).value_or(0);
                    used = used > inactive ? used - inactive : 0;
                }
                result.used = used;
            }
        }
        if (path.empty() || path == "/") break;
        const auto slash = path.rfind('/');
        path = slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
    }
}

CgroupMemory ReadCgroupMemory(const LinuxRoots& roots)
{
    CgroupMemory result;
    const auto text = ReadText(roots.proc + "/self/cgroup");
    if (!text) return result;
    std::istringstream lines(*text);
    std::string line;
    while (std::getline(lines, line)) {
        // "hierarchy-id:controllers:path"; v2 is "0::path".
        const auto first = line.find(':');
        const auto second = first == std::string::npos ? first : line.find(':', first + 1);
        if (second == std::string::npos) continue;
        const std::string controllers = line.substr(first + 1, second - first - 1);
        const std::string path = line.substr(second + 1);
        if (path.empty() || path[0] != '/') continue;
        if (controllers.empty()) {
            CapByHierarchy(roots.sys + "/fs/cgroup", path, true, result);
        } else {
            std::istringstream list(controllers);
            std::string controller;
            while (std::getline(list, controller, ','))
                if (controller == "memory") CapByHierarchy(roots.sys + "/fs/cgroup/memory", path, false, result);
        }
    }
    return result;
}

// Percent of physical memory in use, rounded to the nearest whole percent so
// that 0.4 % in use reads 0 and 99.6 % reads 100, as a gauge should show them.
uint32_t LoadPercent(uint64_t total, uint64_t available)
{
    if (total == 0) return 0;
    available = std::min(available, total);
    const unsigned __int128 used = total - available;
    return static_cast<uint32_t>((used * 100 + total / 2) / total);
}

// The address space a process may use, and what this one has not mapped yet.
void FillVirtual(const LinuxRoots& roots, MemoryStatus& status)
{
    constexpr uint64_t kUserSpace = uint64_t{1} << 47;  // x86-64 user half with 4-level paging
    rlimit limit{};
    status.totalVirtual = kUserSpace;
    if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        status.totalVirtual = std::min<uint64_t>(kUserSpace, limit.rlim_cur);
    uint64_t mapped = 0;
    if (const auto text = ReadText(roots.proc + "/self/status")) {
        const auto at = text->find("VmSize:");
        if (at != std::string::npos) {
            std::istringstream rest(text->substr(at + 7));
            uint64_t kb = 0;
            if (rest >> kb) mapped = kb * 1024;
        }
    }
    status.availVirtual = status.totalVirtual > mapped ? status.totalVirtual - mapped : 0;
}

// --- Single-instance lock ------------------------------------------------------

class FileInstanceLock final : public InstanceLock {
public:
    explicit FileInstanceLock(int fd) : fd_(fd) {}
    ~FileInstanceLock() override { close(fd_); }  // closing the last descriptor drops the flock
    FileInstanceLock(const FileInstanceLock&) = delete;
    FileInstanceLock& operator=(const FileInstanceLock&) = delete;

private:
    int fd_;
};

// Lock file name for a guard name: bytes outside [A-Za-z0-9._-] are %XX, so
// distinct names never share a file and no name can climb out of the folder.
std::string LockFileName(const std::wstring& name)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out = "kestrun-";
    for (const unsigned char c : Narrow(name)) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
            c == '.') {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 15]);
        }
    }
    constexpr size_t kMaxStem = 200;  // NAME_MAX is 255
    if (out.size() > kMaxStem) {
        uint64_t hash = 14695981039346656037ull;  // FNV-1a of the whole name keeps long names apart
        for (const char c : out) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
        char tail[17];
        snprintf(tail, sizeof tail, "%016llx", static_cast<unsigned long long>(hash));
        out = out.substr(0, kMaxStem - 17) + "~" + tail;
    }
    return out + ".lock";
}

// The lock file for name in dir, opened (made when missing); -1 with errno set.
// Close-on-exec: a program we start (the help viewer) must not keep holding the
// lock after this copy has gone.
int OpenLockFile(const std::string& dir, const std::wstring& name)
{
    const std::string path = dir + "/" + LockFileName(name);
    return open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
}

// --- The service -----------------------------------------------------------------

class LinuxKernel final : public Kernel {
public:
    explicit LinuxKernel(LinuxRoots roots) : roots_(std::move(roots)) {}

    uint32_t GetTickCount() override
    {
        timespec ts{};
        clock_gettime(CLOCK_BOOTTIME, &ts);  // counts suspend too, as a tick count since boot must
        const uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
        return static_cast<uint32_t>(ms);
    }

    MemoryStatus GlobalMemoryStatus() override
    {
        MemoryStatus status;
        MemInfo info;
        if (const auto text = ReadText(roots_.proc + "/meminfo")) info = ParseMemInfo(*text);
        if (info.total && *info.total > 0) {
            status.totalPhys = *info.total;
            // Kernels before 3.14 have no MemAvailable: estimate it as they did.
            status.availPhys = info.available.value_or(info.free.value_or(0) + info.buffers.value_or(0) +
                                                       info.cached.value_or(0));
        } else {
            struct sysinfo si{};
            if (sysinfo(&si) == 0) {
                // sysinfo has no "available": free plus buffers is its nearest figure.
                status.totalPhys = uint64_t{si.totalram} * si.mem_unit;
                status.availPhys = (uint64_t{si.freeram} + si.bufferram) * si.mem_unit;
            }
        }
        status.availPhys = std::min(status.availPhys, status.totalPhys);

        // meminfo shows the whole machine; a container sees its cgroup's limit.
        const CgroupMemory cgroup = ReadCgroupMemory(roots_);
        if (cgroup.limit < status.totalPhys) {
            status.totalPhys = cgroup.limit;
            const uint64_t room = cgroup.limit > cgroup.used ? cgroup.limit - cgroup.used : 0;
            status.availPhys = std::min(status.availPhys, room);
        }
        status.memoryLoad = LoadPercent(status.totalPhys, status.availPhys);
        FillVirtual(roots_, status);
        return status;
    }

    unsigned ProcessorCount() override
    {
        // The processors whose time the "cpu" line of stat adds up (every online
        // one), so that a busy time over this count is a share of the machine.
        if (const auto text = ReadText(roots_.proc + "/stat")) {
            unsigned count = 0;
            size_t at = 0;
            while (at < text->size()) {
                const size_t end = std::min(text->find('\n', at), text->size());
                if (end - at > 3 && text->compare(at, 3, "cpu") == 0 && std::isdigit(static_cast<unsigned char>((*text)[at + 3])))
                    ++count;
                at = end + 1;
            }
            if (count > 0) return count;
        }
        const long online = sysconf(_SC_NPROCESSORS_ONLN);
        return online > 0 ? static_cast<unsigned>(online) : 1u;
    }

    std::optional<uint64_t> TotalBusyTime() override
    {
        const auto text = ReadText(roots_.proc + "/stat");
        if (!text) { FailWithErrno(); return std::nullopt; }
        // "cpu  user nice system idle iowait irq softirq steal guest guest_nice", in
        // clock ticks; guest time is already inside user and nice.
        std::istringstream lines(*text);
        std::string line;
        while (std::getline(lines, line)) {
            if (line.rfind("cpu ", 0) != 0) continue;
            std::istringstream fields(line.substr(4));
            uint64_t values[8] = {};
            int count = 0;
            std::string word;
            while (count < 8 && fields >> word) {
                const auto value = ParseUnsigned(word);
                if (!value) { Fail(EBADMSG); return std::nullopt; }
                values[count++] = *value;
            }
            if (count < 4) { Fail(EBADMSG); return std::nullopt; }
            using Wide = unsigned __int128;
            const Wide busy = Wide{values[0]} + values[1] + values[2] + values[5] +
                                           values[6] + values[7];
            const long hz = sysconf(_SC_CLK_TCK);
            const uint64_t ticksPerSecond = hz > 0 ? static_cast<uint64_t>(hz) : 100u;
            const Wide units = busy * 10000000u / ticksPerSecond;  // 100 ns units
            if (units > UINT64_MAX) { Fail(EOVERFLOW); return std::nullopt; }
            return static_cast<uint64_t>(units);
        }
        Fail(EBADMSG);
        return std::nullopt;
    }

    std::optional<std::wstring> OwnModuleFileName() override
    {
        const std::string link = roots_.proc + "/self/exe";
        std::string buffer(256, '\0');
        for (;;) {
            const ssize_t n = readlink(link.c_str(), buffer.data(), buffer.size());
            if (n < 0) { FailWithErrno(); return std::nullopt; }
            if (static_cast<size_t>(n) < buffer.size()) {
                buffer.resize(static_cast<size_t>(n));
                break;
            }
            if (buffer.size() >= 65536) { Fail(ENAMETOOLONG); return std::nullopt; }
            buffer.resize(buffer.size() * 2);  // it may have been cut short: try again with room
        }
        // A program replaced on disk while it runs links to "PATH (deleted)".
        constexpr std::string_view kDeleted = " (deleted)";
        if (buffer.size() > kDeleted.size() && buffer.ends_with(kDeleted) && access(buffer.c_str(), F_OK) != 0)
            buffer.resize(buffer.size() - kDeleted.size());
        return Widen(buffer);
    }

    uint32_t GetCurrentProcessId() override { return static_cast<uint32_t>(getpid()); }

    InstanceLockResult CreateInstanceLock(const std::wstring& name) override
    {
        InstanceLockResult result;
        const auto dir = PrivateRuntimeDirectory();
        if (!dir) { FailWithErrno(); return result; }
        int fd = OpenLockFile(*dir, name);
        if (fd < 0) {
            // $XDG_RUNTIME_DIR that refuses the file (read-only, not ours, /proc):
            // every copy then meets in the per-user folder, so one still runs alone.
            const int error = errno;
            const auto fallback = FallbackRuntimeDirectory();
            if (fallback && *fallback != *dir) {
                fd = OpenLockFile(*fallback, name);
                if (fd >= 0)
                    Notify("cannot make the single-instance lock in " + *dir + " (" + std::strerror(error) +
                           "); using " + *fallback + " instead");
            }
            if (fd < 0) {
                Fail(static_cast<uint32_t>(error));
                return result;
            }
        }
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
            result.lock = std::make_unique<FileInstanceLock>(fd);
            SetLastError(kErrorSuccess);
            return result;
        }
        if (errno == EWOULDBLOCK) {
            // Like a named object that already exists: the handle is still ours.
            result.lock = std::make_unique<FileInstanceLock>(fd);
            result.alreadyExists = true;
            Fail(EEXIST);
            return result;
        }
        FailWithErrno();
        close(fd);
        return result;
    }

    bool SetCurrentThreadPriority(int level) override
    {
        return SetThreadLevel(static_cast<pid_t>(syscall(SYS_gettid)), level);
    }

    bool Reboot() override
    {
        switch (RequestRebootThroughLogind(nullptr)) {
        case LogindReply::Requested:
            return true;
        case LogindReply::Refused:
            return false;  // the last error says why
        case LogindReply::Unavailable:
            break;
        }
        // No logind: ask the kernel directly (needs CAP_SYS_BOOT).
        sync();
        if (reboot(RB_AUTOBOOT) != 0) return FailWithErrno();
        return true;
    }

private:
    LinuxRoots roots_;
};

}  // namespace

std::unique_ptr<Kernel> CreateLinuxKernel(const LinuxRoots& roots) { return std::make_unique<LinuxKernel>(roots); }

}  // namespace kestrun::platform::linux_backend
