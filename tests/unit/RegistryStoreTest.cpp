#include "tests/unit/ScopedEnv.h"
#include "platform/common/RegistryStore.h"
#include "platform/common/HiveFile.h"

#include "platform/LastError.h"
#include "platform/Notice.h"
#include "platform/Types.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

namespace kestrun::platform {
namespace {

namespace fs = std::filesystem;

const std::wstring kOptions = L"Software\\Dravik\\Dravik Task Manager\\Options";

std::string ReadBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteBytes(const fs::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

bool SameValue(const RegValue& a, const RegValue& b)
{
    if (a.type != b.type) return false;
    switch (a.type) {
    case ValueType::Dword: return a.dword == b.dword;
    case ValueType::String: return a.string == b.string;
    case ValueType::MultiString: return a.multiString == b.multiString;
    case ValueType::Binary: return a.binary == b.binary;
    }
    return false;
}

// Runs sql on a database file outside the store.
void RunSql(const fs::path& path, const std::string& sql)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    char* message = nullptr;
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
    const std::string text = message != nullptr ? message : "";
    sqlite3_free(message);
    sqlite3_close(db);
    ASSERT_EQ(rc, SQLITE_OK) << text;
}

class RegistryStoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/kestrun-registry-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        paths_.currentUser = (root_ / "config" / "kestrun" / "user.db").string();
        paths_.localMachine = (root_ / "machine" / "machine.db").string();
        store_ = CreateRegistryStore(paths_);
    }

    void TearDown() override
    {
        store_.reset();
        chmod(root_.c_str(), 0700);
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    // A store that starts from the files alone, with no connection kept from before.
    std::unique_ptr<Registry> Reopen() const { return CreateRegistryStore(paths_); }

    fs::path Machine() const { return paths_.localMachine; }

    fs::path root_;
    RegistryPaths paths_;
    std::unique_ptr<Registry> store_;
};

// ---- values ------------------------------------------------------------------

TEST_F(RegistryStoreTest, EveryValueTypeSurvivesAReopen)
{
    const std::vector<std::pair<std::wstring, RegValue>> cases = {
        {L"DwordZero", RegValue::Dword(0)},
        {L"DwordMax", RegValue::Dword(0xFFFFFFFFu)},
        {L"StringEmpty", RegValue::String(L"")},
        {L"StringWide", RegValue::String(L"Gr\u00FC\u00DFe \u2603 \U0001D11E")},
        {L"StringWithNul", RegValue::String(std::wstring(L"a\0b", 3))},
        {L"MultiEmpty", RegValue::Multi({})},
        {L"MultiMixed", RegValue::Multi({L"", L"one", L"\u00E9t\u00E9", L"with \"quotes\" and \\"})},
        {L"BinaryEmpty", RegValue::Bytes({})},
        {L"BinaryBytes", RegValue::Bytes({0x00, 0xFF, 0x10, 0x00, 0x7F})},
    };
    for (const auto& [name, value] : cases) ASSERT_TRUE(store_->SetValue(Hive::CurrentUser, kOptions, name, value)) << Narrow(name);

    const auto reopened = Reopen();
    for (const auto& [name, value] : cases) {
        const auto read = reopened->QueryValue(Hive::CurrentUser, kOptions, name);
        ASSERT_TRUE(read.has_value()) << Narrow(name) << " error " << GetLastError();
        EXPECT_TRUE(SameValue(*read, value)) << Narrow(name);
    }
}

TEST_F(RegistryStoreTest, SettingAValueAgainReplacesItsTypeAndData)
{
    ASSERT_TRUE(store_->SetValue(Hive::CurrentUser, kOptions, L"AutoScale", RegValue::Dword(1)));
    ASSERT_TRUE(store_->SetValue(Hive::CurrentUser, kOptions, L"AutoScale", RegValue::String(L"yes")));
    const auto read = store_->QueryValue(Hive::CurrentUser, kOptions, L"AutoScale");
    ASSERT_TRUE(read.has_value());
    EXPECT_TRUE(SameValue(*read, RegValue::String(L"yes")));
    EXPECT_EQ(store_->EnumValues(Hive::CurrentUser, kOptions)->size(), 1u);
}

TEST_F(RegistryStoreTest, UnknownValueTypeIsRefused)
{
    RegValue odd;
    odd.type = static_cast<ValueType>(2);
    EXPECT_FALSE(store_->SetValue(Hive::CurrentUser, kOptions, L"Odd", odd));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EINVAL));
    EXPECT_FALSE(fs::exists(paths_.currentUser));
}

