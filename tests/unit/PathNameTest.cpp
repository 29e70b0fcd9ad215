// The parts of a POSIX path: the file name modules and services are shown by,
// and the folder the settings store creates and makes durable.
#include "platform/common/PathName.h"

#include <gtest/gtest.h>

namespace kestrun::platform {
namespace {

TEST(PathName, FileNameIsWhatFollowsTheLastSlash)
{
    const struct {
        const char* path;
        const char* name;
    } cases[] = {
        {"/usr/lib/libc.so.6", "libc.so.6"},
        {"sshd", "sshd"},
        {"/init", "init"},
        {"/var/lib/", ""},
        {"", ""},
        {"/a b/c d", "c d"},
    };
    for (const auto& c : cases) EXPECT_EQ(FileNameOf(c.path), c.name) << c.path;
}

TEST(PathName, ParentFolderIsBeforeTheLastSlashWithRootAndCurrentFolderKept)
{
    const struct {
        const char* path;
        const char* folder;
    } cases[] = {
        {"/home/u/.config/kestrun/user.db", "/home/u/.config/kestrun"},
        {"/machine.db", "/"},
        {"/", "/"},
        {"user.db", "."},
        {"rel/user.db", "rel"},
        {"/var/lib/kestrun", "/var/lib"},
    };
    for (const auto& c : cases) EXPECT_EQ(ParentFolderOf(c.path), c.folder) << c.path;
}

}  // namespace
}  // namespace kestrun::platform
