// Batch mode on the simulated device: the header and rows of a page, and --sort
// applied with the list's own header-click rule.
#include "app/core/Cli.h"
#include "platform/Platform.h"
#include "tests/unit/SimTestSupport.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <csignal>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace kestrun {
namespace {

struct BatchRun {
    int status = 0;
    std::vector<std::vector<std::string>> lines;  // the first tick's lines, cells split at tabs
    std::string errors;
    std::string output;  // every tick's lines, as printed
};

BatchRun RunBatchOn(std::unique_ptr<platform::sim::SimPlatform> device, const std::vector<std::string>& args)
{
    platform::Install(std::move(device));
    const CommandLine line = ParseCommandLine(args);
    EXPECT_EQ(line.mode, CommandLine::Mode::Batch) << line.error;
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    BatchRun run;
    {
        // Batch mode reports on stderr: catch it for the test.
        const int saved = dup(fileno(stderr));
        fflush(stderr);
        dup2(fileno(err), fileno(stderr));
        run.status = RunBatch(line, out);
        fflush(stderr);
        dup2(saved, fileno(stderr));
        close(saved);
    }
    auto slurp = [](std::FILE* file) {
        std::rewind(file);
        std::string text;
        for (int c; (c = std::fgetc(file)) != EOF;) text += static_cast<char>(c);
        std::fclose(file);
        return text;
    };
    run.output = slurp(out);
    std::istringstream text(run.output);
    run.errors = slurp(err);
    for (std::string row; std::getline(text, row) && !row.empty();) {
        std::vector<std::string>& cells = run.lines.emplace_back();
        std::istringstream split(row);
        for (std::string cell; std::getline(split, cell, '\t');) cells.push_back(cell);
    }
    return run;
}

BatchRun RunBatchOf(const std::vector<std::string>& args) { return RunBatchOn(platform::sim::testing::SmallDevice(), args); }

std::vector<std::string> Names(const BatchRun& run)
{
    std::vector<std::string> names;
    for (size_t i = 1; i < run.lines.size(); ++i) names.push_back(run.lines[i][0]);
    return names;
}

TEST(BatchSort, SortsByAColumnTitleInAnyCaseAscendingOrDescending)
{
    const BatchRun plain = RunBatchOf({"--batch", "--page", "processes"});
    ASSERT_EQ(plain.status, 0) << plain.errors;
    ASSERT_FALSE(plain.lines.empty());
    EXPECT_EQ(plain.lines[0][0], "Name");
    EXPECT_EQ(plain.lines[0][12], "Path");

    const BatchRun byName = RunBatchOf({"--batch", "--page", "processes", "--sort", "name"});
    ASSERT_EQ(byName.status, 0) << byName.errors;
    EXPECT_EQ(Names(byName), (std::vector<std::string>{"kestrun.exe", "nk.exe", "stuck.exe", "worker.exe"}));

    const BatchRun down = RunBatchOf({"--batch", "--page=processes", "--sort=PID", "--descending"});
    ASSERT_EQ(down.status, 0) << down.errors;
    EXPECT_EQ(Names(down), (std::vector<std::string>{"kestrun.exe", "stuck.exe", "worker.exe", "nk.exe"}));

    const BatchRun spaced = RunBatchOf({"--batch", "--sort", "mem. blocks"});
    EXPECT_EQ(spaced.status, 0) << "titles with a dot and a blank match whole: " << spaced.errors;
}

TEST(BatchSort, AnUnknownTitleNamesTheValidColumns)
{
    const BatchRun run = RunBatchOf({"--batch", "--page", "processes", "--sort", "Nam"});
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(run.lines.empty()) << "nothing is printed";
    EXPECT_NE(run.errors.find("no column 'Nam'"), std::string::npos) << run.errors;
    EXPECT_NE(run.errors.find("'Name', 'PID', 'CPU Usage'"), std::string::npos) << run.errors;
    EXPECT_NE(run.errors.find("'Path'"), std::string::npos) << run.errors;

    const BatchRun system = RunBatchOf({"--batch", "--page", "system", "--sort", "Threads"});
    EXPECT_EQ(system.status, 2);
    EXPECT_NE(system.errors.find("no list to sort"), std::string::npos) << system.errors;
}

TEST(BatchNetwork, PrintsTheInterfacesThenTheHistorySample)
{
    const BatchRun run = RunBatchOf({"--batch", "--page", "network", "--sort", "bytes recv."});
    ASSERT_EQ(run.status, 0) << run.errors;
    ASSERT_EQ(run.lines.size(), 3u);
    ASSERT_EQ(run.lines[0].size(), 16u);
    EXPECT_EQ(run.lines[0][0], "Name");
    EXPECT_EQ(run.lines[0][10], "Non-Unicasts/Interval");
    EXPECT_EQ(run.lines[0][15], "Errors");
    // Loopback is not listed; the unnamed adapter shows its friendly name.
    EXPECT_EQ(run.lines[1], (std::vector<std::string>{"LAN Adapter", "Operational", "10 Mbit/s", "0%", "500", "1000", "0",
                                                      "1500", "0", "0", "0", "0", "0", "0", "0", "0"}));
    EXPECT_EQ(run.lines[2], (std::vector<std::string>{"LAN Usage History", "0.00%"})) << "no rate at the first tick";
}

TEST(BatchSort, DescendingNeedsASortColumn)
{
    EXPECT_EQ(ParseCommandLine({"--batch", "--descending"}).mode, CommandLine::Mode::Error);
    EXPECT_EQ(ParseCommandLine({"--sort", "Name"}).mode, CommandLine::Mode::Error) << "batch only";
    EXPECT_EQ(ParseCommandLine({"--batch", "--sort="}).mode, CommandLine::Mode::Error);
    const CommandLine line = ParseCommandLine({"--batch", "--sort", "CPU Usage", "--descending"});
    EXPECT_EQ(line.sortColumn, "CPU Usage");
    EXPECT_TRUE(line.descending);
}

TEST(BatchCells, ControlCharactersAreEscapedSoEveryRowStaysOneLineOfTabSeparatedCells)
{
    const struct {
        std::wstring cell;
        std::string printed;
    } cases[] = {
        {L"nk.exe", "nk.exe"},
        {L"", ""},
        {L"two\nlines", "two\\nlines"},
        {L"a\tb", "a\\tb"},
        {L"C:\\Windows", "C:\\\\Windows"},
        {L"\\n", "\\\\n"},  // a backslash before an n stays told apart from a line break
        {L"bell\a", "bell\\x07"},
        {L"\r\x1B[0m", "\\x0D\\x1B[0m"},
        {L"del\x7F", "del\\x7F"},
        {L"c1\x85\x9F", "c1\\x85\\x9F"},
        {L"\x01\x1F", "\\x01\\x1F"},
        {L"caf\u00E9 \u00A0", "caf\xC3\xA9 \xC2\xA0"},  // printable text stays as it is, in UTF-8
        {L"\u4E2D\u6587", "\xE4\xB8\xAD\xE6\x96\x87"},
    };
    for (const auto& c : cases) EXPECT_EQ(BatchCell(c.cell), c.printed) << platform::Narrow(c.cell);
}

TEST(BatchOutput, AFailedWriteEndsTheRunWithOneLineAndStatusOne)
{
    std::FILE* full = std::fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    platform::Install(platform::sim::testing::SmallDevice());
    const int saved = dup(fileno(stderr));
    std::FILE* err = std::tmpfile();
    fflush(stderr);
    dup2(fileno(err), fileno(stderr));
    const int status = RunBatch(ParseCommandLine({"--batch", "--ticks", "3", "--interval", "0"}), full);
    fflush(stderr);
    dup2(saved, fileno(stderr));
    close(saved);
    std::fclose(full);
    std::rewind(err);
    std::string errors;
    for (int c; (c = std::fgetc(err)) != EOF;) errors += static_cast<char>(c);
    std::fclose(err);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(errors, "kestrun: write error: No space left on device\n");
}

TEST(BatchOutput, AClosedPipeEndsTheRunQuietly)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    close(fds[0]);  // nobody reads
    const auto previous = std::signal(SIGPIPE, SIG_IGN);  // the write fails with EPIPE instead of killing the test
    std::FILE* out = fdopen(fds[1], "w");
    ASSERT_NE(out, nullptr);
    std::fputs("header\n", out);
    EXPECT_EQ(FinishOutput(out), 141);
    std::fclose(out);
    std::signal(SIGPIPE, previous);
}