// ---- names -------------------------------------------------------------------

TEST_F(RegistryStoreTest, KeyAndValueNamesMatchWhateverTheirCase)
{
    ASSERT_TRUE(store_->SetValue(Hive::CurrentUser, kOptions, L"AlwaysOnTop", RegValue::Dword(1)));
    ASSERT_TRUE(store_->SetValue(Hive::CurrentUser, L"\u00C4rger", L"\u00C9t\u00E9", RegValue::Dword(2)));

    const auto upper = store_->QueryValue(Hive::CurrentUser, L"SOFTWARE\\DRAVIK\\dravik task manager\\OPTIONS", L"ALWAYSONTOP");
    ASSERT_TRUE(upper.has_value());
    EXPECT_EQ(upper->dword, 1u);
    const auto wide = store_->QueryValue(Hive::CurrentUser, L"\u00E4RGER", L"\u00E9T\u00C9");
    ASSERT_TRUE(wide.has_value());
    EXPECT_EQ(wide->dword, 2u);

    // Writing under another case changes the same value and keeps the names as first written.
    ASSERT_TRUE(store_->SetValue(Hive::CurrentUser, L"software\\dravik\\DRAVIK TASK MANAGER\\options", L"alwaysontop", RegValue::Dword(0)));
    const auto values = store_->EnumValues(Hive::CurrentUser, kOptions);
    ASSERT_TRUE(values.has_value());
    ASSERT_EQ(values->size(), 1u);
    EXPECT_EQ(values->front().first, L"AlwaysOnTop");
    EXPECT_EQ(values->front().second.dword, 0u);
    EXPECT_EQ(*store_->EnumSubKeys(Hive::CurrentUser, L""), (std::vector<std::wstring>{L"Software", L"\u00C4rger"}));
}

TEST_F(RegistryStoreTest, EmptyPartsOfAKeyPathAreIgnored)
{
    ASSERT_TRUE(store_->CreateKey(Hive::CurrentUser, L"\\Comm\\\\AdapterNameMappings\\"));
    EXPECT_TRUE(store_->KeyExists(Hive::CurrentUser, L"Comm\\AdapterNameMappings"));
    EXPECT_EQ(*store_->EnumSubKeys(Hive::CurrentUser, L"Comm"), std::vector<std::wstring>{L"AdapterNameMappings"});
}

// ---- keys --------------------------------------------------------------------

TEST_F(RegistryStoreTest, EnumerationListsDirectChildrenInCreationOrder)
{
    for (const wchar_t* name : {L"Zeta", L"Alpha", L"Mid"}) ASSERT_TRUE(store_->CreateKey(Hive::LocalMachine, std::wstring(L"Services\\") + name));
    ASSERT_TRUE(store_->CreateKey(Hive::LocalMachine, L"Services\\Alpha\\Deeper"));
    ASSERT_TRUE(store_->SetValue(Hive::LocalMachine, L"Services\\Alpha", L"Prefix", RegValue::String(L"ALP")));
    ASSERT_TRUE(store_->SetValue(Hive::LocalMachine, L"Services\\Alpha", L"Index", RegValue::Dword(0)));

    EXPECT_EQ(*store_->EnumSubKeys(Hive::LocalMachine, L"Services"), (std::vector<std::wstring>{L"Zeta", L"Alpha", L"Mid"}));
    const auto values = store_->EnumValues(Hive::LocalMachine, L"Services\\Alpha");
    ASSERT_TRUE(values.has_value());
    ASSERT_EQ(values->size(), 2u);
    EXPECT_EQ((*values)[0].first, L"Prefix");
    EXPECT_EQ((*values)[0].second.string, L"ALP");
    EXPECT_EQ((*values)[1].first, L"Index");
    EXPECT_TRUE(store_->EnumValues(Hive::LocalMachine, L"Services\\Zeta")->empty());
    EXPECT_TRUE(store_->EnumSubKeys(Hive::LocalMachine, L"Services\\Zeta")->empty());
}

