// File properties on Linux: the mount table that says what is read-only, the
// version strings of an installed package's ELF file (checked against
// dpkg-query) and of a Windows executable the test writes, and a file on a
// read-only bind mount the test makes in a mount namespace of its own.
#include "PeImageWriter.h"
#include "platform/LastError.h"
#include "platform/linux/DpkgIndex.h"
#include "platform/linux/LinuxPlatform.h"
#include "platform/linux/MountTable.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kestrun::platform::linux_backend {
namespace {

namespace fs = std::filesystem;

TEST(LinuxMountTable, TheLongestMountPointDecidesAndTheLaterOfTwoAtOnePoint)
{
    const char* const kMountInfo =
        "22 1 254:0 / / rw,relatime shared:1 - ext4 /dev/vda rw\n"
        "23 22 254:0 /usr /usr ro,relatime shared:2 - ext4 /dev/vda rw\n"
        "24 23 254:0 /usr/local /usr/local rw,relatime - ext4 /dev/vda rw\n"
        "25 22 0:5 / /mnt/with\\040blank rw - tmpfs tmpfs ro\n"
        "26 22 254:0 /srv /srv rw - ext4 /dev/vda rw\n"
        "27 22 254:0 /srv /srv ro - ext4 /dev/vda rw\n"
        "malformed line\n";
    MountTable mounts;
    ASSERT_TRUE(mounts.Parse(kMountInfo));
    struct Case {
        const char* path;
        bool readOnly;
    };
    const Case cases[] = {
        {"/etc/passwd", false},
        {"/usr/bin/bash", true},        // a read-only bind of a writable device
        {"/usr", true},
        {"/usrx/file", false},          // not below /usr
        {"/usr/local/bin/tool", false},
        {"/mnt/with blank/f", true},    // read-only by the file system's own options
        {"/srv/data", true},            // mounted over the writable one
    };
    for (const Case& c : cases) EXPECT_EQ(mounts.ReadOnly(c.path), c.readOnly) << c.path;
    EXPECT_FALSE(MountTable().Parse("nothing here\n"));
    EXPECT_EQ(UnescapeMountPath("a\\040b\\011c\\\\d\\9"), std::string("a b\tc\\\\d\\9"));
}

std::string Output(const std::string& command)
{
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        std::array<char, 512> buffer{};
        while (std::fgets(buffer.data(), buffer.size(), pipe) != nullptr) out += buffer.data();
        ::pclose(pipe);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

TEST(LinuxFileVersion, AnInstalledProgramShowsItsPackagesSummaryAndVersion)
{
    const std::string version = Output("dpkg-query -W -f='${Version}' bash 2>/dev/null");
    const std::string summary = Output("dpkg-query -W -f='${binary:Summary}' bash 2>/dev/null");
    if (version.empty()) GTEST_SKIP() << "bash is not installed from a Debian package here";
    auto shell = CreateLinuxShell(std::make_shared<DpkgIndex>(), "/usr/share/doc");
    const std::optional<VersionInfo> info = shell->GetVersionInfo(L"/bin/bash");  // merged /usr: listed as /bin/bash
    ASSERT_TRUE(info);
    EXPECT_EQ(Narrow(info->fileVersion), version);
    EXPECT_EQ(Narrow(info->fileDescription), summary);
    EXPECT_FALSE(info->companyName.empty());
    if (fs::exists("/usr/share/doc/bash/copyright")) {
        EXPECT_EQ(Narrow(info->legalCopyright).rfind("Copyright", 0), 0u);
    }
    const std::optional<FileInfo> file = shell->GetFileInfo(L"/usr/bin/bash");
    ASSERT_TRUE(file);
    EXPECT_NE(file->attributes & kFileSystem, 0u) << "a file a package installed";
}

class LinuxFileTree : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/kestrun-files-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root_ = pattern;
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    void Write(const std::string& name, const std::vector<uint8_t>& bytes) const
    {
        std::ofstream(root_ / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    fs::path root_;
};

TEST_F(LinuxFileTree, AWindowsExecutableShowsItsOwnVersionResource)
{
    using namespace kestrun::testing;
    Write("telnetd.dll", PeImage(VersionResource(u"040904e4", {{u"FileDescription", u"Telnet server"}, {u"CompanyName", u"Kestrel"}},
                                                 {{0x0407, 0x04B0}})));
    Write("notes.txt", {'h', 'i'});
    auto shell = CreateLinuxShell(std::make_shared<DpkgIndex>(), "/usr/share/doc");
    const auto info = shell->GetVersionInfo(Widen((root_ / "telnetd.dll").string()));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->fileDescription, L"Telnet server");
    EXPECT_EQ(info->companyName, L"Kestrel");
    SetLastError(0);
    EXPECT_FALSE(shell->GetVersionInfo(Widen((root_ / "notes.txt").string())));  // owned by no package
    EXPECT_NE(GetLastError(), 0u);
    const auto file = shell->GetFileInfo(Widen((root_ / "notes.txt").string()));
    ASSERT_TRUE(file);
    EXPECT_EQ(file->attributes & (kFileSystem | kFileInRom | kFileRomModule), 0u);
    EXPECT_EQ(file->size, 2u);
}

TEST_F(LinuxFileTree, AFileOnAReadOnlyBindMountIsReadOnlyInRomAndAnElfIsARomModule)
{
    fs::copy_file("/proc/self/exe", root_ / "program");
    Write("data.bin", {1, 2, 3});
    int result[2];
    ASSERT_EQ(::pipe(result), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // A mount namespace of the child's own: the bind mount goes with it.
        char verdict = 'S';  // skipped: no mount namespace here
        const std::string dir = root_.string();
        if (::unshare(CLONE_NEWNS) == 0 && ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
            ::mount(dir.c_str(), dir.c_str(), nullptr, MS_BIND, nullptr) == 0 &&
            ::mount(nullptr, dir.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0) {
            auto shell = CreateLinuxShell();
            const auto program = shell->GetFileInfo(Widen(dir + "/program"));
            const auto data = shell->GetFileInfo(Widen(dir + "/data.bin"));
            std::ifstream info("/proc/self/mountinfo");
            const std::string text((std::istreambuf_iterator<char>(info)), std::istreambuf_iterator<char>());
            MountTable mounts;
            const bool tableSays = mounts.Parse(text) && mounts.ReadOnly(dir + "/program") && !mounts.ReadOnly("/tmp");
            const uint32_t rom = kFileReadOnly | kFileInRom;
            const bool ok = program && data && (program->attributes & (rom | kFileRomModule)) == (rom | kFileRomModule) &&
                            (data->attributes & rom) == rom && (data->attributes & kFileRomModule) == 0 && tableSays;
            verdict = ok ? 'Y' : 'N';
        }
        if (::write(result[1], &verdict, 1) != 1) ::_exit(2);
        ::_exit(0);
    }
    char verdict = 0;
    ASSERT_EQ(::read(result[0], &verdict, 1), 1);
    ::waitpid(child, nullptr, 0);
    ::close(result[0]);
    ::close(result[1]);
    if (verdict == 'S') GTEST_SKIP() << "no mount namespace can be made here";
    EXPECT_EQ(verdict, 'Y');
}

}  // namespace
}  // namespace kestrun::platform::linux_backend
