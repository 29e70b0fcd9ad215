// Pellora's hooks, loaded from the built library as the installer side loads them.
//
// Flush failures are real: the local-machine hive's directory is a plain file,
// which even root cannot write through. To count attempts and to let a chosen
// attempt succeed, this executable exports its own mkdir, which the library's
// calls reach before libc's (the registry store makes the hive's directory at
// every flush). Once the wanted number of attempts has met the plain file, the
// file is taken away, so the next attempt finds a sound path. Pellora itself has
// no switch for tests.
#include "setup/Pellora.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

struct FlushWatch {
    std::string directory;  // the hive's directory; empty when not watching
    int attempts = 0;
    int failures = 0;  // attempts that still meet the plain file
};
FlushWatch g_watch;

}  // namespace

extern "C" int mkdir(const char* path, mode_t mode) noexcept
{
    using Mkdir = int (*)(const char*, mode_t);
    static const auto next = reinterpret_cast<Mkdir>(dlsym(RTLD_NEXT, "mkdir"));
    if (!g_watch.directory.empty() && g_watch.directory == path) {
        ++g_watch.attempts;
        struct stat st {};
        if (g_watch.attempts > g_watch.failures && lstat(path, &st) == 0 && S_ISREG(st.st_mode)) unlink(path);
    }
    return next(path, mode);
}

namespace {

constexpr const char* kCaption = "Dravik Task Manager Install";
constexpr const char* kText =
    "Save registry after installation (using the Configuration Manager in the Control Panel) or the Remove "
    "Programs entry for the installed program is lost after restart of the system.";
constexpr int kAlways = 1000;  // failures that outlast any number of attempts

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

size_t Count(const std::string& haystack, const std::string& needle)
{
    size_t n = 0;
    for (size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1)) ++n;
    return n;
}

struct Outcome {
    int result = -1;
    int attempts = 0;
    std::string errorOutput;
};

class PelloraTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        library_ = dlopen(PELLORA_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library_, nullptr) << dlerror();
        char pattern[] = "/tmp/kestrun-pellora-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        hiveDir_ = root_ / "machine";
        if (const char* old = std::getenv("KESTRUN_MACHINE_DIR")) oldMachineDir_ = old;
        setenv("KESTRUN_MACHINE_DIR", hiveDir_.c_str(), 1);
        unsetenv("DISPLAY");  // the message goes to standard error only
    }

    void TearDown() override
    {
        g_watch = {};
        if (library_ != nullptr) dlclose(library_);
        if (oldMachineDir_) setenv("KESTRUN_MACHINE_DIR", oldMachineDir_->c_str(), 1);
        else unsetenv("KESTRUN_MACHINE_DIR");
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    PelloraHook Hook(const char* name) const { return reinterpret_cast<PelloraHook>(dlsym(library_, name)); }

    // Calls hook with the hive's directory blocked for the first failures flush
    // attempts, capturing what it writes to standard error.
    Outcome Call(const char* name, int failures)
    {
        Outcome outcome;
        const PelloraHook hook = Hook(name);
        EXPECT_NE(hook, nullptr) << name;
        if (hook == nullptr) return outcome;
        std::error_code ignored;
        fs::remove_all(hiveDir_, ignored);
        if (failures > 0) std::ofstream(hiveDir_) << "not a directory";

        const fs::path captured = root_ / "stderr";
        std::fflush(stderr);
        const int saved = dup(STDERR_FILENO);
        const int sink = open(captured.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        dup2(sink, STDERR_FILENO);
        g_watch = {hiveDir_.string(), 0, failures};
        outcome.result = hook(0, root_.c_str());
        outcome.attempts = g_watch.attempts;
        g_watch = {};
        std::fflush(stderr);
        dup2(saved, STDERR_FILENO);
        close(saved);
        close(sink);
        outcome.errorOutput = ReadFile(captured);
        return outcome;
    }

    void* library_ = nullptr;
    fs::path root_;
    fs::path hiveDir_;
    std::optional<std::string> oldMachineDir_;
};

TEST_F(PelloraTest, ExitHooksTryTheFlushAtMostSixTimesAndOnlyInstallationComplains)
{
    struct Case {
        const char* hook;
        int failures;
        int attempts;
        size_t messages;
        bool flushed;
    };
    const Case cases[] = {
        {"Install_Exit", 0, 1, 0, true},
        {"Install_Exit", 1, 2, 0, true},
        {"Install_Exit", 5, 6, 0, true},
        {"Install_Exit", 6, 6, 1, false},
        {"Install_Exit", kAlways, 6, 1, false},
        {"Uninstall_Exit", 0, 1, 0, true},
        {"Uninstall_Exit", 5, 6, 0, true},
        {"Uninstall_Exit", 6, 6, 0, false},
        {"Uninstall_Exit", kAlways, 6, 0, false},
    };
    for (const auto& c : cases) {
        const std::string label = std::string(c.hook) + " after " + std::to_string(c.failures) + " failures";
        const Outcome outcome = Call(c.hook, c.failures);
        EXPECT_EQ(outcome.result, 0) << label;
        EXPECT_EQ(outcome.attempts, c.attempts) << label;
        EXPECT_EQ(Count(outcome.errorOutput, kCaption), c.messages) << label << ": " << outcome.errorOutput;
        EXPECT_EQ(Count(outcome.errorOutput, kText), c.messages) << label;
        std::error_code error;
        EXPECT_EQ(fs::is_regular_file(hiveDir_ / "machine.db", error), c.flushed) << label;
    }
}

TEST_F(PelloraTest, InitHooksAreOneFunctionThatTouchesNothing)
{
    EXPECT_EQ(Hook("Install_Init"), Hook("Uninstall_Init"));
    for (const char* name : {"Install_Init", "Uninstall_Init"}) {
        const Outcome outcome = Call(name, kAlways);
        EXPECT_EQ(outcome.result, 0) << name;
        EXPECT_EQ(outcome.attempts, 0) << name;
        EXPECT_EQ(outcome.errorOutput, "") << name;
        EXPECT_EQ(ReadFile(hiveDir_), "not a directory") << name;
    }
}

TEST_F(PelloraTest, ExportsExactlyTheFourHooks)
{
    FILE* nm = popen("nm -D --defined-only '" PELLORA_LIBRARY "'", "r");
    ASSERT_NE(nm, nullptr);
    std::set<std::string> names;
    char line[512];
    while (std::fgets(line, sizeof line, nm) != nullptr) {
        std::istringstream fields(line);
        std::string address, type, name;
        fields >> address >> type >> name;
        names.insert(name);
    }
    ASSERT_EQ(pclose(nm), 0);
    EXPECT_EQ(names, (std::set<std::string>{"Install_Init", "Install_Exit", "Uninstall_Init", "Uninstall_Exit"}));
}

// ---- the runner the maintainer scripts call ----------------------------------------

struct RunResult {
    int status = -1;
    std::string log;
};

RunResult RunRunner(const fs::path& root, const std::string& arguments)
{
    const fs::path log = root / "hooks.log";
    fs::remove(log);
    const std::string command = "KESTRUN_SETUP_HOOK_LOG='" + log.string() + "' '" KESTRUN_SETUP_HOOKS "' " + arguments + " 2>/dev/null";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(log)};
}

TEST_F(PelloraTest, RunnerCallsTheHooksOfEachStepAndLogsThem)
{
    const struct {
        const char* step;
        const char* log;
    } cases[] = {
        {"install", "Install_Init 0\nInstall_Exit 0\n"},
        {"uninstall-init", "Uninstall_Init 0\n"},
        {"uninstall-exit", "Uninstall_Exit 0\n"},
    };
    for (const auto& c : cases) {
        const RunResult run = RunRunner(root_, c.step);
        EXPECT_EQ(run.status, 0) << c.step;
        EXPECT_EQ(run.log, c.log) << c.step;
    }
    EXPECT_TRUE(fs::is_regular_file(hiveDir_ / "machine.db"));
}

TEST_F(PelloraTest, RunnerRefusesUnknownStepsAndMissingLibraries)
{
    EXPECT_EQ(RunRunner(root_, "configure").status, 2);
    const RunResult missing = RunRunner(root_, "--library '" + (root_ / "nowhere.so").string() + "' install");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.log, "");
}

}  // namespace
