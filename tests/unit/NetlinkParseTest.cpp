// The rtnetlink readers of the Linux interface table: datagrams walked message by
// message, link messages read attribute by attribute, both against damaged input.
#include "platform/Interfaces.h"
#include "platform/linux/LinkMessage.h"
#include "platform/linux/NetlinkMessages.h"
#include "tests/unit/NetlinkBuilder.h"

#include <gtest/gtest.h>

#include <linux/if.h>

#include <cerrno>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kestrun::platform::linux_backend {
namespace {

using test_support::NetlinkBuilder;

constexpr uint32_t kSeq = 7;
constexpr uint32_t kPort = 4242;

struct Walked {
    DatagramOutcome outcome;
    std::vector<uint32_t> indices;  // of the link messages handed on
};

Walked Walk(const std::vector<uint8_t>& datagram)
{
    Walked walked;
    walked.outcome = WalkDumpDatagram(datagram, {kSeq, kPort}, RTM_NEWLINK, [&](std::span<const uint8_t> message) {
        const std::optional<LinkMessage> link = ParseLinkMessage(message);
        walked.indices.push_back(link ? link->index : 0);
    });
    return walked;
}

NetlinkBuilder& Link(NetlinkBuilder& b, int32_t index, uint32_t seq = kSeq, uint32_t port = kPort, uint16_t flags = NLM_F_MULTI)
{
    return b.Begin(RTM_NEWLINK, seq, port, flags).Info(index, IFF_UP).Text(IFLA_IFNAME, "eth" + std::to_string(index)).End();
}

// ---- Datagrams -----------------------------------------------------------------------------------

TEST(NetlinkDatagram, HandsOnTheLinksOfThisDumpUntilDone)
{
    NetlinkBuilder b;
    Link(b, 1);
    Link(b, 2, kSeq - 1);         // an earlier dump given up half-read
    Link(b, 3, kSeq, kPort + 1);  // another socket's
    b.Begin(RTM_NEWADDR, kSeq, kPort).Info(9, 0).End();  // not a link
    Link(b, 4);
    b.Done(kSeq, kPort);
    Link(b, 5);  // after the end: never looked at
    const Walked walked = Walk(b.bytes());
    EXPECT_EQ(walked.outcome.result, DatagramResult::Done);
    EXPECT_FALSE(walked.outcome.interrupted);
    EXPECT_EQ(walked.indices, (std::vector<uint32_t>{1, 4}));
}

TEST(NetlinkDatagram, WithoutDoneTheDumpGoesOn)
{
    NetlinkBuilder b;
    Link(b, 1);
    Link(b, 2);
    const Walked walked = Walk(b.bytes());
    EXPECT_EQ(walked.outcome.result, DatagramResult::More);
    EXPECT_EQ(walked.indices.size(), 2u);
    EXPECT_EQ(Walk({}).outcome.result, DatagramResult::More) << "an empty datagram";
}

TEST(NetlinkDatagram, MarksAnInconsistentDump)
{
    NetlinkBuilder b;
    Link(b, 1, kSeq, kPort, NLM_F_MULTI | NLM_F_DUMP_INTR);
    b.Done(kSeq, kPort);
    EXPECT_TRUE(Walk(b.bytes()).outcome.interrupted);
}

TEST(NetlinkDatagram, KernelErrorsAndAcknowledgements)
{
    struct Case {
        const char* name;
        uint16_t type;
        std::optional<int32_t> field;  // nullopt: the message ends after its header
        DatagramResult result;
        uint32_t error;
    };
    const Case cases[] = {
        {"error EBUSY", NLMSG_ERROR, -EBUSY, DatagramResult::Failed, EBUSY},
        {"acknowledgement", NLMSG_ERROR, 0, DatagramResult::More, 0},
        {"error without its field", NLMSG_ERROR, std::nullopt, DatagramResult::Failed, EBADMSG},
        {"error that is no errno", NLMSG_ERROR, 5, DatagramResult::Failed, EBADMSG},
        {"done with an error", NLMSG_DONE, -EINTR, DatagramResult::Failed, EINTR},
        {"done of an old kernel, bare", NLMSG_DONE, std::nullopt, DatagramResult::Done, 0},
    };
    for (const Case& c : cases) {
        NetlinkBuilder b;
        b.Begin(c.type, kSeq, kPort);
        if (c.field) b.ErrorField(*c.field);
        b.End();
        const Walked walked = Walk(b.bytes());
        EXPECT_EQ(walked.outcome.result, c.result) << c.name;
        EXPECT_EQ(walked.outcome.error, c.error) << c.name;
    }
}

TEST(NetlinkDatagram, DamagedHeadersFailWithoutReadingPastTheDatagram)
{
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
    };
    std::vector<Case> cases;
    {
        NetlinkBuilder b;
        Link(b, 1);
        b.SetLength(8);
        cases.push_back({"length shorter than a header", b.bytes()});
    }
    {
        NetlinkBuilder b;
        Link(b, 1);
        b.SetLength(static_cast<uint32_t>(b.bytes().size() + 4));
        cases.push_back({"length past the datagram", b.bytes()});
    }
    {
        NetlinkBuilder b;
        Link(b, 1);
        b.Raw({1, 2, 3});
        cases.push_back({"three stray bytes after the last message", b.bytes()});
    }
    {
        NetlinkBuilder b;
        Link(b, 1);
        std::vector<uint8_t> cut = b.bytes();
        cut.resize(cut.size() - 6);
        cases.push_back({"datagram cut inside a message", cut});
    }
    for (const Case& c : cases) {
        const Walked walked = Walk(c.bytes);
        EXPECT_EQ(walked.outcome.result, DatagramResult::Failed) << c.name;
        EXPECT_EQ(walked.outcome.error, static_cast<uint32_t>(EBADMSG)) << c.name;
    }
}