TEST(BatchDetail, ThreadsPrintTheTitleLineThenTheDialogsRows)
{
    const BatchRun run = RunBatchOf({"--batch", "--page", "threads", "--pid", "0x00800002"});
    ASSERT_EQ(run.status, 0) << run.errors;
    ASSERT_EQ(run.lines.size(), 4u);
    EXPECT_EQ(run.lines[0], (std::vector<std::string>{"worker.exe - 2 Threads"}));
    EXPECT_EQ(run.lines[1][0], "Thread ID");
    EXPECT_EQ(run.lines[1][7], "Current Proc.");
    EXPECT_EQ(run.lines[2][0], "0080000E");
    EXPECT_EQ(run.lines[2][4], "4");
    EXPECT_EQ(run.lines[2][7], "worker.exe");
    EXPECT_EQ(run.lines[3][7], "!nk.exe");

    const BatchRun sorted = RunBatchOf({"--batch", "--page=threads", "--pid=8388610", "--sort", "Base Prio.", "--descending"});
    ASSERT_EQ(sorted.status, 0) << sorted.errors;
    EXPECT_EQ(sorted.lines[2][4], "4");
    EXPECT_EQ(sorted.lines[3][4], "3");
}

TEST(BatchDetail, HeapPrintsTheTitleRowsAndTotals)
{
    const BatchRun run = RunBatchOf({"--batch", "--page", "heap", "--pid", "0x00800002"});
    ASSERT_EQ(run.status, 0) << run.errors;
    ASSERT_EQ(run.lines.size(), 8u);
    EXPECT_EQ(run.lines[0], (std::vector<std::string>{"worker.exe - 4 Memory Blocks"}));
    EXPECT_EQ(run.lines[1], (std::vector<std::string>{"Address", "Size", "Flags", "Lock Count"}));
    EXPECT_EQ(run.lines[5][1], "24");
    EXPECT_EQ(run.lines[5][2], "Moveable Big ");
    EXPECT_EQ(run.lines[5][3], "2");
    EXPECT_EQ(run.lines[6], (std::vector<std::string>{"Total size:", "2 kB"}));
    EXPECT_EQ(run.lines[7], (std::vector<std::string>{"Free size:", "0"}));
}

