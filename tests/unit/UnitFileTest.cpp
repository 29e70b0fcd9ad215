// Reading the Description and the ExecStart program of a unit file systemd has not loaded.
#include "platform/linux/UnitFile.h"

#include "tests/support/Fixtures.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace kestrun::platform::linux_backend {
namespace {

struct UnitFileCase {
    const char* what;
    const char* text;
    const char* description;
    const char* execStart;
};

TEST(UnitFile, TakesTheDescriptionAndTheFirstProgramOfExecStart)
{
    const UnitFileCase cases[] = {
        {"plain", "[Unit]\nDescription=OpenBSD Secure Shell server\n[Service]\nExecStart=/usr/sbin/sshd -D $SSHD_OPTS\n",
         "OpenBSD Secure Shell server", "/usr/sbin/sshd"},
        {"command prefixes", "[Service]\nExecStart=-+@/usr/bin/x argv0\n", "", "/usr/bin/x"},
        {"quoted program", "[Service]\nExecStart=\"/opt/my app/run\" --x\n", "", "/opt/my app/run"},
        {"first of several", "[Service]\nExecStart=/bin/a\nExecStart=/bin/b\n", "", "/bin/a"},
        {"an empty assignment clears", "[Service]\nExecStart=/bin/a\nExecStart=\nExecStart=/bin/c\n", "", "/bin/c"},
        {"keys of other sections", "[Install]\nDescription=no\n[Unit]\nExecStart=/no\n", "", ""},
        {"comments and blanks", "# c\n; c\n\n[Unit]\n  Description = spaced  \r\n", "spaced", ""},
        {"no ExecStart", "[Unit]\nDescription=Target-like\n", "Target-like", ""},
        {"garbage", "\x01\x02 not a unit\n=\n[", "", ""},
    };
    for (const UnitFileCase& c : cases) {
        const UnitFileSettings settings = ParseUnitFile(c.text);
        EXPECT_EQ(settings.description, c.description) << c.what;
        EXPECT_EQ(settings.execStart, c.execStart) << c.what;
    }
}

TEST(UnitFile, ReadsAFileAndGivesNothingForOneThatIsMissing)
{
    const std::string path = testing::FixturePath("systemd/backup.service");
    const UnitFileSettings backup = ReadUnitFile(path);
    EXPECT_EQ(backup.description, "Nightly backup");
    EXPECT_EQ(backup.execStart, "/usr/bin/backup-run");
    EXPECT_EQ(ReadUnitFile("/nonexistent/x.service").description, "");
}

}  // namespace
}  // namespace kestrun::platform::linux_backend