TEST_F(RegistryStoreTest, DeletingAKeyRemovesItsSubtreeAndValues)
{
    ASSERT_TRUE(store_->SetValue(Hive::LocalMachine, L"A\\B", L"v", RegValue::Dword(1)));
    ASSERT_TRUE(store_->SetValue(Hive::LocalMachine, L"A\\B\\C", L"w", RegValue::Dword(2)));
    ASSERT_TRUE(store_->SetValue(Hive::LocalMachine, L"A", L"kept", RegValue::Dword(3)));

    ASSERT_TRUE(store_->DeleteKey(Hive::LocalMachine, L"a\\b"));
    EXPECT_TRUE(store_->KeyExists(Hive::LocalMachine, L"A"));
    EXPECT_FALSE(store_->KeyExists(Hive::LocalMachine, L"A\\B\\C"));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ENOENT));
    EXPECT_TRUE(store_->QueryValue(Hive::LocalMachine, L"A", L"kept").has_value());

    // A key made again under the old name starts empty.
    ASSERT_TRUE(store_->CreateKey(Hive::LocalMachine, L"A\\B\\C"));
    EXPECT_TRUE(store_->EnumValues(Hive::LocalMachine, L"A\\B")->empty());
    EXPECT_TRUE(store_->EnumValues(Hive::LocalMachine, L"A\\B\\C")->empty());
}

TEST_F(RegistryStoreTest, MissingThingsAreReportedAsNotFound)
{
    ASSERT_TRUE(store_->SetValue(Hive::LocalMachine, L"Present", L"v", RegValue::Dword(1)));
    const std::vector<std::pair<const char*, std::function<bool()>>> calls = {
        {"query missing value", [&] { return store_->QueryValue(Hive::LocalMachine, L"Present", L"nope").has_value(); }},
        {"query in missing key", [&] { return store_->QueryValue(Hive::LocalMachine, L"Absent", L"v").has_value(); }},
        {"key exists", [&] { return store_->KeyExists(Hive::LocalMachine, L"Present\\Absent"); }},
        {"enum subkeys", [&] { return store_->EnumSubKeys(Hive::LocalMachine, L"Absent").has_value(); }},
        {"enum values", [&] { return store_->EnumValues(Hive::LocalMachine, L"Absent").has_value(); }},
        {"delete value", [&] { return store_->DeleteValue(Hive::LocalMachine, L"Present", L"nope"); }},
        {"delete key", [&] { return store_->DeleteKey(Hive::LocalMachine, L"Absent"); }},
    };
    for (const auto& [what, call] : calls) {
        SetLastError(0);
        EXPECT_FALSE(call()) << what;
        EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ENOENT)) << what;
    }
    EXPECT_FALSE(store_->DeleteKey(Hive::LocalMachine, L"\\"));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EINVAL));
}

TEST_F(RegistryStoreTest, HivesAreSeparate)
{
    ASSERT_TRUE(store_->SetValue(Hive::CurrentUser, L"K", L"v", RegValue::Dword(1)));
    EXPECT_FALSE(store_->KeyExists(Hive::LocalMachine, L"K"));
    EXPECT_FALSE(fs::exists(Machine()));
}

// ---- files -------------------------------------------------------------------

TEST_F(RegistryStoreTest, ReadingAMissingHiveCreatesNothing)
{
    EXPECT_FALSE(store_->QueryValue(Hive::CurrentUser, kOptions, L"AlwaysOnTop").has_value());
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ENOENT));
    EXPECT_TRUE(store_->KeyExists(Hive::CurrentUser, L""));
    EXPECT_EQ(store_->EnumSubKeys(Hive::CurrentUser, L""), std::optional(std::vector<std::wstring>{}));
    EXPECT_FALSE(store_->DeleteValue(Hive::CurrentUser, kOptions, L"AlwaysOnTop"));
    EXPECT_FALSE(store_->DeleteKey(Hive::CurrentUser, kOptions));
    EXPECT_FALSE(fs::exists(root_ / "config"));
}

