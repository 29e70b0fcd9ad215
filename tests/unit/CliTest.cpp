#include "app/core/Cli.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace kestrun {
namespace {

using Mode = CommandLine::Mode;

TEST(CommandLine, NoArgumentsOpensTheWindow)
{
    EXPECT_EQ(ParseCommandLine({}).mode, Mode::Window);
}

TEST(CommandLine, HelpAndVersionWinWhereverTheyStand)
{
    EXPECT_EQ(ParseCommandLine({"--help"}).mode, Mode::Help);
    EXPECT_EQ(ParseCommandLine({"--batch", "--version"}).mode, Mode::Version);
}

TEST(CommandLine, BatchTakesPageTicksAndIntervalInBothSpellings)
{
    const CommandLine line = ParseCommandLine({"--batch", "--page", "system", "--ticks=3", "--interval", "500"});
    EXPECT_EQ(line.mode, Mode::Batch);
    EXPECT_EQ(line.page, "system");
    EXPECT_EQ(line.ticks, 3);
    EXPECT_EQ(line.intervalMs, 500);
    const CommandLine defaults = ParseCommandLine({"--batch"});
    EXPECT_EQ(defaults.page, "processes");
    EXPECT_EQ(defaults.ticks, 1);
    EXPECT_EQ(defaults.intervalMs, 2000);
}

TEST(CommandLine, RejectsWhatItDoesNotKnow)
{
    const std::vector<std::vector<std::string>> bad = {
        {"--bogus"}, {"file"}, {"--batch", "--page", "nothing"}, {"--batch", "--ticks", "0"},
        {"--batch", "--ticks", "2x"}, {"--batch", "--interval", "-5"}, {"--batch", "--page"},
        {"--page", "processes"}, {"--help=yes"},
    };
    for (const auto& args : bad) {
        const CommandLine line = ParseCommandLine(args);
        EXPECT_EQ(line.mode, Mode::Error) << args[0];
        EXPECT_FALSE(line.error.empty());
    }
}

std::vector<std::string> Lines(void (*print)(std::FILE*))
{
    char* text = nullptr;
    size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    print(out);
    std::fclose(out);
    std::istringstream in(std::string(text, size));
    std::free(text);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// What the GNU coding standards ask of --version: the name and the version (after
// the last space) on the first line, then the copyright and the warranty.
TEST(CommandLine, VersionTextFollowsTheGnuLayout)
{
    const auto lines = Lines(PrintVersion);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], std::string("kestrun ") + KESTRUN_VERSION);
    EXPECT_EQ(lines[1].rfind("Copyright (C) ", 0), 0u) << lines[1];
    EXPECT_EQ(lines.back(), "There is NO WARRANTY, to the extent permitted by law.");
}

// --help: the usage line first, every option, and where bugs go at the end.
TEST(CommandLine, HelpTextHasUsageOptionsAndTheBugAddress)
{
    const auto lines = Lines(PrintHelp);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "Usage: kestrun [OPTION]...");
    std::string all;
    for (const auto& line : lines) all += line + "\n";
    for (const char* option : {"--batch", "--page=NAME", "--ticks=N", "--interval=MS", "--stats", "--help", "--version"})
        EXPECT_NE(all.find(option), std::string::npos) << option;
    EXPECT_EQ(lines.back(), std::string("Report bugs to: ") + KESTRUN_BUG_ADDRESS);
    for (const auto& line : lines) EXPECT_LE(line.size(), 80u) << line;
}

}  // namespace
}  // namespace kestrun
