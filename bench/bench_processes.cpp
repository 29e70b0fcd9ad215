// One complete Processes refresh (snapshot, sums, row keeping, cell writes into
// the in-memory list) on simulated devices of 100, 1,000 and 10,000 processes,
// each with 10 threads and 20 heap entries. Prints CPU ms per refresh and the
// 10,000/1,000 ratio, which stays at or under 11 when a refresh is linear.
// ProcessesRefreshLive does the same on this machine's /proc, without printing:
// the page's own share of the live batch figure (run it with
// --benchmark_filter=Live; bench/live_processes.sh does, beside the others).
#include "display/core/MemoryListView.h"
#include "display/core/MessageBox.h"
#include "pages/core/ProcessesModel.h"
#include "platform/linux/LinuxPlatform.h"
#include "platform/sim/SimPlatform.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>
#include <cstdio>
#include <thread>
#include <map>
#include <memory>

namespace {

using namespace kestrun;

// A device with its Processes page, built once per size and refreshed by every
// repetition: a long-running page's steady state, not a freshly built heap's.
struct Device {
    std::unique_ptr<platform::sim::SimPlatform> sim;
    MemoryListView list;
    std::unique_ptr<ProcessesModel> model;
};

Device& DeviceOf(uint32_t processes)
{
    static std::map<uint32_t, std::unique_ptr<Device>> devices;
    std::unique_ptr<Device>& device = devices[processes];
    if (!device) {
        device = std::make_unique<Device>();
        device->sim = platform::sim::CreateSimPlatformForTest(platform::sim::MakeScaledProfile(processes, 10, 20));
        device->model = std::make_unique<ProcessesModel>(*device->sim, device->list);
        device->model->InsertColumns();
        device->model->Refresh();  // the first refresh inserts every row; the steady state is measured
    }
    return *device;
}

void ProcessesRefresh(benchmark::State& state)
{
    Device& device = DeviceOf(static_cast<uint32_t>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        device.sim->device().AdvanceTime(2000);
        state.ResumeTiming();
        benchmark::DoNotOptimize(device.model->Refresh());
    }
    state.counters["rows"] = static_cast<double>(device.list.RowCount());
}
// Other work on a shared machine only ever adds time, so the ratio compares the
// fastest of many short repetitions, the sizes taking turns (main asks for
// random interleaving unless the command line says otherwise).
constexpr int kRepetitions = 60;
BENCHMARK(ProcessesRefresh)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->MinTime(0.05)
    ->Repetitions(kRepetitions)
    ->ComputeStatistics("min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); });

void ProcessesRefreshLive(benchmark::State& state)
{
    auto live = platform::linux_backend::CreateLinuxPlatform();
    MemoryListView list;
    ProcessesModel model(*live, list);
    model.InsertColumns();
    model.Refresh();
    for (auto _ : state) {
        // Long enough apart for every row to take a CPU sample, as on the page's timer.
        state.PauseTiming();
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        state.ResumeTiming();
        benchmark::DoNotOptimize(model.Refresh());
    }
    state.counters["rows"] = static_cast<double>(list.RowCount());
}
BENCHMARK(ProcessesRefreshLive)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->Iterations(20);

// Remembers the CPU time per iteration of each benchmark, or of its fastest repetition.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const std::string name = run.run_name.function_name + (run.run_name.args.empty() ? "" : "/" + run.run_name.args);
            // already in ms (the run's unit)
            if (run.run_type == Run::RT_Iteration && run.repetitions <= 1 && run.iterations > 0)
                cpuMs[name] = run.GetAdjustedCPUTime();
            else if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "min")
                cpuMs[name] = run.GetAdjustedCPUTime();
        }
    }
    std::map<std::string, double> cpuMs;
};

}  // namespace

int main(int argc, char** argv)
{
    kestrun::SetMessageBoxHandler([](const kestrun::MessageBoxRequest&) { return int{kestrun::kIdOk}; });
    std::vector<char*> args(argv, argv + argc);
    std::string interleave = "--benchmark_enable_random_interleaving=true";
    if (std::none_of(args.begin(), args.end(), [](const char* a) { return std::strstr(a, "random_interleaving") != nullptr; }))
        args.insert(args.begin() + 1, interleave.data());
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (const auto& [name, ms] : reporter.cpuMs) std::printf("%s: %.3f CPU ms per refresh\n", name.c_str(), ms);
    auto of = [&reporter](const std::string& name) {
        const auto it = reporter.cpuMs.find(name);
        return it == reporter.cpuMs.end() ? 0.0 : it->second;
    };
    const double small = of("ProcessesRefresh/1000");
    const double large = of("ProcessesRefresh/10000");
    if (small > 0 && large > 0) std::printf("10,000/1,000 ratio: %.2f (must stay at or under 11)\n", large / small);
    benchmark::Shutdown();
    return 0;
}