TEST(NetlinkDatagram, LastMessageMayLackItsPadding)
{
    NetlinkBuilder b;
    b.Begin(RTM_NEWLINK, kSeq, kPort).Info(3, IFF_UP).Text(IFLA_IFNAME, "ab").End().SetLength(39);  // 16 + 16 + 7
    std::vector<uint8_t> bytes = b.bytes();
    bytes.resize(39);  // exactly the length, no padding
    const Walked walked = Walk(bytes);
    EXPECT_EQ(walked.outcome.result, DatagramResult::More);
    EXPECT_EQ(walked.indices, std::vector<uint32_t>{3});
}

// ---- Link messages -------------------------------------------------------------------------------

std::vector<uint8_t> FullLink()
{
    const uint64_t stats[23] = {100, 40, 150000, 6000, 3, 4, 5, 6, 20};  // rx/tx packets, bytes, errors, dropped, multicast
    NetlinkBuilder b;
    b.Begin(RTM_NEWLINK, kSeq, kPort)
        .Info(12, IFF_UP | IFF_RUNNING, 1)
        .Text(IFLA_IFNAME, "veth0")
        .Scalar<uint32_t>(IFLA_MTU, 1500)
        .Scalar<uint8_t>(IFLA_OPERSTATE, IF_OPER_UP)
        .Text(IFLA_IFALIAS, "uplink")
        .Attribute(IFLA_STATS64, stats, sizeof stats)
        .End();
    return b.bytes();
}

TEST(LinkMessage, ReadsIndexNameStateAndCounters)
{
    const std::vector<uint8_t> message = FullLink();  // the names are views into it
    const std::optional<LinkMessage> link = ParseLinkMessage(message);
    ASSERT_TRUE(link);
    EXPECT_EQ(link->index, 12u);
    EXPECT_EQ(link->hardwareType, 1u);
    EXPECT_EQ(link->flags, static_cast<uint32_t>(IFF_UP | IFF_RUNNING));
    EXPECT_EQ(link->name, "veth0");
    EXPECT_EQ(link->alias, "uplink");
    EXPECT_EQ(link->mtu, 1500u);
    EXPECT_EQ(link->operState, IF_OPER_UP);
    ASSERT_TRUE(link->hasCounters);
    EXPECT_EQ(link->counters.rxPackets, 100u);
    EXPECT_EQ(link->counters.txPackets, 40u);
    EXPECT_EQ(link->counters.rxBytes, 150000u);
    EXPECT_EQ(link->counters.txBytes, 6000u);
    EXPECT_EQ(link->counters.rxErrors, 3u);
    EXPECT_EQ(link->counters.txErrors, 4u);
    EXPECT_EQ(link->counters.rxDropped, 5u);
    EXPECT_EQ(link->counters.txDropped, 6u);
    EXPECT_EQ(link->counters.multicast, 20u);
}

