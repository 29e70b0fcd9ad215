// The Linux shell service: file attributes and times, and starting the help
// viewer at an anchor (stand-in viewers record what they were given).
#include "tests/unit/ScopedEnv.h"
#include "platform/linux/LinuxPlatform.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace kestrun::platform::linux_backend {
namespace {

namespace fs = std::filesystem;

using kestrun::test_support::ScopedEnv;

class ShellTest : public ::testing::Test {
protected:
    ShellTest()
    {
        char pattern[] = "/tmp/kestrun-shell-test-XXXXXX";
        dir_ = mkdtemp(pattern);
    }
    ~ShellTest() override { fs::remove_all(dir_); }

    std::string Make(const std::string& name, mode_t mode, const std::string& text = "x")
    {
        const std::string path = dir_ + "/" + name;
        std::ofstream(path) << text;
        chmod(path.c_str(), mode);
        return path;
    }

    // A stand-in program that writes its arguments, one a line, to record.
    std::string StandIn(const std::string& name, const std::string& record)
    {
        fs::create_directories(dir_ + "/bin");
        const std::string path = dir_ + "/bin/" + name;
        std::ofstream(path) << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" << record
                            << ".tmp'\n/bin/mv '" << record << ".tmp' '" << record << "'\n";
        chmod(path.c_str(), 0755);
        return path;
    }

    // A stand-in program that prints text and succeeds.
    std::string Printer(const std::string& name, const std::string& text)
    {
        fs::create_directories(dir_ + "/bin");
        const std::string path = dir_ + "/bin/" + name;
        std::ofstream(path) << "#!/bin/sh\nprintf '%s' '" << text << "'\n";
        chmod(path.c_str(), 0755);
        return path;
    }

    // Something that shows HTML pages, as the desktop would have it.
    void Browser() { Printer("x-www-browser", ""); }

    // What a detached stand-in recorded, once it has run (about ten seconds at most).
    static std::string Recorded(const std::string& record)
    {
        for (int i = 0; i < 200 && !fs::exists(record); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::ifstream in(record);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::string dir_;
    std::unique_ptr<Shell> shell_ = CreateLinuxShell();
};

// --- File attributes and times --------------------------------------------------------

TEST_F(ShellTest, AttributesComeFromModeNameAndType)
{
    fs::create_directories(dir_ + "/folder");
    fs::create_directories(dir_ + "/.config");
    const struct {
        std::string path;
        uint32_t attributes;
    } cases[] = {
        {Make("plain.txt", 0644), 0},
        {Make("readonly.txt", 0444), kFileReadOnly},
        {Make("owner-writable.txt", 0200), 0},
        {Make(".profile", 0644), kFileHidden},
        {Make(".locked", 0400), kFileHidden | kFileReadOnly},
        {dir_ + "/folder", kFileDirectory},
        {dir_ + "/.config/", kFileDirectory | kFileHidden},  // a trailing slash keeps the name
        {dir_ + "/folder/..", kFileDirectory},              // ".." is no hidden name
        {dir_ + "/.", kFileDirectory},
    };
    for (const auto& c : cases) {
        const auto info = shell_->GetFileInfo(Widen(c.path));
        ASSERT_TRUE(info.has_value()) << c.path;
        EXPECT_EQ(info->attributes & (kFileReadOnly | kFileHidden | kFileDirectory), c.attributes) << c.path;
    }
}

TEST_F(ShellTest, TimesAreHundredNanosecondsSince1601AndSizeIsInBytes)
{
    const std::string path = Make("dated.bin", 0644, std::string(1234, 'z'));
    const timespec times[2] = {{1600000000, 250000000}, {1700000000, 500000000}};  // access, write
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    const auto info = shell_->GetFileInfo(Widen(path));
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->lastWrite.Value(), kUnixEpochAsFileTime + 17000000005000000ull);
    EXPECT_EQ(info->lastAccess.Value(), kUnixEpochAsFileTime + 16000000002500000ull);
    EXPECT_EQ(info->size, 1234u);
    // Made just now: whether birth time or (without one) the write time, it is
    // not earlier than the back-dated write time.
    EXPECT_GE(info->creation.Value(), info->lastWrite.Value());
}

TEST_F(ShellTest, CreationIsTheWriteTimeWhenTheFileSystemKeepsNoBirthTime)
{
    // /proc keeps no birth time.
    const auto info = shell_->GetFileInfo(L"/proc/version");
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->creation, info->lastWrite);
    EXPECT_NE(info->creation.Value(), 0u);
}

TEST_F(ShellTest, MissingFileIsAnErrorWithItsNumber)
{
    SetLastError(0);
    EXPECT_FALSE(shell_->GetFileInfo(Widen(dir_ + "/absent")).has_value());
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ENOENT));
}

