// The Network page's list and usage sample on the simulated device: cell texts,
// rates and their average, the hidden path, sorting, the selected-interface mode,
// names, and the error boxes of an unreadable table.
#include "display/core/MemoryListView.h"
#include "display/core/MessageBox.h"
#include "pages/core/NetworkModel.h"
#include "platform/sim/SimPlatform.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace kestrun {
namespace {

using platform::sim::InterfaceSpec;
using platform::sim::SimCall;
using platform::sim::SimDevice;

constexpr uint64_t k10Mbit = 10000000;
// Bytes a 10 Mbit/s link moves in one second at a usage, in percent.
constexpr uint64_t BytesAt(double percent) { return static_cast<uint64_t>(1250000 * percent / 100); }

// Loopback and two 10 Mbit/s links, eth0 and eth1.
constexpr char kTwoLinks[] = R"(
    {"index": 1, "name": "lo", "speed": 10000000, "status": 5},
    {"index": 2, "name": "eth0", "speed": 10000000, "status": 5, "inOctets": 5000},
    {"index": 3, "name": "eth1", "speed": 10000000, "status": 5})";

class NetworkPage : public ::testing::Test {
protected:
    void SetUp() override
    {
        previous_ = SetMessageBoxHandler([this](const MessageBoxRequest& box) {
            boxes_.push_back(box.text);
            if (onBox_) onBox_();
            return kIdOk;
        });
        Build(kTwoLinks);
    }
    void TearDown() override
    {
        model_.reset();
        SetMessageBoxHandler(previous_);
    }

    void Build(const std::string& interfaces, const std::string& registry = "{}")
    {
        model_.reset();
        std::string error;
        sim_ = platform::sim::CreateSimPlatformFromJson(
            R"({"interfaces": [)" + interfaces + R"(], "registry": )" + registry + "}", error);
        ASSERT_NE(sim_, nullptr) << error;
        model_ = std::make_unique<NetworkModel>(*sim_, list_);
        model_->InsertColumns();
    }

    SimDevice& device() { return sim_->device(); }

    int RowOf(uint32_t index) const
    {
        for (int row = 0; row < list_.RowCount(); ++row)
            if (model_->RecordAt(row)->index == index) return row;
        return -1;
    }
    std::wstring Cell(uint32_t index, int column) const { return list_.CellText(RowOf(index), column); }
    std::vector<std::wstring> Names() const
    {
        std::vector<std::wstring> names;
        for (int row = 0; row < list_.RowCount(); ++row) names.push_back(list_.CellText(row, kNetName));
        return names;
    }
    // Moves the clock, then the bytes in on each index.
    void Traffic(uint32_t ms, std::initializer_list<std::pair<uint32_t, uint64_t>> bytes)
    {
        device().AdvanceTime(ms);
        for (const auto& [index, in] : bytes) ASSERT_TRUE(device().AddTraffic(index, in, 0));
    }

    std::unique_ptr<platform::sim::SimPlatform> sim_;
    MemoryListView list_;
    std::unique_ptr<NetworkModel> model_;
    std::vector<std::wstring> boxes_;
    std::function<void()> onBox_;
    MessageBoxHandler previous_;
};

// ---- Texts -----------------------------------------------------------------------------------------

TEST(NetworkTexts, StatusSpeedAndUsage)
{
    const std::pair<uint32_t, const wchar_t*> statuses[] = {{0, L"Disabled"},     {1, L"Unreachable"}, {2, L"Disconnected"},
                                                            {3, L"Connecting"},   {4, L"Connected"},   {5, L"Operational"},
                                                            {6, L"6"},            {4294967295u, L"4294967295"}};
    for (const auto& [status, text] : statuses) EXPECT_EQ(InterfaceStatusText(status), text) << status;

    const std::pair<uint64_t, const wchar_t*> speeds[] = {
        {0, L"0 bit/s"},          {999, L"999 bit/s"},          {1000, L"1 kbit/s"},       {999999, L"999 kbit/s"},
        {1000000, L"1 Mbit/s"},   {54000000, L"54 Mbit/s"},     {4294967295u, L"4294 Mbit/s"},
        {10000000000u, L"10000 Mbit/s"},  // a 10 Gbit/s link, past 32 bits
    };
    for (const auto& [speed, text] : speeds) EXPECT_EQ(InterfaceSpeedText(speed), text) << speed;

    const std::pair<double, const wchar_t*> usages[] = {{0.0, L"0%"},   {0.00096, L"0%"}, {0.0099, L"0%"}, {0.01, L"0.01%"},
                                                        {0.05, L"0.05%"}, {0.2, L"0.2%"}, {0.96, L"1.0%"}, {1.0, L"1%"},
                                                        {10.0, L"10%"}, {10.4, L"10%"},  {100.0, L"100%"}};
    for (const auto& [usage, text] : usages) EXPECT_EQ(InterfaceUsageText(usage), text) << usage;
}

