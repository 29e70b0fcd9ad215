// Parsers of /proc/PID/stat and /proc/PID/maps.
#include "platform/linux/ProcMaps.h"
#include "platform/linux/ProcStat.h"
#include "platform/linux/ProcStatus.h"

#include <gtest/gtest.h>

namespace kestrun::platform::linux_backend {
namespace {

constexpr const char* kTail = " 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0";

TEST(ProcStatParse, CommandNameRunsFromTheFirstOpenToTheLastCloseParenthesis)
{
    struct Case {
        std::string line;
        std::string comm;
        int64_t ppid;
        int64_t threads;
    };
    const Case cases[] = {
        {"42 (bash) S 7 42 42 0 -1 4194560 1 0 0 0 11 22 0 0 20 0 3 0 500 9000", "bash", 7, 3},
        {"42 (x) S 1 (y z) S 7 42 42 0 -1 0 1 0 0 0 11 22 0 0 20 0 4 0 500 9000", "x) S 1 (y z", 7, 4},
        {"43 (t) R 9 (q) R 8 42 42 0 -1 0 1 0 0 0 11 22 0 0 20 0 5 0 500 9000", "t) R 9 (q", 8, 5},
        {"44 () S 2 0 0 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0 1 0", "", 2, 1},
        {"45 (a b  c) Z 2 0 0 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0 1 0", "a b  c", 2, 1},
        {"46 ((sd-pam)) S 1 0 0 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0 1 0", "(sd-pam)", 1, 1},
    };
    for (const Case& c : cases) {
        const auto stat = ParseProcStat(c.line + kTail);
        ASSERT_TRUE(stat) << c.line;
        EXPECT_EQ(stat->comm, c.comm);
        EXPECT_EQ(stat->ppid, c.ppid) << c.line;
        EXPECT_EQ(stat->numThreads, c.threads) << c.line;
    }
}

TEST(ProcStatParse, ReadsTheFieldsTheReaderUses)
{
    const auto stat = ParseProcStat(
        "100 (prog) S 1 100 100 0 -1 2129984 10 0 0 0 120 30 0 0 25 5 2 0 5000 10485760 300 "
        "18446744073709551615 22033 22100 0 0 0 0 0 0 0 0 0 0 17 1 7 2 0 0 0\n");
    ASSERT_TRUE(stat);
    EXPECT_EQ(stat->pid, 100);
    EXPECT_EQ(stat->state, 'S');
    EXPECT_EQ(stat->utime, 120u);
    EXPECT_EQ(stat->stime, 30u);
    EXPECT_EQ(stat->nice, 5);
    EXPECT_EQ(stat->startTime, 5000u);
    EXPECT_EQ(stat->vsize, 10485760u);
    EXPECT_EQ(stat->rss, 300u);
    EXPECT_EQ(stat->startCode, 0x5611u);
    EXPECT_EQ(stat->rtPriority, 7u);
    EXPECT_EQ(stat->policy, 2u);
    EXPECT_TRUE(stat->IsKernelThread());  // 2129984 = 0x208040
}

TEST(ProcStatParse, RejectsMalformedLines)
{
    const char* cases[] = {
        "",
        "\n",
        "12",
        "12 (name",
        "12 name) S 1",
        "x (name) S 1 0 0 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0 1 0",
        "12 (name) S 1 0 0 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0",            // ends before vsize
        "12 (name) S one 0 0 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0 1 0",
        "12 (name) SS 1 0 0 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0 1 0",
        "12 (name) S 1 0 0 0 -1 0 0 0 0 0 -5 0 0 0 20 0 1 0 1 0",       // negative CPU time
        "12 (name) S 1 0 0 0 -1 0 0 0 0 0 99999999999999999999999 0 0 0 20 0 1 0 1 0",
        "12 (name) S 1 0 0 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0 1 0 -3",     // negative resident size
        "12 (name) S 1 0 0 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0 1 0 3 0 x",  // a start of text that is no number
        ")( S 1 0 0 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0 1 0",
    };
    for (const char* line : cases) EXPECT_FALSE(ParseProcStat(line)) << line;
}

TEST(ProcStatusParse, MemoryInUseIsResidentAnonymousPlusSwapped)
{
    struct Case {
        const char* text;
        uint64_t bytes;
    };
    const Case cases[] = {
        // A process that reserved 64 GiB and touched a little of it.
        {"Name:\tpython3\nVmSize:\t67115648 kB\nVmRSS:\t   13616 kB\nRssAnon:\t    5120 kB\nRssFile:\t    8496 kB\n"
         "VmSwap:\t     256 kB\n",
         (5120u + 256u) * 1024u},
        {"RssAnon:\t7 kB", 7u * 1024u},                                 // no line end after the last line
        {"Name:\tkthreadd\nState:\tS (sleeping)\nThreads:\t1\n", 0},  // a kernel thread: no user memory
        {"VmSwap:\t9 kB\nRssAnon:\t1 kB\n", 10u * 1024u},              // either order
        {"RssAnon:\tmany kB\nVmSwap:\t2 kB\n", 2u * 1024u},            // a value that is no number counts nothing
        {"RssAnon:\t12 MB\nVmSwap:\t2 kB\n", 2u * 1024u},              // nor one in a unit never written
        {"RssAnonymous:\t5 kB\nXVmSwap:\t3 kB\n", 0},                    // only the two names themselves
        {"RssAnon:\t18014398509481983 kB\nVmSwap:\t18014398509481983 kB\n", ~uint64_t{0}},  // saturates
        {"", 0},
    };
    for (const Case& c : cases) EXPECT_EQ(AnonymousInUse(c.text), c.bytes) << c.text;
}

TEST(ProcMapsParse, ReadsEveryFieldAndThePathWithItsBlanks)
{
    MapsLine line;
    ASSERT_TRUE(ParseMapsLine("7f3000028000-7f30001bd000 r-xp 00028000 fe:01 3001    /opt/my lib/libc.so.6 (deleted)", line));
    EXPECT_EQ(line.start, 0x7f3000028000u);
    EXPECT_EQ(line.end, 0x7f30001bd000u);
    EXPECT_TRUE(line.Executable());
    EXPECT_TRUE(line.Private());
    EXPECT_FALSE(line.Writable());
    EXPECT_EQ(line.offset, 0x28000u);
    EXPECT_EQ(line.devMajor, 0xfeu);
    EXPECT_EQ(line.devMinor, 1u);
    EXPECT_EQ(line.inode, 3001u);
    EXPECT_EQ(line.path, "/opt/my lib/libc.so.6 (deleted)");
    EXPECT_EQ(WithoutDeleted(line.path), "/opt/my lib/libc.so.6");

    ASSERT_TRUE(ParseMapsLine("7f0000000000-7f0000021000 rw-p 00000000 00:00 0", line));
    EXPECT_EQ(line.path, "");
    ASSERT_TRUE(ParseMapsLine("7f0000000000-7f0000021000 rw-p 00000000 00:00 0 ", line));
    EXPECT_EQ(line.path, "");
}

TEST(ProcMapsParse, RejectsMalformedLines)
{
    const char* cases[] = {
        "", "garbage", "1000-", "1000-2000", "2000-1000 rw-p 00000000 00:00 0", "1000-2000 rw-p", "1000-2000 rw-p 0 00:00",
        "1000-2000 rw-p 00000000 0000 0", "1000-2000 rw-p 00000000 00:00 x", "zz-2000 rw-p 00000000 00:00 0",
        "1000-2000 rwp 00000000 00:00 0",
    };
    MapsLine line;
    for (const char* text : cases) EXPECT_FALSE(ParseMapsLine(text, line)) << text;
}

TEST(ProcMapsHeap, ClassifiesRegions)
{
    struct Case {
        const char* line;
        HeapKind kind;
        uint32_t flags;
    };
    const Case cases[] = {
        {"1000-22000 rw-p 00000000 00:00 0 [heap]", kHeapKindBrk, kHeapFixed | kHeapBig},
        {"1000-2000 rw-p 00000000 00:00 0", kHeapKindMmap, kHeapFixed},
        {"1000-21000 rw-p 00000000 00:00 0", kHeapKindMmap, kHeapFixed | kHeapBig},  // exactly 128 KiB
        {"1000-20fff rw-p 00000000 00:00 0", kHeapKindMmap, kHeapFixed},
        {"1000-400000 ---p 00000000 00:00 0", kHeapKindMmap, kHeapDecommit},
        {"1000-2000 rw-p 00000000 00:00 0 [stack]", kHeapKindStack, kHeapFixed},
        {"1000-2000 rw-s 00000000 00:01 7 /dev/zero (deleted)", kHeapKindNone, 0},
        {"1000-2000 rw-p 00000000 00:00 0 [vvar]", kHeapKindNone, 0},
        {"1000-2000 r-xp 00000000 00:00 0 [vdso]", kHeapKindNone, 0},
        {"1000-2000 r--p 00000000 00:00 0", kHeapKindNone, 0},
        {"1000-2000 rw-p 00001000 fe:00 12 /usr/bin/prog", kHeapKindNone, 0},
    };
    for (const Case& c : cases) {
        MapsLine line;
        ASSERT_TRUE(ParseMapsLine(c.line, line)) << c.line;
        EXPECT_EQ(HeapKindOf(line), c.kind) << c.line;
        if (c.kind != kHeapKindNone) {
            EXPECT_EQ(HeapFlagsOf(line), c.flags) << c.line;
        }
    }
}

constexpr const char* kMaps =
    "55d0c0a3e000-55d0c0a40000 r--p 00000000 fe:00 2001 /usr/bin/prog (deleted)\n"
    "55d0c0a40000-55d0c0a45000 r-xp 00002000 fe:00 2001 /usr/bin/prog (deleted)\n"
    "55d0c1000000-55d0c1021000 rw-p 00000000 00:00 0 [heap]\n"
    "7f0000000000-7f0000001000 rw-p 00000000 00:00 0\n"
    "7f0000001000-7f0000100000 ---p 00000000 00:00 0\n"
    "this line is damaged\n"
    "7f2000000000-7f2000200000 r--p 00000000 fe:00 3003 /usr/lib/locale/locale-archive\n"
    "7f3000000000-7f3000028000 r--p 00000000 fe:00 3001 /usr/lib/libc.so.6\n"
    "7f3000028000-7f30001bd000 r-xp 00028000 fe:00 3001 /usr/lib/libc.so.6\n"
    "7f5000000000-7f5000001000 r-xp 00000000 00:01 77 /memfd:jit (deleted)\n";

TEST(ProcMapsSummary, FindsTheLoadAddressAndSumsCommittedHeap)
{
    const MapsSummary summary = SummarizeMaps(kMaps, "/usr/bin/prog (deleted)");
    EXPECT_EQ(summary.loadAddress, 0x55d0c0a3e000u);
    EXPECT_EQ(summary.heap.blocks, 3u);
    EXPECT_EQ(summary.heap.bytes, 0x21000u + 0x1000u);  // the reserve is not memory
    EXPECT_EQ(SummarizeMaps(kMaps, "/usr/bin/other").loadAddress, 0u);
    EXPECT_EQ(SummarizeMaps(kMaps, "").loadAddress, 0u);
}

TEST(ProcMapsModules, KeepsExecutableFilesOncePerInode)
{
    const auto modules = ModulesFromMaps(kMaps, 100);
    ASSERT_EQ(modules.size(), 2u);
    EXPECT_EQ(modules[0].moduleName, L"prog");
    EXPECT_EQ(modules[0].exePath, L"/usr/bin/prog");
    EXPECT_EQ(modules[0].baseAddress, 0x55d0c0a3e000u);
    EXPECT_EQ(modules[0].baseSize, 0x7000u);
    EXPECT_EQ(modules[1].moduleName, L"libc.so.6");
    EXPECT_EQ(modules[1].baseSize, 0x1bd000u);
    EXPECT_EQ(modules[1].moduleId, ModuleIdOf(0xfe, 0, 3001));
    EXPECT_NE(ModuleIdOf(0xfe, 0, 3001), ModuleIdOf(0xfe, 1, 3001));
    EXPECT_NE(ModuleIdOf(0xfe, 0, 3001), ModuleIdOf(0xfe, 0, 3002));
}

TEST(ProcMapsHeap, EntriesOfOneListCarryTheirProcessAndList)
{
    const auto lists = HeapListsFromMaps(kMaps, 100);
    ASSERT_EQ(lists.size(), 3u);
    EXPECT_EQ(lists[0].heapId, kHeapKindBrk);
    EXPECT_EQ(lists[0].flags, 1u);
    EXPECT_EQ(lists[1].heapId, kHeapKindMmap);
    // The program's file is mapped privately: its written pages get a list (smaps fills it).
    EXPECT_EQ(lists[2].heapId, kHeapKindCopied);
    EXPECT_EQ(lists[2].flags, 0u);
    const auto entries = HeapEntriesFromMaps(kMaps, 100, kHeapKindMmap);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].address, 0x7f0000000000u);
    EXPECT_EQ(entries[0].blockSize, 0x1000u);
    EXPECT_EQ(entries[1].flags, uint32_t{kHeapDecommit});
    EXPECT_EQ(entries[1].processId, 100u);
}

}  // namespace
}  // namespace kestrun::platform::linux_backend
