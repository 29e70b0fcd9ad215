// The live interface table on real links: a veth pair in a network namespace of
// the test's own, frames of a known size sent across it, and the counters checked
// against what `ip -s -j link` reads of the same links.
#include "platform/LastError.h"
#include "platform/linux/LinuxPlatform.h"
#include "tests/unit/NetworkNamespace.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <thread>

namespace kestrun::platform::linux_backend {
namespace {

using test_support::Must;
using test_support::NetworkNamespace;
using test_support::SendFrames;

constexpr int kFrames = 37;
constexpr size_t kFrameBytes = 100;

class LinuxInterfaceTable : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string reason;
        if (!NetworkNamespace::Available(reason)) GTEST_SKIP() << reason;
        ns_ = std::make_unique<NetworkNamespace>();
        ASSERT_EQ(ns_->setupError(), "");
    }

    // Runs body in the namespace; the table is made there on first use, so its socket belongs to it.
    void InNamespace(const std::function<void()>& body) { ns_->Run(body); }

    InterfaceTable& Table()
    {
        if (!table_) {
            LinuxRoots roots;
            roots.sys = ns_->sysRoot();
            table_ = CreateLinuxInterfaces(roots);
            EXPECT_TRUE(table_->AllocateTable(buffer_, 26664));
        }
        return *table_;
    }

    std::map<std::string, InterfaceRow> Read()
    {
        uint32_t required = 0;
        EXPECT_TRUE(Table().GetIfTable(buffer_, required)) << GetLastError();
        std::map<std::string, InterfaceRow> byName;
        for (const InterfaceRow& row : buffer_.rows) byName[Narrow(row.name)] = row;
        return byName;
    }