TEST(NetworkTexts, UsageOfALinkLimitedToAllOfIt)
{
    const struct {
        uint64_t bytes;
        uint32_t ms;
        uint64_t speed;
        double usage;
    } cases[] = {
        {125000, 1000, k10Mbit, 10.0},
        {12, 1000, k10Mbit, 0.00096},
        {2500, 1000, k10Mbit, 0.2},
        {125000, 500, k10Mbit, 20.0},
        {5000000, 1000, k10Mbit, 100.0},  // four times the link: limited
        {125000, 0, k10Mbit, 0.0},        // no time passed
        {125000, 1000, 0, 0.0},           // speed unknown
    };
    for (const auto& c : cases) EXPECT_NEAR(InterfaceUsage(c.bytes * 8, c.ms, c.speed), c.usage, 1e-9) << c.bytes << " in " << c.ms;
}

TEST(NetworkTexts, AutoScaleStepsAndTheirLabels)
{
    const struct {
        double peak;
        bool autoScale;
        double scale;
        const wchar_t* top;
        const wchar_t* middle;
    } cases[] = {
        {3.2, true, 5, L"5%", L"2.5%"},   {0.4, true, 1, L"1%", L"0.5%"},   {60, true, 100, L"100%", L"50%"},
        {1.0, true, 1, L"1%", L"0.5%"},   {1.01, true, 2, L"2%", L"1%"},    {25, true, 25, L"25%", L"12.5%"},
        {50, true, 50, L"50%", L"25%"},   {50.5, true, 100, L"100%", L"50%"}, {3.2, false, 100, L"100%", L"50%"},
    };
    for (const auto& c : cases) {
        const double scale = HistoryFullScale(c.peak, c.autoScale);
        EXPECT_EQ(scale, c.scale) << c.peak;
        EXPECT_EQ(ScaleFor(scale).top, c.top) << c.peak;
        EXPECT_EQ(ScaleFor(scale).middle, c.middle) << c.peak;
    }
}

TEST_F(NetworkPage, TheScaleChangesOnlyWhenItsStepDoes)
{
    EXPECT_EQ(model_->InitialScale(true).top, L"1%");
    EXPECT_FALSE(model_->Rescale(0.7, true)) << "still 1";
    const std::optional<HistoryScale> up = model_->Rescale(3.2, true);
    ASSERT_TRUE(up);
    EXPECT_EQ(up->fullScale, 5.0);
    EXPECT_FALSE(model_->Rescale(4.0, true));
    EXPECT_EQ(model_->Rescale(4.0, false)->top, L"100%") << "Auto Scale turned off";
    EXPECT_EQ(model_->InitialScale(false).middle, L"50%");
}

// ---- Rows and rates ----------------------------------------------------------------------------

TEST_F(NetworkPage, LoopbackIsNeverListedButCountsInTheAverage)
{
    ASSERT_TRUE(model_->RefreshList());
    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"eth0", L"eth1"}));
    Traffic(1000, {{1, BytesAt(90)}, {2, BytesAt(10)}, {3, BytesAt(2)}});
    ASSERT_TRUE(model_->RefreshList());
    EXPECT_EQ(Cell(2, kNetUsage), L"10%");
    EXPECT_EQ(Cell(3, kNetUsage), L"2%");
    EXPECT_DOUBLE_EQ(model_->usage(), 6.0) << "(10 + 2) / (3 rows - 1): loopback adds nothing but counts";
}

TEST_F(NetworkPage, TheFirstRefreshHasNoRateAndTheNextOneDoes)
{
    ASSERT_TRUE(device().AddTraffic(2, 125000, 0));
    ASSERT_TRUE(model_->RefreshList());
    EXPECT_EQ(Cell(2, kNetUsage), L"0%");
    EXPECT_EQ(Cell(2, kNetBytesPerInterval), L"0");
    EXPECT_EQ(Cell(2, kNetBytes), L"130000");
    EXPECT_EQ(model_->usage(), 0.0);
    for (const auto& [bytes, text] : {std::pair<uint64_t, const wchar_t*>{125000, L"10%"}, {12, L"0%"}, {2500, L"0.2%"}}) {
        Traffic(1000, {{2, bytes}});
        ASSERT_TRUE(model_->RefreshList());
        EXPECT_EQ(Cell(2, kNetUsage), text) << bytes;
        EXPECT_EQ(Cell(2, kNetBytesPerInterval), std::to_wstring(bytes));
    }
}

