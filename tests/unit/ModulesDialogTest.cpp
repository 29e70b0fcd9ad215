// The Modules and Module usage dialogs' lists on the simulated device: modules
// in ROM and RAM, shared and private, the sums, what update keeps, two modules at
// one address, the system mode, and the processes that use one module.
#include "DetailDialogSupport.h"
#include "dialogs/core/ModuleUsageModel.h"
#include "dialogs/core/ModulesModel.h"

#include <cerrno>

namespace kestrun {
namespace {

using platform::sim::ModuleSpec;
using platform::sim::ModuleUse;
using platform::sim::ProcessSpec;
using platform::sim::SimCall;

class ModulesDialog : public testing::DetailDialogTest {
protected:
    void SetUp() override
    {
        DetailDialogTest::SetUp();
        core_ = Module(L"coredll.dll", 0x03F50000, 512 << 10, true);
        shared_ = Module(L"shared.dll", 0x01000000, 2048, false);
        own_ = Module(L"own.dll", 0x02000000, 4096, false);
        Process(0x100, L"worker.exe", {{L"coredll.dll", 1}, {L"shared.dll", 1}, {L"own.dll", 3}});
        Process(0x200, L"other.exe", {{L"coredll.dll", 1}, {L"shared.dll", 2}});
        Make(false);
    }
    void TearDown() override
    {
        model_.reset();
        DetailDialogTest::TearDown();
    }
    void Make(bool systemMode)
    {
        model_.reset();
        list_.DeleteAllRows();
        model_ = std::make_unique<ModulesModel>(*sim_, list_, controls_, systemMode);
        if (list_.columns().empty()) model_->InsertColumns();
    }
    uint32_t Module(const std::wstring& name, uint64_t base, uint64_t size, bool rom)
    {
        ModuleSpec spec;
        spec.name = name;
        spec.path = L"\\Windows\\" + name;
        spec.baseAddress = base;
        spec.size = size;
        spec.inRom = rom;
        return device().AddModule(spec);
    }
    uint32_t Process(uint32_t id, const std::wstring& name, const std::vector<ModuleUse>& modules)
    {
        ProcessSpec spec;
        spec.id = id;
        spec.exeName = name;
        spec.threads.emplace_back();
        spec.modules = modules;
        return device().AddProcess(spec);
    }
    void Show(uint32_t pid, const std::wstring& name)
    {
        model_->SetProcess(pid, name);
        ASSERT_TRUE(model_->OnTimer(kDetailTickRebuild));
    }
    std::wstring Value(int id) { return controls_.values[id]; }