TEST_F(RegistryStoreTest, FirstWriteMakesAPrivateDirectoryAndFile)
{
    const mode_t old = umask(022);
    const bool written = store_->SetValue(Hive::CurrentUser, kOptions, L"AutoScale", RegValue::Dword(1));
    umask(old);
    ASSERT_TRUE(written);
    struct stat st {};
    ASSERT_EQ(stat((root_ / "config" / "kestrun").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(stat(paths_.currentUser.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(RegistryStoreTest, TwoStoresOnOneFileSeeEachOthersWrites)
{
    const auto other = Reopen();
    ASSERT_TRUE(store_->SetValue(Hive::CurrentUser, kOptions, L"AutoScale", RegValue::Dword(1)));
    ASSERT_EQ(other->QueryValue(Hive::CurrentUser, kOptions, L"AutoScale")->dword, 1u);
    ASSERT_TRUE(other->SetValue(Hive::CurrentUser, kOptions, L"AutoScale", RegValue::Dword(0)));
    EXPECT_EQ(store_->QueryValue(Hive::CurrentUser, kOptions, L"AutoScale")->dword, 0u);
}

TEST_F(RegistryStoreTest, AHiveFileRemovedUnderTheStoreReadsAsMissing)
{
    ASSERT_TRUE(store_->SetValue(Hive::CurrentUser, kOptions, L"AutoScale", RegValue::Dword(1)));
    ASSERT_TRUE(fs::remove(paths_.currentUser));
    EXPECT_FALSE(store_->QueryValue(Hive::CurrentUser, kOptions, L"AutoScale").has_value());
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ENOENT));
    ASSERT_TRUE(store_->SetValue(Hive::CurrentUser, kOptions, L"HideWhenMinimized", RegValue::Dword(1)));
    EXPECT_TRUE(Reopen()->QueryValue(Hive::CurrentUser, kOptions, L"HideWhenMinimized").has_value());
}

TEST_F(RegistryStoreTest, InMemoryHivesLiveAsLongAsTheirStore)
{
    const auto memory = CreateRegistryStore({":memory:", ":memory:"});
    ASSERT_TRUE(memory->SetValue(Hive::LocalMachine, L"Services\\X", L"Prefix", RegValue::String(L"XXX")));
    EXPECT_EQ(memory->QueryValue(Hive::LocalMachine, L"services\\x", L"prefix")->string, L"XXX");
    EXPECT_FALSE(memory->KeyExists(Hive::CurrentUser, L"Services"));
    EXPECT_TRUE(memory->Flush(Hive::LocalMachine));
    EXPECT_FALSE(CreateRegistryStore({":memory:", ":memory:"})->KeyExists(Hive::LocalMachine, L"Services"));
}

// ---- damaged and foreign files ---------------------------------------------------

// Every read and write fails with error, and the file keeps every byte.
void ExpectUntouchable(Registry& store, const fs::path& file, uint32_t error, const std::string& label)
{
    const std::string before = ReadBytes(file);
    const std::vector<std::pair<const char*, std::function<bool()>>> calls = {
        {"query", [&] { return store.QueryValue(Hive::LocalMachine, L"A", L"v").has_value(); }},
        {"key exists", [&] { return store.KeyExists(Hive::LocalMachine, L"A"); }},
        {"enum subkeys", [&] { return store.EnumSubKeys(Hive::LocalMachine, L"").has_value(); }},
        {"enum values", [&] { return store.EnumValues(Hive::LocalMachine, L"").has_value(); }},
        {"set value", [&] { return store.SetValue(Hive::LocalMachine, L"A", L"v", RegValue::Dword(1)); }},
        {"create key", [&] { return store.CreateKey(Hive::LocalMachine, L"B"); }},
        {"delete key", [&] { return store.DeleteKey(Hive::LocalMachine, L"A"); }},
        {"delete value", [&] { return store.DeleteValue(Hive::LocalMachine, L"A", L"v"); }},
        {"flush", [&] { return store.Flush(Hive::LocalMachine); }},
    };
    for (const auto& [what, call] : calls) {
        SetLastError(0);
        EXPECT_FALSE(call()) << label << ": " << what;
        EXPECT_EQ(GetLastError(), error) << label << ": " << what;
    }
    EXPECT_EQ(ReadBytes(file), before) << label;
    EXPECT_FALSE(fs::exists(file.string() + "-journal")) << label;
}

TEST_F(RegistryStoreTest, DamagedOrForeignFilesFailEveryCallAndStayByteIdentical)
{
    struct Case {
        const char* label;
        std::function<void(const fs::path&)> make;
        uint32_t error;
    };
    auto ours = [this](const fs::path& file) {
        const auto store = CreateRegistryStore({":memory:", file.string()});
        for (int i = 0; i < 12; ++i)
            ASSERT_TRUE(store->SetValue(Hive::LocalMachine, L"Key" + std::to_wstring(i), L"v", RegValue::Bytes(std::vector<uint8_t>(2000, 1))));
    };
    const std::vector<Case> cases = {
        {"text file", [](const fs::path& f) { WriteBytes(f, "[HKEY_LOCAL_MACHINE\\Services]\nName=sz:text\n"); }, EIO},
        {"zeros", [](const fs::path& f) { WriteBytes(f, std::string(8192, '\0')); }, EIO},
        {"header overwritten", [&](const fs::path& f) {
             ours(f);
             std::string bytes = ReadBytes(f);
             bytes.replace(0, 16, "garbage garbage!");
             WriteBytes(f, bytes);
         }, EIO},
        {"truncated", [&](const fs::path& f) {
             ours(f);
             WriteBytes(f, ReadBytes(f).substr(0, 100));
         }, EIO},
        {"another program's database", [](const fs::path& f) { RunSql(f, "CREATE TABLE t(x); INSERT INTO t VALUES(1);"); }, ENOTSUP},
        {"a newer hive format", [&](const fs::path& f) {
             ours(f);
             RunSql(f, "PRAGMA user_version = 99;");
         }, ENOTSUP},
    };
    for (const auto& c : cases) {
        const fs::path file = root_ / (std::string("case-") + std::to_string(&c - cases.data())) / "machine.db";
        fs::create_directories(file.parent_path());
        c.make(file);
        const auto store = CreateRegistryStore({":memory:", file.string()});
        ExpectUntouchable(*store, file, c.error, c.label);
    }
}

// The current user's options: a file that cannot serve is kept aside byte for
// byte and a fresh hive takes the write, with one notice that says where the old
// file went. (The machine's hive is never replaced: see the test above.)
TEST_F(RegistryStoreTest, ADamagedOrForeignUserHiveIsKeptAsideAndAFreshOneTakesTheWrite)
{
    struct Case {
        const char* label;
        std::function<void(const fs::path&)> make;
    };
    const std::vector<Case> cases = {
        {"garbage bytes", [](const fs::path& f) { WriteBytes(f, "\x13\x37 not a database, not even close\n"); }},
        {"zeros", [](const fs::path& f) { WriteBytes(f, std::string(8192, '\0')); }},
        {"another program's database", [](const fs::path& f) { RunSql(f, "CREATE TABLE t(x); INSERT INTO t VALUES(1);"); }},
        {"a folder", [](const fs::path& f) {
             fs::create_directories(f);
             WriteBytes(f / "inside", "kept");
         }},
    };
    for (const auto& c : cases) {
        const fs::path dir = root_ / (std::string("user-") + std::to_string(&c - cases.data()));
        const fs::path file = dir / "user.db";
        fs::create_directories(dir);
        c.make(file);
        const bool folder = fs::is_directory(file);
        const std::string before = folder ? "" : ReadBytes(file);
        std::vector<std::string> notices;
        const NoticeHandler previous = SetNoticeHandler([&](const std::string& text) { notices.push_back(text); });
        const auto store = CreateRegistryStore({file.string(), ":memory:"});
        EXPECT_FALSE(store->QueryValue(Hive::CurrentUser, kOptions, L"AlwaysOnTop").has_value()) << c.label;
        EXPECT_TRUE(notices.empty()) << c.label << ": reading moves nothing";

        EXPECT_TRUE(store->SetValue(Hive::CurrentUser, kOptions, L"AlwaysOnTop", RegValue::Dword(0))) << c.label;
        SetNoticeHandler(previous);
        const fs::path aside = file.string() + ".damaged";
        ASSERT_TRUE(fs::exists(aside)) << c.label;
        if (folder) EXPECT_EQ(ReadBytes(aside / "inside"), "kept") << c.label;
        else EXPECT_EQ(ReadBytes(aside), before) << c.label;
        ASSERT_EQ(notices.size(), 1u) << c.label;
        EXPECT_NE(notices[0].find(file.string()), std::string::npos) << notices[0];
        EXPECT_NE(notices[0].find("kept as " + aside.string()), std::string::npos) << notices[0];
        EXPECT_EQ(Reopen()->QueryValue(Hive::CurrentUser, kOptions, L"AlwaysOnTop").has_value(), false)
            << "the fixture's own store is elsewhere";
        EXPECT_EQ(CreateRegistryStore({file.string(), ":memory:"})->QueryValue(Hive::CurrentUser, kOptions, L"AlwaysOnTop")->dword, 0u)
            << c.label;
    }
}

TEST_F(RegistryStoreTest, ASecondDamagedUserHiveGetsTheNextFreeNameAndANewerHiveIsLeftAlone)
{
    const fs::path file = root_ / "config" / "kestrun" / "user.db";
    fs::create_directories(file.parent_path());
    const NoticeHandler previous = SetNoticeHandler([](const std::string&) {});
    for (const char* bytes : {"first damage", "second damage"}) {
        WriteBytes(file, bytes);
        EXPECT_TRUE(Reopen()->SetValue(Hive::CurrentUser, kOptions, L"AutoScale", RegValue::Dword(1)));
    }
    EXPECT_EQ(ReadBytes(file.string() + ".damaged"), "first damage");
    EXPECT_EQ(ReadBytes(file.string() + ".damaged.2"), "second damage");

    // A hive of a newer version of the program is not damaged: it stays as it is.
    RunSql(file, "PRAGMA user_version = 99;");
    const std::string newer = ReadBytes(file);
    EXPECT_FALSE(Reopen()->SetValue(Hive::CurrentUser, kOptions, L"AutoScale", RegValue::Dword(0)));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ENOTSUP));
    EXPECT_EQ(ReadBytes(file), newer);
    EXPECT_FALSE(fs::exists(file.string() + ".damaged.3"));
    SetNoticeHandler(previous);
}

TEST_F(RegistryStoreTest, AFileSetAsideTakesItsJournalAlongAndNeverReplacesAnother)
{
    const fs::path file = root_ / "user.db";
    WriteBytes(file, "old hive");
    WriteBytes(file.string() + "-journal", "its journal");
    WriteBytes(file.string() + ".damaged", "set aside before");
    EXPECT_EQ(SetAsideHiveFile(file.string()), std::optional<std::string>(file.string() + ".damaged.2"));
    EXPECT_FALSE(fs::exists(file));
    EXPECT_FALSE(fs::exists(file.string() + "-journal")) << "a journal left behind would be played into the new hive";
    EXPECT_EQ(ReadBytes(file.string() + ".damaged.2-journal"), "its journal");
    EXPECT_EQ(ReadBytes(file.string() + ".damaged"), "set aside before");
    EXPECT_EQ(SetAsideHiveFile(file.string()), std::nullopt) << "nothing there to move";
}

TEST_F(RegistryStoreTest, AUserHiveItsOwnerMayNotOpenIsKeptAsideToo)
{
    // Mode 000 stops only a user who is not root: the check runs as nobody, in a
    // folder of nobody's own.
    char pattern[] = "/tmp/kestrun-registry-nobody-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path dir = pattern;
    const fs::path file = dir / "user.db";
    WriteBytes(file, "an old store");
    ASSERT_EQ(chmod(file.c_str(), 0), 0);
    if (geteuid() == 0) {
        ASSERT_EQ(chown(dir.c_str(), 65534, 65534), 0);
        ASSERT_EQ(chown(file.c_str(), 65534, 65534), 0);
    }
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(100);
        SetNoticeHandler([](const std::string&) {});
        const auto store = CreateRegistryStore({file.string(), ":memory:"});
        if (!store->SetValue(Hive::CurrentUser, kOptions, L"AlwaysOnTop", RegValue::Dword(0))) _exit(1);
        if (store->QueryValue(Hive::CurrentUser, kOptions, L"AlwaysOnTop")->dword != 0) _exit(2);
        _exit(fs::exists(file.string() + ".damaged") ? 0 : 3);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the check that failed: " << WEXITSTATUS(status);
    chmod((file.string() + ".damaged").c_str(), 0600);
    EXPECT_EQ(ReadBytes(file.string() + ".damaged"), "an old store");
    std::error_code ignored;
    fs::remove_all(dir, ignored);
}

TEST_F(RegistryStoreTest, ADamagedPageStopsEveryWrite)
{
    for (int i = 0; i < 16; ++i)
        ASSERT_TRUE(store_->SetValue(Hive::LocalMachine, L"Key" + std::to_wstring(i), L"v", RegValue::Bytes(std::vector<uint8_t>(2000, 1))));
    store_.reset();
    std::string bytes = ReadBytes(Machine());
    ASSERT_GT(bytes.size(), 4u * 4096u);
    const size_t page = (bytes.size() / 4096 / 2) * 4096;  // a page in the middle
    bytes.replace(page, 4096, std::string(4096, '\xA5'));
    WriteBytes(Machine(), bytes);

    const auto store = Reopen();
    for (const auto& write : std::vector<std::function<bool()>>{
             [&] { return store->SetValue(Hive::LocalMachine, L"New", L"v", RegValue::Dword(1)); },
             [&] { return store->DeleteKey(Hive::LocalMachine, L"Key1"); },
             [&] { return store->Flush(Hive::LocalMachine); },
         }) {
        EXPECT_FALSE(write());
        EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EIO));
    }
    EXPECT_EQ(ReadBytes(Machine()), bytes);
}

