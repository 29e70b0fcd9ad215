// Link speeds from a fixture sysfs tree: the texts the kernel writes, and reads
// that happen only when a link is new or changed.
#include "platform/linux/LinkSpeedCache.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace kestrun::platform::linux_backend {
namespace {

namespace fs = std::filesystem;

TEST(LinkSpeed, SysfsTextsInBitsPerSecond)
{
    struct Case {
        const char* text;
        uint64_t speed;
    };
    const Case cases[] = {
        {"1000\n", 1000000000u},
        {"10000\n", 10000000000u},  // 10 Gbit/s: more than 32 bits hold
        {"400000", 400000000000u},
        {"10", 10000000u},
        {"-1\n", 0},          // unknown (a virtio NIC)
        {"4294967295\n", 0},  // unknown as ethtool reports it
        {"0\n", 0},
        {"", 0},              // an ifb device's empty read
        {"\n", 0},
        {"fast\n", 0},
        {"100 Mb/s", 0},
        {"99999999999999999999", 0},
    };
    for (const Case& c : cases) EXPECT_EQ(ParseLinkSpeed(c.text), c.speed) << '"' << c.text << '"';
}

class SysTree : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/kestrun-speed-test-XXXXXX";
        root_ = mkdtemp(pattern);
    }
    void TearDown() override { fs::remove_all(root_); }
    void WriteSpeed(const std::string& name, const std::string& text)
    {
        fs::create_directories(root_ + "/class/net/" + name);
        std::ofstream(root_ + "/class/net/" + name + "/speed") << text;
    }
    std::string root_;
};

TEST_F(SysTree, ReadsASpeedOnceWhileTheLinkStaysAsItWas)
{
    WriteSpeed("eth0", "100\n");
    LinkSpeedCache cache(root_);
    EXPECT_EQ(cache.SpeedOf(2, "eth0", 6), 100000000u);
    WriteSpeed("eth0", "1000\n");
    for (int pass = 0; pass < 3; ++pass) {
        cache.BeginPass();
        EXPECT_EQ(cache.SpeedOf(2, "eth0", 6), 100000000u) << "an unchanged link is not read again";
        cache.Sweep();
    }
    EXPECT_EQ(cache.fileReads(), 1u);
    EXPECT_EQ(cache.SpeedOf(2, "eth0", 2), 1000000000u) << "a changed state reads the speed again";
    EXPECT_EQ(cache.fileReads(), 2u);
}

TEST_F(SysTree, ReadsAgainAfterARenameAndForgetsVanishedLinks)
{
    WriteSpeed("eth0", "100\n");
    WriteSpeed("lan0", "10\n");
    LinkSpeedCache cache(root_);
    EXPECT_EQ(cache.SpeedOf(2, "eth0", 6), 100000000u);
    EXPECT_EQ(cache.SpeedOf(2, "lan0", 6), 10000000u);
    EXPECT_EQ(cache.NameOf(2), "lan0");

    cache.BeginPass();
    cache.SpeedOf(3, "eth0", 6);
    cache.Sweep();
    EXPECT_EQ(cache.NameOf(2), "") << "index 2 was not in the last pass";
    EXPECT_EQ(cache.NameOf(3), "eth0");
    const size_t reads = cache.fileReads();
    cache.BeginPass();
    cache.SpeedOf(2, "lan0", 6);
    EXPECT_EQ(cache.fileReads(), reads + 1) << "a link that came back is read like a new one";
}

TEST_F(SysTree, UnreadableSpeedsAreZeroAndNamesNeverLeaveTheClassFolder)
{
    WriteSpeed("ifb0", "");
    fs::create_directories(root_ + "/class/net/down0");  // no speed file
    fs::create_directories(root_ + "/class");
    std::ofstream(root_ + "/class/speed") << "100\n";  // what "../speed" would reach
    LinkSpeedCache cache(root_);
    EXPECT_EQ(cache.SpeedOf(2, "ifb0", 0), 0u);
    EXPECT_EQ(cache.SpeedOf(3, "down0", 0), 0u);
    EXPECT_EQ(cache.SpeedOf(4, "missing", 0), 0u);
    const size_t reads = cache.fileReads();
    EXPECT_EQ(cache.SpeedOf(5, "..", 0), 0u);
    EXPECT_EQ(cache.SpeedOf(6, "a/../..", 0), 0u);
    EXPECT_EQ(cache.SpeedOf(7, "", 0), 0u);
    EXPECT_EQ(cache.fileReads(), reads) << "names that are paths are not opened";
}

}  // namespace
}  // namespace kestrun::platform::linux_backend
