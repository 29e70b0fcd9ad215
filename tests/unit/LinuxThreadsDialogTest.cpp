// The Threads dialog on the live machine: a child that starts three threads is
// listed with four rows, one per entry of its /proc/PID/task.
#include "dialogs/core/MemoryDetailControls.h"
#include "dialogs/core/ThreadsModel.h"
#include "display/core/MemoryListView.h"
#include "display/core/MessageBox.h"
#include "platform/linux/LinuxPlatform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cwchar>
#include <filesystem>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kestrun::platform::linux_backend {
namespace {

namespace fs = std::filesystem;

void* Sleep(void*)
{
    setpriority(PRIO_PROCESS, 0, 5);  // this thread alone: nice 5
    for (;;) ::pause();
    return nullptr;
}

TEST(LinuxThreadsDialog, AChildWithThreeThreadsIsListedWithFourRowsOfItsTasks)
{
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        for (int i = 0; i < 3; ++i) {
            pthread_t thread;
            if (pthread_create(&thread, nullptr, Sleep, nullptr) != 0) ::_exit(1);
        }
        // Ready once all three exist.
        while (std::distance(fs::directory_iterator("/proc/self/task"), fs::directory_iterator{}) < 4) ::usleep(1000);
        ::usleep(20000);  // and have set their nice value
        const char byte = 1;
        if (::write(ready[1], &byte, 1) != 1) ::_exit(1);
        for (;;) ::pause();
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ::close(ready[0]);
    ::close(ready[1]);

    std::vector<std::wstring> tasks;
    for (const auto& entry : fs::directory_iterator("/proc/" + std::to_string(child) + "/task")) {
        wchar_t key[16];
        std::swprintf(key, 16, L"%08lX", std::stoul(entry.path().filename().string()));
        tasks.push_back(key);
    }

    auto platform = CreateLinuxPlatform();
    int boxes = 0;
    const MessageBoxHandler previous = SetMessageBoxHandler([&](const MessageBoxRequest&) { return ++boxes, kIdOk; });
    MemoryListView list;
    MemoryDetailControls controls;
    ThreadsModel threads(*platform, list, controls);
    threads.InsertColumns();
    threads.SetProcess(static_cast<uint32_t>(child), L"child");
    const bool refreshed = threads.OnTimer(kDetailTickRebuild);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    SetMessageBoxHandler(previous);

    ASSERT_TRUE(refreshed);
    EXPECT_EQ(boxes, 0);
    EXPECT_EQ(controls.caption, L"child - 4 Threads");
    std::vector<std::wstring> rows;
    for (const auto& cells : list.Cells()) rows.push_back(cells[kColThreadId]);
    std::sort(rows.begin(), rows.end());
    std::sort(tasks.begin(), tasks.end());
    EXPECT_EQ(rows, tasks);

    const std::wstring self = fs::read_symlink("/proc/self/exe").filename().wstring();
    wchar_t uid[16];
    std::swprintf(uid, 16, L"%08lX", static_cast<unsigned long>(::geteuid()));
    int niced = 0;
    for (const auto& cells : list.Cells()) {
        EXPECT_EQ(cells[kColCurrentProcess], self);  // a Linux thread runs in its own process
        EXPECT_EQ(cells[kColUsage], L"0");
        EXPECT_EQ(cells[kColThreadAccessKey], uid);
        EXPECT_NE(cells[kColCreated], L"0000/00/00 00:00:00.000");
        if (cells[kColDeltaPriority] == L"5") {
            ++niced;
            EXPECT_EQ(cells[kColBasePriority], L"4");  // nice 5 is below normal
        }
    }
    EXPECT_EQ(niced, 3);
}

}  // namespace
}  // namespace kestrun::platform::linux_backend
