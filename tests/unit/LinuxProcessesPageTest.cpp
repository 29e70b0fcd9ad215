// The Processes page on the real /proc with real child processes: a process
// that runs another program (exec) is shown with that program's name, folder
// and load address; processes that end during their first read get no row,
// however fast they come and go.
#include "display/core/MemoryListView.h"
#include "display/core/MessageBox.h"
#include "pages/core/ProcessesModel.h"
#include "platform/linux/LinuxPlatform.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <set>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace kestrun {
namespace {

namespace fs = std::filesystem;

// The page over the real /proc, with every box it shows recorded.
class LivePage {
public:
    LivePage() : platform_(platform::linux_backend::CreateLinuxPlatform()), model_(*platform_, list_)
    {
        previous_ = SetMessageBoxHandler([this](const MessageBoxRequest& box) {
            boxes.push_back(box);
            return kIdOk;
        });
        model_.InsertColumns();
    }
    ~LivePage()
    {
        model_.Clear();
        SetMessageBoxHandler(previous_);
    }
    LivePage(const LivePage&) = delete;
    LivePage& operator=(const LivePage&) = delete;

    bool Refresh() { return model_.Refresh(); }
    const MemoryListView& list() const { return list_; }
    const ProcessRow* RowOf(pid_t pid) const
    {
        for (int row = 0; row < list_.RowCount(); ++row) {
            const auto* record = static_cast<const ProcessRow*>(list_.RowData(row));
            if (record->processId == static_cast<uint32_t>(pid)) return record;
        }
        return nullptr;
    }
    std::wstring Cell(pid_t pid, int column) const
    {
        for (int row = 0; row < list_.RowCount(); ++row)
            if (static_cast<const ProcessRow*>(list_.RowData(row))->processId == static_cast<uint32_t>(pid))
                return list_.CellText(row, column);
        return L"(no row)";
    }

    std::vector<MessageBoxRequest> boxes;

private:
    std::unique_ptr<platform::Platform> platform_;
    MemoryListView list_;
    ProcessesModel model_;
    MessageBoxHandler previous_;
};

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// Where the process's program text starts (the startcode field of its stat), 0
// while no program is loaded.
uint64_t TextStart(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    const std::string stat{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const size_t close = stat.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(stat.substr(close + 1));
    std::string field;
    for (int i = 3; i <= 26 && fields >> field; ++i)
        if (i == 26) return std::stoull(field);
    return 0;
}

// Waits up to five seconds for the child's program to become path, with its
// program mapped: the executable's link changes before exec has mapped the new
// program, and a read between the two sees a process still changing.
bool WaitForProgram(pid_t child, const fs::path& path)
{
    const std::string proc = "/proc/" + std::to_string(child);
    for (int i = 0; i < 500; ++i) {
        std::error_code error;
        if (fs::read_symlink(proc + "/exe", error) == path && TextStart(child) != 0) {
            std::ifstream maps(proc + "/maps");
            std::string line;
            while (std::getline(maps, line))
                if (line.find(" r-xp ") != std::string::npos && line.find(path.string()) != std::string::npos) return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

TEST(LinuxProcessesPage, ProcessThatRunsAnotherProgramShowsThatProgram)
{
    const fs::path sleepPath = fs::canonical("/usr/bin/sleep");
    int go[2];
    ASSERT_EQ(::pipe(go), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        char byte = 0;
        ::close(go[1]);
        if (::read(go[0], &byte, 1) != 1) ::_exit(1);
        // As `exec -a renamed sleep 30` does: another program under the same id, another argv[0].
        ::execl(sleepPath.c_str(), "renamed", "30", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(go[0]);
    const fs::path self = fs::read_symlink("/proc/self/exe");

    LivePage page;
    ASSERT_TRUE(page.Refresh());
    ASSERT_NE(page.RowOf(child), nullptr);
    const ProcessRow* row = page.RowOf(child);
    EXPECT_EQ(page.Cell(child, kColName), Wide(self.filename().string()));
    EXPECT_EQ(page.Cell(child, kColPath), Wide(self.parent_path().string()));
    const uint64_t oldLoadAddress = row->loadAddress;

    ASSERT_EQ(::write(go[1], "x", 1), 1);
    ::close(go[1]);
    const bool execed = WaitForProgram(child, sleepPath);
    ASSERT_TRUE(page.Refresh());
    const ProcessRow* after = page.RowOf(child);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);

    ASSERT_TRUE(execed);
    ASSERT_NE(after, nullptr);
    EXPECT_EQ(after, row);  // the same process keeps its row
    EXPECT_EQ(page.Cell(child, kColName), L"sleep");
    EXPECT_EQ(page.Cell(child, kColPath), Wide(sleepPath.parent_path().string()));
    EXPECT_NE(after->loadAddress, oldLoadAddress);
    EXPECT_NE(after->loadAddress, 0u);
    EXPECT_TRUE(page.boxes.empty());
}

// Spawns /usr/bin/true over and over, reaping each after a while, so that at
// any moment some children are starting, running, or have ended and wait.
class Churn {
public:
    Churn()
        : thread_([this] {
              char name[] = "true";
              char* argv[] = {name, nullptr};
              while (!stop_) {
                  pid_t pid = 0;
                  if (::posix_spawn(&pid, "/usr/bin/true", nullptr, nullptr, argv, environ) != 0) continue;
                  {
                      const std::lock_guard lock(mutex_);
                      spawned_.insert(pid);
                  }
                  std::this_thread::sleep_for(std::chrono::milliseconds(3));  // it ends meanwhile and waits
                  ::waitpid(pid, nullptr, 0);
              }
          })
    {
    }
    ~Churn()
    {
        stop_ = true;
        thread_.join();
    }
    Churn(const Churn&) = delete;
    Churn& operator=(const Churn&) = delete;

    bool Spawned(uint32_t pid)
    {
        const std::lock_guard lock(mutex_);
        return spawned_.count(static_cast<pid_t>(pid)) != 0;
    }
    size_t count()
    {
        const std::lock_guard lock(mutex_);
        return spawned_.size();
    }

private:
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::set<pid_t> spawned_;
    std::thread thread_;
};

TEST(LinuxProcessesPage, ProcessesThatEndDuringTheirFirstReadGetNoRow)
{
    LivePage page;
    std::vector<std::wstring> halfRead;
    size_t refreshes = 0;
    {
        Churn churn;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (std::chrono::steady_clock::now() < end) {
            ASSERT_TRUE(page.Refresh());
            ++refreshes;
            const MemoryListView& list = page.list();
            for (int i = 0; i < list.RowCount(); ++i) {
                const auto* row = static_cast<const ProcessRow*>(list.RowData(i));
                if (!churn.Spawned(row->processId)) continue;
                // A child is listed either before its exec (as this program) or as true, and whole.
                const std::wstring path = list.CellText(i, kColPath);
                if (path.empty() || path.starts_with(L"Err#") || row->loadAddress == 0)
                    halfRead.push_back(list.CellText(i, kColName) + L" " + list.CellText(i, kColPid) + L" [" + path + L"]");
            }
        }
        EXPECT_GT(churn.count(), 20u);
    }
    EXPECT_GT(refreshes, 5u);
    EXPECT_TRUE(page.boxes.empty());
    for (const std::wstring& row : halfRead) ADD_FAILURE() << "half-read row: " << std::string(row.begin(), row.end());
}

}  // namespace
}  // namespace kestrun
