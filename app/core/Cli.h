// The command line: the window program takes none; --help, --version and the
// batch mode that prints pages as text.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace kestrun {

struct CommandLine {
    enum class Mode { Window, Help, Version, Batch, Error };
    Mode mode = Mode::Window;
    std::string page = "processes";
    int ticks = 1;
    int intervalMs = 2000;
    std::string sortColumn;   // a column title; empty: the list's own order
    bool descending = false;  // with sortColumn: the second header click
    uint32_t pid = 0;         // the process of a detail dialog's page; 0: none (modules: the system)
    std::string module;       // --page module-usage: the module's path (or file name)
    std::string file;         // --file: print this file's properties instead of a page
    bool stats = false;       // --stats: after each tick, the work done on the page's list
    std::string error;  // for Mode::Error: what was wrong
};

CommandLine ParseCommandLine(const std::vector<std::string>& args);

void PrintHelp(std::FILE* out);
void PrintVersion(std::FILE* out);

// Runs batch mode on the installed platform; returns the exit status. A write
// to out that fails ends the run: with one line on stderr and status 1, or
// quietly with status 141 when the reader has gone (a closed pipe). On a
// device with a virtual clock the ticks do not wait: the clock moves by the
// interval. A box the window would show goes to stderr as "kestrun: TITLE: TEXT".
int RunBatch(const CommandLine& options, std::FILE* out);

// One cell as batch mode prints it, in UTF-8. A tab, a line break or a backslash
// would break the one-line, tab-separated format, so they become \t, \n and
// \\; every other control character becomes \xHH. The window shows the text as it is.
std::string BatchCell(const std::wstring& cell);

// The line --stats prints after a tick: the cells written, rows inserted, rows
// removed and sorts done on the page's list during that tick.
std::string StatsLine(size_t cellsWritten, size_t rowsInserted, size_t rowsRemoved, size_t sorts);

// Flushes out and says on stderr when something written to it was lost; returns
// the exit status (0, 1 after a one-line message, 141 for a closed pipe).
int FinishOutput(std::FILE* out);

// The pages batch mode knows: the tabs in tab order, then the detail dialogs.
const std::vector<std::string>& BatchPageNames();
// Whether a page is a detail dialog of one process (--pid).
bool IsDetailPage(const std::string& name);

}  // namespace kestrun