TEST(BatchDetail, NoProcessGivesTheEmptyDialogAndAnEndedOneAnError)
{
    const BatchRun none = RunBatchOf({"--batch", "--page", "threads"});
    ASSERT_EQ(none.status, 0) << none.errors;
    EXPECT_EQ(none.lines[0], (std::vector<std::string>{"(none) - 0 Threads"}));
    EXPECT_EQ(none.lines.size(), 2u);

    const BatchRun gone = RunBatchOf({"--batch", "--page", "heap", "--pid", "12345"});
    EXPECT_EQ(gone.status, 1);
    EXPECT_TRUE(gone.lines.empty());
    EXPECT_NE(gone.errors.find("no process 12345"), std::string::npos) << gone.errors;
}

TEST(BatchDetail, ModulesOfAProcessOrOfTheSystemWithTheirSums)
{
    const BatchRun worker = RunBatchOf({"--batch", "--page", "modules", "--pid", "0x00800002"});
    ASSERT_EQ(worker.status, 0) << worker.errors;
    ASSERT_EQ(worker.lines.size(), 7u);
    EXPECT_EQ(worker.lines[0], (std::vector<std::string>{"worker.exe - 2 Modules"}));
    EXPECT_EQ(worker.lines[1][4], "Exec. Loc.");
    EXPECT_EQ(worker.lines[2][0], "coredll.dll");
    EXPECT_EQ(worker.lines[2][4], "ROM");
    EXPECT_EQ(worker.lines[3][0], "app.dll");
    EXPECT_EQ(worker.lines[3][1], "\\\\Program Files\\\\Worker");  // a backslash is printed doubled
    EXPECT_EQ(worker.lines[3][6], "3");
    EXPECT_EQ(worker.lines[4], (std::vector<std::string>{"Total:", "72 kB"}));
    EXPECT_EQ(worker.lines[5], (std::vector<std::string>{"Shared:", "64 kB"}));
    EXPECT_EQ(worker.lines[6], (std::vector<std::string>{"RAM:", "8 kB"}));

    const BatchRun system = RunBatchOf({"--batch", "--page", "modules"});
    ASSERT_EQ(system.status, 0) << system.errors;
    EXPECT_EQ(system.lines[0], (std::vector<std::string>{"System - 2 Modules"}));
}

