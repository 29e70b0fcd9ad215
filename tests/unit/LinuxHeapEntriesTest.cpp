// The Heap dialog's entries on Linux: the flag table over region properties,
// the smaps reader, fixture trees (smaps, maps only, another user's process) and
// the live machine, where the dialog's rows agree with the Processes page's count.
#include "dialogs/core/HeapModel.h"
#include "dialogs/core/MemoryDetailControls.h"
#include "display/core/Format.h"
#include "display/core/MemoryListView.h"
#include "display/core/MessageBox.h"
#include "pages/core/ProcessesModel.h"
#include "platform/LastError.h"
#include "platform/linux/LinuxPlatform.h"
#include "platform/linux/ProcSmaps.h"
#include "platform/linux/ProcStatus.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fcntl.h>
#include <fstream>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kestrun::platform::linux_backend {
namespace {

namespace fs = std::filesystem;

MapsLine Line(const char* text)
{
    MapsLine line;
    EXPECT_TRUE(ParseMapsLine(text, line)) << text;
    return line;
}

TEST(LinuxHeapFlags, OneTableOfRegionProperties)
{
    struct Case {
        const char* line;
        RegionUse use;
        uint32_t flags;
    };
    const Case cases[] = {
        {"1000-2000 rw-p 00000000 00:00 0 [heap]", {4, 0, 0}, kHeapFixed},
        {"1000-2000 rw-p 00000000 00:00 0", {0, 4, 0}, kHeapFixed},  // swapped out is still used
        {"1000-2000 rw-p 00000000 00:00 0", {0, 0, 0}, kHeapFixed | kHeapFree},
        {"1000-21000 rw-p 00000000 00:00 0", {128, 0, 0}, kHeapFixed | kHeapBig},
        {"1000-21000 rw-p 00000000 00:00 0 [stack]", {0, 0, 0}, kHeapFixed | kHeapBig | kHeapFree},
        {"1000-400000 ---p 00000000 00:00 0", {0, 0, 0}, kHeapDecommit},
    };
    for (const Case& c : cases) EXPECT_EQ(HeapFlagsOfUse(Line(c.line), c.use), c.flags) << c.line;
}

const char kSmaps[] =
    "55d0c0a3e000-55d0c0a40000 r--p 00000000 fe:00 2001                       /usr/bin/prog\n"
    "Size:                  8 kB\n"
    "Rss:                   8 kB\n"
    "55d0c1000000-55d0c1021000 rw-p 00000000 00:00 0                          [heap]\n"
    "Size:                132 kB\n"
    "Rss:                  12 kB\n"
    "Swap:                  4 kB\n"
    "Locked:                0 kB\n"
    "VmFlags: rd wr mr mw me ac sd\n"
    "7f0000000000-7f0000021000 rw-p 00000000 00:00 0 \n"
    "Rss:                   0 kB\n"
    "Locked:                0 kB\n"
    "7f0000021000-7f0004000000 ---p 00000000 00:00 0 \n"
    "Rss:                   0 kB\n"
    "not a region at all\n"
    "Rss:                 999 kB\n"
    "7f1000000000-7f1000001000 rw-p 00000000 00:00 0 \n"
    "Rss:                   4 kB\n"
    "Locked:                4 kB\n"
    "7ffd00000000-7ffd00021000 rw-p 00000000 00:00 0                          [stack]\n"
    "Rss:                  16 kB\n";

TEST(LinuxSmaps, EntriesAreSizedByResidentPlusSwappedPages)
{
    const auto brk = HeapEntriesFromSmaps(kSmaps, 7, kHeapKindBrk);
    ASSERT_EQ(brk.size(), 1u);
    EXPECT_EQ(brk[0].address, 0x55d0c1000000u);
    EXPECT_EQ(brk[0].blockSize, 16u * 1024);
    EXPECT_EQ(brk[0].flags, uint32_t{kHeapFixed | kHeapBig});
    EXPECT_EQ(brk[0].lockCount, 0u);

    // The malformed line and its attributes belong to no region.
    const auto mmap = HeapEntriesFromSmaps(kSmaps, 7, kHeapKindMmap);
    ASSERT_EQ(mmap.size(), 3u);
    EXPECT_EQ(mmap[0].blockSize, 0u);
    EXPECT_EQ(mmap[0].flags, uint32_t{kHeapFixed | kHeapBig | kHeapFree});
    EXPECT_EQ(mmap[1].blockSize, 0u);  // a reserve counts nothing, however large
    EXPECT_EQ(mmap[1].flags, uint32_t{kHeapDecommit});
    EXPECT_EQ(mmap[2].blockSize, 4096u);
    EXPECT_EQ(mmap[2].lockCount, 1u);

    // The same regions as the maps table: the page's block count and the rows agree.
    uint32_t rows = 0;
    for (const auto& list : HeapListsFromMaps(kSmaps, 7)) rows += static_cast<uint32_t>(HeapEntriesFromSmaps(kSmaps, 7, list.heapId).size());
    EXPECT_EQ(rows, SummarizeMaps(kSmaps, "/usr/bin/prog").heap.blocks);
}

TEST(LinuxSmaps, AttributeLinesParseOnlyWithACapitalisedName)
{
    std::string_view name;
    uint64_t value = 0;
    EXPECT_TRUE(ParseSmapsAttribute("Rss:                  12 kB", name, value));
    EXPECT_EQ(name, "Rss");
    EXPECT_EQ(value, 12u);
    EXPECT_TRUE(ParseSmapsAttribute("VmFlags: rd wr", name, value));
    EXPECT_EQ(value, 0u);
    EXPECT_FALSE(ParseSmapsAttribute("7f00-7f01 rw-p 00000000 00:00 0", name, value));
    EXPECT_FALSE(ParseSmapsAttribute(":5", name, value));
    EXPECT_FALSE(ParseSmapsAttribute("", name, value));
}

// A program and its library after relocation: written pages in private file
// mappings, beside the heap regions.
const char kWrittenSmaps[] =
    "55d0c0a3e000-55d0c0a40000 r--p 00000000 fe:00 2001                       /usr/bin/prog\n"
    "Rss:                   8 kB\n"
    "Anonymous:             0 kB\n"
    "55d0c0a45000-55d0c0a47000 rw-p 00007000 fe:00 2001                       /usr/bin/prog\n"
    "Rss:                   8 kB\n"
    "Anonymous:             4 kB\n"
    "Swap:                  4 kB\n"
    "7f3000000000-7f3000400000 r--p 001bd000 fe:00 3001                       /usr/lib/libc.so.6\n"
    "Rss:                  16 kB\n"
    "Anonymous:            16 kB\n"
    "Locked:               16 kB\n"
    "7f4000000000-7f4000004000 rw-s 00000000 00:01 4001                       /dev/shm/segment\n"
    "Rss:                   8 kB\n"
    "Swap:                  8 kB\n"
    "55d0c1000000-55d0c1021000 rw-p 00000000 00:00 0                          [heap]\n"
    "Rss:                  12 kB\n"
    "Anonymous:            12 kB\n"
    "Swap:                  4 kB\n"
    "7f0000000000-7f0000021000 rw-p 00000000 00:00 0 \n"
    "Rss:                  20 kB\n"
    "Anonymous:            20 kB\n";

TEST(LinuxSmaps, WrittenPagesOfPrivateFileMappingsAreListedSoTheTotalIsTheMemoryInUse)
{
    const auto copied = HeapEntriesFromSmaps(kWrittenSmaps, 7, kHeapKindCopied);
    ASSERT_EQ(copied.size(), 2u);  // the unwritten text and the shared segment are not the process's own
    EXPECT_EQ(copied[0].address, 0x55d0c0a45000u);
    EXPECT_EQ(copied[0].blockSize, 8u * 1024);  // written plus swapped, not the file's resident pages
    EXPECT_EQ(copied[0].flags, uint32_t{kHeapFixed});
    EXPECT_EQ(copied[1].blockSize, 16u * 1024);
    EXPECT_EQ(copied[1].flags, uint32_t{kHeapFixed | kHeapBig});
    EXPECT_EQ(copied[1].lockCount, 1u);

    // Over every list: each region's anonymous and swapped pages, which is what
    // RssAnon + VmSwap counts (4 + 16 + 12 + 20 written or resident, 4 + 4 swapped).
    uint64_t total = 0;
    uint32_t rows = 0;
    bool copiedListed = false;
    for (const auto& list : HeapListsFromMaps(kWrittenSmaps, 7)) {
        copiedListed = copiedListed || list.heapId == kHeapKindCopied;
        for (const auto& entry : HeapEntriesFromSmaps(kWrittenSmaps, 7, list.heapId)) {
            total += entry.blockSize;
            ++rows;
        }
    }
    EXPECT_TRUE(copiedListed);
    EXPECT_EQ(total, 60u * 1024);
    // The blocks stay the private anonymous regions.
    EXPECT_EQ(SummarizeMaps(kWrittenSmaps, "/usr/bin/prog").heap.blocks, 2u);
    EXPECT_EQ(rows, 4u);
    // maps alone cannot tell written pages: the list exists, without entries.
    EXPECT_TRUE(HeapEntriesFromMaps(kWrittenSmaps, 7, kHeapKindCopied).empty());
}

// A writable fixture /proc of one process, 100, with the given maps and smaps.
class LinuxHeapTree : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/kestrun-heap-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root_ = pattern;
        fs::create_directories(root_ / "100");
        std::ofstream(root_ / "100/stat") << "100 (prog) S 1 1 1 0 -1 0 0 0 0 0 7 3 0 0 20 0 1 0 50 4096 10 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 17 0 0 0\n";
        std::ofstream(root_ / "100/maps") << kSmaps;  // header lines and attributes alike: maps skips the latter
        std::ofstream(root_ / "100/smaps") << kSmaps;
        fs::permissions(root_, fs::perms::all & ~fs::perms::others_write & ~fs::perms::group_write);
        LinuxRoots roots;
        roots.proc = root_.string();
        toolHelp_ = CreateLinuxToolHelp(roots);
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    std::vector<HeapEntry> Walk()
    {
        std::vector<HeapEntry> all;
        auto snapshot = toolHelp_->CreateSnapshot(kSnapHeapList, 100);
        EXPECT_TRUE(snapshot);
        if (!snapshot) return all;
        for (const auto& list : snapshot->heapLists) {
            auto entries = toolHelp_->HeapEntries(100, list.heapId);
            EXPECT_TRUE(entries);
            if (entries) all.insert(all.end(), entries->begin(), entries->end());
        }
        return all;
    }

