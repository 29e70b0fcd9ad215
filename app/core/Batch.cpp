// Batch mode: the pages' refresh logic printed as text, the way `top -b` does.
#include "app/core/Cli.h"
#include "app/core/CpuLoad.h"
#include "dialogs/core/FileProperties.h"
#include "display/core/Format.h"
#include "display/core/ListColumn.h"
#include "display/core/MessageBox.h"
#include "pages/core/BatchPage.h"
#include "platform/Platform.h"
#include "platform/Types.h"

#include <cerrno>
#include <chrono>
#include <cstring>
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

// The executable name of a process, as the Processes page lists it; nullopt
// (after saying why) when no such process runs.
std::optional<std::wstring> ProcessName(platform::Platform& system, uint32_t pid)
{
    if (pid == 0) return std::wstring(L"(none)");
    std::optional<platform::Snapshot> snapshot = system.toolHelp().CreateSnapshot(platform::kSnapProcess | platform::kSnapNoHeaps, 0);
    if (!snapshot) {
        std::fprintf(stderr, "kestrun: the process list cannot be read: %s\n",
                     platform::Narrow(platform::SystemErrorText(platform::GetLastError())).c_str());
        return std::nullopt;
    }
    std::optional<std::wstring> name;
    for (const platform::ProcessEntry& process : snapshot->processes)
        if (process.processId == pid) name = process.exeFile;
    system.toolHelp().CloseSnapshot(*snapshot);
    if (!name) std::fprintf(stderr, "kestrun: no process %u (%08X) is running\n", pid, pid);
    return name;
}

// The module a path (or a bare file name) names among every process's modules;
// nullopt (after saying why) when no process has it loaded.
std::optional<platform::ModuleEntry> ModuleNamed(platform::Platform& system, const std::wstring& path)
{
    std::optional<platform::Snapshot> snapshot = system.toolHelp().CreateSnapshot(platform::kSnapModule, 0);
    if (!snapshot) {
        std::fprintf(stderr, "kestrun: the module list cannot be read: %s\n",
                     platform::Narrow(platform::SystemErrorText(platform::GetLastError())).c_str());
        return std::nullopt;
    }
    const bool bareName = path.find_first_of(L"/\\") == std::wstring::npos;
    std::optional<platform::ModuleEntry> found;
    for (const platform::ModuleEntry& module : snapshot->modules)
        if (!found && (bareName ? CompareNoCase(module.moduleName, path) == 0 : module.exePath == path)) found = module;
    system.toolHelp().CloseSnapshot(*snapshot);
    if (!found) std::fprintf(stderr, "kestrun: no process has %s loaded\n", platform::Narrow(path).c_str());
    return found;
}

std::unique_ptr<BatchPage> MakePage(const CommandLine& options, platform::Platform& system)
{
    const std::string& name = options.page;
    if (IsDetailPage(name)) {
        const std::optional<std::wstring> process = ProcessName(system, options.pid);
        if (!process) return nullptr;
        if (name == "threads") return MakeThreadsBatchPage(system, options.pid, *process);
        if (name == "modules") return MakeModulesBatchPage(system, options.pid, *process);
        return MakeHeapBatchPage(system, options.pid, *process);
    }
    if (name == "module-usage") {
        const std::optional<platform::ModuleEntry> module = ModuleNamed(system, platform::Widen(options.module));
        if (!module) return nullptr;
        return MakeModuleUsageBatchPage(system, module->moduleId, module->moduleName);
    }
    if (name == "processes") return MakeProcessesBatchPage(system);
    if (name == "system") return MakeSystemBatchPage(system);
    if (name == "applications") return MakeTasksBatchPage(system);
    if (name == "services") return MakeServicesBatchPage(system);
    if (name == "devices") return MakeDevicesBatchPage(system);
    if (name == "network") return MakeNetworkBatchPage(system);
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
        line += BatchCell(cells[i]);
    }
    line += '\n';
    std::fputs(line.c_str(), out);
}

// The exit status of a closed pipe, as a shell reports a program ended by SIGPIPE.
constexpr int kStatusBrokenPipe = 128 + 13;

// A box the window would show, as one line on stderr; the answer is the one a
// click on OK (or the safe button) gives, and the run goes on.
int PrintBox(const MessageBoxRequest& box)
{
    std::wstring text = box.text;
    for (wchar_t& c : text)
        if (c == L'\n') c = L' ';
    const std::wstring title = box.caption.empty() ? std::wstring(kAppName) : box.caption;
    std::fprintf(stderr, "kestrun: %s: %s\n", platform::Narrow(title).c_str(), platform::Narrow(text).c_str());
    switch (box.style & 0xF) {
    case kMbOkCancel: return kIdCancel;
    case kMbYesNo: return kIdNo;
    default: return kIdOk;
    }
}

// Installs a box handler for as long as it lives.
class ScopedBoxHandler {
public:
    explicit ScopedBoxHandler(MessageBoxHandler handler) : previous_(SetMessageBoxHandler(std::move(handler))) {}
    ~ScopedBoxHandler() { SetMessageBoxHandler(std::move(previous_)); }
    ScopedBoxHandler(const ScopedBoxHandler&) = delete;
    ScopedBoxHandler& operator=(const ScopedBoxHandler&) = delete;

private:
    MessageBoxHandler previous_;
};
}  // namespace