TEST(BatchDetail, ModuleUsageListsTheProcessesOfAModuleByPathOrName)
{
    const BatchRun run = RunBatchOf({"--batch", "--page", "module-usage", "--module", "coredll.dll"});
    ASSERT_EQ(run.status, 0) << run.errors;
    ASSERT_EQ(run.lines.size(), 4u);
    EXPECT_EQ(run.lines[0], (std::vector<std::string>{"coredll.dll - Used by 2 Processes"}));
    EXPECT_EQ(run.lines[1], (std::vector<std::string>{"Name", "PID", "Usage", "Path"}));
    EXPECT_EQ(run.lines[2][0], "nk.exe");
    EXPECT_EQ(run.lines[3][0], "worker.exe");

    const BatchRun byPath = RunBatchOf({"--batch", "--page", "module-usage", "--module", "\\Program Files\\Worker\\app.dll"});
    ASSERT_EQ(byPath.status, 0) << byPath.errors;
    EXPECT_EQ(byPath.lines[0], (std::vector<std::string>{"app.dll - Used by 1 Process"}));
    EXPECT_EQ(byPath.lines[2][2], "3");

    const BatchRun unknown = RunBatchOf({"--batch", "--page", "module-usage", "--module", "nothing.dll"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_NE(unknown.errors.find("no process has nothing.dll loaded"), std::string::npos) << unknown.errors;
    EXPECT_EQ(ParseCommandLine({"--batch", "--page", "module-usage"}).mode, CommandLine::Mode::Error);
    EXPECT_EQ(ParseCommandLine({"--batch", "--module", "x.dll"}).mode, CommandLine::Mode::Error);
}

TEST(BatchDetail, FilePrintsTheNineFieldsAndSixAttributes)
{
    const BatchRun run = RunBatchOf({"--batch", "--file", "\\Windows\\coredll.dll"});
    ASSERT_EQ(run.status, 0) << run.errors;
    ASSERT_EQ(run.lines.size(), 16u);
    EXPECT_EQ(run.lines[0], (std::vector<std::string>{"coredll.dll Properties"}));
    EXPECT_EQ(run.lines[1], (std::vector<std::string>{"Location:", "\\\\Windows"}));
    EXPECT_EQ(run.lines[2], (std::vector<std::string>{"Description:", "Core"}));
    EXPECT_EQ(run.lines[6], (std::vector<std::string>{"Size:", "65536 bytes"}));
    EXPECT_EQ(run.lines[14], (std::vector<std::string>{"in ROM", "yes"}));
    EXPECT_EQ(run.lines[15], (std::vector<std::string>{"ROM module", "yes"}));

    const BatchRun missing = RunBatchOf({"--batch", "--file", "\\Windows\\none.dll"});
    ASSERT_EQ(missing.status, 0) << "the dialog reports nothing";
    EXPECT_EQ(missing.lines[3], (std::vector<std::string>{"Version:", "n/a"}));
    EXPECT_EQ(missing.lines[6], (std::vector<std::string>{"Size:"}));
    EXPECT_EQ(missing.lines[10], (std::vector<std::string>{"read-only", "no"}));
}

TEST(BatchDetail, PidBelongsToTheDetailPages)
{
    EXPECT_EQ(ParseCommandLine({"--batch", "--pid", "5"}).mode, CommandLine::Mode::Error);
    EXPECT_EQ(ParseCommandLine({"--page", "threads", "--pid", "5"}).mode, CommandLine::Mode::Error) << "batch only";
    EXPECT_EQ(ParseCommandLine({"--batch", "--page", "heap", "--pid", "0xZZ"}).mode, CommandLine::Mode::Error);
    EXPECT_EQ(ParseCommandLine({"--batch", "--page", "heap", "--pid", "-1"}).mode, CommandLine::Mode::Error);
    EXPECT_EQ(ParseCommandLine({"--batch", "--page", "heap", "--pid", "0x1F"}).pid, 31u);
}

// ---- Runs on a simulated device ------------------------------------------------------------

using platform::sim::testing::SmallDeviceWith;

// The tick blocks of a run's output (a blank line between ticks).
std::vector<std::string> Ticks(const std::string& output)
{
    std::vector<std::string> ticks;
    size_t start = 0;
    for (size_t gap; (gap = output.find("\n\n", start)) != std::string::npos; start = gap + 2) ticks.push_back(output.substr(start, gap + 1 - start));
    ticks.push_back(output.substr(start));
    return ticks;
}

// The cells of the row whose first cell is name, in one tick's block.
std::vector<std::string> RowOf(const std::string& tick, const std::string& name)
{
    std::istringstream lines(tick);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(name + "\t", 0) != 0) continue;
        std::vector<std::string> cells;
        std::istringstream split(line);
        for (std::string cell; std::getline(split, cell, '\t');) cells.push_back(cell);
        return cells;
    }
    return {};
}

