// The live Linux kernel service against fixture /proc and /sys trees, and the
// single-instance lock between real processes.
#include "tests/unit/ScopedEnv.h"
#include "platform/Notice.h"
#include "platform/linux/LinuxPlatform.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/sysinfo.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace kestrun::platform::linux_backend {
namespace {

namespace fs = std::filesystem;

std::string FixtureRoot(const std::string& name)
{
    const char* source = std::getenv("KESTRUN_SOURCE_DIR");
    return std::string(source != nullptr ? source : ".") + "/tests/fixtures/linux-kernel/" + name;
}

std::unique_ptr<Kernel> KernelOn(const std::string& fixture)
{
    LinuxRoots roots;
    roots.proc = FixtureRoot(fixture) + "/proc";
    roots.sys = FixtureRoot(fixture) + "/sys";
    roots.run = FixtureRoot(fixture) + "/run";
    return CreateLinuxKernel(roots);
}

// A scratch folder removed with the test.
class ScratchDir {
public:
    ScratchDir()
    {
        char pattern[] = "/tmp/kestrun-kernel-test-XXXXXX";
        path_ = mkdtemp(pattern);
    }
    ~ScratchDir() { fs::remove_all(path_); }
    const std::string& path() const { return path_; }
    void Write(const std::string& relative, const std::string& text) const
    {
        fs::create_directories(fs::path(path_ + "/" + relative).parent_path());
        std::ofstream(path_ + "/" + relative) << text;
    }

private:
    std::string path_;
};

using kestrun::test_support::ScopedEnv;

constexpr uint64_t kMiB = 1024 * 1024;
constexpr uint64_t kGiB = 1024 * kMiB;

// --- Memory status -------------------------------------------------------------

struct MemoryCase {
    const char* fixture;
    uint64_t total;
    uint64_t available;
    uint32_t load;
};

TEST(MemoryStatus, ReadsMeminfoAndHonoursTheTightestMemoryCgroup)
{
    const MemoryCase cases[] = {
        {"plain", 8 * kGiB, 2 * kGiB, 75},
        // The parent slice's 1 GiB binds although the leaf says "max"; its
        // inactive file cache counts as free, as MemAvailable counts it.
        {"cgroup-v2", 1 * kGiB, 512 * kMiB, 50},
        // 320 MiB of 512 MiB in use is 62.5 %, which rounds to 63.
        {"cgroup-v1", 512 * kMiB, 192 * kMiB, 63},
        {"cgroup-v1-unlimited", 8 * kGiB, 2 * kGiB, 75},
        // No MemAvailable: free + buffers + cached.
        {"old-kernel", 1 * kGiB, 512 * kMiB, 50},
    };
    for (const auto& c : cases) {
        const MemoryStatus status = KernelOn(c.fixture)->GlobalMemoryStatus();
        EXPECT_EQ(status.totalPhys, c.total) << c.fixture;
        EXPECT_EQ(status.availPhys, c.available) << c.fixture;
        EXPECT_EQ(status.memoryLoad, c.load) << c.fixture;
    }
}

TEST(MemoryStatus, LoadRoundsToTheNearestPercentAndStaysWithinRange)
{
    struct Case {
        uint64_t totalKb, availableKb;
        uint32_t load;
    };
    const Case cases[] = {
        {1000, 1000, 0},  {1000, 996, 0},   {1000, 995, 1},  {1000, 5, 100}, {1000, 6, 99},
        {1000, 0, 100},   {1000, 2000, 0},  // more available than there is: a torn read, not negative use
        {3, 1, 67},       {4294967296ull, 1073741824ull, 75},
    };
    for (const auto& c : cases) {
        ScratchDir dir;
        dir.Write("proc/meminfo", "MemTotal: " + std::to_string(c.totalKb) + " kB\nMemAvailable: " +
                                      std::to_string(c.availableKb) + " kB\n");
        LinuxRoots roots{dir.path() + "/proc", dir.path() + "/sys", dir.path() + "/run"};
        const MemoryStatus status = CreateLinuxKernel(roots)->GlobalMemoryStatus();
        EXPECT_EQ(status.memoryLoad, c.load) << c.totalKb << " " << c.availableKb;
        EXPECT_LE(status.availPhys, status.totalPhys);
    }
}

TEST(MemoryStatus, FallsBackToSysinfoWhenMeminfoIsUnusable)
{
    struct sysinfo si{};
    ASSERT_EQ(sysinfo(&si), 0);
    for (const char* fixture : {"damaged", "no-such-fixture"}) {
        const MemoryStatus status = KernelOn(fixture)->GlobalMemoryStatus();
        EXPECT_EQ(status.totalPhys, uint64_t{si.totalram} * si.mem_unit) << fixture;
        EXPECT_GT(status.availPhys, 0u) << fixture;
        EXPECT_LE(status.memoryLoad, 100u) << fixture;
    }
}

// --- Busy time -----------------------------------------------------------------

TEST(TotalBusyTime, CountsUserNiceSystemIrqSoftirqAndStealIn100nsUnits)
{
    const uint64_t unitsPerTick = 10000000u / static_cast<uint64_t>(sysconf(_SC_CLK_TCK));
    // plain: user 100 + nice 20 + system 30 + irq 5 + softirq 7 + steal 3; idle,
    // iowait and guest (already inside user) are not busy.
    const auto plain = KernelOn("plain")->TotalBusyTime();
    ASSERT_TRUE(plain.has_value());
    EXPECT_EQ(*plain, 165 * unitsPerTick);
    // A kernel that shows only user, nice, system and idle.
    const auto old = KernelOn("old-kernel")->TotalBusyTime();
    ASSERT_TRUE(old.has_value());
    EXPECT_EQ(*old, 400 * unitsPerTick);
}

TEST(TotalBusyTime, ReportsDamagedOrMissingStatAsAnError)
{
    SetLastError(0);
    EXPECT_FALSE(KernelOn("damaged")->TotalBusyTime().has_value());
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EBADMSG));
    SetLastError(0);
    EXPECT_FALSE(KernelOn("cgroup-v2")->TotalBusyTime().has_value());  // that tree has no stat
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ENOENT));
}

