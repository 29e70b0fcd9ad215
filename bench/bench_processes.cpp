// One complete Processes refresh (snapshot, sums, row keeping, cell writes into
// the in-memory list) on simulated devices of 100, 1,000 and 10,000 processes,
// each with 10 threads and 20 heap entries. Prints CPU ms per refresh and the
// 10,000/1,000 ratio, which stays at or under 11 when a refresh is linear.
#include "display/core/MemoryListView.h"
#include "display/core/MessageBox.h"
#include "pages/core/ProcessesModel.h"
#include "platform/sim/SimPlatform.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>

namespace {

using namespace kestrun;

void ProcessesRefresh(benchmark::State& state)
{
    const auto processes = static_cast<uint32_t>(state.range(0));
    auto sim = platform::sim::CreateSimPlatformForTest(platform::sim::MakeScaledProfile(processes, 10, 20));
    MemoryListView list;
    ProcessesModel model(*sim, list);
    model.InsertColumns();
    model.Refresh();  // the first refresh inserts every row; the steady state is measured
    for (auto _ : state) {
        state.PauseTiming();
        sim->device().AdvanceTime(2000);
        state.ResumeTiming();
        benchmark::DoNotOptimize(model.Refresh());
    }
    state.counters["rows"] = static_cast<double>(list.RowCount());
}
BENCHMARK(ProcessesRefresh)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

// Remembers the CPU time per iteration of each run.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && run.iterations > 0)
                cpuMs[run.benchmark_name()] = run.GetAdjustedCPUTime();  // already in ms (the run's unit)
    }
    std::map<std::string, double> cpuMs;
};

}  // namespace

int main(int argc, char** argv)
{
    kestrun::SetMessageBoxHandler([](const kestrun::MessageBoxRequest&) { return int{kestrun::kIdOk}; });
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (const auto& [name, ms] : reporter.cpuMs) std::printf("%s: %.3f CPU ms per refresh\n", name.c_str(), ms);
    const auto small = reporter.cpuMs.find("ProcessesRefresh/1000/process_time");
    const auto large = reporter.cpuMs.find("ProcessesRefresh/10000/process_time");
    if (small != reporter.cpuMs.end() && large != reporter.cpuMs.end() && small->second > 0)
        std::printf("10,000/1,000 ratio: %.2f (must stay at or under 11)\n", large->second / small->second);
    benchmark::Shutdown();
    return 0;
}