// The cells of a tick block's line at index (0: the header).
std::vector<std::string> LineOf(const std::string& tick, size_t index)
{
    std::istringstream lines(tick);
    std::string line;
    for (size_t i = 0; i <= index; ++i) std::getline(lines, line);
    std::vector<std::string> cells;
    std::istringstream split(line);
    for (std::string cell; std::getline(split, cell, '\t');) cells.push_back(cell);
    return cells;
}

// A device on which something changes at every tick: wandering loads, heap
// churn, traffic, and a timeline that starts and ends processes.
constexpr char kLivelyTimeline[] = R"({"loadVariation": true, "heapChurn": true, "traffic": true, "events": [
    {"tick": 3, "event": "startProcess", "process": {"exe": "backup.exe", "threads": [ {"load": 40} ], "heaps": [ {"blocks": [ {"size": "4K"} ]} ]}},
    {"tick": 6, "event": "setThreadLoad", "exe": "nk.exe", "load": 70},
    {"tick": 8, "event": "endProcess", "exe": "worker.exe"}
]})";

TEST(BatchSimulated, TwoRunsOfOneProfilePrintTheSameBytes)
{
    for (const char* page : {"processes", "system", "network", "threads"}) {
        std::vector<std::string> args = {"--batch", "--page", page, "--ticks", "12", "--interval", "700", "--stats"};
        if (std::string(page) == "threads") args.insert(args.end(), {"--pid", "0x00400002"});
        const BatchRun first = RunBatchOn(SmallDeviceWith(kLivelyTimeline), args);
        const BatchRun second = RunBatchOn(SmallDeviceWith(kLivelyTimeline), args);
        ASSERT_EQ(first.status, 0) << page << ": " << first.errors;
        EXPECT_EQ(first.errors, "") << page;
        EXPECT_EQ(first.output, second.output) << page;
        const std::vector<std::string> ticks = Ticks(first.output);
        ASSERT_EQ(ticks.size(), 12u) << page;
        EXPECT_NE(ticks[1], ticks[2]) << page << ": the clock moves between ticks";
    }
    const std::vector<std::string> ticks =
        Ticks(RunBatchOn(SmallDeviceWith(kLivelyTimeline), {"--batch", "--ticks", "9", "--interval", "700"}).output);
    EXPECT_TRUE(RowOf(ticks[1], "backup.exe").empty());
    EXPECT_FALSE(RowOf(ticks[2], "backup.exe").empty()) << "started before the third tick";
    EXPECT_FALSE(RowOf(ticks[6], "worker.exe").empty());
    EXPECT_TRUE(RowOf(ticks[7], "worker.exe").empty()) << "ended before the eighth tick";
}

