// What the File properties dialog shows on the simulated device: the fields,
// the attributes, "n/a" and empty texts for what cannot be read, and the caption.
#include "dialogs/core/FileProperties.h"
#include "platform/sim/SimPlatform.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace kestrun {
namespace {

using namespace platform;
using platform::sim::SimCall;

class FilePropertiesOnDevice : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim_ = sim::CreateSimPlatformForTest(sim::SimProfile{});
        ASSERT_NE(sim_, nullptr);
    }
    sim::SimDevice& device() { return sim_->device(); }

    std::unique_ptr<sim::SimPlatform> sim_;
};

TEST_F(FilePropertiesOnDevice, ShowsTheFieldsTimesAndAttributesOfAFile)
{
    FileInfo info;
    info.size = 12345;
    info.attributes = kFileReadOnly | kFileSystem | kFileInRom | kFileRomModule;
    info.creation = FileTime::FromValue(133485408000000000ull + 10000000ull * 61);  // 2024-01-01 00:01:01
    info.lastWrite = FileTime::FromValue(133485408000000000ull);
    info.lastAccess = FileTime::FromValue(0x8000000000000000ull);  // no date
    VersionInfo version;
    version.fileDescription = L"Telnet server";
    version.fileVersion = L"5.0.1400";
    version.companyName = L"Kestrel Devices";
    device().AddFile(L"\\Windows\\telnetd.dll", info, version);

    const FileProperties shown = ReadFileProperties(sim_->shell(), L"\\Windows", L"telnetd.dll");
    EXPECT_EQ(shown.caption, L"telnetd.dll Properties");
    EXPECT_EQ(shown.location, L"\\Windows");
    EXPECT_EQ(shown.description, L"Telnet server");
    EXPECT_EQ(shown.version, L"5.0.1400");
    EXPECT_EQ(shown.copyright, L"n/a");  // no such string
    EXPECT_EQ(shown.company, L"Kestrel Devices");
    EXPECT_EQ(shown.size, L"12345 bytes");
    EXPECT_EQ(shown.created, L"2024/01/01 00:01:01");
    EXPECT_EQ(shown.lastChange, L"2024/01/01 00:00:00");
    EXPECT_EQ(shown.lastAccess, L"");
    EXPECT_TRUE(shown.readOnly);
    EXPECT_TRUE(shown.system);
    EXPECT_FALSE(shown.hidden);
    EXPECT_FALSE(shown.compressed);
    EXPECT_TRUE(shown.inRom);
    EXPECT_TRUE(shown.romModule);
}

TEST_F(FilePropertiesOnDevice, AnEmptyFileHasZeroBytesAndNoVersion)
{
    FileInfo info;
    info.attributes = kFileHidden | kFileCompressed;
    device().AddFile(L"\\Temp\\empty.exe", info);
    const FileProperties shown = ReadFileProperties(sim_->shell(), L"\\Temp", L"empty.exe");
    EXPECT_EQ(shown.size, L"0 bytes");
    EXPECT_TRUE(shown.hidden);
    EXPECT_TRUE(shown.compressed);
    EXPECT_EQ(shown.description, L"n/a");
    EXPECT_EQ(shown.version, L"n/a");
}

TEST_F(FilePropertiesOnDevice, AFileThatCannotBeReadShowsItsLocationAndNothingElse)
{
    const FileProperties missing = ReadFileProperties(sim_->shell(), L"\\Nowhere", L"ghost.dll");
    EXPECT_EQ(missing.caption, L"ghost.dll Properties");
    EXPECT_EQ(missing.location, L"\\Nowhere");
    EXPECT_EQ(missing.size, L"");
    EXPECT_EQ(missing.created, L"");
    EXPECT_EQ(missing.company, L"n/a");
    EXPECT_FALSE(missing.readOnly || missing.system || missing.hidden || missing.compressed || missing.inRom || missing.romModule);

    device().AddFile(L"\\Windows\\locked.dll", FileInfo{});
    device().InjectFailure(SimCall::FileInfo, EACCES);
    device().InjectFailure(SimCall::VersionInfo, EIO);
    const FileProperties locked = ReadFileProperties(sim_->shell(), L"\\Windows", L"locked.dll");
    EXPECT_EQ(locked.size, L"");
    EXPECT_EQ(locked.version, L"n/a");
}

TEST_F(FilePropertiesOnDevice, FilesOfFourGigabytesAndMoreShowTheirWholeSize)
{
    FileInfo info;
    info.size = (uint64_t{1} << 32) + 5;
    device().AddFile(L"\\Data\\big.bin", info);
    EXPECT_EQ(ReadFileProperties(sim_->shell(), L"\\Data", L"big.bin").size, L"4294967301 bytes");
}

TEST(FilePropertiesPath, FolderAndNameJoinWithTheFoldersOwnSeparator)
{
    struct Case {
        const wchar_t* folder;
        const wchar_t* name;
        const wchar_t* path;
    };
    const Case cases[] = {
        {L"\\Windows", L"nk.exe", L"\\Windows\\nk.exe"},
        {L"/usr/bin", L"bash", L"/usr/bin/bash"},
        {L"/", L"init", L"/init"},
        {L"", L"alone.exe", L"alone.exe"},
    };
    for (const Case& c : cases) EXPECT_EQ(JoinPath(c.folder, c.name), c.path) << c.folder;
}

}  // namespace
}  // namespace kestrun