// ---- permissions and flushing ----------------------------------------------------

// Runs check in a child that cannot pass the test directory (mode 0700, owned
// by root): as root it drops to nobody, otherwise the directory is made 0.
int RunLockedOut(const fs::path& root, const std::function<int()>& check)
{
    if (geteuid() != 0) chmod(root.c_str(), 0);
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(100);
        _exit(check());
    }
    int status = 0;
    waitpid(child, &status, 0);
    chmod(root.c_str(), 0700);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 200;
}

TEST_F(RegistryStoreTest, AnUnreachableHiveFailsWithAccessDenied)
{
    ASSERT_TRUE(store_->SetValue(Hive::LocalMachine, L"A", L"v", RegValue::Dword(1)));
    const std::string before = ReadBytes(Machine());
    const int failed = RunLockedOut(root_, [this] {
        const auto store = Reopen();
        if (store->QueryValue(Hive::LocalMachine, L"A", L"v").has_value() || GetLastError() != EACCES) return 1;
        if (store->EnumSubKeys(Hive::LocalMachine, L"").has_value() || GetLastError() != EACCES) return 2;
        if (store->SetValue(Hive::LocalMachine, L"A", L"v", RegValue::Dword(2)) || GetLastError() != EACCES) return 3;
        if (store->Flush(Hive::LocalMachine) || GetLastError() != EACCES) return 4;
        if (store->SetValue(Hive::CurrentUser, L"A", L"v", RegValue::Dword(2)) || GetLastError() != EACCES) return 5;
        return 0;
    });
    EXPECT_EQ(failed, 0) << "the check that failed, counted from 1";
    EXPECT_EQ(ReadBytes(Machine()), before);
}