TEST_F(NetworkPage, EveryCounterAsATotalAndAsItsChange)
{
    ASSERT_TRUE(model_->RefreshList());
    platform::InterfaceRow traffic;
    traffic.inOctets = 100;
    traffic.outOctets = 50;
    traffic.inUcastPkts = 4;
    traffic.outUcastPkts = 3;
    traffic.inNUcastPkts = 2;
    traffic.outNUcastPkts = 1;
    traffic.inDiscards = 7;
    traffic.outDiscards = 8;
    traffic.inErrors = 9;
    traffic.outErrors = 10;
    ASSERT_TRUE(device().AddTraffic(2, traffic));
    ASSERT_TRUE(device().AddTraffic(2, traffic));
    device().AdvanceTime(1000);
    ASSERT_TRUE(model_->RefreshList());
    const std::vector<std::wstring> expected = {L"eth0", L"Operational", L"10 Mbit/s", L"0.02%", L"100", L"5200", L"300",
                                                L"5300", L"14", L"14", L"6", L"6", L"30", L"30", L"38", L"38"};
    EXPECT_EQ(list_.Cells()[static_cast<size_t>(RowOf(2))], expected);
    ASSERT_TRUE(device().AddTraffic(2, traffic));
    ASSERT_TRUE(model_->RefreshList());
    EXPECT_EQ(Cell(2, kNetUnicastsPerInterval), L"7");
    EXPECT_EQ(Cell(2, kNetUnicasts), L"21");
}

TEST_F(NetworkPage, ThirtyTwoBitCountersWrapAndTheirChangesStayRight)
{
    Build(R"({"index": 1}, {"index": 2, "name": "eth0", "speed": 10000000, "status": 5, "inOctets": 4294967000})");
    ASSERT_TRUE(model_->RefreshList());
    Traffic(1000, {{2, 125000}});
    ASSERT_TRUE(model_->RefreshList());
    EXPECT_EQ(Cell(2, kNetBytesRecv), L"124704") << "4294967000 + 125000 wrapped at 2^32";
    EXPECT_EQ(Cell(2, kNetBytesPerInterval), L"125000");
    EXPECT_EQ(Cell(2, kNetUsage), L"10%");
    // "bytes x 8" is 32 bits wide on the device as well: 512 MiB and 1000 bytes in an
    // interval read as 1000 bytes.
    Traffic(1000, {{2, (uint64_t{1} << 29) + 1000}});
    ASSERT_TRUE(model_->RefreshList());
    EXPECT_DOUBLE_EQ(model_->RecordAt(RowOf(2))->usage, 0.08);
    EXPECT_EQ(Cell(2, kNetUsage), L"0.08%");
}

TEST_F(NetworkPage, RowsFollowTheTableByIndex)
{
    ASSERT_TRUE(model_->RefreshList());
    InterfaceSpec wlan;
    wlan.row.index = 7;
    wlan.row.name = L"wlan0";
    wlan.row.operStatus = 3;
    ASSERT_TRUE(device().AddInterface(wlan));
    ASSERT_TRUE(device().RemoveInterface(2));
    ASSERT_TRUE(model_->RefreshList());
    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"eth1", L"wlan0"})) << "new rows go to the end unsorted";
    EXPECT_EQ(Cell(7, kNetStatus), L"Connecting");
    device().FindInterface(7)->row.operStatus = 1;
    device().FindInterface(7)->row.speed = 54000000;
    list_.ResetCounters();
    ASSERT_TRUE(model_->RefreshList());
    EXPECT_EQ(Cell(7, kNetStatus), L"Unreachable");
    EXPECT_EQ(Cell(7, kNetSpeed), L"54 Mbit/s");
    EXPECT_EQ(list_.counters().cellWrites, 2u) << "only the changed cells are written";
}

// ---- Sorting -----------------------------------------------------------------------------------

TEST_F(NetworkPage, UsageSortedTwiceIsDescendingAndLessThanAPointApartIsEqual)
{
    Build(std::string(kTwoLinks) + R"(, {"index": 4, "name": "eth2", "speed": 10000000, "status": 5})");
    ASSERT_TRUE(model_->RefreshList());
    Traffic(1000, {{2, BytesAt(10.2)}, {3, BytesAt(50)}, {4, BytesAt(10.9)}});
    ASSERT_TRUE(model_->RefreshList());
    model_->ClickHeader(kNetUsage);
    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"eth0", L"eth2", L"eth1"})) << "10.2 and 10.9 keep their order";
    model_->ClickHeader(kNetUsage);
    EXPECT_EQ(model_->sortOrder(), -1);
    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"eth1", L"eth0", L"eth2"}));
    EXPECT_EQ(InterfaceRowTraits::Columns()[kNetUsage].compare(*model_->RecordAt(1), *model_->RecordAt(2)), 0);
}