TEST(BatchSimulated, TheVirtualClockMovesByExactlyTheIntervalAndChargesEachThreadItsLoad)
{
    // Without waiting: a thousand minutes of device time pass in a thousand ticks.
    auto device = platform::sim::testing::SmallDevice();
    platform::sim::SimDevice& sim = device->device();
    const uint64_t start = sim.UptimeMs();
    const BatchRun run = RunBatchOn(std::move(device), {"--batch", "--page", "processes", "--ticks", "1000", "--interval", "60000"});
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(Ticks(run.output).size(), 1000u);
    EXPECT_EQ(sim.UptimeMs() - start, 999u * 60000u);
    EXPECT_EQ(RowOf(Ticks(run.output).back(), "worker.exe")[2], "30.0%") << "its two threads at 25 % and 5 %";

    // An interval of 0: two refreshes in one millisecond, nothing charged between them.
    const std::vector<std::string> ticks = Ticks(RunBatchOf({"--batch", "--page", "processes", "--ticks", "3", "--interval", "0"}).output);
    ASSERT_EQ(ticks.size(), 3u);
    EXPECT_EQ(ticks[1], ticks[2]);
    EXPECT_EQ(RowOf(ticks[2], "worker.exe")[2], "0.0%");
}

TEST(BatchSimulated, TwoProcessorsHalveABusyThreadsCpuUsage)
{
    const std::vector<std::string> args = {"--batch", "--page", "processes", "--ticks", "2", "--interval", "1000"};
    const std::vector<std::string> args2 = {"--batch", "--page", "system", "--ticks", "2", "--interval", "1000"};
    const std::string one = Ticks(RunBatchOf(args).output).back();
    const std::string two = Ticks(RunBatchOn(SmallDeviceWith(R"({"processors": 2})"), args).output).back();
    EXPECT_EQ(RowOf(one, "worker.exe")[2], "30.0%");
    EXPECT_EQ(RowOf(two, "worker.exe")[2], "15.0%");
    EXPECT_EQ(RowOf(one, "nk.exe")[2], "10.0%");
    EXPECT_EQ(RowOf(two, "nk.exe")[2], "5.0%");
    // The system's CPU load (nk.exe's 10 % and worker.exe's 30 %) is shared the same way.
    const std::string systemOne = Ticks(RunBatchOf(args2).output).back();
    const std::string systemTwo = Ticks(RunBatchOn(SmallDeviceWith(R"({"processors": 2})"), args2).output).back();
    ASSERT_EQ(LineOf(systemOne, 0)[4], "CPU Usage");
    EXPECT_EQ(LineOf(systemOne, 1)[4], " 40%");
    EXPECT_EQ(LineOf(systemTwo, 1)[4], " 20%");
}