TEST_F(RegistryStoreTest, FlushMakesTheHiveAndLeavesItReadable)
{
    ASSERT_TRUE(store_->Flush(Hive::LocalMachine));
    EXPECT_TRUE(fs::is_regular_file(Machine()));
    EXPECT_EQ(Reopen()->EnumSubKeys(Hive::LocalMachine, L""), std::optional(std::vector<std::wstring>{}));
    ASSERT_TRUE(store_->SetValue(Hive::LocalMachine, L"A", L"v", RegValue::Dword(5)));
    ASSERT_TRUE(store_->Flush(Hive::LocalMachine));
    EXPECT_EQ(Reopen()->QueryValue(Hive::LocalMachine, L"A", L"v")->dword, 5u);
}

TEST_F(RegistryStoreTest, APlainFileInTheHivePathFailsWithNotADirectory)
{
    const std::vector<fs::path> blockers = {root_ / "machine", root_ / "deep"};
    WriteBytes(blockers[0], "in the way");
    WriteBytes(blockers[1], "in the way");
    const std::vector<std::string> hives = {(root_ / "machine" / "machine.db").string(), (root_ / "deep" / "er" / "machine.db").string()};
    for (const auto& hive : hives) {
        const auto store = CreateRegistryStore({":memory:", hive});
        EXPECT_FALSE(store->Flush(Hive::LocalMachine)) << hive;
        EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ENOTDIR)) << hive;
        EXPECT_FALSE(store->SetValue(Hive::LocalMachine, L"A", L"v", RegValue::Dword(1))) << hive;
        EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ENOTDIR)) << hive;
        EXPECT_FALSE(store->KeyExists(Hive::LocalMachine, L"A")) << hive;
        EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ENOTDIR)) << hive;
    }
    for (const auto& blocker : blockers) EXPECT_EQ(ReadBytes(blocker), "in the way");
}

