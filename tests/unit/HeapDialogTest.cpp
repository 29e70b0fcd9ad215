// The Heap dialog's list on the simulated device: the entries with their flag
// texts, the totals, the sorts, the processes it never walks, and its failures.
#include "DetailDialogSupport.h"
#include "dialogs/core/HeapModel.h"

#include <cerrno>

namespace kestrun {
namespace {

using namespace platform;
using platform::sim::HeapBlockSpec;
using platform::sim::HeapSpec;
using platform::sim::ProcessSpec;
using platform::sim::SimCall;

class HeapDialog : public testing::DetailDialogTest {
protected:
    void SetUp() override
    {
        DetailDialogTest::SetUp();
        model_ = std::make_unique<HeapModel>(*sim_, list_, controls_);
        model_->InsertColumns();
    }
    void TearDown() override
    {
        model_.reset();
        DetailDialogTest::TearDown();
    }

    // A process with one heap per list of blocks (size, flags, lock count).
    uint32_t Add(uint32_t id, const std::wstring& name, const std::vector<std::vector<HeapBlockSpec>>& heaps)
    {
        ProcessSpec spec;
        spec.id = id;
        spec.exeName = name;
        spec.threads.emplace_back();
        uint64_t heapId = 1;
        for (const auto& blocks : heaps) {
            HeapSpec heap;
            heap.heapId = heapId++;
            heap.blocks = blocks;
            spec.heaps.push_back(heap);
        }
        return device().AddProcess(spec);
    }
    static HeapBlockSpec Block(uint64_t address, uint64_t size, uint32_t flags = kHeapFixed, uint32_t lock = 0)
    {
        return HeapBlockSpec{address, size, flags, lock};
    }
    void Show(uint32_t pid, const std::wstring& name)
    {
        model_->SetProcess(pid, name);
        ASSERT_TRUE(model_->OnTimer(kDetailTickRebuild));
    }
    std::wstring Total() { return controls_.values[kIdcTotalSize]; }
    std::wstring Free() { return controls_.values[kIdcFreeSize]; }