std::string StatsLine(size_t cellsWritten, size_t rowsInserted, size_t rowsRemoved, size_t sorts)
{
    return "Stats: cells written " + std::to_string(cellsWritten) + ", rows inserted " + std::to_string(rowsInserted) +
           ", rows removed " + std::to_string(rowsRemoved) + ", sorts " + std::to_string(sorts) + "\n";
}

std::string BatchCell(const std::wstring& cell)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::wstring escaped;
    escaped.reserve(cell.size());
    for (const wchar_t c : cell) {
        const auto code = static_cast<uint32_t>(c);
        if (c == L'\\') {
            escaped += L"\\\\";
        } else if (c == L'\n') {
            escaped += L"\\n";
        } else if (c == L'\t') {
            escaped += L"\\t";
        } else if (code < 0x20 || (code >= 0x7F && code <= 0x9F)) {  // C0, DEL and C1
            escaped += L"\\x";
            escaped += static_cast<wchar_t>(kHex[code >> 4]);
            escaped += static_cast<wchar_t>(kHex[code & 15]);
        } else {
            escaped += c;
        }
    }
    return platform::Narrow(escaped);
}

int FinishOutput(std::FILE* out)
{
    if (std::fflush(out) == 0 && !std::ferror(out)) return 0;
    const int error = errno;
    if (error == EPIPE) return kStatusBrokenPipe;  // the reader has gone: nothing to say
    std::fprintf(stderr, "kestrun: write error: %s\n", std::strerror(error != 0 ? error : EIO));
    return 1;
}

// The File properties dialog of one file: its caption, the nine fields and the
// six attributes, one per line, the attributes "yes" or "no".
int PrintFileProperties(const std::string& file, platform::Platform& system, std::FILE* out)
{
    const std::wstring path = platform::Widen(file);
    const wchar_t separator = !path.empty() && path[0] == L'/' ? L'/' : L'\\';
    const size_t last = path.rfind(separator);
    const std::wstring name = last == std::wstring::npos ? path : path.substr(last + 1);
    const FileProperties shown = ReadFileProperties(system.shell(), DirectoryOf(path), name);
    PrintLine(out, {shown.caption});
    const std::pair<const wchar_t*, const std::wstring*> fields[] = {
        {L"Location:", &shown.location},   {L"Description:", &shown.description}, {L"Version:", &shown.version},
        {L"Copyright:", &shown.copyright}, {L"Company:", &shown.company},         {L"Size:", &shown.size},
        {L"Created:", &shown.created},     {L"Last change:", &shown.lastChange},  {L"Last access:", &shown.lastAccess},
    };
    for (const auto& [label, value] : fields) PrintLine(out, {label, *value});
    const std::pair<const wchar_t*, bool> attributes[] = {
        {L"read-only", shown.readOnly}, {L"system", shown.system}, {L"hidden", shown.hidden},
        {L"compressed", shown.compressed}, {L"in ROM", shown.inRom}, {L"ROM module", shown.romModule},
    };
    for (const auto& [label, set] : attributes) PrintLine(out, {label, set ? L"yes" : L"no"});
    return FinishOutput(out);
}

int RunBatch(const CommandLine& options, std::FILE* out)
{
    platform::Platform& system = platform::Current();
    const ScopedBoxHandler boxes(PrintBox);
    if (!options.file.empty()) return PrintFileProperties(options.file, system, out);
    std::unique_ptr<BatchPage> page = MakePage(options, system);
    if (!page) {
        if (!IsDetailPage(options.page) && options.page != "module-usage")
            std::fprintf(stderr, "kestrun: the %s page cannot be printed\n", options.page.c_str());
        return 1;
    }
    if (!ApplySort(options, *page)) return 2;
    // A simulated device with a manual clock does not wait for real time: its
    // clock moves by exactly the interval, so that every run prints the same.
    platform::DeviceTime* time = system.deviceTime();
    const bool virtualClock = time != nullptr && time->IsVirtual();
    // The first measurement has no reference: it is 0, as in the window.
    CpuLoadMeter cpuLoad(system);
    for (int tick = 0; tick < options.ticks; ++tick) {
        if (tick > 0) {
            if (virtualClock)
                time->Advance(static_cast<uint32_t>(options.intervalMs));
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(options.intervalMs));
            std::fputc('\n', out);
        }
        if (time != nullptr) time->BeginTick(static_cast<uint32_t>(tick) + 1);
        MemoryListView* list = page->List();
        if (list != nullptr) list->ResetCounters();
        const unsigned cpu = cpuLoad.ComputeCpuLoad();
        const unsigned memory = system.kernel().GlobalMemoryStatus().memoryLoad;
        page->Tick(1, cpu, memory);
        for (const std::wstring& line : page->Caption()) PrintLine(out, {line});
        PrintLine(out, page->Header());
        for (const auto& row : page->Rows()) PrintLine(out, row);
        for (const auto& line : page->Figures()) PrintLine(out, line);
        if (options.stats) {
            const MemoryListView::Counters counted = list != nullptr ? list->counters() : MemoryListView::Counters{};
            std::fputs(StatsLine(counted.cellWrites, counted.inserts, counted.deletes, counted.sorts).c_str(), out);
        }
        // A lost line is a failed run, not a short one that looks complete.
        if (const int status = FinishOutput(out); status != 0) return status;
    }
    return 0;
}

}  // namespace kestrun