TEST(TotalBusyTime, LiveCounterNeverRunsBackwards)
{
    auto kernel = CreateLinuxKernel({});
    const auto first = kernel->TotalBusyTime();
    ASSERT_TRUE(first.has_value());
    volatile uint64_t spin = 0;
    for (int i = 0; i < 20000000; ++i) spin = spin + static_cast<uint64_t>(i);
    const auto second = kernel->TotalBusyTime();
    ASSERT_TRUE(second.has_value());
    EXPECT_GE(*second, *first);
}

// --- The program's own file ------------------------------------------------------

TEST(OwnModuleFileName, FollowsTheExeLinkOfAnyLengthAndDropsTheDeletedMark)
{
    const std::string longDir = "/opt/" + std::string(300, 'k') + "/bin";
    const struct {
        std::string target, expected;
    } cases[] = {
        {"/usr/bin/kestrun", "/usr/bin/kestrun"},
        {longDir + "/kestrun", longDir + "/kestrun"},  // longer than a first guess at the buffer
        {"/nowhere/kestrun (deleted)", "/nowhere/kestrun"},  // replaced on disk while running
    };
    for (const auto& c : cases) {
        ScratchDir dir;
        fs::create_directories(dir.path() + "/proc/self");
        fs::create_symlink(c.target, dir.path() + "/proc/self/exe");
        LinuxRoots roots{dir.path() + "/proc", dir.path() + "/sys", dir.path() + "/run"};
        const auto name = CreateLinuxKernel(roots)->OwnModuleFileName();
        ASSERT_TRUE(name.has_value()) << c.target;
        EXPECT_EQ(Narrow(*name), c.expected);
    }
}

TEST(OwnModuleFileName, FailsWithTheErrorWhenThereIsNoLink)
{
    SetLastError(0);
    EXPECT_FALSE(KernelOn("plain")->OwnModuleFileName().has_value());
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ENOENT));
}

