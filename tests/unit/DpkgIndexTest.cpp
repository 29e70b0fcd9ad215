// The package database index against the small database of tests/fixtures/dpkg.
#include "platform/linux/DpkgIndex.h"

#include "tests/support/Fixtures.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace kestrun::platform::linux_backend {
namespace {

std::string FixtureRoot()
{
    return testing::FixturePath("dpkg");
}

struct OwnerCase {
    const char* path;
    const char* package;  // null: no owner
};

TEST(DpkgIndex, FindsTheInstalledPackageOwningAPathInEitherMergedUsrSpelling)
{
    DpkgIndex index(FixtureRoot());
    const OwnerCase cases[] = {
        {"/usr/sbin/sshd", "openssh-server"},
        {"/usr/lib/openssh/sftp-server", "openssh-server"},
        {"/usr/bin/bash", "bash"},                              // listed as /bin/bash
        {"/bin/bash", "bash"},
        {"/usr/lib/x86_64-linux-gnu/libc.so.6", "libc6"},      // a multi-arch list, libc6:amd64.list
        {"/usr/bin/removed-tool", nullptr},                    // its package is gone, only its conffiles stay
        {"/usr/bin/half-done", nullptr},                       // not installed completely
        {"/usr/sbin/unknown", nullptr},
        {"", nullptr},
        {"/.", nullptr},
    };
    for (const OwnerCase& c : cases) {
        const DpkgPackage* owner = index.OwnerOf(c.path);
        if (c.package == nullptr) {
            EXPECT_EQ(owner, nullptr) << c.path << " owned by " << (owner ? owner->name : "");
        } else {
            ASSERT_NE(owner, nullptr) << c.path;
            EXPECT_EQ(owner->name, c.package) << c.path;
        }
    }
}

TEST(DpkgIndex, KeepsTheSummaryVersionAndMaintainerOfEachPackage)
{
    DpkgIndex index(FixtureRoot());
    const DpkgPackage* ssh = index.OwnerOf("/usr/sbin/sshd");
    ASSERT_NE(ssh, nullptr);
    EXPECT_EQ(ssh->summary, "secure shell (SSH) server, for secure access from remote machines");
    EXPECT_EQ(ssh->version, "1:9.2p1-2+deb12u3");
    EXPECT_EQ(ssh->maintainer, "Debian OpenSSH Maintainers <debian-ssh@lists.debian.org>");
    EXPECT_EQ(index.OwnerOf("/bin/bash")->summary, "GNU Bourne Again SHell");
}

TEST(DpkgIndex, AMissingDatabaseOwnsNothing)
{
    DpkgIndex index("/nonexistent/kestrun/dpkg");
    EXPECT_EQ(index.OwnerOf("/usr/bin/bash"), nullptr);
    EXPECT_EQ(index.PathCount(), 0u);
}

TEST(DpkgIndex, IndexesThisMachinesDatabase)
{
    if (!std::filesystem::exists("/var/lib/dpkg/status")) GTEST_SKIP() << "not a Debian system";
    DpkgIndex index;
    EXPECT_GT(index.PathCount(), 1000u);
    const DpkgPackage* sh = index.OwnerOf("/usr/bin/dpkg");
    ASSERT_NE(sh, nullptr);
    EXPECT_EQ(sh->name, "dpkg");
}

}  // namespace
}  // namespace kestrun::platform::linux_backend