    std::unique_ptr<HeapModel> model_;
};

TEST(HeapFlags, WordsInTheirOrderEachWithItsBlank)
{
    struct Case {
        uint32_t flags;
        const wchar_t* text;
    };
    const Case cases[] = {
        {0, L""},
        {0x20, L""},  // no known bit
        {kHeapFixed, L"Fixed "},
        {kHeapFixed | kHeapFree, L"Fixed Free "},
        {kHeapFree | kHeapMoveable, L"Moveable Free "},
        {0x10, L"Big "},
        {0x8, L"Decommit "},
        {0x1F, L"Moveable Big Decommit Fixed Free "},
    };
    for (const Case& c : cases) EXPECT_EQ(HeapFlagsText(c.flags), c.text) << c.flags;
}

TEST_F(HeapDialog, ListsEveryEntryOfEveryHeapWithTotalAndFree)
{
    Add(0x100, L"worker.exe", {{Block(0x10000, 924), Block(0x20000, 100, kHeapFree)},
                               {Block(0x30000, 0, kHeapFixed | kHeapFree, 2)}});
    Show(0x100, L"worker.exe");
    EXPECT_EQ(list_.Cells(), (std::vector<std::vector<std::wstring>>{{L"00010000", L"924", L"Fixed ", L"0"},
                                                                     {L"00020000", L"100", L"Free ", L"0"},
                                                                     {L"00030000", L"0", L"Fixed Free ", L"2"}}));
    EXPECT_EQ(Total(), L"1 kB");  // 1024 bytes
    EXPECT_EQ(Free(), L"100");
    EXPECT_EQ(controls_.caption, L"worker.exe - 3 Memory Blocks");
}

TEST_F(HeapDialog, TitleSaysBlockForExactlyOne)
{
    Add(0x100, L"one.exe", {{Block(0x10000, 64)}});
    Show(0x100, L"one.exe");
    EXPECT_EQ(controls_.caption, L"one.exe - 1 Memory Block");
}

TEST_F(HeapDialog, NoProcessAndTheProgramItselfGiveAnEmptyListWithZeroTotals)
{
    Add(0x100, L"worker.exe", {{Block(0x10000, 924)}});
    Show(0x100, L"worker.exe");
    ASSERT_EQ(list_.RowCount(), 1);

    Show(0, kNoProcessName);
    EXPECT_EQ(list_.RowCount(), 0);
    EXPECT_EQ(controls_.caption, L"(none) - 0 Memory Blocks");
    EXPECT_EQ(Total(), L"0");
    EXPECT_EQ(Free(), L"0");

    const uint32_t self = device().OwnProcessId();
    const uint64_t heap = device().AddHeap(self, 1);
    ASSERT_TRUE(device().AddHeapBlock(self, heap, Block(0x50000, 128)));
    Show(self, L"kestrun.exe");
    EXPECT_EQ(list_.RowCount(), 0);
    EXPECT_EQ(Total(), L"0");
}

TEST_F(HeapDialog, SizeSortsByNumberFlagsByText)
{
    Add(0x100, L"worker.exe", {{Block(0x10000, 9, kHeapFree), Block(0x20000, 100), Block(0x30000, 10, kHeapMoveable),
                                Block(0x40000, 1000, kHeapFixed | kHeapBig)}});
    Show(0x100, L"worker.exe");
    model_->ClickHeader(kColSize);
    EXPECT_EQ(Column(kColSize), (std::vector<std::wstring>{L"9", L"10", L"100", L"1000"}));
    model_->ClickHeader(kColFlags);
    EXPECT_EQ(Column(kColFlags), (std::vector<std::wstring>{L"Big Fixed ", L"Fixed ", L"Free ", L"Moveable "}));
    model_->ClickHeader(kColAddress);
    model_->ClickHeader(kColAddress);
    EXPECT_EQ(Column(kColAddress), (std::vector<std::wstring>{L"00040000", L"00030000", L"00020000", L"00010000"}));
}

TEST_F(HeapDialog, AddressesBeyondThirtyTwoBitsOrderAndKeyExactly)
{
    Add(0x100, L"worker.exe", {{Block(0x7F0000000000, 16), Block(0x10000, 16), Block(0x7F00000000, 16)}});
    Show(0x100, L"worker.exe");
    model_->ClickHeader(kColAddress);
    EXPECT_EQ(Column(kColAddress), (std::vector<std::wstring>{L"00010000", L"7F00000000", L"7F0000000000"}));

    // A key that begins another key is still another row.
    ASSERT_TRUE(device().AddHeapBlock(0x100, 1, Block(0x7F000000000, 32)));
    ASSERT_TRUE(model_->Refresh(RefreshMode::kUpdate));
    EXPECT_EQ(list_.RowCount(), 4);
}

TEST_F(HeapDialog, UpdateRewritesChangedEntriesOnly)
{
    Add(0x100, L"worker.exe", {{Block(0x10000, 64), Block(0x20000, 32)}});
    Show(0x100, L"worker.exe");
    ASSERT_TRUE(device().RemoveHeapBlock(0x100, 1, 0x20000));
    ASSERT_TRUE(device().AddHeapBlock(0x100, 1, Block(0x20000, 48, kHeapFree)));
    list_.ResetCounters();
    ASSERT_TRUE(model_->Refresh(RefreshMode::kUpdate));
    EXPECT_EQ(list_.counters().inserts, 0u);
    EXPECT_EQ(list_.counters().cellWrites, 2u);  // the size and the flags of one entry
    EXPECT_EQ(list_.Cells()[1], (std::vector<std::wstring>{L"00020000", L"48", L"Free ", L"0"}));
    EXPECT_EQ(Free(), L"48");
}

TEST_F(HeapDialog, TheListDoesNotRedrawDuringTheWalk)
{
    Add(0x100, L"worker.exe", {{Block(0x10000, 64)}});
    Show(0x100, L"worker.exe");
    EXPECT_EQ(controls_.redrawSuspensions, 1);
    EXPECT_FALSE(controls_.redrawSuspended);
}

TEST_F(HeapDialog, AHeapWhoseEntriesCannotBeReadContributesNothing)
{
    Add(0x100, L"worker.exe", {{Block(0x10000, 64)}, {Block(0x20000, 32)}});
    device().InjectFailure(SimCall::HeapEntries, EIO);  // the first heap's
    Show(0x100, L"worker.exe");
    EXPECT_EQ(Column(kColAddress), (std::vector<std::wstring>{L"00020000"}));
    EXPECT_EQ(Total(), L"32");
    EXPECT_TRUE(boxes_.empty());
}

TEST_F(HeapDialog, SnapshotFailuresShowTheirBoxAndKeepTheList)
{
    Add(0x100, L"worker.exe", {{Block(0x10000, 64), Block(0x20000, 32)}});
    Show(0x100, L"worker.exe");
    device().InjectFailure(SimCall::HeapListSnapshot, ENOMEM);
    EXPECT_FALSE(model_->Refresh(RefreshMode::kRebuild));
    ASSERT_TRUE(device().RemoveHeapBlock(0x100, 1, 0x20000));
    device().InjectFailure(SimCall::CloseSnapshot, EBADF);
    EXPECT_FALSE(model_->Refresh(RefreshMode::kUpdate));
    EXPECT_EQ(BoxTexts(), (std::vector<std::wstring>{L"The heap list snapshot cannot be created.",
                                                     L"The heap list snapshot cannot be closed."}));
    EXPECT_EQ(list_.RowCount(), 2);
    EXPECT_FALSE(controls_.redrawSuspended);
    ASSERT_TRUE(model_->Refresh(RefreshMode::kUpdate));
    EXPECT_EQ(list_.RowCount(), 1);
}

TEST_F(HeapDialog, AnotherProcessIsWalkedWithAllProcessAccessRestoredAfterwards)
{
    Add(0x100, L"worker.exe", {{Block(0x10000, 64)}});
    const uint32_t before = device().permissions();
    ASSERT_NE(before, 0xFFFFFFFFu);
    Show(0x100, L"worker.exe");
    EXPECT_EQ(list_.RowCount(), 1);
    EXPECT_EQ(device().permissions(), before);
}

}  // namespace
}  // namespace kestrun
