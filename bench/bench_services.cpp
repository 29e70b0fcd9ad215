// CPU per Services refresh on this machine's system bus when systemd runs, else
// on a stand-in service manager with 300 running services on a private system
// bus; beside it the CPU of one `systemctl list-units --all`, measured the same
// way (CPU time of the work, not wall time). ServicesRefresh is the page's own
// steady refresh (every row known) over the in-memory list; ServicesEnumerate
// the platform's share of it; ServicesFirstSight the enumeration of a fresh
// client that reads every unit's ExecStart.
#include "display/core/MemoryListView.h"
#include "pages/core/ServicesModel.h"
#include "platform/LastError.h"
#include "platform/sim/SimPlatform.h"
#include "platform/Types.h"
#include "platform/linux/LinuxServices.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>

#if __has_include(<systemd/sd-bus.h>) && __has_include(<systemd/sd-daemon.h>)
#include "tests/support/StandInSystemd.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <systemd/sd-daemon.h>

namespace {

using namespace kestrun;
using namespace kestrun::platform::linux_backend;

std::string g_busAddress;        // empty: the real system bus
bool g_systemctlWorks = false;

double ProcessCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

std::unique_ptr<LinuxServices> Manager()
{
    SystemdOptions options;
    options.busAddress = g_busAddress;
    return std::make_unique<LinuxServices>(std::make_unique<SystemdServices>(options), std::make_unique<LsbServices>(),
                                           std::make_shared<DpkgIndex>());
}

void ServicesEnumerate(benchmark::State& state)
{
    std::unique_ptr<LinuxServices> manager = Manager();
    std::optional<std::vector<platform::ServiceEntry>> first = manager->EnumServices();
    if (!first) {
        state.SkipWithError(platform::Narrow(platform::LastErrorText()).c_str());
        return;
    }
    for (auto _ : state) {
        const double before = ProcessCpuSeconds();
        benchmark::DoNotOptimize(manager->EnumServices());
        state.SetIterationTime(ProcessCpuSeconds() - before);
    }
    state.counters["services"] = static_cast<double>(first->size());
}

// The simulated device with the Linux service manager in place of its own.
class LinuxServicesPlatform final : public platform::Platform {
public:
    LinuxServicesPlatform() : inner_(platform::sim::CreateSimPlatformForTest(platform::sim::SimProfile{})), services_(Manager()) {}
    std::string Name() const override { return "linux"; }
    platform::ToolHelp& toolHelp() override { return inner_->toolHelp(); }
    platform::Kernel& kernel() override { return inner_->kernel(); }
    platform::Registry& registry() override { return inner_->registry(); }
    platform::ServiceManager& services() override { return *services_; }
    platform::DeviceManager& devices() override { return inner_->devices(); }
    platform::InterfaceTable& interfaces() override { return inner_->interfaces(); }
    platform::Desktop& desktop() override { return inner_->desktop(); }
    platform::Shell& shell() override { return inner_->shell(); }

private:
    std::unique_ptr<platform::sim::SimPlatform> inner_;
    std::unique_ptr<platform::ServiceManager> services_;
};

void ServicesRefresh(benchmark::State& state)
{
    LinuxServicesPlatform system;
    MemoryListView list;
    ServicesModel model(system, list);
    model.InsertColumns();
    if (!model.Refresh()) {  // the first refresh creates every row (and builds the package index)
        state.SkipWithError(platform::Narrow(platform::LastErrorText()).c_str());
        return;
    }
    for (auto _ : state) {
        const double before = ProcessCpuSeconds();
        benchmark::DoNotOptimize(model.Refresh());
        state.SetIterationTime(ProcessCpuSeconds() - before);
    }
    state.counters["rows"] = static_cast<double>(model.rowCount());
}

void ServicesFirstSight(benchmark::State& state)
{
    for (auto _ : state) {
        std::unique_ptr<LinuxServices> manager = Manager();
        const double before = ProcessCpuSeconds();
        benchmark::DoNotOptimize(manager->EnumServices());
        state.SetIterationTime(ProcessCpuSeconds() - before);
    }
}

// systemctl's own CPU (user and system) for one listing, from wait4.
void SystemctlListUnits(benchmark::State& state)
{
    if (!g_systemctlWorks) {
        state.SkipWithError("systemctl cannot reach a service manager here");
        return;
    }
    for (auto _ : state) {
        const pid_t pid = fork();
        if (pid == 0) {
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            execl("/usr/bin/systemctl", "systemctl", "list-units", "--all", "--no-pager", static_cast<char*>(nullptr));
            _exit(127);
        }
        int status = 0;
        rusage usage{};
        wait4(pid, &status, 0, &usage);
        const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
        state.SetIterationTime(cpu);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("systemctl list-units failed");
            return;
        }
    }
}

BENCHMARK(ServicesRefresh)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(ServicesEnumerate)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(ServicesFirstSight)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(SystemctlListUnits)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(50);

// systemctl refuses to work unless the system was booted with systemd: in a
// mount namespace of our own, /run/systemd/system says it was, and it reaches
// the stand-in through DBUS_SYSTEM_BUS_ADDRESS.
bool LetSystemctlSeeTheStandIn(const std::string& address)
{
    if (unshare(CLONE_NEWNS) != 0) return false;
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return false;
    mkdir("/run/systemd", 0755);
    if (mount("tmpfs", "/run/systemd", "tmpfs", 0, "mode=0755") != 0) return false;
    if (mkdir("/run/systemd/system", 0755) != 0) return false;
    return setenv("DBUS_SYSTEM_BUS_ADDRESS", address.c_str(), 1) == 0;
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    kestrun::testing::StandInSystemd standIn;
    if (sd_booted() > 0) {
        std::printf("Services on this machine's system bus (systemd runs)\n");
        g_systemctlWorks = true;
    } else {
        std::string why;
        if (!standIn.Start("{\"generated\": 300}", why)) {
            std::fprintf(stderr, "no systemd here and no stand-in: %s\n", why.c_str());
            return 1;
        }
        g_busAddress = standIn.address();
        g_systemctlWorks = LetSystemctlSeeTheStandIn(g_busAddress);
        std::printf("Services on a stand-in service manager with 300 services (systemd does not run here)%s\n",
                    g_systemctlWorks ? "" : "; systemctl cannot be pointed at it");
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

#else

int main()
{
    std::fprintf(stderr, "built without sd-bus: no service manager to measure\n");
    return 1;
}

#endif
