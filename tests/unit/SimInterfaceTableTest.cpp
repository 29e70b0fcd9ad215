// The simulated device's interface table: index order, the reader's buffer,
// 32-bit counters that wrap, adapter names and injected failures.
#include "SimTestSupport.h"

#include <cerrno>

namespace kestrun::platform::sim::testing {
namespace {

constexpr uint32_t kTwoRows = IfTableBytes(2);

std::unique_ptr<SimPlatform> DeviceWith(const std::string& interfaces)
{
    std::string error;
    auto platform = CreateSimPlatformFromJson("{\"interfaces\": [" + interfaces + "]}", error);
    EXPECT_NE(platform, nullptr) << error;
    return platform;
}

std::vector<InterfaceRow> ReadTable(SimPlatform& sim)
{
    InterfaceTableBuffer buffer;
    uint32_t required = 0;
    EXPECT_TRUE(sim.interfaces().AllocateTable(buffer, 26664));
    EXPECT_TRUE(sim.interfaces().GetIfTable(buffer, required));
    return buffer.rows;
}

TEST(SimInterfaceTable, ReadsInIndexOrderOnlyWhenTheTableFitsTheBuffer)
{
    auto sim = DeviceWith(R"({"index": 3, "adapter": "C"}, {"index": 1, "adapter": "LO"}, {"index": 2, "adapter": "B"})");
    InterfaceTable& table = sim->interfaces();
    InterfaceTableBuffer buffer;
    uint32_t required = 0;
    EXPECT_FALSE(table.GetIfTable(buffer, required)) << "no room yet";
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ENOBUFS));
    EXPECT_EQ(required, IfTableBytes(3));
    EXPECT_EQ(required, 2584u);

    ASSERT_TRUE(table.AllocateTable(buffer, required - 1));
    EXPECT_FALSE(table.GetIfTable(buffer, required));
    EXPECT_TRUE(buffer.rows.empty());
    ASSERT_TRUE(table.AllocateTable(buffer, required));
    ASSERT_TRUE(table.GetIfTable(buffer, required));
    ASSERT_EQ(buffer.rows.size(), 3u);
    EXPECT_EQ(buffer.rows[0].index, 1u);
    EXPECT_EQ(buffer.rows[1].index, 2u);
    EXPECT_EQ(buffer.rows[2].index, 3u);
    EXPECT_EQ(table.Traits().counterBits, 32u);
    EXPECT_FALSE(table.Traits().virtualInterfaces);
}

TEST(SimInterfaceTable, TheDefaultBufferHoldsThirtyOneRows)
{
    auto sim = DeviceWith(R"({"index": 1})");
    for (uint32_t index = 2; index <= 32; ++index) {
        InterfaceSpec spec;
        spec.row.index = index;
        ASSERT_TRUE(sim->device().AddInterface(spec));
    }
    InterfaceTableBuffer buffer;
    uint32_t required = 0;
    ASSERT_TRUE(sim->interfaces().AllocateTable(buffer, 26664));
    EXPECT_FALSE(sim->interfaces().GetIfTable(buffer, required)) << "32 rows do not fit";
    EXPECT_EQ(required, 27524u);
    ASSERT_TRUE(sim->device().RemoveInterface(32));
    EXPECT_TRUE(sim->interfaces().GetIfTable(buffer, required));
    EXPECT_EQ(buffer.rows.size(), 31u);
}

