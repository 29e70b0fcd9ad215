// Batch mode: the pages' refresh logic printed as text, the way `top -b` does.
#include "app/core/Cli.h"
#include "app/core/CpuLoad.h"
#include "display/core/ListColumn.h"
#include "pages/core/BatchPage.h"
#include "platform/Platform.h"
#include "platform/Types.h"

#include <chrono>
#include <optional>
#include <thread>

namespace kestrun {

namespace {
// A page whose list is not built yet: it prints only its header.
class HeaderOnlyPage final : public BatchPage {
public:
    explicit HeaderOnlyPage(std::vector<std::wstring> header) : header_(std::move(header)) {}
    std::vector<std::wstring> Header() override { return header_; }
    void Tick(int, unsigned, unsigned) override {}
    std::vector<std::vector<std::wstring>> Rows() override { return {}; }

private:
    std::vector<std::wstring> header_;
};

std::unique_ptr<BatchPage> MakePage(const std::string& name, platform::Platform& system)
{
    if (name == "processes") return MakeProcessesBatchPage(system);
    if (name == "system") return MakeSystemBatchPage(system);
    if (name == "applications") return MakeTasksBatchPage(system);
    if (name == "services") return MakeServicesBatchPage(system);
    if (name == "devices")
        return std::make_unique<HeaderOnlyPage>(std::vector<std::wstring>{
            L"Name", L"Module", L"Order", L"IRQ", L"I/O Base", L"Mem Base", L"Power State", L"Registry Key"});
    if (name == "network")
        return std::make_unique<HeaderOnlyPage>(std::vector<std::wstring>{
            L"Name", L"Status", L"Speed", L"Usage", L"Bytes Sent", L"Bytes Recv.", L"Bytes/Interval", L"Bytes",
            L"Unicasts/Interval", L"Unicasts", L"Non-Unicasts/Interval", L"Non-Unicasts", L"Discarded/Interval",
            L"Discarded", L"Errors/Interval", L"Errors"});
    return nullptr;
}

// Applies --sort and --descending as header clicks; false (after saying why) when
// the page has no such column.
bool ApplySort(const CommandLine& options, BatchPage& page)
{
    if (options.sortColumn.empty()) return true;
    const std::vector<std::wstring> titles = page.Header();
    const std::optional<int> column = page.Sortable() ? FindColumnByTitle(titles, platform::Widen(options.sortColumn)) : std::nullopt;
    if (!column) {
        if (!page.Sortable()) {
            std::fprintf(stderr, "kestrun: the %s page has no list to sort\n", options.page.c_str());
            return false;
        }
        std::string valid;
        for (const std::wstring& title : titles) valid += (valid.empty() ? "'" : ", '") + platform::Narrow(title) + "'";
        std::fprintf(stderr, "kestrun: the %s page has no column '%s' (columns: %s)\n", options.page.c_str(),
                     options.sortColumn.c_str(), valid.c_str());
        return false;
    }
    page.ClickHeader(*column);
    if (options.descending) page.ClickHeader(*column);
    return true;
}

void PrintLine(std::FILE* out, const std::vector<std::wstring>& cells)
{
    std::string line;
    for (size_t i = 0; i < cells.size(); ++i) {
        if (i > 0) line += '\t';
        line += platform::Narrow(cells[i]);
    }
    line += '\n';
    std::fputs(line.c_str(), out);
}
}  // namespace

int RunBatch(const CommandLine& options, std::FILE* out)
{
    platform::Platform& system = platform::Current();
    std::unique_ptr<BatchPage> page = MakePage(options.page, system);
    if (!page) {
        std::fprintf(stderr, "kestrun: the %s page cannot be printed\n", options.page.c_str());
        return 1;
    }
    if (!ApplySort(options, *page)) return 2;
    // The first measurement has no reference: it is 0, as in the window.
    CpuLoadMeter cpuLoad(system);
    for (int tick = 0; tick < options.ticks; ++tick) {
        if (tick > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(options.intervalMs));
            std::fputc('\n', out);
        }
        const unsigned cpu = cpuLoad.ComputeCpuLoad();
        const unsigned memory = system.kernel().GlobalMemoryStatus().memoryLoad;
        page->Tick(1, cpu, memory);
        PrintLine(out, page->Header());
        for (const auto& row : page->Rows()) PrintLine(out, row);
        std::fflush(out);
    }
    return 0;
}

}  // namespace kestrun