// --- Single-instance lock -----------------------------------------------------------

// Runs body in a child process and returns its exit status.
template <typename Body>
int InChild(Body body)
{
    const pid_t pid = fork();
    if (pid == 0) _exit(body());
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class InstanceLockTest : public ::testing::Test {
protected:
    ScratchDir runtime_;
    ScopedEnv env_{"XDG_RUNTIME_DIR", runtime_.path().c_str()};
    std::unique_ptr<Kernel> kernel_ = CreateLinuxKernel({});
};

TEST_F(InstanceLockTest, AnotherProcessSeesTheLockHeld)
{
    const auto first = kernel_->CreateInstanceLock(L"Dravik Task Manager");
    ASSERT_NE(first.lock, nullptr);
    EXPECT_FALSE(first.alreadyExists);
    const int seen = InChild([] {
        const auto second = CreateLinuxKernel({})->CreateInstanceLock(L"Dravik Task Manager");
        return second.alreadyExists ? 1 : 0;
    });
    EXPECT_EQ(seen, 1);
    // A second copy inside this process is a second copy too.
    const auto again = kernel_->CreateInstanceLock(L"Dravik Task Manager");
    EXPECT_TRUE(again.alreadyExists);
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EEXIST));
}

TEST_F(InstanceLockTest, LockEndsWithTheProcessThatHeldIt)
{
    const int held = InChild([] {
        const auto lock = CreateLinuxKernel({})->CreateInstanceLock(L"Dravik Task Manager");
        return lock.lock != nullptr && !lock.alreadyExists ? 0 : 1;  // exits without releasing
    });
    ASSERT_EQ(held, 0);
    const auto next = kernel_->CreateInstanceLock(L"Dravik Task Manager");
    EXPECT_NE(next.lock, nullptr);
    EXPECT_FALSE(next.alreadyExists);
}

TEST_F(InstanceLockTest, ProgramsStartedByTheHolderDoNotKeepItHeld)
{
    auto first = kernel_->CreateInstanceLock(L"Dravik Task Manager");
    ASSERT_FALSE(first.alreadyExists);
    // A long-lived program started while the lock is held (the help viewer).
    pid_t viewer = 0;
    char sleepName[] = "sleep";
    char seconds[] = "30";
    char* argv[] = {sleepName, seconds, nullptr};
    ASSERT_EQ(posix_spawnp(&viewer, "sleep", nullptr, nullptr, argv, environ), 0);
    first.lock.reset();
    const auto next = kernel_->CreateInstanceLock(L"Dravik Task Manager");
    EXPECT_FALSE(next.alreadyExists);
    kill(viewer, SIGKILL);
    waitpid(viewer, nullptr, 0);
}

TEST_F(InstanceLockTest, DistinctNamesAreDistinctLocksInsideTheRuntimeFolder)
{
    const std::wstring names[] = {L"a/b", L"a%2Fb", L"a_b", L"../escape", L"Dravik Task Manager",
                                  std::wstring(400, L'x'), std::wstring(399, L'x') + L"y"};
    std::vector<InstanceLockResult> held;
    for (const auto& name : names) {
        held.push_back(kernel_->CreateInstanceLock(name));
        EXPECT_NE(held.back().lock, nullptr) << Narrow(name);
        EXPECT_FALSE(held.back().alreadyExists) << Narrow(name);
    }
    size_t files = 0;
    for (const auto& entry : fs::directory_iterator(runtime_.path())) {
        EXPECT_TRUE(entry.is_regular_file());
        ++files;
    }
    EXPECT_EQ(files, std::size(names));
    EXPECT_FALSE(fs::exists(fs::path(runtime_.path()).parent_path() / "escape.lock"));
}