TEST_F(NetworkPage, NewRowsTakeTheirSortedPlaceAndNamesSortWithoutCase)
{
    model_->ClickHeader(kNetName);
    ASSERT_TRUE(model_->RefreshList());
    InterfaceSpec spec;
    spec.row.index = 9;
    spec.row.name = L"ETH0b";
    ASSERT_TRUE(device().AddInterface(spec));
    ASSERT_TRUE(model_->RefreshList());
    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"eth0", L"ETH0b", L"eth1"}));
}

// ---- The hidden path and the selected interface --------------------------------------------------

TEST_F(NetworkPage, TheHiddenPathAndTheListShareOneStoreOfTotals)
{
    ASSERT_TRUE(model_->RefreshList());
    Traffic(1000, {{2, BytesAt(40)}});
    ASSERT_TRUE(model_->CalcHiddenUsage());
    EXPECT_DOUBLE_EQ(model_->usage(), 20.0) << "(40 + 0) / 2";
    Traffic(500, {{2, BytesAt(5)}});
    ASSERT_TRUE(model_->RefreshList());
    // Over the 500 ms since the hidden sample, not over everything since the list's last refresh.
    EXPECT_EQ(Cell(2, kNetUsage), L"10%");
    EXPECT_EQ(Cell(2, kNetBytesPerInterval), std::to_wstring(BytesAt(45))) << "the list's own interval";
}

TEST_F(NetworkPage, HiddenTheDeviceFollowsItsFirstThirtyRows)
{
    std::string links = R"({"index": 1})";
    for (int index = 2; index <= 33; ++index)
        links += R"(, {"index": )" + std::to_string(index) + R"(, "speed": 10000000, "status": 5})";
    Build(links);
    ASSERT_TRUE(model_->CalcHiddenUsage());
    Traffic(1000, {{30, BytesAt(64)}, {31, BytesAt(100)}});  // table positions 29 and 30
    ASSERT_TRUE(model_->CalcHiddenUsage());
    EXPECT_DOUBLE_EQ(model_->usage(), 64.0 / 32) << "position 30 onwards takes no part, but counts";
    Traffic(1000, {{31, BytesAt(100)}, {32, BytesAt(64)}});
    ASSERT_TRUE(model_->RefreshList());
    EXPECT_DOUBLE_EQ(model_->usage(), 164.0 / 32) << "shown, every row takes part";
}

TEST_F(NetworkPage, TheSelectedInterfaceModeFollowsTheSelection)
{
    ASSERT_TRUE(model_->RefreshList());
    model_->ToggleSelectedInterfaceOnly();
    Traffic(1000, {{2, BytesAt(30)}, {3, BytesAt(8)}});
    ASSERT_TRUE(model_->RefreshList());
    EXPECT_EQ(model_->usage(), 0.0) << "no row selected";
    EXPECT_EQ(model_->HistoryTitle(), L"LAN Usage History");

    list_.SetSelected(RowOf(3), true);
    Traffic(1000, {{2, BytesAt(30)}, {3, BytesAt(8)}});
    ASSERT_TRUE(model_->RefreshList());
    EXPECT_EQ(model_->HistoryTitle(), L"eth1 LAN Usage History");
    Traffic(1000, {{2, BytesAt(30)}, {3, BytesAt(8)}});
    ASSERT_TRUE(model_->CalcHiddenUsage());
    EXPECT_DOUBLE_EQ(model_->usage(), 8.0) << "the hidden path follows the selection too";

    model_->ToggleSelectedInterfaceOnly();
    EXPECT_EQ(model_->HistoryTitle(), L"LAN Usage History");
    ASSERT_TRUE(device().RemoveInterface(3));
    model_->ToggleSelectedInterfaceOnly();
    ASSERT_TRUE(model_->RefreshList());
    EXPECT_EQ(model_->selectedIndex(), 0u) << "the selected row went";
    EXPECT_EQ(model_->HistoryTitle(), L"LAN Usage History");
}

TEST_F(NetworkPage, TheTitleKeepsThirtyTwoCharactersOfTheName)
{
    Build(R"({"index": 1}, {"index": 2, "name": ")" + std::string(40, 'n') + R"("})");
    ASSERT_TRUE(model_->RefreshList());
    list_.SetSelected(0, true);
    model_->ToggleSelectedInterfaceOnly();
    ASSERT_TRUE(model_->RefreshList());
    EXPECT_EQ(model_->HistoryTitle(), std::wstring(32, L'n') + L" LAN Usage History");
}

