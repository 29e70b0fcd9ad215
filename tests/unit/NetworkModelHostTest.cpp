// The Network page's list and sample on real links: a veth pair in a network
// namespace of the test's own read through the live interface table, with the
// simulated device's clock, so that the interval of a rate is known exactly.
#include "display/core/MemoryListView.h"
#include "pages/core/NetworkModel.h"
#include "platform/linux/LinuxPlatform.h"
#include "platform/sim/SimPlatform.h"
#include "tests/unit/NetworkNamespace.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <thread>

namespace kestrun {
namespace {

using test_support::Must;
using test_support::NetworkNamespace;
using test_support::SendFrames;

// The live interface table; everything else, the clock included, is the simulated device's.
class HostTablePlatform final : public platform::Platform {
public:
    HostTablePlatform(platform::Platform& inner, std::unique_ptr<platform::InterfaceTable> table)
        : inner_(inner), table_(std::move(table))
    {
    }
    std::string Name() const override { return "linux"; }
    platform::ToolHelp& toolHelp() override { return inner_.toolHelp(); }
    platform::Kernel& kernel() override { return inner_.kernel(); }
    platform::Registry& registry() override { return inner_.registry(); }
    platform::ServiceManager& services() override { return inner_.services(); }
    platform::DeviceManager& devices() override { return inner_.devices(); }
    platform::InterfaceTable& interfaces() override { return *table_; }
    platform::Desktop& desktop() override { return inner_.desktop(); }
    platform::Shell& shell() override { return inner_.shell(); }

private:
    platform::Platform& inner_;
    std::unique_ptr<platform::InterfaceTable> table_;
};

class HostNetworkPage : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string reason;
        if (!NetworkNamespace::Available(reason)) GTEST_SKIP() << reason;
        ns_ = std::make_unique<NetworkNamespace>();
        ASSERT_EQ(ns_->setupError(), "");
    }
    void TearDown() override
    {
        if (ns_) ns_->Run([&] { model_.reset(); host_.reset(); });
    }

    // On the namespace's thread: the page over the namespace's links.
    void MakePage()
    {
        sim_ = platform::sim::CreateSimPlatformForTest(platform::sim::SimProfile{});
        platform::linux_backend::LinuxRoots roots;
        roots.sys = ns_->sysRoot();
        host_ = std::make_unique<HostTablePlatform>(*sim_, platform::linux_backend::CreateLinuxInterfaces(roots));
        model_ = std::make_unique<NetworkModel>(*host_, list_);
        model_->InsertColumns();
    }

    int RowNamed(const std::wstring& name) const
    {
        for (int row = 0; row < list_.RowCount(); ++row)
            if (list_.CellText(row, kNetName) == name) return row;
        return -1;
    }
    std::wstring Cell(const std::wstring& name, int column) const { return list_.CellText(RowNamed(name), column); }

    // Refreshes until the link shows the status text; links change state a little after a command.
    void AwaitStatus(const std::wstring& name, const std::wstring& status)
    {
        for (int attempt = 0; attempt < 1000; ++attempt) {
            ASSERT_TRUE(model_->RefreshList());
            if (RowNamed(name) >= 0 && Cell(name, kNetStatus) == status) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        FAIL() << platform::Narrow(name) << " never showed " << platform::Narrow(status);
    }

    std::unique_ptr<NetworkNamespace> ns_;
    std::unique_ptr<platform::sim::SimPlatform> sim_;
    std::unique_ptr<HostTablePlatform> host_;
    MemoryListView list_;
    std::unique_ptr<NetworkModel> model_;
};

TEST_F(HostNetworkPage, CountsIntervalsAndUsageOfTheFramesSentAcrossAVethPair)
{
    ns_->Run([&] {
        MakePage();
        Must("ip link set lo up && ip link add kv0 type veth peer name kv1 && ip link set kv0 up && ip link set kv1 up");
        AwaitStatus(L"kv0", L"Operational");
        AwaitStatus(L"kv1", L"Operational");
        EXPECT_EQ(model_->rowCount(), 2u) << "loopback is not listed";
        EXPECT_EQ(Cell(L"kv0", kNetSpeed), L"10000 Mbit/s");

        SendFrames("kv0", "kv1", 37, 100);
        sim_->device().AdvanceTime(1);
        ASSERT_TRUE(model_->RefreshList());
        EXPECT_EQ(Cell(L"kv0", kNetBytesPerInterval), L"3700");
        EXPECT_EQ(Cell(L"kv0", kNetUnicastsPerInterval), L"37");
        EXPECT_EQ(Cell(L"kv1", kNetBytesPerInterval), L"3700");
        // 3700 bytes in 1 ms on 10 Gbit/s: 0.296 %.
        EXPECT_EQ(Cell(L"kv0", kNetUsage), L"0.3%");
        EXPECT_NEAR(model_->usage(), 0.296, 1e-9) << "the average of the two working links";

        const nlohmann::json links = nlohmann::json::parse(Must("ip -s -j link"));
        for (const nlohmann::json& link : links) {
            const std::wstring name = platform::Widen(link["ifname"].get<std::string>());
            if (name == L"lo") continue;
            EXPECT_EQ(Cell(name, kNetBytesSent), std::to_wstring(link["stats64"]["tx"]["bytes"].get<uint64_t>()));
            EXPECT_EQ(Cell(name, kNetBytesRecv), std::to_wstring(link["stats64"]["rx"]["bytes"].get<uint64_t>()));
        }

        Must("ip link set kv1 down");
        AwaitStatus(L"kv1", L"Disabled");
        AwaitStatus(L"kv0", L"Disconnected");
        EXPECT_EQ(Cell(L"kv1", kNetSpeed), L"0 bit/s");
        SendFrames("kv0", "kv1", 5, 100);  // dropped: the peer is down
        sim_->device().AdvanceTime(1);
        ASSERT_TRUE(model_->RefreshList());
        EXPECT_EQ(model_->usage(), 0.0) << "no link works: nothing to average";
        EXPECT_EQ(Cell(L"kv0", kNetBytesPerInterval), L"0");
        EXPECT_EQ(Cell(L"kv0", kNetDiscardedPerInterval), L"5");
    });
}

TEST_F(HostNetworkPage, HiddenEveryLinkOfAHostTakesPart)
{
    ns_->Run([&] {
        MakePage();
        std::string commands = "ip link set lo up";
        for (int i = 0; i < 18; ++i) {
            const std::string n = std::to_string(i);
            commands += " && ip link add hv" + n + " type veth peer name hw" + n + " && ip link set hv" + n +
                        " up && ip link set hw" + n + " up";
        }
        Must(commands);
        for (int i = 0; i < 18; ++i) {
            AwaitStatus(L"hv" + std::to_wstring(i), L"Operational");
            AwaitStatus(L"hw" + std::to_wstring(i), L"Operational");
        }
        ASSERT_TRUE(model_->CalcHiddenUsage());
        SendFrames("hv17", "hw17", 37, 100);  // the 36th link: past the device's 30 rows
        sim_->device().AdvanceTime(1);
        ASSERT_TRUE(model_->CalcHiddenUsage());
        EXPECT_NEAR(model_->usage(), 2 * 0.296 / 36, 1e-9);
    });
}

}  // namespace
}  // namespace kestrun
