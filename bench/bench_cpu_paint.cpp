// What the performance display costs per refresh tick: the CPU load measurement
// on the live machine (and the simulated device when it is built in), and one
// paint of the gradient gauge and of the usage history graph at the size the
// System Performance page shows them. The paints need a display: without
// DISPLAY they are left out.
#include "app/core/CpuLoad.h"
#include "display/GradientProgressCtrl.h"
#include "display/UsageHistoryCtrl.h"
#include "platform/Backends.h"

#include <benchmark/benchmark.h>

#include <wx/app.h>
#include <wx/dcmemory.h>
#include <wx/frame.h>
#include <wx/init.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

using kestrun::CpuLoadMeter;

void MeasureCpuLoad(benchmark::State& state, const std::string& backend)
{
    std::string error;
    std::unique_ptr<kestrun::platform::Platform> platform = kestrun::platform::CreatePlatform(backend, error);
    if (!platform) {
        state.SkipWithError(("no " + backend + " backend: " + error).c_str());
        return;
    }
    CpuLoadMeter meter(*platform);
    for (auto _ : state) benchmark::DoNotOptimize(meter.ComputeCpuLoad());
}

void BM_CpuLoadTick_Linux(benchmark::State& state) { MeasureCpuLoad(state, "linux"); }
void BM_CpuLoadTick_Sim(benchmark::State& state) { MeasureCpuLoad(state, "sim"); }

// The page's gauges are about 74 x 64 pixels and its graphs 286 x 64 at the
// default desktop font; the graph shows a full screen of samples.
constexpr int kGaugeWidth = 74;
constexpr int kGaugeHeight = 64;
constexpr int kGraphWidth = 286;
constexpr int kGraphHeight = 64;

void BM_GaugePaint(benchmark::State& state)
{
    auto* frame = new wxFrame(nullptr, wxID_ANY, "bench");
    auto* gauge = new kestrun::CGradientProgressCtrl(frame, wxID_ANY, wxDefaultPosition,
                                                     wxSize(kGaugeWidth, kGaugeHeight));
    gauge->m_startColor = wxColour(0, 255, 0);
    gauge->m_endColor = wxColour(255, 0, 0);
    gauge->m_showPercent = true;
    gauge->SetPos(static_cast<int>(state.range(0)));
    wxBitmap bitmap(kGaugeWidth, kGaugeHeight, 24);
    {
        wxMemoryDC dc(bitmap);
        for (auto _ : state) gauge->Draw(dc, wxRect(0, 0, kGaugeWidth, kGaugeHeight));
    }
    frame->Destroy();
}

void BM_GraphPaint(benchmark::State& state)
{
    auto* frame = new wxFrame(nullptr, wxID_ANY, "bench");
    auto* graph = new kestrun::CUsageHistoryCtrl(frame, wxID_ANY, wxDefaultPosition, wxSize(kGraphWidth, kGraphHeight));
    for (int i = 0; i < graph->sampleCount(); ++i) graph->AddValue((i * 37) % 101);
    wxBitmap bitmap(kGraphWidth, kGraphHeight, 24);
    {
        wxMemoryDC dc(bitmap);
        for (auto _ : state) graph->Draw(dc, wxRect(0, 0, kGraphWidth, kGraphHeight));
    }
    frame->Destroy();
}

class BenchApp : public wxApp {
public:
    bool OnInit() override { return true; }
};

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RegisterBenchmark("BM_CpuLoadTick_Linux", BM_CpuLoadTick_Linux);
    benchmark::RegisterBenchmark("BM_CpuLoadTick_Sim", BM_CpuLoadTick_Sim);

    const bool display = std::getenv("DISPLAY") != nullptr;
    if (display) {
        setenv("NO_AT_BRIDGE", "1", 0);
        wxApp::SetInstance(new BenchApp);
        int wxArgc = 1;
        char* wxArgv[] = {argv[0], nullptr};
        if (!wxEntryStart(wxArgc, wxArgv)) {
            std::fprintf(stderr, "wxWidgets cannot start: paint benchmarks left out\n");
        } else {
            // Position 100 paints all 255 bands; 30 stops at the band crossing the level.
            benchmark::RegisterBenchmark("BM_GaugePaint", BM_GaugePaint)->Arg(30)->Arg(100);
            benchmark::RegisterBenchmark("BM_GraphPaint", BM_GraphPaint);
        }
    } else {
        std::fprintf(stderr, "no DISPLAY: paint benchmarks left out\n");
    }

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (wxTheApp != nullptr) wxEntryCleanup();
    return 0;
}