    uint32_t core_ = 0;
    uint32_t shared_ = 0;
    uint32_t own_ = 0;
    std::unique_ptr<ModulesModel> model_;
};

TEST_F(ModulesDialog, ListsTheProcesssModulesWithTheirTextsAndSums)
{
    Show(0x100, L"worker.exe");
    EXPECT_EQ(list_.Cells(), (std::vector<std::vector<std::wstring>>{
                                 {L"coredll.dll", L"\\Windows", L"03F50000", L"512 k", L"ROM", L"2", L"1"},
                                 {L"shared.dll", L"\\Windows", L"01000000", L"2 k", L"RAM", L"2", L"1"},
                                 {L"own.dll", L"\\Windows", L"02000000", L"4 k", L"RAM", L"1", L"3"},
                             }));
    EXPECT_EQ(controls_.caption, L"worker.exe - 3 Modules");
    // Total: all three; Shared: used by more than one process; RAM: not in ROM.
    EXPECT_EQ(Value(kIdcModulesTotal), L"518 kB");
    EXPECT_EQ(Value(kIdcModulesShared), L"514 kB");
    EXPECT_EQ(Value(kIdcModulesRam), L"6 kB");
}

TEST_F(ModulesDialog, AModuleOfOneProcessAndOneByteShortOfAKilobyteCountsInTotalAndRamOnly)
{
    Module(L"tiny.dll", 0x03000000, 1023, false);
    Process(0x300, L"tiny.exe", {{L"tiny.dll", 1}});
    Show(0x300, L"tiny.exe");
    EXPECT_EQ(list_.CellText(0, kColModuleSize), L"0 k");
    EXPECT_EQ(Value(kIdcModulesTotal), L"1023");
    EXPECT_EQ(Value(kIdcModulesShared), L"0");
    EXPECT_EQ(Value(kIdcModulesRam), L"1023");
    EXPECT_EQ(controls_.caption, L"tiny.exe - 1 Module");
}

TEST_F(ModulesDialog, NoProcessListsNothing)
{
    Show(0x100, L"worker.exe");
    Show(0, kNoProcessName);
    EXPECT_EQ(list_.RowCount(), 0);
    EXPECT_EQ(controls_.caption, L"(none) - 0 Modules");
    EXPECT_EQ(Value(kIdcModulesTotal), L"0");
}

TEST_F(ModulesDialog, UpdateChangesOnlyTheUsageCounts)
{
    Show(0x100, L"worker.exe");
    ASSERT_TRUE(device().LoadModule(0x100, own_, 2));  // one more use
    Process(0x300, L"third.exe", {{L"own.dll", 1}});
    list_.ResetCounters();
    ASSERT_TRUE(model_->Refresh(RefreshMode::kUpdate));
    EXPECT_EQ(list_.counters().inserts, 0u);
    EXPECT_EQ(list_.CellText(2, kColGlobalUsage), L"2");
    EXPECT_EQ(list_.CellText(2, kColProcessUsage), L"5");
    EXPECT_EQ(list_.counters().cellWrites, 2u);
    EXPECT_EQ(Value(kIdcModulesShared), L"518 kB");  // own.dll is shared now
}

TEST_F(ModulesDialog, TwoModulesAtOneAddressAreOneRowInUpdateMode)
{
    Module(L"twin.dll", 0x02000000, 4096, false);
    device().LoadModule(0x100, device().ModuleIdByName(L"twin.dll"));
    Show(0x100, L"worker.exe");
    EXPECT_EQ(list_.RowCount(), 4);  // a rebuild lists both
    ASSERT_TRUE(model_->Refresh(RefreshMode::kUpdate));
    EXPECT_EQ(list_.RowCount(), 3);
    EXPECT_EQ(controls_.caption, L"worker.exe - 3 Modules");
}

TEST_F(ModulesDialog, SizeAndUsageSortByNumberNamesByText)
{
    Show(0x100, L"worker.exe");
    model_->ClickHeader(kColModuleSize);
    EXPECT_EQ(Column(kColModuleName), (std::vector<std::wstring>{L"shared.dll", L"own.dll", L"coredll.dll"}));
    model_->ClickHeader(kColProcessUsage);
    model_->ClickHeader(kColProcessUsage);
    EXPECT_EQ(Column(kColProcessUsage), (std::vector<std::wstring>{L"3", L"1", L"1"}));
    model_->ClickHeader(kColExecLocation);
    EXPECT_EQ(Column(kColExecLocation), (std::vector<std::wstring>{L"RAM", L"RAM", L"ROM"}));
}

TEST_F(ModulesDialog, ProcessWithoutModulesEmptiesTheListOnRebuildButAnUpdateKeepsIt)
{
    Show(0x100, L"worker.exe");
    Process(0x400, L"bare.exe", {});
    Show(0x400, L"bare.exe");  // another process: its (no) modules
    EXPECT_EQ(list_.RowCount(), 0);
    EXPECT_EQ(controls_.caption, L"bare.exe - 0 Modules");
    EXPECT_TRUE(boxes_.empty());

    Show(0x100, L"worker.exe");
    device().InjectFailure(SimCall::FirstModule, EIO);
    EXPECT_FALSE(model_->Refresh(RefreshMode::kUpdate));  // a failed first record: everything stays, silently
    EXPECT_EQ(list_.RowCount(), 3);
    EXPECT_TRUE(boxes_.empty());
}

TEST_F(ModulesDialog, SnapshotFailuresShowTheirBox)
{
    Show(0x100, L"worker.exe");
    device().InjectFailure(SimCall::ModuleSnapshot, ENOMEM);
    EXPECT_FALSE(model_->Refresh(RefreshMode::kRebuild));
    device().InjectFailure(SimCall::CloseSnapshot, EBADF);
    EXPECT_FALSE(model_->Refresh(RefreshMode::kUpdate));
    EXPECT_EQ(BoxTexts(), (std::vector<std::wstring>{L"The module list snapshot cannot be created.",
                                                     L"The module list snapshot cannot be closed."}));
    EXPECT_EQ(list_.RowCount(), 3);
}

TEST_F(ModulesDialog, SystemModeListsEveryModuleOnceWithItsUsers)
{
    Make(true);
    ASSERT_TRUE(model_->OnTimer(kDetailTickRebuild));
    EXPECT_EQ(model_->processName(), L"System");
    EXPECT_EQ(controls_.caption, L"System - 3 Modules");
    EXPECT_EQ(Column(kColModuleName), (std::vector<std::wstring>{L"coredll.dll", L"shared.dll", L"own.dll"}));
    EXPECT_EQ(Column(kColGlobalUsage), (std::vector<std::wstring>{L"2", L"2", L"1"}));
    // The own timer's id refreshes whatever the box says.
    controls_.autoRefreshChecked = false;
    Process(0x300, L"third.exe", {{L"own.dll", 1}});
    EXPECT_TRUE(model_->OnTimer(3));
    EXPECT_EQ(list_.CellText(2, kColGlobalUsage), L"2");
}

// ---- Module usage ---------------------------------------------------------------

class ModuleUsageDialog : public ModulesDialog {
protected:
    void SetUp() override
    {
        ModulesDialog::SetUp();
        usage_ = std::make_unique<ModuleUsageModel>(*sim_, usageList_, controls_);
        usage_->InsertColumns();
    }
    void TearDown() override
    {
        usage_.reset();
        ModulesDialog::TearDown();
    }
    std::vector<std::wstring> UsageColumn(int column) const
    {
        std::vector<std::wstring> texts;
        for (int row = 0; row < usageList_.RowCount(); ++row) texts.push_back(usageList_.CellText(row, column));
        return texts;
    }

