// A batch run of a thousand ticks on simulated devices with a manual clock: the
// clock moves by the interval instead of waiting, so the run costs only its
// refreshes and its printing. BatchThousandTicks/N runs the Processes page of a
// device with N generated programs (plus the system processes), printed to
// /dev/null, with the thread loads wandering and the heaps churning.
#include "app/core/Cli.h"
#include "platform/Platform.h"
#include "platform/sim/SimPlatform.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

namespace {

using namespace kestrun;

void BatchThousandTicks(benchmark::State& state)
{
    const std::string profile = R"({"clock": "manual", "loadVariation": true, "heapChurn": true,
        "generate": {"processes": )" + std::to_string(state.range(0)) + R"(, "threadsPerProcess": 3, "heapEntriesPerProcess": 8}})";
    const CommandLine line = ParseCommandLine({"--batch", "--page", "processes", "--ticks", "1000", "--interval", "2000"});
    std::FILE* out = std::fopen("/dev/null", "w");
    for (auto _ : state) {
        state.PauseTiming();
        std::string error;
        platform::sim::SimOptions options;
        options.clock.reset();
        platform::Install(platform::sim::CreateSimPlatformFromJson(profile, error, options));
        state.ResumeTiming();
        if (RunBatch(line, out) != 0) state.SkipWithError("the run failed");
    }
    std::fclose(out);
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BatchThousandTicks)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
