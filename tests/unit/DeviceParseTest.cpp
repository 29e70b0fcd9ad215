// Parsers of /proc/interrupts, /proc/modules and a device's sysfs resource and power texts.
#include "platform/linux/DeviceResources.h"
#include "platform/linux/ProcInterrupts.h"

#include <gtest/gtest.h>

namespace kestrun::platform::linux_backend {
namespace {

// What this machine's kernel (6.18, x86) printed, with a shared line and a line
// without a controller number added.
constexpr const char* kInterrupts =
    "           CPU0       CPU1       \n"
    " 24:          1          0  IO-APIC   5-edge      ACPI:Ged\n"
    " 26:          0          2  IO-APIC   4-edge      ttyS0\n"
    " 28:          0          0 PCI-MSIX-0000:00:01.0   0-edge      virtio0-config\n"
    " 38:          0       1184 PCI-MSIX-0000:00:03.0   1-edge      virtio2-input.0\n"
    " 40:          5          0  IO-APIC   9-fasteoi   acpi, i8042 aux\n"
    " 41:          0          0  dummy-chip  -edge      cascade\n"
    " 42:          0          0  IO-APIC  12-edge\n"
    "NMI:          0          0   Non-maskable interrupts\n"
    "ERR:          0\n";

TEST(InterruptsParse, ReadsNumberChipHardwareAndHandlersOfNumberedLines)
{
    const std::vector<InterruptLine> lines = ParseInterrupts(kInterrupts);
    struct Expected {
        uint32_t number;
        const char* chip;
        const char* hardware;
        std::vector<std::string> actions;
    };
    const Expected expected[] = {
        {24, "IO-APIC", "5-edge", {"ACPI:Ged"}},
        {26, "IO-APIC", "4-edge", {"ttyS0"}},
        {28, "PCI-MSIX-0000:00:01.0", "0-edge", {"virtio0-config"}},
        {38, "PCI-MSIX-0000:00:03.0", "1-edge", {"virtio2-input.0"}},
        {40, "IO-APIC", "9-fasteoi", {"acpi", "i8042 aux"}},
        {41, "dummy-chip", "-edge", {"cascade"}},
        {42, "IO-APIC", "12-edge", {}},
    };
    ASSERT_EQ(lines.size(), std::size(expected));
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].number, expected[i].number);
        EXPECT_EQ(lines[i].chip, expected[i].chip) << lines[i].number;
        EXPECT_EQ(lines[i].hardware, expected[i].hardware) << lines[i].number;
        EXPECT_EQ(lines[i].actions, expected[i].actions) << lines[i].number;
    }
}

TEST(InterruptsParse, CountsAsManyCpuColumnsAsTheHeaderNames)
{
    // One CPU: the controller number 7 is not taken for a second count.
    const auto lines = ParseInterrupts("           CPU0\n  5:         12   XT-PIC  7   parport0\n");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].chip, "XT-PIC");
    EXPECT_EQ(lines[0].hardware, "7");
    EXPECT_EQ(lines[0].actions, std::vector<std::string>{"parport0"});
}

TEST(InterruptsParse, SkipsLinesThatAreNotNumberedInterrupts)
{
    const char* cases[] = {
        "",
        "\n\n",
        "LOC:      33186      35660   Local timer interrupts\n",
        ":  1 2 IO-APIC 4-edge x\n",
        "4x:  1 2 IO-APIC 4-edge x\n",
        "99999999999:  1 2 IO-APIC 4-edge x\n",
        "-1:  1 IO-APIC\n",
    };
    for (const char* text : cases) EXPECT_TRUE(ParseInterrupts(text).empty()) << text;
}

TEST(InterruptsParse, ALineServesADeviceByHandlerNameOrMessageChip)
{
    const auto lines = ParseInterrupts(kInterrupts);
    ASSERT_GE(lines.size(), 5u);
    struct Case {
        size_t line;
        const char* device;
        bool serves;
    };
    const Case cases[] = {
        {1, "ttyS0", true},
        {1, "ttyS", false},
        {2, "virtio0", true},           // virtio0-config
        {2, "0000:00:01.0", true},      // PCI-MSIX-0000:00:01.0
        {2, "00:01.0", false},          // only a whole address after the dash
        {3, "virtio2", true},
        {3, "virtio", false},
        {4, "i8042 aux", true},
        {4, "i8042", false},            // "i8042 aux" is not "i8042-..."
        {0, "", false},
        {1, "IO-APIC", false},          // a chip name is not a device
    };
    for (const Case& c : cases) EXPECT_EQ(ServesDevice(lines[c.line], c.device), c.serves) << c.line << " " << c.device;
}

TEST(ModulesParse, NamesInFileOrder)
{
    EXPECT_EQ(ParseModules("virtio_net 61440 0 - Live 0xffffffffc0a5b000\nnet_failover 20480 1 virtio_net, Live 0x0\n\n  e1000e 1 0 - Live 0\n"),
              (std::vector<std::string>{"virtio_net", "net_failover", "e1000e"}));
    EXPECT_TRUE(ParseModules("").empty());
}