TEST(LinkMessage, OddButHarmlessAttributes)
{
    const uint64_t shortStats[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    const char unterminated[] = {'w', 'l', 'a', 'n'};
    NetlinkBuilder b;
    b.Begin(RTM_NEWLINK, kSeq, kPort)
        .Info(3, 0)
        .Attribute(IFLA_IFNAME, unterminated, sizeof unterminated)
        .Attribute(IFLA_OPERSTATE, nullptr, 0)          // no byte to read
        .Attribute(IFLA_STATS64, shortStats, sizeof shortStats)  // short of multicast
        .Scalar<uint32_t>(0x7F00, 1)                    // a type this code does not know
        .End();
    const std::optional<LinkMessage> link = ParseLinkMessage(b.bytes());
    ASSERT_TRUE(link);
    EXPECT_EQ(link->name, "wlan") << "a name without NUL ends with its attribute";
    EXPECT_EQ(link->operState, IF_OPER_UNKNOWN);
    EXPECT_FALSE(link->hasCounters);
    EXPECT_TRUE(link->alias.empty());
}

TEST(LinkMessage, RejectsMessagesThatRunPastTheirEnd)
{
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
    };
    std::vector<Case> cases;
    const std::vector<uint8_t> full = FullLink();
    cases.push_back({"shorter than a header", std::vector<uint8_t>(full.begin(), full.begin() + 10)});
    {
        std::vector<uint8_t> cut(full.begin(), full.begin() + 40);  // header says more than given
        cases.push_back({"header length past the bytes given", cut});
    }
    {
        NetlinkBuilder b;
        b.Begin(RTM_NEWLINK, kSeq, kPort).Raw(std::vector<uint8_t>(8, 0)).End();
        cases.push_back({"no room for the ifinfomsg", b.bytes()});
    }
    {
        NetlinkBuilder b;
        b.Begin(RTM_NEWLINK, kSeq, kPort).Info(2, 0).Raw({2, 0, IFLA_IFNAME, 0}).End();
        cases.push_back({"attribute length below its header", b.bytes()});
    }
    {
        NetlinkBuilder b;
        b.Begin(RTM_NEWLINK, kSeq, kPort).Info(2, 0).Raw({40, 0, IFLA_IFNAME, 0, 'a', 0, 0, 0}).End();
        cases.push_back({"attribute length past the message", b.bytes()});
    }
    {
        NetlinkBuilder b;
        b.Begin(RTM_NEWLINK, kSeq, kPort).Info(2, 0).Text(IFLA_IFNAME, "x").Raw({8, 0}).End();
        cases.push_back({"two bytes after the last attribute", b.bytes()});
    }
    {
        // Bytes beyond the message's own length are not its own, even when they were received.
        NetlinkBuilder b;
        b.Begin(RTM_NEWLINK, kSeq, kPort).Info(2, 0).Text(IFLA_IFNAME, "eth0").End();
        b.SetLength(static_cast<uint32_t>(b.bytes().size() - 4));
        cases.push_back({"attribute crossing the header's length", b.bytes()});
    }
    for (const Case& c : cases) EXPECT_FALSE(ParseLinkMessage(c.bytes)) << c.name;
}

TEST(LinkMessage, StatusFromStateAndFlags)
{
    struct Case {
        uint8_t state;
        uint32_t flags;
        uint32_t status;
    };
    const Case cases[] = {
        {IF_OPER_UP, 0, kIfNonOperational},  // not up wins over everything
        {IF_OPER_UNKNOWN, IFF_RUNNING, kIfNonOperational},
        {IF_OPER_NOTPRESENT, IFF_UP, kIfUnreachable},
        {IF_OPER_DOWN, IFF_UP, kIfDisconnected},
        {IF_OPER_LOWERLAYERDOWN, IFF_UP, kIfDisconnected},
        {IF_OPER_DORMANT, IFF_UP, kIfConnecting},
        {IF_OPER_TESTING, IFF_UP, kIfConnecting},
        {IF_OPER_UP, IFF_UP, kIfOperational},
        {IF_OPER_UNKNOWN, IFF_UP | IFF_RUNNING, kIfOperational},  // loopback
        {IF_OPER_UNKNOWN, IFF_UP, kIfConnected},
        {200, IFF_UP, kIfConnected},  // a state newer than this code
    };
    for (const Case& c : cases) {
        LinkMessage link;
        link.operState = c.state;
        link.flags = c.flags;
        EXPECT_EQ(LinkOperStatus(link), c.status) << "state " << int{c.state} << " flags " << c.flags;
    }
}

}  // namespace
}  // namespace kestrun::platform::linux_backend
