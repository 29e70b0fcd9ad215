// The init-script fallback against the fixture scripts of tests/fixtures/lsb,
// copied for each test so that the scripts can keep their state beside them:
// one that runs, one that is stopped, one whose status hangs and one without
// an LSB header.
#include "platform/LastError.h"
#include "platform/linux/LsbServices.h"
#include "platform/Types.h"
#include "platform/linux/TimedCommand.h"

#include "tests/support/Fixtures.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <unistd.h>

namespace kestrun::platform::linux_backend {
namespace {

namespace fs = std::filesystem;

struct InitScriptCase {
    const char* what;
    const char* text;
    const char* shortDescription;
    const char* daemon;
};

TEST(InitScriptHeader, ReadsTheShortDescriptionAndALiteralDaemonPath)
{
    const InitScriptCase cases[] = {
        {"header and daemon",
         "#!/bin/sh\n### BEGIN INIT INFO\n# Provides: x\n# Short-Description:   Secure shell server  \n### END INIT INFO\nDAEMON=/usr/sbin/sshd\n",
         "Secure shell server", "/usr/sbin/sshd"},
        {"quoted daemon", "DAEMON=\"/usr/bin/a b\"\n", "", ""},
        {"single-quoted daemon", "DAEMON='/usr/bin/ab'\n", "", "/usr/bin/ab"},
        {"daemon made of a variable", "DAEMON=$PREFIX/bin/x\n", "", ""},
        {"relative daemon", "DAEMON=sshd\n", "", ""},
        {"first daemon wins", "DAEMON=/a\nDAEMON=/b\n", "", "/a"},
        {"description outside the header is not read", "# Short-Description: loose\n", "", ""},
        {"unterminated header", "### BEGIN INIT INFO\n# Short-Description: open\n", "open", ""},
        {"no header at all", "#!/bin/sh\nexit 0\n", "", ""},
    };
    for (const InitScriptCase& c : cases) {
        const InitScriptInfo info = ParseInitScript(c.text);
        EXPECT_EQ(info.shortDescription, c.shortDescription) << c.what;
        EXPECT_EQ(info.daemon, c.daemon) << c.what;
    }
}

// Gone, or a zombie that nobody reaps yet (its parent, the script, was killed).
bool Ended(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    if (!std::getline(stat, text)) return true;
    const size_t close = text.rfind(')');
    return close != std::string::npos && close + 2 < text.size() && text[close + 2] == 'Z';
}

class LsbFixture : public ::testing::Test {
protected:
    LsbFixture()
    {
        char pattern[] = "/tmp/kestrun-lsb-XXXXXX";
        dir_ = mkdtemp(pattern);
        const fs::path source = testing::FixturePath("lsb");
        fs::copy(source, dir_, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
        options_.initDir = dir_ + "/init.d";
        options_.rcRoot = dir_;
        options_.statusTimeout = std::chrono::milliseconds(300);
        options_.controlTimeout = std::chrono::milliseconds(5000);
    }
    ~LsbFixture() override
    {
        // A hung status leaves its child's pid behind; make sure nothing of it outlives the test.
        // Only while that pid is still the script's sleep: once it ended, the id may
        // belong to any other process (another test's X server, say).
        std::ifstream child(dir_ + "/state/hangs.child");
        pid_t pid = 0;
        if (child >> pid && pid > 0 && IsHangsChild(pid)) kill(pid, SIGKILL);
        fs::remove_all(dir_);
    }

    static bool IsHangsChild(pid_t pid)
    {
        std::ifstream in("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
        const std::string cmdline{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        return cmdline == std::string("sleep\0" "60\0", 9);
    }

    std::map<std::wstring, LinuxService> ListByName(LsbServices& services)
    {
        std::map<std::wstring, LinuxService> byName;
        std::optional<std::vector<LinuxService>> list = services.List();
        EXPECT_TRUE(list);
        if (list)
            for (LinuxService& s : *list) byName[s.entry.prefix] = std::move(s);
        return byName;
    }

    int HangsCalls() const
    {
        std::ifstream in(dir_ + "/state/hangs.calls");
        int lines = 0;
        for (std::string line; std::getline(in, line);) ++lines;
        return lines;
    }

    std::string dir_;
    LsbOptions options_;
};

TEST_F(LsbFixture, ListsTheExecutableScriptsWithStateNameModuleAndStartOrder)
{
    LsbServices services(options_);
    std::optional<std::vector<LinuxService>> list = services.List();
    ASSERT_TRUE(list);
    std::vector<std::wstring> names;
    for (const LinuxService& s : *list) names.push_back(s.entry.prefix);
    EXPECT_EQ(names, (std::vector<std::wstring>{L"hangs", L"noheader", L"running", L"stopped"}))
        << "README and a file that is not executable are no services";

    std::map<std::wstring, LinuxService> byName = ListByName(services);
    const LinuxService& running = byName[L"running"];
    EXPECT_EQ(running.entry.state, kServiceRunning);
    EXPECT_EQ(running.displayName, L"Test daemon that runs");
    EXPECT_EQ(running.entry.dllName, L"runningd");
    EXPECT_EQ(running.entry.dllPath, L"/usr/sbin/runningd");
    EXPECT_EQ(running.order, 2u) << "the lowest start link; kill links do not count";

    const LinuxService& stopped = byName[L"stopped"];
    EXPECT_EQ(stopped.entry.state, kServiceOff);
    EXPECT_EQ(stopped.entry.dllName, L"stopped") << "a daemon path made at run time: the script is the program";
    EXPECT_EQ(stopped.order, 10u);

    const LinuxService& old = byName[L"noheader"];
    EXPECT_EQ(old.entry.state, kServiceUnknown) << "status 4";
    EXPECT_EQ(old.displayName, L"");
    EXPECT_FALSE(old.order);
}

TEST_F(LsbFixture, AHangingStatusIsKilledWithWhatItStartedAndNotAskedAgain)
{
    LsbServices services(options_);
    std::map<std::wstring, LinuxService> first = ListByName(services);
    EXPECT_EQ(first[L"hangs"].entry.state, kServiceUnknown);
    EXPECT_EQ(first[L"running"].entry.state, kServiceRunning) << "the scripts after it are still asked";
    std::ifstream child(dir_ + "/state/hangs.child");
    pid_t pid = 0;
    ASSERT_TRUE(child >> pid);
    EXPECT_TRUE(Ended(pid)) << "the script's own child went with it";

    std::map<std::wstring, LinuxService> second = ListByName(services);
    EXPECT_EQ(second[L"hangs"].entry.state, kServiceUnknown);
    EXPECT_EQ(HangsCalls(), 1) << "a script that hung is not asked at every refresh";

    ASSERT_TRUE(services.Control("hangs", ServiceControl::Start));
    ListByName(services);
    EXPECT_EQ(HangsCalls(), 2) << "a controlled script is asked again";
}

TEST_F(LsbFixture, StartStopAndReloadRunTheScriptAndReportItsExitCode)
{
    LsbServices services(options_);
    ASSERT_TRUE(services.Control("stopped", ServiceControl::Start));
    EXPECT_EQ(ListByName(services)[L"stopped"].entry.state, kServiceRunning);
    ASSERT_TRUE(services.Control("running", ServiceControl::Refresh));
    ASSERT_TRUE(services.Control("running", ServiceControl::Stop));
    EXPECT_EQ(ListByName(services)[L"running"].entry.state, kServiceOff);

    EXPECT_FALSE(services.Control("running", ServiceControl::Refresh)) << "reload of a stopped daemon";
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ESRCH));
    EXPECT_EQ(LastErrorText(), Widen(options_.initDir) +
                                   L"/running reload exited with status 7 (program is not running).");

    EXPECT_FALSE(services.Control("stopped", ServiceControl::Refresh));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EOPNOTSUPP));
    EXPECT_NE(LastErrorText().find(L"unimplemented feature"), std::wstring::npos);