    // Reads until the link shows the status; links change state a little after a command.
    InterfaceRow AwaitStatus(const std::string& name, uint32_t status)
    {
        for (int attempt = 0; attempt < 1000; ++attempt) {
            std::map<std::string, InterfaceRow> rows = Read();
            if (rows.count(name) != 0 && rows[name].operStatus == status) return rows[name];
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        ADD_FAILURE() << name << " never reached status " << status;
        return {};
    }

    void MakeVethPair()
    {
        Must("ip link set lo up && ip link add kv0 type veth peer name kv1 && ip link set kv0 up && ip link set kv1 up");
        AwaitStatus("kv0", kIfOperational);
        AwaitStatus("kv1", kIfOperational);
    }

    std::unique_ptr<NetworkNamespace> ns_;
    std::unique_ptr<InterfaceTable> table_;
    InterfaceTableBuffer buffer_;
};

TEST_F(LinuxInterfaceTable, CountersAgreeWithIpAndCountTheBytesSent)
{
    InNamespace([&] {
        MakeVethPair();
        std::map<std::string, InterfaceRow> before = Read();
        SendFrames("kv0", "kv1", kFrames, kFrameBytes);
        std::map<std::string, InterfaceRow> after = Read();

        EXPECT_EQ(after["kv0"].outOctets - before["kv0"].outOctets, kFrames * kFrameBytes);
        EXPECT_EQ(after["kv0"].outUcastPkts - before["kv0"].outUcastPkts, static_cast<uint64_t>(kFrames));
        EXPECT_EQ(after["kv1"].inOctets - before["kv1"].inOctets, kFrames * kFrameBytes);
        EXPECT_EQ(after["kv1"].inUcastPkts - before["kv1"].inUcastPkts, static_cast<uint64_t>(kFrames));
        EXPECT_EQ(after["kv0"].inOctets, before["kv0"].inOctets) << "nothing came back";

        const nlohmann::json links = nlohmann::json::parse(Must("ip -s -j link"));
        ASSERT_EQ(links.size(), after.size());
        for (const nlohmann::json& link : links) {
            const std::string name = link["ifname"];
            ASSERT_EQ(after.count(name), 1u) << name;
            const InterfaceRow& row = after[name];
            const nlohmann::json& rx = link["stats64"]["rx"];
            const nlohmann::json& tx = link["stats64"]["tx"];
            EXPECT_EQ(row.index, link["ifindex"].get<uint32_t>()) << name;
            EXPECT_EQ(row.mtu, link["mtu"].get<uint32_t>()) << name;
            EXPECT_EQ(row.inOctets, rx["bytes"].get<uint64_t>()) << name;
            EXPECT_EQ(row.inUcastPkts + row.inNUcastPkts, rx["packets"].get<uint64_t>()) << name;
            EXPECT_EQ(row.inNUcastPkts, rx["multicast"].get<uint64_t>()) << name;
            EXPECT_EQ(row.inErrors, rx["errors"].get<uint64_t>()) << name;
            EXPECT_EQ(row.inDiscards, rx["dropped"].get<uint64_t>()) << name;
            EXPECT_EQ(row.outOctets, tx["bytes"].get<uint64_t>()) << name;
            EXPECT_EQ(row.outUcastPkts, tx["packets"].get<uint64_t>()) << name;
            EXPECT_EQ(row.outErrors, tx["errors"].get<uint64_t>()) << name;
            EXPECT_EQ(row.outDiscards, tx["dropped"].get<uint64_t>()) << name;
        }
    });
}

TEST_F(LinuxInterfaceTable, LoopbackIsIndexOneAndVethSpeedsNeedSixtyFourBits)
{
    InNamespace([&] {
        MakeVethPair();
        std::map<std::string, InterfaceRow> rows = Read();
        ASSERT_EQ(buffer_.rows.size(), 3u);
        EXPECT_EQ(buffer_.rows.front().index, 1u) << "rows in index order";
        EXPECT_EQ(rows["lo"].index, 1u);
        EXPECT_EQ(rows["lo"].operStatus, kIfOperational) << "loopback's state is unknown, but it runs";
        EXPECT_EQ(rows["lo"].type, 24u);
        EXPECT_EQ(rows["lo"].speed, 0u) << "loopback has no speed";
        EXPECT_EQ(rows["kv0"].type, 6u);
        EXPECT_EQ(rows["kv0"].speed, 10000000000u) << "a veth link says 10000 Mbit/s";
        EXPECT_EQ(Table().Traits().counterBits, 64u);
        EXPECT_TRUE(Table().Traits().virtualInterfaces);
    });
}

TEST_F(LinuxInterfaceTable, StatusAndSpeedFollowALinkBroughtDownAndUp)
{
    InNamespace([&] {
        MakeVethPair();
        Must("ip link set kv1 down");
        const InterfaceRow down = AwaitStatus("kv1", kIfNonOperational);
        EXPECT_EQ(down.speed, 0u) << "a link that is down has no speed";
        const InterfaceRow peer = AwaitStatus("kv0", kIfDisconnected);
        EXPECT_EQ(peer.speed, 10000000000u) << "its peer is up without a carrier";
        Must("ip link set kv1 up");
        EXPECT_EQ(AwaitStatus("kv1", kIfOperational).speed, 10000000000u) << "the speed is read again";
    });
}

TEST_F(LinuxInterfaceTable, AliasesNamesAndVanishedLinks)
{
    InNamespace([&] {
        MakeVethPair();
        Must("ip link set kv0 alias 'Uplink to the lab'");
        std::map<std::string, InterfaceRow> rows = Read();
        ASSERT_EQ(rows.count("Uplink to the lab"), 1u) << "the alias is the friendly name";
        const uint32_t index = rows["Uplink to the lab"].index;
        EXPECT_EQ(Table().GetAdapterName(index), L"kv0");
        Must("ip link del kv0");
        rows = Read();
        EXPECT_EQ(rows.size(), 1u) << "both ends of the pair are gone";
        EXPECT_EQ(Table().GetAdapterName(index), L"");
        EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ENODEV));
    });
}

TEST_F(LinuxInterfaceTable, ATableLargerThanTheBufferAsksForMore)
{
    InNamespace([&] {
        MakeVethPair();
        InterfaceTableBuffer small;
        ASSERT_TRUE(Table().AllocateTable(small, IfTableBytes(2)));
        uint32_t required = 0;
        EXPECT_FALSE(Table().GetIfTable(small, required));
        EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ENOBUFS));
        EXPECT_EQ(required, IfTableBytes(3));
        ASSERT_TRUE(Table().AllocateTable(small, required));
        EXPECT_TRUE(Table().GetIfTable(small, required));
        EXPECT_EQ(small.rows.size(), 3u);
    });
}

size_t OpenDescriptors()
{
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
    return count;
}

TEST_F(LinuxInterfaceTable, OneSocketServesEveryRead)
{
    InNamespace([&] {
        Table();
        const size_t before = OpenDescriptors();
        Read();
        const size_t open = OpenDescriptors();
        EXPECT_EQ(open, before + 1) << "the first read opens the socket";
        for (int i = 0; i < 20; ++i) Read();
        EXPECT_EQ(OpenDescriptors(), open) << "later reads use it";
    });
}

}  // namespace
}  // namespace kestrun::platform::linux_backend