TEST(SimInterfaceTable, EveryCounterIsThirtyTwoBitsWideAndWraps)
{
    auto sim = SmallDevice();
    ASSERT_EQ(ReadTable(*sim).at(1).inOctets, 1000u);
    InterfaceRow traffic;
    traffic.inOctets = 0x100000000ull - 1000 + 24;  // past 2^32 by 24
    traffic.outOctets = 0xFFFFFFFFull - 500;        // to the last value
    traffic.inUcastPkts = 0x100000005ull;
    traffic.outUcastPkts = 7;
    traffic.inNUcastPkts = 0xFFFFFFFFull;
    traffic.outNUcastPkts = 0x200000000ull;
    traffic.inDiscards = 1;
    traffic.outDiscards = 2;
    traffic.inErrors = 3;
    traffic.outErrors = 0x100000004ull;
    ASSERT_TRUE(sim->device().AddTraffic(2, traffic));
    InterfaceRow row = ReadTable(*sim).at(1);
    EXPECT_EQ(row.inOctets, 24u);
    EXPECT_EQ(row.outOctets, 0xFFFFFFFFu);
    EXPECT_EQ(row.inUcastPkts, 5u);
    EXPECT_EQ(row.outUcastPkts, 7u);
    EXPECT_EQ(row.inNUcastPkts, 0xFFFFFFFFu);
    EXPECT_EQ(row.outNUcastPkts, 0u);
    EXPECT_EQ(row.inDiscards, 1u);
    EXPECT_EQ(row.outDiscards, 2u);
    EXPECT_EQ(row.inErrors, 3u);
    EXPECT_EQ(row.outErrors, 4u);
    ASSERT_TRUE(sim->device().AddTraffic(2, 0, 1));
    EXPECT_EQ(ReadTable(*sim).at(1).outOctets, 0u) << "the last value wraps to 0";
    EXPECT_FALSE(sim->device().AddTraffic(9, 1, 1));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ENODEV));
}

TEST(SimInterfaceTable, ProfilesKeepCountersAndSpeedsInThirtyTwoBits)
{
    std::string error;
    EXPECT_TRUE(CreateSimPlatformFromJson(R"({"interfaces": [{"index": 2, "speed": 4294967295, "inOctets": 4294967295}]})", error))
        << error;
    for (const char* field : {"speed", "inOctets", "outErrors"}) {
        error.clear();
        const std::string json = std::string(R"({"interfaces": [{"index": 2, ")") + field + R"(": 4294967296}]})";
        EXPECT_FALSE(CreateSimPlatformFromJson(json, error)) << field;
        EXPECT_NE(error.find(field), std::string::npos) << error;
    }
}

TEST(SimInterfaceTable, InterfacesComeAndGoByIndex)
{
    auto sim = SmallDevice();
    InterfaceSpec spec;
    spec.row.index = 2;
    EXPECT_FALSE(sim->device().AddInterface(spec)) << "index 2 is taken";
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EEXIST));
    ASSERT_TRUE(sim->device().RemoveInterface(2));
    EXPECT_EQ(ReadTable(*sim).size(), 1u);
    EXPECT_FALSE(sim->device().RemoveInterface(2));
}

TEST(SimInterfaceTable, AdapterNamesAndTheirMappings)
{
    auto sim = SmallDevice();
    EXPECT_EQ(sim->interfaces().GetAdapterName(2), L"NE20001");
    EXPECT_EQ(sim->interfaces().GetAdapterName(7), L"");
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ENODEV));
    std::optional<RegValue> mapped = sim->registry().QueryValue(Hive::CurrentUser, L"Comm\\AdapterNameMappings", L"NE20001");
    ASSERT_TRUE(mapped);
    EXPECT_EQ(mapped->string, L"LAN Adapter");
    EXPECT_FALSE(sim->registry().QueryValue(Hive::CurrentUser, L"Comm\\AdapterNameMappings", L"LOOPBACK"));
}

TEST(SimInterfaceTable, FailuresLeaveWhatTheReaderNeedsToGoOn)
{
    auto sim = SmallDevice();
    InterfaceTable& table = sim->interfaces();
    InterfaceTableBuffer buffer;
    uint32_t required = 0;
    ASSERT_TRUE(table.AllocateTable(buffer, kTwoRows));
    ASSERT_TRUE(table.GetIfTable(buffer, required));

    sim->device().InjectFailure(SimCall::IfTable, EIO);
    EXPECT_FALSE(table.GetIfTable(buffer, required));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EIO));
    EXPECT_EQ(required, kTwoRows) << "a failed read asks for no other size";
    EXPECT_TRUE(table.GetIfTable(buffer, required));

    sim->device().InjectFailure(SimCall::IfTableMemory, ENOMEM);
    EXPECT_FALSE(table.AllocateTable(buffer, 50000));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ENOMEM));
    EXPECT_EQ(buffer.size, 0u);
    EXPECT_TRUE(buffer.rows.empty()) << "the old rows went with the old buffer";
    EXPECT_FALSE(table.GetIfTable(buffer, required));
    EXPECT_EQ(required, kTwoRows);
}

}  // namespace
}  // namespace kestrun::platform::sim::testing
