// Batch mode on the simulated device: the header and rows of a page, and --sort
// applied with the list's own header-click rule.
#include "app/core/Cli.h"
#include "platform/Platform.h"
#include "tests/unit/SimTestSupport.h"

#include <gtest/gtest.h>

#include <unistd.h>

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
};

BatchRun RunBatchOf(const std::vector<std::string>& args)
{
    platform::Install(platform::sim::testing::SmallDevice());
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
    std::istringstream text(slurp(out));
    run.errors = slurp(err);
    for (std::string row; std::getline(text, row) && !row.empty();) {
        std::vector<std::string>& cells = run.lines.emplace_back();
        std::istringstream split(row);
        for (std::string cell; std::getline(split, cell, '\t');) cells.push_back(cell);
    }
    return run;
}

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

TEST(BatchSort, DescendingNeedsASortColumn)
{
    EXPECT_EQ(ParseCommandLine({"--batch", "--descending"}).mode, CommandLine::Mode::Error);
    EXPECT_EQ(ParseCommandLine({"--sort", "Name"}).mode, CommandLine::Mode::Error) << "batch only";
    EXPECT_EQ(ParseCommandLine({"--batch", "--sort="}).mode, CommandLine::Mode::Error);
    const CommandLine line = ParseCommandLine({"--batch", "--sort", "CPU Usage", "--descending"});
    EXPECT_EQ(line.sortColumn, "CPU Usage");
    EXPECT_TRUE(line.descending);
}

}  // namespace
}  // namespace kestrun
