// One read of the live interface table (an RTM_GETLINK dump over the kept socket,
// parsed into rows) with 50 interfaces: 25 veth pairs in a network namespace the
// benchmark makes for itself, beside its loopback. Without the privilege for that
// it measures the machine's own interfaces and says so in the label.
//   InterfaceTableRead   the steady state: socket open, speeds known
//   InterfaceTableFirst  a fresh table: the socket opened and every speed read from sysfs
#include "platform/linux/LinuxPlatform.h"

#include <benchmark/benchmark.h>

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

using namespace kestrun::platform;

constexpr int kVethPairs = 25;

struct Setting {
    std::string sysRoot = "/sys";
    std::string label = "this machine's interfaces";
};

// Moves the process into network and mount namespaces of its own with a sysfs that
// shows them, and makes the veth pairs there. The machine's links are never touched.
Setting MakeInterfaces()
{
    Setting setting;
    if (unshare(CLONE_NEWNET | CLONE_NEWNS) != 0) return setting;
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("sysfs", "/sys", "sysfs", MS_NOSUID | MS_NODEV | MS_NOEXEC, nullptr) != 0) {
        std::fprintf(stderr, "bench_network: no private sysfs; speeds read from the machine's\n");
    }
    FILE* ip = popen("ip -batch - >/dev/null 2>&1", "w");
    if (ip == nullptr) return setting;
    std::fprintf(ip, "link set lo up\n");
    for (int i = 0; i < kVethPairs; ++i) {
        std::fprintf(ip, "link add bv%d type veth peer name bw%d\n", i, i);
        std::fprintf(ip, "link set bv%d up\nlink set bw%d up\n", i, i);
    }
    if (pclose(ip) != 0) {
        std::fprintf(stderr, "bench_network: ip could not make the veth pairs\n");
        return setting;
    }
    setting.label = std::to_string(2 * kVethPairs) + " veth links and loopback in a private namespace";
    return setting;
}

const Setting& TheSetting()
{
    static const Setting setting = MakeInterfaces();
    return setting;
}

std::unique_ptr<InterfaceTable> MakeTable()
{
    linux_backend::LinuxRoots roots;
    roots.sys = TheSetting().sysRoot;
    return linux_backend::CreateLinuxInterfaces(roots);
}

void InterfaceTableRead(benchmark::State& state)
{
    std::unique_ptr<InterfaceTable> table = MakeTable();
    InterfaceTableBuffer buffer;
    uint32_t required = 0;
    if (!table->AllocateTable(buffer, 1 << 20) || !table->GetIfTable(buffer, required)) {
        state.SkipWithError("the interface table cannot be read");
        return;
    }
    for (auto _ : state) {
        if (!table->GetIfTable(buffer, required)) state.SkipWithError("a read failed");
        benchmark::DoNotOptimize(buffer.rows.data());
    }
    state.counters["interfaces"] = static_cast<double>(buffer.rows.size());
    state.SetLabel(TheSetting().label);
}

void InterfaceTableFirst(benchmark::State& state)
{
    size_t rows = 0;
    for (auto _ : state) {
        std::unique_ptr<InterfaceTable> table = MakeTable();
        InterfaceTableBuffer buffer;
        uint32_t required = 0;
        if (!table->AllocateTable(buffer, 1 << 20) || !table->GetIfTable(buffer, required)) {
            state.SkipWithError("the interface table cannot be read");
            break;
        }
        rows = buffer.rows.size();
    }
    state.counters["interfaces"] = static_cast<double>(rows);
    state.SetLabel(TheSetting().label);
}

}  // namespace

BENCHMARK(InterfaceTableRead)->Unit(benchmark::kMicrosecond);
BENCHMARK(InterfaceTableFirst)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    TheSetting();  // before any thread exists: a whole process enters the namespaces
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
