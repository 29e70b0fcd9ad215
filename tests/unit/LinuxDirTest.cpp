// The Linux backend's owners of C resources: a directory stream opened below a
// directory handle lists the directory, reads relative to it, says why it could
// not open, and leaves no descriptor behind.
#include "platform/linux/Dir.h"
#include "platform/linux/Fd.h"
#include "platform/linux/ProcDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <unistd.h>

namespace kestrun::platform::linux_backend {
namespace {

namespace fs = std::filesystem;

class DirTest : public ::testing::Test {
protected:
    DirTest()
    {
        std::string pattern = (fs::temp_directory_path() / "kestrun-dir-XXXXXX").string();
        root_ = ::mkdtemp(pattern.data());
        fs::create_directory(root_ / "task");
        std::ofstream(root_ / "task" / "7") << "seven";
        std::ofstream(root_ / "task" / "8") << "eight";
        std::ofstream(root_ / "plain") << "not a folder";
        rootFd_ = Fd(::open(root_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    }
    ~DirTest() override { fs::remove_all(root_); }

    static size_t OpenDescriptors()
    {
        size_t count = 0;
        for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++count;
        return count;
    }

    fs::path root_;
    Fd rootFd_;
};

TEST_F(DirTest, ListsTheDirectoryAndReadsRelativeToIt)
{
    Dir task(rootFd_.get(), "task");
    ASSERT_TRUE(task.valid());
    std::set<std::string> names;
    while (const dirent* entry = task.Next()) names.insert(entry->d_name);
    EXPECT_EQ(names, (std::set<std::string>{".", "..", "7", "8"}));
    std::string text;
    EXPECT_EQ(ReadFileAt(task.fd(), "8", text), ProcRead::kOk);
    EXPECT_EQ(text, "eight");
}

TEST_F(DirTest, OpensTheHandlesOwnDirectoryAndLeavesTheHandleOpen)
{
    {
        Dir self(rootFd_.get(), ".");
        ASSERT_TRUE(self.valid());
        EXPECT_NE(self.fd(), rootFd_.get());
    }
    std::string text;
    EXPECT_EQ(ReadFileAt(rootFd_.get(), "task/7", text), ProcRead::kOk);
    EXPECT_EQ(text, "seven");
}

TEST_F(DirTest, SaysWhyItCouldNotOpen)
{
    const struct {
        const char* name;
        int error;
    } cases[] = {
        {"missing", ENOENT},
        {"plain", ENOTDIR},
        {"task/7", ENOTDIR},
    };
    for (const auto& c : cases) {
        errno = 0;
        const Dir dir(rootFd_.get(), c.name);
        EXPECT_FALSE(dir.valid()) << c.name;
        EXPECT_EQ(errno, c.error) << c.name;
    }
    errno = 0;
    EXPECT_FALSE(Dir(-1, "task").valid());
    EXPECT_EQ(errno, EBADF);
}

TEST_F(DirTest, LeavesNoDescriptorBehind)
{
    const size_t before = OpenDescriptors();
    for (int i = 0; i < 3; ++i) {
        Dir task(rootFd_.get(), "task");
        ASSERT_TRUE(task.valid());
        while (task.Next() != nullptr) {
        }
        const Dir missing(rootFd_.get(), "missing");
        const Dir plain(rootFd_.get(), "plain");
    }
    EXPECT_EQ(OpenDescriptors(), before);
}

TEST(Fd, ClosesWhatItOwnsAndHandsOverOnMove)
{
    Fd first(::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    ASSERT_TRUE(first.valid());
    const int number = first.get();
    Fd second(std::move(first));
    EXPECT_FALSE(first.valid());
    EXPECT_EQ(second.get(), number);
    second = Fd();
    EXPECT_FALSE(second.valid());
    EXPECT_EQ(::fcntl(number, F_GETFD), -1);  // closed by the assignment
    EXPECT_EQ(errno, EBADF);
}

}  // namespace
}  // namespace kestrun::platform::linux_backend