// --- Help viewer -----------------------------------------------------------------------

TEST_F(ShellTest, NamedViewerGetsTheFileUriWithItsAnchor)
{
    const std::string record = dir_ + "/seen";
    ScopedEnv viewer("KESTRUN_HELP_VIEWER", StandIn("viewer", record).c_str());
    const struct {
        std::wstring file, anchor;
        std::string uri;
    } cases[] = {
        {L"/opt/kestrun/kestrun.htm", L"#processes", "file:///opt/kestrun/kestrun.htm#processes"},
        {L"/opt/kestrun/kestrun.htm", L"moduleusage", "file:///opt/kestrun/kestrun.htm#moduleusage"},
        {L"/opt/kestrun/kestrun.htm", L"", "file:///opt/kestrun/kestrun.htm"},
        {L"/opt/My Tools/k\u00e4strun.htm", L"#system", "file:///opt/My%20Tools/k%C3%A4strun.htm#system"},
    };
    for (const auto& c : cases) {
        fs::remove(record);
        ASSERT_TRUE(shell_->StartHelpViewer(c.file, c.anchor)) << GetLastError();
        EXPECT_EQ(Recorded(record), c.uri + "\n");
    }
}

TEST_F(ShellTest, RelativeHelpPathBecomesAbsolute)
{
    const std::string record = dir_ + "/seen";
    ScopedEnv viewer("KESTRUN_HELP_VIEWER", StandIn("viewer", record).c_str());
    const fs::path before = fs::current_path();
    fs::current_path(dir_);
    const bool started = shell_->StartHelpViewer(L"kestrun.htm", L"#network");
    fs::current_path(before);
    ASSERT_TRUE(started);
    EXPECT_EQ(Recorded(record), "file://" + dir_ + "/kestrun.htm#network\n");
}

TEST_F(ShellTest, ViewerIsNotLeftAsAChildOfTheProgram)
{
    const std::string record = dir_ + "/seen";
    ScopedEnv viewer("KESTRUN_HELP_VIEWER", StandIn("viewer", record).c_str());
    ASSERT_TRUE(shell_->StartHelpViewer(L"/opt/kestrun/kestrun.htm", L"#threads"));
    Recorded(record);  // it has run
    // Neither a running child nor a zombie to reap: the viewer belongs to init.
    errno = 0;
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST_F(ShellTest, MissingViewerFailsWithTheError)
{
    ScopedEnv viewer("KESTRUN_HELP_VIEWER", (dir_ + "/no-such-viewer").c_str());
    SetLastError(0);
    EXPECT_FALSE(shell_->StartHelpViewer(L"/opt/kestrun/kestrun.htm", L"#processes"));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ENOENT));
    EXPECT_FALSE(shell_->HelpViewerAvailable());
}

TEST_F(ShellTest, XdgOpenGetsAPageThatCarriesTheAnchorOn)
{
    const std::string record = dir_ + "/seen";
    StandIn("xdg-open", record);
    Browser();
    fs::create_directories(dir_ + "/run");
    ScopedEnv viewer("KESTRUN_HELP_VIEWER", nullptr);
    ScopedEnv path("PATH", (dir_ + "/bin").c_str());
    ScopedEnv display("DISPLAY", ":77");
    ScopedEnv runtime("XDG_RUNTIME_DIR", (dir_ + "/run").c_str());

    // A quote or angle bracket in the path must not break out of the page's markup.
    ASSERT_TRUE(shell_->StartHelpViewer(L"/opt/a\"b<c>/kestrun.htm", L"#devices"));
    std::string page = Recorded(record);
    ASSERT_FALSE(page.empty());
    page.pop_back();  // the newline
    EXPECT_EQ(fs::path(page).parent_path(), fs::path(dir_ + "/run"));
    std::ifstream in(page);
    std::stringstream html;
    html << in.rdbuf();
    EXPECT_NE(html.str().find("url=file:///opt/a%22b%3Cc%3E/kestrun.htm#devices\""), std::string::npos) << html.str();
    EXPECT_EQ(html.str().find("a\"b"), std::string::npos);

    // Without an anchor there is nothing to lose: the file itself is opened.
    fs::remove(record);
    ASSERT_TRUE(shell_->StartHelpViewer(L"/opt/kestrun/kestrun.htm", L""));
    EXPECT_EQ(Recorded(record), "file:///opt/kestrun/kestrun.htm\n");
}

TEST_F(ShellTest, GioOpensTheFullUriWhenThereIsNoXdgOpen)
{
    const std::string record = dir_ + "/seen";
    StandIn("gio", record);
    Browser();
    ScopedEnv viewer("KESTRUN_HELP_VIEWER", nullptr);
    ScopedEnv path("PATH", (dir_ + "/bin").c_str());
    ScopedEnv display("DISPLAY", nullptr);
    ScopedEnv wayland("WAYLAND_DISPLAY", "wayland-0");
    ASSERT_TRUE(shell_->StartHelpViewer(L"/opt/kestrun/kestrun.htm", L"#memory"));
    EXPECT_EQ(Recorded(record), "open\nfile:///opt/kestrun/kestrun.htm#memory\n");
}