    EXPECT_FALSE(services.Control("noheader", ServiceControl::Start));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EIO));
}

TEST_F(LsbFixture, OnlyScriptsOfTheFolderCanBeControlled)
{
    LsbServices services(options_);
    for (const char* name : {"nothing", "README", "notes", "../init.d/running", "", ".."}) {
        SetLastError(0);
        EXPECT_FALSE(services.Control(name, ServiceControl::Start)) << name;
        EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ENOENT)) << name;
    }
    EXPECT_NE(LastErrorText().find(L"There is no init script"), std::wstring::npos);
}

TEST_F(LsbFixture, AControlThatRunsOutOfTimeIsKilled)
{
    options_.controlTimeout = std::chrono::milliseconds(300);
    std::ofstream(options_.initDir + "/slow") << "#!/bin/sh\nsleep 60\n";
    fs::permissions(options_.initDir + "/slow", fs::perms::owner_all);
    LsbServices services(options_);
    EXPECT_FALSE(services.Control("slow", ServiceControl::Stop));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ETIMEDOUT));
    EXPECT_NE(LastErrorText().find(L"slow stop did not finish within 1 s"), std::wstring::npos) << Narrow(LastErrorText());
}

TEST(LsbServices, NoInitScriptFolderIsAClearFailure)
{
    LsbOptions options;
    options.initDir = "/nonexistent/kestrun/init.d";
    LsbServices services(options);
    SetLastError(0);
    EXPECT_FALSE(services.List());
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ENOENT));
    EXPECT_NE(LastErrorText().find(L"No service manager answers"), std::wstring::npos);
}

TEST(TimedCommand, ReportsExitCodesSignalsAndProgramsThatCannotRun)
{
    const CommandResult exited = RunWithTimeout({"/bin/sh", "-c", "exit 3"}, std::chrono::milliseconds(5000));
    EXPECT_EQ(exited.outcome, CommandResult::Outcome::Exited);
    EXPECT_EQ(exited.exitCode, 3);
    const CommandResult killed = RunWithTimeout({"/bin/sh", "-c", "kill -9 $$"}, std::chrono::milliseconds(5000));
    EXPECT_EQ(killed.outcome, CommandResult::Outcome::Signalled);
    EXPECT_EQ(killed.signal, SIGKILL);
    const CommandResult missing = RunWithTimeout({"/nonexistent/program"}, std::chrono::milliseconds(5000));
    EXPECT_EQ(missing.outcome, CommandResult::Outcome::NotRun);
    EXPECT_EQ(missing.error, ENOENT);
    const CommandResult clean = RunWithTimeout({"/bin/sh", "-c", "test -z \"$HOME\" && test \"$LANG\" = C"}, std::chrono::milliseconds(5000));
    EXPECT_EQ(clean.exitCode, 0) << "scripts run with a plain environment";
}

}  // namespace
}  // namespace kestrun::platform::linux_backend
