// The System Performance page in batch mode: one row per tick with the counts,
// the program memory and the CPU and memory loads the view measured.
#include "pages/core/BatchPage.h"
#include "pages/core/SystemPage.h"

namespace kestrun {

namespace {
class SystemBatchPage final : public BatchPage {
public:
    explicit SystemBatchPage(platform::Platform& platform) : m_platform(platform) {}

    std::vector<std::wstring> Header() override
    {
        return {L"Threads", L"Processes", L"Total (kB)", L"Available (kB)", L"CPU Usage", L"Mem. Usage"};
    }

    void Tick(int, unsigned cpuPercent, unsigned memoryPercent) override
    {
        // The order of the page's own tick: counts, then memory figures.
        m_figures.UpdateCounts(m_platform.toolHelp());
        m_figures.UpdateMemory(m_platform.kernel());
        m_cpu = static_cast<int>(cpuPercent);
        m_memory = static_cast<int>(memoryPercent);
    }

    std::vector<std::vector<std::wstring>> Rows() override
    {
        return {{m_figures.threads(), m_figures.processes(), m_figures.totalMemory(), m_figures.availMemory(),
                 GaugePercentText(m_cpu), GaugePercentText(m_memory)}};
    }

private:
    platform::Platform& m_platform;
    SystemFigures m_figures;
    int m_cpu = 0;
    int m_memory = 0;
};
}  // namespace

std::unique_ptr<BatchPage> MakeSystemBatchPage(platform::Platform& platform)
{
    return std::make_unique<SystemBatchPage>(platform);
}

}  // namespace kestrun
