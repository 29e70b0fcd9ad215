#include "pages/core/AppOptions.h"
#include "platform/Types.h"
#include "platform/common/RegistryStore.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kestrun {
namespace {

namespace fs = std::filesystem;
using platform::Hive;
using platform::RegValue;

class OptionsStore : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/kestrun-options-XXXXXX";
        dir_ = mkdtemp(pattern);
        path_ = dir_ / "user.db";
    }
    void TearDown() override
    {
        chmod(path_.c_str(), 0600);
        fs::remove_all(dir_);
    }
    std::unique_ptr<platform::Registry> Open() { return platform::CreateRegistryStore({path_.string(), ":memory:"}); }
    std::string Bytes() const
    {
        std::ifstream in(path_, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    fs::path dir_;
    fs::path path_;
};

TEST_F(OptionsStore, MissingValuesGiveOnOnOnOff)
{
    auto registry = Open();
    const AppOptions options = AppOptions::Load(*registry);
    EXPECT_TRUE(options.AlwaysOnTop);
    EXPECT_TRUE(options.HideWhenMinimized);
    EXPECT_TRUE(options.MinimizeAfterProgramSwitch);
    EXPECT_FALSE(options.AutoScale);
    EXPECT_FALSE(fs::exists(path_)) << "reading must not create the store";
}

TEST_F(OptionsStore, OnlyExactlyOneReadsAsTrue)
{
    auto registry = Open();
    ASSERT_TRUE(registry->SetValue(Hive::CurrentUser, kOptionsKey, L"AlwaysOnTop", RegValue::Dword(2)));
    ASSERT_TRUE(registry->SetValue(Hive::CurrentUser, kOptionsKey, L"HideWhenMinimized", RegValue::Dword(0)));
    ASSERT_TRUE(registry->SetValue(Hive::CurrentUser, kOptionsKey, L"MinimizeAfterProgramSwitch", RegValue::String(L"1")));
    ASSERT_TRUE(registry->SetValue(Hive::CurrentUser, kOptionsKey, L"AutoScale", RegValue::Dword(1)));
    const AppOptions options = AppOptions::Load(*registry);
    EXPECT_FALSE(options.AlwaysOnTop);
    EXPECT_FALSE(options.HideWhenMinimized);
    EXPECT_FALSE(options.MinimizeAfterProgramSwitch) << "a value of another type is not the number 1";
    EXPECT_TRUE(options.AutoScale);
}

TEST_F(OptionsStore, SaveWritesFourDwordsThatLoadBack)
{
    {
        auto registry = Open();
        AppOptions options;
        options.AlwaysOnTop = false;
        options.HideWhenMinimized = true;
        options.MinimizeAfterProgramSwitch = false;
        options.AutoScale = true;
        ASSERT_TRUE(options.Save(*registry));
    }
    auto registry = Open();
    const auto values = registry->EnumValues(Hive::CurrentUser, kOptionsKey);
    ASSERT_TRUE(values.has_value());
    ASSERT_EQ(values->size(), 4u);
    for (const auto& [name, value] : *values) {
        EXPECT_EQ(value.type, platform::ValueType::Dword) << platform::Narrow(name);
        EXPECT_LE(value.dword, 1u);
    }
    const AppOptions options = AppOptions::Load(*registry);
    EXPECT_FALSE(options.AlwaysOnTop);
    EXPECT_TRUE(options.HideWhenMinimized);
    EXPECT_FALSE(options.MinimizeAfterProgramSwitch);
    EXPECT_TRUE(options.AutoScale);
}

TEST_F(OptionsStore, CorruptStoreGivesDefaultsAndTheSessionsChangesAreKept)
{
    {
        std::ofstream out(path_, std::ios::binary);
        out << "this is not a database, but it is somebody's file\n";
    }
    const std::string before = Bytes();
    {
        auto registry = Open();
        AppOptions options = AppOptions::Load(*registry);
        EXPECT_TRUE(options.AlwaysOnTop);
        EXPECT_FALSE(options.AutoScale);
        options.AlwaysOnTop = false;
        EXPECT_TRUE(options.Save(*registry)) << "the session's changes go into a fresh store";
    }
    std::ifstream aside(path_.string() + ".damaged", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(aside), std::istreambuf_iterator<char>()), before)
        << "the damaged file is kept aside byte for byte";
    auto registry = Open();
    EXPECT_FALSE(AppOptions::Load(*registry).AlwaysOnTop);
}

TEST_F(OptionsStore, UnreadableStoreGivesDefaults)
{
    {
        auto registry = Open();
        AppOptions options;  // all off: the defaults would read differently
        ASSERT_TRUE(options.Save(*registry));
    }
    chmod(dir_.c_str(), 0755);
    chmod(path_.c_str(), 0);
    // Root reads any file, so the reading is done by a child that gives up root.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
        auto registry = Open();
        const AppOptions options = AppOptions::Load(*registry);
        const bool defaults = options.AlwaysOnTop && options.HideWhenMinimized && options.MinimizeAfterProgramSwitch &&
                              !options.AutoScale;
        _exit(defaults ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "an unreadable store must give the defaults (3: could not drop root)";
}

}  // namespace
}  // namespace kestrun