    MemoryListView usageList_;
    std::unique_ptr<ModuleUsageModel> usage_;
};

TEST_F(ModuleUsageDialog, ListsTheProcessesThatUseTheModuleWithTheirCounts)
{
    usage_->SetModule(shared_, L"shared.dll");
    ASSERT_TRUE(usage_->Refresh(RefreshMode::kRebuild));
    EXPECT_EQ(UsageColumn(kColUsageName), (std::vector<std::wstring>{L"worker.exe", L"other.exe"}));
    EXPECT_EQ(UsageColumn(kColUsagePid), (std::vector<std::wstring>{L"00000100", L"00000200"}));
    EXPECT_EQ(UsageColumn(kColUsageCount), (std::vector<std::wstring>{L"1", L"2"}));
    EXPECT_EQ(UsageColumn(kColUsagePath), (std::vector<std::wstring>{L"\\Windows", L"\\Windows"}));
    EXPECT_EQ(controls_.caption, L"shared.dll - Used by 2 Processes");

    usage_->SetModule(own_, L"own.dll");
    ASSERT_TRUE(usage_->Refresh(RefreshMode::kUpdate));
    EXPECT_EQ(controls_.caption, L"own.dll - Used by 1 Process");
    EXPECT_EQ(UsageColumn(kColUsageCount), (std::vector<std::wstring>{L"3"}));
}

TEST_F(ModuleUsageDialog, RefreshingTwiceListsEachProcessOnce)
{
    usage_->SetModule(core_, L"coredll.dll");
    ASSERT_TRUE(usage_->Refresh(RefreshMode::kUpdate));
    ASSERT_TRUE(usage_->Refresh(RefreshMode::kUpdate));
    EXPECT_EQ(usageList_.RowCount(), 2);
}

TEST_F(ModuleUsageDialog, ProcessListOrderUntilAHeaderClickThenPidAscendingFirst)
{
    Process(0x050, L"early.exe", {{L"coredll.dll", 1}});
    usage_->SetModule(core_, L"coredll.dll");
    ASSERT_TRUE(usage_->Refresh(RefreshMode::kUpdate));
    EXPECT_EQ(UsageColumn(kColUsagePid), (std::vector<std::wstring>{L"00000100", L"00000200", L"00000050"}));
    usage_->ClickHeader(kColUsagePid);
    EXPECT_EQ(UsageColumn(kColUsagePid), (std::vector<std::wstring>{L"00000050", L"00000100", L"00000200"}));
    ASSERT_TRUE(usage_->Refresh(RefreshMode::kUpdate));  // stays sorted
    EXPECT_EQ(UsageColumn(kColUsagePid), (std::vector<std::wstring>{L"00000050", L"00000100", L"00000200"}));
}

TEST_F(ModuleUsageDialog, AProcessWhoseModulesCannotBeReadDoesNotUseIt)
{
    usage_->SetModule(core_, L"coredll.dll");
    ASSERT_TRUE(usage_->Refresh(RefreshMode::kUpdate));
    ASSERT_EQ(usageList_.RowCount(), 2);
    device().InjectFailure(SimCall::ModuleSnapshot, EACCES, platform::sim::kAlways);
    ASSERT_TRUE(usage_->Refresh(RefreshMode::kUpdate));
    EXPECT_EQ(usageList_.RowCount(), 0);
    EXPECT_EQ(controls_.caption, L"coredll.dll - Used by 0 Processes");
    EXPECT_TRUE(boxes_.empty());
    device().ClearFailures();

    ASSERT_TRUE(usage_->Refresh(RefreshMode::kUpdate));
    device().InjectFailure(SimCall::ProcessSnapshot, ENOMEM);
    EXPECT_FALSE(usage_->Refresh(RefreshMode::kUpdate));
    EXPECT_EQ(BoxTexts(), (std::vector<std::wstring>{L"The process list snapshot cannot be created."}));
    EXPECT_EQ(usageList_.RowCount(), 2);  // the list keeps what it had
}

}  // namespace
}  // namespace kestrun