TEST(BatchSimulated, AFailureFromTheProfileIsPrintedAsTheWindowsBoxAndTheRunGoesOn)
{
    const BatchRun run = RunBatchOn(SmallDeviceWith(R"({"failures": [ {"call": "processSnapshot", "error": "EACCES", "after": 1} ],
        "events": [ {"tick": 3, "event": "fail", "call": "enumServices", "error": "ENOMEM", "count": 2} ]})"),
                                    {"--batch", "--page", "processes", "--ticks", "3", "--interval", "1000"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.errors, "kestrun: Dravik Task Manager: The process list snapshot cannot be created. Error: 13 (Permission denied)\n");
    const std::vector<std::string> ticks = Ticks(run.output);
    ASSERT_EQ(ticks.size(), 3u);
    EXPECT_FALSE(RowOf(ticks[1], "worker.exe").empty()) << "the rows stay as they were, as in the window";
    EXPECT_EQ(RowOf(ticks[2], "worker.exe")[2], "30.0%");

    const BatchRun services = RunBatchOn(SmallDeviceWith(R"({"events": [ {"tick": 2, "event": "fail", "call": "enumServices", "error": "ENOMEM"} ]})"),
                                         {"--batch", "--page", "services", "--ticks", "3", "--interval", "0"});
    EXPECT_EQ(services.status, 0);
    EXPECT_EQ(services.errors, "kestrun: Dravik Task Manager: The information about the services cannot be read. Error: 12 (Cannot allocate memory)\n");
    EXPECT_EQ(Ticks(services.output).size(), 3u);
}

TEST(BatchSimulated, AnEventThatCannotBeDoneIsSaidAndTheRunGoesOn)
{
    const BatchRun run = RunBatchOn(SmallDeviceWith(R"({"events": [ {"tick": 2, "event": "endProcess", "exe": "worker.exe"},
                                                                     {"tick": 3, "event": "endProcess", "exe": "worker.exe"} ]})"),
                                    {"--batch", "--ticks", "3", "--interval", "0"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.errors, "kestrun: profile: events[1] (tick 3, endProcess): no process \"worker.exe\" is running\n");
    EXPECT_EQ(Ticks(run.output).size(), 3u);
}

TEST(BatchStats, CountEachTicksWorkOnTheListOneCellForOneChangedValue)
{
    EXPECT_EQ(ParseCommandLine({"--stats"}).mode, CommandLine::Mode::Error) << "batch only";
    EXPECT_TRUE(ParseCommandLine({"--batch", "--stats"}).stats);
    EXPECT_FALSE(ParseCommandLine({"--batch"}).stats);

    const BatchRun run = RunBatchOn(SmallDeviceWith(R"({"events": [
        {"tick": 3, "event": "setServiceState", "prefix": "HTP0:", "state": 0},
        {"tick": 4, "event": "setServiceState", "prefix": "TEL0:", "state": 5},
        {"tick": 5, "event": "removeService", "prefix": "HTP0:"},
        {"tick": 6, "event": "addService", "service": {"prefix": "FTP", "dll": "ftpd.dll"}}
    ]})"), {"--batch", "--page", "services", "--sort", "State", "--ticks", "6", "--interval", "0", "--stats"});
    ASSERT_EQ(run.status, 0) << run.errors;
    const std::vector<std::string> ticks = Ticks(run.output);
    ASSERT_EQ(ticks.size(), 6u);
    auto stats = [&](size_t tick) {
        const std::string& block = ticks[tick];
        const size_t last = block.rfind('\n', block.size() - 2);
        return block.substr(last + 1);
    };
    EXPECT_EQ(stats(0), StatsLine(10, 2, 0, 0)) << "two new rows of five cells";
    EXPECT_EQ(stats(1), StatsLine(0, 0, 0, 0)) << "nothing changed: nothing written";
    EXPECT_EQ(stats(2), StatsLine(1, 0, 0, 0)) << "one state: one cell, and Off stays in its place";
    EXPECT_EQ(stats(3), StatsLine(1, 0, 0, 1)) << "Uninitialized moves after Off: one sort";
    EXPECT_EQ(stats(4), StatsLine(0, 0, 1, 0));
    EXPECT_EQ(stats(5), StatsLine(5, 1, 0, 0)) << "a new row goes to its sorted place without a sort";
    EXPECT_EQ(StatsLine(1, 2, 3, 4), "Stats: cells written 1, rows inserted 2, rows removed 3, sorts 4\n");

    const std::vector<std::string> system = Ticks(RunBatchOf({"--batch", "--page", "system", "--stats"}).output);
    EXPECT_NE(system[0].find(StatsLine(0, 0, 0, 0)), std::string::npos) << "a page without a list writes no cells";
}

}  // namespace
}  // namespace kestrun