// ---- Names ---------------------------------------------------------------------------------------

TEST_F(NetworkPage, UnnamedInterfacesTakeTheirAdaptersFriendlyName)
{
    Build(R"({"index": 1}, {"index": 2, "adapter": "NE20001", "friendlyName": "LAN Adapter"},
             {"index": 3, "adapter": "PCI\\WLAN1"}, {"index": 4}, {"index": 5, "name": ")" +
              std::string(140, 'x') + R"("}, {"index": 6, "adapter": "ODD"})",
          R"({"currentUser": {"Comm\\AdapterNameMappings": {"ODD": 7}}})");
    ASSERT_TRUE(model_->RefreshList());
    EXPECT_EQ(Cell(2, kNetName), L"LAN Adapter");
    EXPECT_EQ(Cell(3, kNetName), L"PCI\\WLAN1") << "no mapping: the adapter name";
    EXPECT_EQ(Cell(4, kNetName), L"") << "no adapter: the name stays empty";
    EXPECT_EQ(Cell(5, kNetName), std::wstring(128, L'x'));
    EXPECT_EQ(Cell(6, kNetName), L"ODD") << "a mapping that is no text";
}

TEST_F(NetworkPage, AFailingAdapterListLeavesTheNameEmpty)
{
    Build(R"({"index": 1}, {"index": 2, "adapter": "NE20001", "friendlyName": "LAN Adapter"})");
    device().InjectFailure(SimCall::AdapterName, EIO);
    ASSERT_TRUE(model_->RefreshList());
    EXPECT_EQ(Cell(2, kNetName), L"");
    EXPECT_TRUE(boxes_.empty()) << "no message for a missing name";
}

// ---- Failures ------------------------------------------------------------------------------------

TEST_F(NetworkPage, AnUnreadableTableKeepsTheRowsAndThePreviousTick)
{
    ASSERT_TRUE(model_->RefreshList());
    Traffic(1000, {{2, BytesAt(10)}});
    device().InjectFailure(SimCall::IfTable, EIO, 2);  // the read, and its retry
    EXPECT_FALSE(model_->RefreshList());
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].rfind(L"The interface table cannot be read.\nError: 5 (", 0), 0u) << boxes_[0];
    EXPECT_EQ(model_->rowCount(), 2u);
    Traffic(1000, {{2, BytesAt(10)}});
    ASSERT_TRUE(model_->RefreshList());
    EXPECT_EQ(Cell(2, kNetUsage), L"10%") << "20 % of a second over two seconds";
    device().InjectFailure(SimCall::IfTable, EIO, 2);
    EXPECT_FALSE(model_->CalcHiddenUsage());
    EXPECT_EQ(boxes_.size(), 2u) << "hidden, the failure is shown too";
}

TEST_F(NetworkPage, NoRoomForTheTableAtFirstOrWhenItGrows)
{
    device().InjectFailure(SimCall::IfTableMemory, ENOMEM);
    EXPECT_FALSE(model_->RefreshList());
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].rfind(L"The interface table cannot be read.\nError: 12 (", 0), 0u) << boxes_[0];
    ASSERT_TRUE(model_->RefreshList()) << "the next refresh tries again";

    for (uint32_t index = 10; index < 40; ++index) {  // 33 rows: more than the first buffer holds
        InterfaceSpec spec;
        spec.row.index = index;
        ASSERT_TRUE(device().AddInterface(spec));
    }
    device().InjectFailure(SimCall::IfTableMemory, ENOMEM);
    EXPECT_FALSE(model_->RefreshList());
    ASSERT_EQ(boxes_.size(), 2u);
    EXPECT_EQ(boxes_[1].rfind(L"Required memory cannot be allocated.\nError: 12 (", 0), 0u) << boxes_[1];
    ASSERT_TRUE(model_->RefreshList()) << "a fresh buffer, grown to what the table needs";
    EXPECT_EQ(model_->rowCount(), 32u);
}

TEST_F(NetworkPage, TicksWhileABoxIsOpenSkipThePage)
{
    device().InjectFailure(SimCall::IfTable, EIO, platform::sim::kAlways);
    bool nested = true;
    onBox_ = [&] {
        nested = model_->RefreshList() || model_->CalcHiddenUsage();  // the timer keeps ticking under the box
    };
    EXPECT_FALSE(model_->RefreshList());
    EXPECT_FALSE(nested);
    EXPECT_EQ(boxes_.size(), 1u) << "one box, not one per tick";
}

}  // namespace
}  // namespace kestrun