    fs::path root_;
    std::unique_ptr<ToolHelp> toolHelp_;
};

TEST_F(LinuxHeapTree, EntriesComeFromSmaps)
{
    const auto entries = Walk();
    ASSERT_EQ(entries.size(), 5u);
    uint64_t total = 0;
    for (const auto& entry : entries) total += entry.blockSize;
    EXPECT_EQ(total, (16u + 4u + 16u) * 1024);
}

TEST_F(LinuxHeapTree, WithoutSmapsCommittedRegionsCountTheirExtentAndReservesNothing)
{
    fs::remove(root_ / "100/smaps");
    const auto entries = Walk();
    ASSERT_EQ(entries.size(), 5u);
    uint64_t total = 0;
    for (const auto& entry : entries) total += entry.blockSize;
    EXPECT_EQ(total, 0x21000u + 0x21000u + 0x1000u + 0x21000u);
}

TEST_F(LinuxHeapTree, AnotherUsersProcessGivesAnEmptyListAndNoError)
{
    fs::permissions(root_ / "100/smaps", fs::perms::none);
    fs::permissions(root_ / "100/maps", fs::perms::none);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::seteuid(65534), 0);  // root reads any file: act as nobody
    }
    SetLastError(0);
    const auto entries = toolHelp_->HeapEntries(100, kHeapKindBrk);
    if (root) {
        ASSERT_EQ(::seteuid(0), 0);
    }
    ASSERT_TRUE(entries);
    EXPECT_TRUE(entries->empty());
    EXPECT_EQ(GetLastError(), 0u);
}