TEST(InstanceLock, RefusesASharedFolderThatOthersCanWriteTo)
{
    ScratchDir tmp;
    ScopedEnv runtime("XDG_RUNTIME_DIR", nullptr);
    ScopedEnv tmpdir("TMPDIR", tmp.path().c_str());
    const std::string planted = tmp.path() + "/kestrun-" + std::to_string(getuid());
    ASSERT_EQ(mkdir(planted.c_str(), 0777), 0);
    ASSERT_EQ(chmod(planted.c_str(), 0777), 0);  // as another user would leave it

    const auto result = CreateLinuxKernel({})->CreateInstanceLock(L"Dravik Task Manager");
    EXPECT_EQ(result.lock, nullptr);
    EXPECT_FALSE(result.alreadyExists);
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EACCES));

    // A folder it makes itself is private and works.
    ASSERT_EQ(rmdir(planted.c_str()), 0);
    const auto made = CreateLinuxKernel({})->CreateInstanceLock(L"Dravik Task Manager");
    EXPECT_NE(made.lock, nullptr);
    struct stat st{};
    ASSERT_EQ(stat(planted.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST(InstanceLock, ARuntimeFolderThatRefusesTheLockFallsBackToThePerUserFolderAndSaysSoOnce)
{
    ScratchDir tmp;
    ScopedEnv tmpdir("TMPDIR", tmp.path().c_str());
    std::vector<std::string> notices;
    const NoticeHandler previous = SetNoticeHandler([&notices](const std::string& text) { notices.push_back(text); });
    // /proc takes no files, not even from root (a read-only or foreign folder is the same).
    ScopedEnv runtime("XDG_RUNTIME_DIR", "/proc");
    const std::string fallback = tmp.path() + "/kestrun-" + std::to_string(getuid());

    const auto first = CreateLinuxKernel({})->CreateInstanceLock(L"Dravik Task Manager");
    ASSERT_NE(first.lock, nullptr);
    EXPECT_FALSE(first.alreadyExists);
    EXPECT_TRUE(fs::exists(fallback + "/kestrun-Dravik%20Task%20Manager.lock"));
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].find("/proc"), std::string::npos) << notices[0];
    EXPECT_NE(notices[0].find("using " + fallback + " instead"), std::string::npos) << notices[0];

    // A second copy with the same refusing folder meets the first one there.
    const int seen = InChild([] {
        const auto second = CreateLinuxKernel({})->CreateInstanceLock(L"Dravik Task Manager");
        return second.alreadyExists ? 1 : 0;
    });
    EXPECT_EQ(seen, 1);
    SetNoticeHandler(previous);
}

}  // namespace
}  // namespace kestrun::platform::linux_backend

namespace kestrun::platform::linux_backend {
namespace {

TEST(ProcessorCount, CountsTheProcessorsWhoseTimeTheBusyLineAddsUp)
{
    // Busy time comes from the "cpu" line, the sum over every online processor,
    // so the count must be of the same processors, not of this process's affinity.
    char pattern[] = "/tmp/kestrun-cpus-XXXXXX";
    const std::string root = mkdtemp(pattern);
    std::filesystem::create_directories(root + "/proc");
    std::ofstream(root + "/proc/stat") << "cpu  10 0 10 100 0 0 0 0 0 0\n"
                                          "cpu0 5 0 5 50 0 0 0 0 0 0\n"
                                          "cpu1 5 0 5 50 0 0 0 0 0 0\n"
                                          "cpu3 0 0 0 0 0 0 0 0 0 0\n"
                                          "intr 1 2 3\nctxt 100\ncpufreq_is_not_a_cpu 1\n";
    LinuxRoots roots;
    roots.proc = root + "/proc";
    EXPECT_EQ(CreateLinuxKernel(roots)->ProcessorCount(), 3u);
    std::filesystem::remove_all(root);
}

TEST(ProcessorCount, FallsBackToTheOnlineCountWithoutStat)
{
    LinuxRoots roots;
    roots.proc = "/nonexistent/proc";
    const long online = sysconf(_SC_NPROCESSORS_ONLN);
    EXPECT_EQ(CreateLinuxKernel(roots)->ProcessorCount(), static_cast<unsigned>(online > 0 ? online : 1));
}

}  // namespace
}  // namespace kestrun::platform::linux_backend