TEST_F(ShellTest, ViewerIsAvailableWithAnOpenerAndADisplay)
{
    StandIn("xdg-open", dir_ + "/unused");
    fs::create_directories(dir_ + "/empty");
    const struct {
        bool opener;
        const char* display;
        const char* wayland;
        bool available;
    } cases[] = {
        {true, ":0", nullptr, true},   {true, nullptr, "wayland-0", true}, {true, nullptr, nullptr, false},
        {true, "", "", false},         {false, ":0", nullptr, false},      {false, nullptr, nullptr, false},
    };
    ScopedEnv viewer("KESTRUN_HELP_VIEWER", nullptr);
    for (const auto& c : cases) {
        ScopedEnv path("PATH", (dir_ + (c.opener ? "/bin" : "/empty")).c_str());
        ScopedEnv display("DISPLAY", c.display);
        ScopedEnv wayland("WAYLAND_DISPLAY", c.wayland);
        EXPECT_EQ(shell_->HelpViewerAvailable(), c.available)
            << c.opener << " " << (c.display ? c.display : "-") << " " << (c.wayland ? c.wayland : "-");
    }
    // Without a display nothing is started, and the error says why.
    ScopedEnv path("PATH", (dir_ + "/bin").c_str());
    ScopedEnv display("DISPLAY", nullptr);
    ScopedEnv wayland("WAYLAND_DISPLAY", nullptr);
    SetLastError(0);
    EXPECT_FALSE(shell_->StartHelpViewer(L"/opt/kestrun/kestrun.htm", L"#system"));
    EXPECT_NE(GetLastError(), 0u);
}

// xdg-open and gio start whatever is installed and fail later on their own, so
// help counts as started only when something can show an HTML page.
TEST_F(ShellTest, HelpStartsOnlyWhenSomethingShowsHtmlPages)
{
    const struct {
        const char* label;
        const char* gio;      // what `gio mime text/html` prints; null: no gio
        const char* xdgMime;  // what `xdg-mime query default text/html` prints; null: none
        const char* browserVariable;
        const char* installed;  // a browser program in $PATH; null: none
        bool started;
    } cases[] = {
        {"nothing at all", "No default applications for \u201Ctext/html\u201D\n", "", nullptr, nullptr, false},
        {"a default application", "Default application for \u201Ctext/html\u201D: firefox-esr.desktop\n", "", nullptr,
         nullptr, true},
        {"only a registered one", "No default applications for \u201Ctext/html\u201D\nRegistered applications:\n\tlynx.desktop\n",
         "", nullptr, nullptr, true},
        {"xdg-mime's default", nullptr, "chromium.desktop\n", nullptr, nullptr, true},
        {"neither answers", nullptr, nullptr, nullptr, nullptr, false},
        {"$BROWSER", "No default applications for \u201Ctext/html\u201D\n", "", "my-browser --new-window:lynx", "my-browser",
         true},
        {"$BROWSER names nothing installed", nullptr, "", "no-such-browser", nullptr, false},
        {"x-www-browser", nullptr, "", nullptr, "x-www-browser", true},
    };
    ScopedEnv viewer("KESTRUN_HELP_VIEWER", nullptr);
    ScopedEnv display("DISPLAY", ":77");
    ScopedEnv runtime("XDG_RUNTIME_DIR", dir_.c_str());
    for (const auto& c : cases) {
        fs::remove_all(dir_ + "/bin");
        const std::string record = dir_ + "/opened";
        fs::remove(record);
        StandIn("xdg-open", record);
        if (c.gio != nullptr) Printer("gio", c.gio);
        if (c.xdgMime != nullptr) Printer("xdg-mime", c.xdgMime);
        if (c.installed != nullptr) Printer(c.installed, "");
        ScopedEnv browser("BROWSER", c.browserVariable);
        ScopedEnv path("PATH", (dir_ + "/bin").c_str());
        SetLastError(0);
        EXPECT_EQ(shell_->StartHelpViewer(L"/opt/kestrun/kestrun.htm", L""), c.started) << c.label;
        if (c.started) {
            EXPECT_EQ(Recorded(record), "file:///opt/kestrun/kestrun.htm\n") << c.label;
        } else {
            EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ENOENT)) << c.label;
            EXPECT_FALSE(fs::exists(record)) << c.label << ": the opener was started";
        }
    }
}

}  // namespace
}  // namespace kestrun::platform::linux_backend