// ---- atomicity ---------------------------------------------------------------

// A write that runs out of file size half-way leaves nothing of itself behind:
// not the keys it created on the way to the value.
TEST_F(RegistryStoreTest, AFailedWriteLeavesNoPartOfItself)
{
    ASSERT_TRUE(store_->SetValue(Hive::LocalMachine, L"Keep", L"v", RegValue::Dword(7)));
    const auto size = fs::file_size(Machine());

    struct rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit limited = saved;
    limited.rlim_cur = size + 8 * 4096;  // room for the journal, not for the value
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const bool written = store_->SetValue(Hive::LocalMachine, L"Keep\\Deep\\New", L"big", RegValue::Bytes(std::vector<uint8_t>(256 * 1024, 0x5A)));
    const uint32_t error = GetLastError();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(written);
    EXPECT_EQ(error, static_cast<uint32_t>(EFBIG));
    const auto store = Reopen();
    EXPECT_TRUE(store->EnumSubKeys(Hive::LocalMachine, L"Keep")->empty());
    EXPECT_EQ(store->QueryValue(Hive::LocalMachine, L"Keep", L"v")->dword, 7u);
    EXPECT_TRUE(store->SetValue(Hive::LocalMachine, L"Keep\\Deep", L"after", RegValue::Dword(1)));
}

// ---- default locations -----------------------------------------------------------

using kestrun::test_support::ScopedEnv;

TEST(RegistryPaths, FollowTheConfigAndMachineDirectories)
{
    struct Case {
        const char* xdg;
        const char* home;
        const char* machine;
        std::string user;
        std::string local;
    };
    const std::vector<Case> cases = {
        {"/cfg", "/home/u", "/srv/m", "/cfg/kestrun/user.db", "/srv/m/machine.db"},
        {nullptr, "/home/u", nullptr, "/home/u/.config/kestrun/user.db", "/var/lib/kestrun/machine.db"},
        {"relative/cfg", "/home/u", "", "/home/u/.config/kestrun/user.db", "/var/lib/kestrun/machine.db"},
    };
    for (const auto& c : cases) {
        ScopedEnv xdg("XDG_CONFIG_HOME", c.xdg);
        ScopedEnv home("HOME", c.home);
        ScopedEnv machine("KESTRUN_MACHINE_DIR", c.machine);
        const RegistryPaths paths = DefaultRegistryPaths();
        EXPECT_EQ(paths.currentUser, c.user);
        EXPECT_EQ(paths.localMachine, c.local);
    }
}

}  // namespace
}  // namespace kestrun::platform