TEST(PciResourceParse, TakesTheSixBaseAddressRegistersByKind)
{
    const std::string text =
        "0x000000000000c000 0x000000000000c03f 0x0000000000040101\n"   // I/O
        "0x00000000febd1000 0x00000000febd1fff 0x0000000000040200\n"   // memory
        "0x0000000000000000 0x0000000000000000 0x0000000000000000\n"   // unused
        "0x0000004000100000 0x000000400017ffff 0x0000000000140204\n"   // 64-bit memory
        "0x0000000000000000 0x0000000000000000 0x0000000000000000\n"
        "0x0000000000001000 0x0000000000001fff 0x0000000000000000\n"   // neither I/O nor memory
        "0x00000000feb80000 0x00000000febbffff 0x0000000000046200\n"   // expansion ROM
        "0x00000000fe000000 0x00000000fe0fffff 0x0000000000000200\n";  // a bridge window
    const std::vector<ResourceRange> ranges = ParsePciResource(text);
    ASSERT_EQ(ranges.size(), 3u);
    EXPECT_EQ(ranges[0].kind, ResourceKind::Io);
    EXPECT_EQ(ranges[0].start, 0xc000u);
    EXPECT_EQ(ranges[0].end, 0xc03fu);
    EXPECT_EQ(ranges[1].kind, ResourceKind::Memory);
    EXPECT_EQ(ranges[1].start, 0xfebd1000u);
    EXPECT_EQ(ranges[2].kind, ResourceKind::Memory);
    EXPECT_EQ(ranges[2].start, 0x4000100000u);
}

TEST(PciResourceParse, LeavesOutLinesThatDoNotParse)
{
    const char* cases[] = {
        "0xc000 0xc03f\n",                                  // no flags
        "c000 c03f 101\n",                                  // no 0x
        "0xc03f 0xc000 0x101\n",                            // end before start
        "0xc000 0xc03f 0x101 0x1\n",                        // a fourth field
        "0x10000000000000000 0x10000000000000001 0x101\n",  // beyond 64 bits
        "0xc000 0xc0zz 0x101\n",
        "",
    };
    for (const char* text : cases) EXPECT_TRUE(ParsePciResource(text).empty()) << text;
}

TEST(PnpResourcesParse, ReadsRangesAndInterruptsButNotDisabledEntries)
{
    const PnpResources r = ParsePnpResources(
        "state = active\nio 0x3f8-0x3ff\nio disabled\nmem 0xfed00000-0xfed003ff window\nirq 4\nirq disabled\ndma 2\n"
        "io 0x2ff-0x2f8\nbus 0x00-0xff\n");
    ASSERT_EQ(r.ranges.size(), 2u);
    EXPECT_EQ(r.ranges[0].kind, ResourceKind::Io);
    EXPECT_EQ(r.ranges[0].start, 0x3f8u);
    EXPECT_EQ(r.ranges[0].end, 0x3ffu);
    EXPECT_EQ(r.ranges[1].kind, ResourceKind::Memory);
    EXPECT_EQ(r.ranges[1].start, 0xfed00000u);
    EXPECT_EQ(r.interrupts, std::vector<uint32_t>{4});
}

TEST(SysfsNumberParse, DecimalOrPrefixedHexadecimal)
{
    struct Case {
        const char* text;
        std::optional<uint64_t> value;
    };
    const Case cases[] = {
        {"26\n", 26},       {"0x3F8\n", 0x3f8}, {"0x0", 0},        {"  7  ", 7},
        {"", std::nullopt}, {"0x", std::nullopt}, {"3f8", std::nullopt}, {"-1", std::nullopt},
        {"18446744073709551616", std::nullopt}, {"12 13", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(ParseSysfsNumber(c.text), c.value) << c.text;
}

TEST(PowerParse, PciStatesAndRuntimeStatus)
{
    struct Case {
        const char* text;
        std::optional<int> pci;
        std::optional<int> runtime;
    };
    const Case cases[] = {
        {"D0\n", 0, std::nullopt},       {"D1", 1, std::nullopt},           {"D2", 2, std::nullopt},
        {"D3hot\n", 3, std::nullopt},    {"D3cold\n", 4, std::nullopt},     {"unknown\n", std::nullopt, std::nullopt},
        {"active\n", std::nullopt, 0},   {"suspending", std::nullopt, 0},   {"suspended\n", std::nullopt, 3},
        {"resuming", std::nullopt, 3},   {"unsupported\n", std::nullopt, std::nullopt},
        {"error", std::nullopt, std::nullopt}, {"", std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParsePciPowerState(c.text), c.pci) << c.text;
        EXPECT_EQ(ParseRuntimeStatus(c.text), c.runtime) << c.text;
    }
}

}  // namespace
}  // namespace kestrun::platform::linux_backend