TEST_F(LinuxHeapTree, AnEndedProcessIsAFailure)
{
    fs::remove_all(root_ / "100");
    EXPECT_FALSE(toolHelp_->HeapEntries(100, kHeapKindBrk));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ESRCH));
}

// The live machine: a child with a heap of its own, shown by the Heap dialog's
// list, with as many rows as the Processes page counts blocks.
TEST(LinuxHeapDialog, RowsAgreeWithTheProcessesPagesBlocksForALiveChild)
{
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // A megabyte between reserves of its own, so that it stays one region, with one page used.
        constexpr size_t kMiB = size_t{1} << 20;
        auto* reserve = static_cast<char*>(::mmap(nullptr, 3 * kMiB, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        char* block = reserve + kMiB;
        if (reserve == MAP_FAILED || ::mprotect(block, kMiB, PROT_READ | PROT_WRITE) != 0) ::_exit(1);
        block[0] = 1;
        // 4 MiB written in a private mapping of a file: the process's own memory, in no heap region.
        const int file = ::open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
        auto* copied = static_cast<char*>(::mmap(nullptr, 4 * kMiB, PROT_READ | PROT_WRITE, MAP_PRIVATE, file, 0));
        if (file < 0 || copied == MAP_FAILED) ::_exit(1);
        for (size_t offset = 0; offset < 4 * kMiB; offset += 4096) copied[offset] = 1;
        // 64 GiB reserved and never touched counts nothing.
        if (::mmap(nullptr, size_t{64} << 30, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0) ==
            MAP_FAILED)
            ::_exit(1);
        if (::write(ready[1], &block, sizeof block) != static_cast<ssize_t>(sizeof block)) ::_exit(1);
        ::pause();
        ::_exit(0);
    }
    char* block = nullptr;
    ASSERT_EQ(::read(ready[0], &block, sizeof block), static_cast<ssize_t>(sizeof block));
    ::close(ready[0]);
    ::close(ready[1]);

    auto platform = CreateLinuxPlatform();
    std::vector<MessageBoxRequest> boxes;
    const MessageBoxHandler previous = SetMessageBoxHandler([&](const MessageBoxRequest& box) {
        boxes.push_back(box);
        return kIdOk;
    });
    MemoryListView pageList;
    ProcessesModel page(*platform, pageList);
    page.InsertColumns();
    ASSERT_TRUE(page.Refresh());
    uint32_t blocks = 0;
    uint64_t memory = 0;
    for (int row = 0; row < pageList.RowCount(); ++row) {
        const auto* process = static_cast<const ProcessRow*>(pageList.RowData(row));
        if (process->processId != static_cast<uint32_t>(child)) continue;
        blocks = process->blocks;
        memory = process->memory;
    }
    const auto copiedPages = platform->toolHelp().HeapEntries(static_cast<uint32_t>(child), kHeapKindCopied);
    std::string status;
    std::getline(std::ifstream("/proc/" + std::to_string(child) + "/status"), status, '\0');

    MemoryListView list;
    MemoryDetailControls controls;
    HeapModel heap(*platform, list, controls);
    heap.InsertColumns();
    heap.SetProcess(static_cast<uint32_t>(child), L"child");
    const bool refreshed = heap.Refresh(RefreshMode::kRebuild);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    SetMessageBoxHandler(previous);

    ASSERT_TRUE(refreshed);
    EXPECT_TRUE(boxes.empty());
    EXPECT_GT(blocks, 0u);
    // A row for every block the page counts, and one for every private file
    // mapping the child has written in.
    ASSERT_TRUE(copiedPages);
    EXPECT_GE(copiedPages->size(), 1u);
    const uint32_t rows = blocks + static_cast<uint32_t>(copiedPages->size());
    EXPECT_EQ(static_cast<uint32_t>(list.RowCount()), rows);
    EXPECT_EQ(controls.caption, L"child - " + std::to_wstring(rows) + L" Memory Blocks");
    // The dialog's Total is the page's Mem. Usage: the memory in use, the written
    // file pages included and the 64 GiB reserve not.
    EXPECT_GE(memory, uint64_t{4} << 20);
    EXPECT_LT(memory, uint64_t{1} << 30);
    EXPECT_EQ(controls.values[kIdcTotalSize], FormatSize(memory));
    EXPECT_EQ(memory, AnonymousInUse(status));
    // The megabyte block counts the page it used, not the address space it holds.
    const HeapRow* used = nullptr;
    for (int row = 0; row < list.RowCount(); ++row) {
        const auto* entry = static_cast<const HeapRow*>(list.RowData(row));
        if (entry->address == reinterpret_cast<uintptr_t>(block)) used = entry;
    }
    ASSERT_NE(used, nullptr);
    EXPECT_EQ(used->size, static_cast<uint64_t>(::sysconf(_SC_PAGESIZE)));
    EXPECT_EQ(used->flags, uint32_t{kHeapFixed | kHeapBig});
}

}  // namespace
}  // namespace kestrun::platform::linux_backend
