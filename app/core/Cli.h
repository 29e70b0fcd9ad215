// The command line: the window program takes none; --help, --version and the
// batch mode that prints pages as text.
#pragma once

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
    std::string error;  // for Mode::Error: what was wrong
};

CommandLine ParseCommandLine(const std::vector<std::string>& args);

void PrintHelp(std::FILE* out);
void PrintVersion(std::FILE* out);

// Runs batch mode on the installed platform; returns the exit status.
int RunBatch(const CommandLine& options, std::FILE* out);

// The pages batch mode knows, in tab order.
const std::vector<std::string>& BatchPageNames();

}  // namespace kestrun
