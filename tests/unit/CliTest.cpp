#include "app/core/Cli.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace kestrun
