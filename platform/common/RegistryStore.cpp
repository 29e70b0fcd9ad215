// The registry store: each hive is one SQLite database file.
//
// Keys form a tree (table `keys`, the hive root is the implicit key 0); values
// belong to a key (table `vals`). Names keep the case they were created with and
// are matched through a folded (lower-case) copy. Every call runs in one
// transaction. A file that is not a hive of ours, or is damaged, is never written:
// reads and writes fail and the file is left exactly as it was.
#include "platform/common/RegistryStore.h"

#include "platform/LastError.h"
#include "platform/Types.h"

#include <fcntl.h>
#include <locale.h>
#include <pwd.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstdlib>
#include <cwctype>
#include <mutex>
#include <new>
#include <string_view>
#include <unordered_map>

namespace kestrun::platform {

namespace {

constexpr int kApplicationId = 0x4B455352;  // "KESR" in the database header
constexpr int kSchemaVersion = 1;
constexpr int kBusyTimeoutMs = 2000;
constexpr sqlite3_int64 kRootKey = 0;
constexpr int kMissingFile = -1;  // not an errno: the hive file does not exist

const char* const kSchema =
    "CREATE TABLE keys(id INTEGER PRIMARY KEY, parent INTEGER NOT NULL, name TEXT NOT NULL,"
    " fold TEXT NOT NULL, UNIQUE(parent, fold));"
    "CREATE TABLE vals(id INTEGER PRIMARY KEY, key INTEGER NOT NULL, name TEXT NOT NULL,"
    " fold TEXT NOT NULL, type INTEGER NOT NULL, data BLOB, UNIQUE(key, fold));";

// ---- names ----------------------------------------------------------------

locale_t FoldLocale()
{
    static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{});
    return locale;
}

// The form names are compared in: lower case, UTF-8.
std::string Fold(const std::wstring& name)
{
    std::wstring folded(name);
    const locale_t locale = FoldLocale();
    for (wchar_t& c : folded) {
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
        else if (c >= 0x80 && locale != locale_t{}) c = static_cast<wchar_t>(towlower_l(static_cast<wint_t>(c), locale));
    }
    return Narrow(folded);
}

// "Software\\Dravik\\Options" -> its parts; empty parts (doubled or outer backslashes) are skipped.
std::vector<std::wstring> SplitKey(const std::wstring& key)
{
    std::vector<std::wstring> parts;
    size_t start = 0;
    while (start <= key.size()) {
        size_t end = key.find(L'\\', start);
        if (end == std::wstring::npos) end = key.size();
        if (end > start) parts.push_back(key.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

// ---- errors ---------------------------------------------------------------

int ErrnoFromSqlite(sqlite3* db, int rc)
{
    // The errno SQLite saw: its own record, else the one kept by the main file
    // (the first can be lost when a failed commit is rolled back).
    int system = db != nullptr ? sqlite3_system_errno(db) : 0;
    if (system == 0 && db != nullptr && sqlite3_file_control(db, "main", SQLITE_FCNTL_LAST_ERRNO, &system) != SQLITE_OK) system = 0;
    switch (rc & 0xFF) {
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_FORMAT: return EIO;
    case SQLITE_IOERR: return system != 0 ? system : EIO;
    case SQLITE_CANTOPEN: return system != 0 ? system : EACCES;
    case SQLITE_READONLY: return system != 0 ? system : EROFS;
    case SQLITE_PERM:
    case SQLITE_AUTH: return EACCES;
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return EBUSY;
    case SQLITE_FULL: return ENOSPC;
    case SQLITE_NOMEM: return ENOMEM;
    case SQLITE_TOOBIG:
    case SQLITE_NOLFS: return EFBIG;
    default: return EIO;
    }
}

// ---- statements -------------------------------------------------------------

// A prepared statement borrowed from the connection's cache, reset when done.
class Statement {
public:
    explicit Statement(sqlite3_stmt* stmt) : stmt_(stmt) {}
    ~Statement()
    {
        if (stmt_ != nullptr) {
            sqlite3_reset(stmt_);
            sqlite3_clear_bindings(stmt_);
        }
    }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    sqlite3_stmt* get() const { return stmt_; }
    void Bind(int i, sqlite3_int64 v) { sqlite3_bind_int64(stmt_, i, v); }
    void Bind(int i, const std::string& s) { sqlite3_bind_text(stmt_, i, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT); }
    int Step() { return sqlite3_step(stmt_); }

private:
    sqlite3_stmt* stmt_;
};

// ---- one hive ---------------------------------------------------------------

// mkdir -p with mode 0700; ENOTDIR when the path (or a parent) is not a directory.
int EnsureDirectory(const std::string& dir)
{
    if (mkdir(dir.c_str(), 0700) == 0) return 0;
    int err = errno;
    if (err == ENOENT) {
        const size_t slash = dir.find_last_of('/');
        if (slash == std::string::npos || slash == 0) return ENOENT;
        if ((err = EnsureDirectory(dir.substr(0, slash))) != 0) return err;
        if (mkdir(dir.c_str(), 0700) == 0) return 0;
        err = errno;
    }
    if (err != EEXIST) return err;
    struct stat st {};
    if (stat(dir.c_str(), &st) != 0) return errno;
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

int SyncPath(const std::string& path, int flags)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | flags);
    if (fd < 0) return errno;
    const int err = fsync(fd) == 0 ? 0 : errno;
    close(fd);
    return err;
}

std::string DirectoryOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

class HiveDb {
public:
    explicit HiveDb(std::string path) : path_(std::move(path)), memory_(path_ == ":memory:") {}
    ~HiveDb() { Close(); }
    HiveDb(const HiveDb&) = delete;
    HiveDb& operator=(const HiveDb&) = delete;

    // Runs fn(db) in one read transaction; db is null when the hive is empty or
    // its file does not exist (nothing is created then).
    template <class Fn>
    int Read(Fn fn)
    {
        std::lock_guard lock(mutex_);
        const int opened = Open(false);
        if (opened == kMissingFile) return fn(nullptr);
        if (opened != 0) return opened;
        if (const int err = Exec("BEGIN"); err != 0) return err;
        bool empty = false;
        int err = Validate(empty, false);
        if (err == 0) err = fn(empty ? nullptr : db_);
        return Finish(err);
    }

    // Runs fn(db) in one write transaction. With create, the directory, the file
    // and the schema are made when missing; without, a missing file is ENOENT.
    template <class Fn>
    int Write(bool create, Fn fn)
    {
        std::lock_guard lock(mutex_);
        const int opened = Open(create);
        if (opened == kMissingFile) return ENOENT;
        if (opened != 0) return opened;
        if (const int err = Exec("BEGIN IMMEDIATE"); err != 0) return err;
        bool empty = false;
        int err = Validate(empty, true);
        if (err == 0 && empty) err = create ? CreateSchema() : ENOENT;
        if (err == 0) err = fn(db_);
        return Finish(err);
    }

    // Makes everything committed so far durable: the file, its directory entry
    // (the removal of the rollback journal) and the directory's own entry.
    int Flush()
    {
        if (memory_) return 0;
        const int err = Write(true, [](sqlite3*) { return 0; });
        if (err != 0) return err;
        std::lock_guard lock(mutex_);
        if (JournalMode() == "wal") {
            if (const int walErr = Exec("PRAGMA wal_checkpoint(TRUNCATE)"); walErr != 0) return walErr;
        }
        const std::string dir = DirectoryOf(path_);
        if (const int syncErr = SyncPath(path_, 0); syncErr != 0) return syncErr;
        if (const int syncErr = SyncPath(dir, O_DIRECTORY); syncErr != 0) return syncErr;
        return SyncPath(DirectoryOf(dir), O_DIRECTORY);
    }

    // A cached prepared statement; null (with err set) when it cannot be prepared.
    sqlite3_stmt* Prepare(const char* sql, int& err)
    {
        auto it = statements_.find(sql);
        if (it != statements_.end()) return it->second;
        sqlite3_stmt* stmt = nullptr;
        const int rc = sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
        if (rc != SQLITE_OK) {
            err = ErrnoFromSqlite(db_, rc);
            return nullptr;
        }
        statements_.emplace(sql, stmt);
        return stmt;
    }

private:
    void Close()
    {
        for (auto& [sql, stmt] : statements_) sqlite3_finalize(stmt);
        statements_.clear();
        if (db_ != nullptr) sqlite3_close_v2(db_);
        db_ = nullptr;
    }

    // Opens the connection lazily, and again when the file was replaced.
    int Open(bool create)
    {
        if (memory_) return db_ != nullptr ? 0 : Connect();
        if (create) {
            if (const int err = EnsureDirectory(DirectoryOf(path_)); err != 0) return err;
            const int fd = open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            if (fd >= 0) close(fd);
            else if (errno != EEXIST) return errno;
        }
        struct stat st {};
        if (stat(path_.c_str(), &st) != 0) {
            const int err = errno;
            if (err == ENOENT) {
                Close();
                return kMissingFile;
            }
            return err;
        }
        if (S_ISDIR(st.st_mode)) return EISDIR;
        if (!S_ISREG(st.st_mode)) return EINVAL;
        if (db_ != nullptr && st.st_dev == device_ && st.st_ino == inode_) return 0;
        Close();
        device_ = st.st_dev;
        inode_ = st.st_ino;
        return Connect();
    }

    int Connect()
    {
        const int rc = sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (memory_ ? SQLITE_OPEN_CREATE : 0), nullptr);
        if (rc != SQLITE_OK) {
            const int err = ErrnoFromSqlite(db_, rc);
            Close();
            return err;
        }
        sqlite3_extended_result_codes(db_, 1);
        sqlite3_busy_timeout(db_, kBusyTimeoutMs);
        sqlite3_db_config(db_, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
        sqlite3_db_config(db_, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
        // FULL: a commit is on disk except for the journal's removal, which Flush makes durable.
        if (const int err = Exec("PRAGMA synchronous=FULL"); err != 0) {
            Close();
            return err;
        }
        return 0;
    }

    int Exec(const char* sql)
    {
        const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
        return rc == SQLITE_OK ? 0 : ErrnoFromSqlite(db_, rc);
    }

    // One integer from a query; err set on failure.
    sqlite3_int64 QueryInt(const char* sql, int& err)
    {
        sqlite3_stmt* stmt = Prepare(sql, err);
        if (stmt == nullptr) return 0;
        Statement s(stmt);
        const int rc = s.Step();
        if (rc != SQLITE_ROW) {
            err = rc == SQLITE_DONE ? EIO : ErrnoFromSqlite(db_, rc);
            return 0;
        }
        return sqlite3_column_int64(stmt, 0);
    }

    std::string JournalMode()
    {
        int err = 0;
        sqlite3_stmt* stmt = Prepare("PRAGMA journal_mode", err);
        if (stmt == nullptr) return {};
        Statement s(stmt);
        if (s.Step() != SQLITE_ROW) return {};
        const auto* text = sqlite3_column_text(stmt, 0);
        return text != nullptr ? reinterpret_cast<const char*>(text) : "";
    }

    // Decides whether the open database is a hive of ours (empty=false), a fresh
    // empty file (empty=true) or something we must not touch (an errno).
    int Validate(bool& empty, bool writing)
    {
        int err = 0;
        const sqlite3_int64 application = QueryInt("PRAGMA application_id", err);
        const sqlite3_int64 version = err == 0 ? QueryInt("PRAGMA user_version", err) : 0;
        const sqlite3_int64 objects = err == 0 ? QueryInt("SELECT count(*) FROM sqlite_schema", err) : 0;
        if (err != 0) return err;
        if (application == 0 && version == 0 && objects == 0) {
            empty = true;
            return 0;
        }
        if (application != kApplicationId || version > kSchemaVersion) return ENOTSUP;  // not ours, or newer
        if (version != kSchemaVersion || objects < 2) return EIO;
        // Before writing, make sure no page is damaged: a damaged file is never rewritten.
        if (writing && !memory_) {
            sqlite3_stmt* stmt = Prepare("PRAGMA quick_check(1)", err);
            if (stmt == nullptr) return err;
            Statement s(stmt);
            const int rc = s.Step();
            if (rc != SQLITE_ROW) return ErrnoFromSqlite(db_, rc);
            const auto* text = sqlite3_column_text(stmt, 0);
            if (text == nullptr || std::string_view(reinterpret_cast<const char*>(text)) != "ok") return EIO;
        }
        empty = false;
        return 0;
    }

    int CreateSchema()
    {
        if (const int err = Exec(kSchema); err != 0) return err;
        const std::string pragmas = "PRAGMA application_id=" + std::to_string(kApplicationId) +
                                    "; PRAGMA user_version=" + std::to_string(kSchemaVersion) + ";";
        return Exec(pragmas.c_str());
    }

    // Commits on success, rolls back otherwise; returns the first error.
    int Finish(int err)
    {
        if (err == 0) {
            const int rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
            if (rc == SQLITE_OK) return 0;
            err = ErrnoFromSqlite(db_, rc);
        }
        if (sqlite3_get_autocommit(db_) == 0) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        return err;
    }

    std::string path_;
    bool memory_;
    std::mutex mutex_;
    sqlite3* db_ = nullptr;
    dev_t device_ = 0;
    ino_t inode_ = 0;
    std::unordered_map<const char*, sqlite3_stmt*> statements_;
};

// ---- values -----------------------------------------------------------------

int BindValue(sqlite3_stmt* stmt, int i, const RegValue& value)
{
    switch (value.type) {
    case ValueType::Dword: return sqlite3_bind_int64(stmt, i, value.dword);
    case ValueType::String: {
        const std::string text = Narrow(value.string);
        return sqlite3_bind_text(stmt, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    }
    case ValueType::MultiString: {
        nlohmann::json list = nlohmann::json::array();
        for (const auto& s : value.multiString) list.push_back(Narrow(s));
        const std::string text = list.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        return sqlite3_bind_text(stmt, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    }
    case ValueType::Binary:
        if (value.binary.empty()) return sqlite3_bind_zeroblob(stmt, i, 0);
        return sqlite3_bind_blob(stmt, i, value.binary.data(), static_cast<int>(value.binary.size()), SQLITE_TRANSIENT);
    }
    return SQLITE_MISMATCH;
}

std::string ColumnText(sqlite3_stmt* stmt, int i)
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
    return text != nullptr ? std::string(text, static_cast<size_t>(sqlite3_column_bytes(stmt, i))) : std::string();
}

// Reads a value from columns (type, data) starting at column i; EIO when the
// stored form does not fit its type.
int DecodeValue(sqlite3_stmt* stmt, int i, RegValue& out)
{
    const sqlite3_int64 type = sqlite3_column_int64(stmt, i);
    if (type < 0 || type > 0xFFFFFFFFLL) return EIO;
    const int storage = sqlite3_column_type(stmt, i + 1);
    switch (static_cast<ValueType>(type)) {
    case ValueType::Dword: {
        const sqlite3_int64 v = sqlite3_column_int64(stmt, i + 1);
        if (storage != SQLITE_INTEGER || v < 0 || v > 0xFFFFFFFFLL) return EIO;
        out = RegValue::Dword(static_cast<uint32_t>(v));
        return 0;
    }
    case ValueType::String:
        if (storage != SQLITE_TEXT) return EIO;
        out = RegValue::String(Widen(ColumnText(stmt, i + 1)));
        return 0;
    case ValueType::MultiString: {
        if (storage != SQLITE_TEXT) return EIO;
        const auto list = nlohmann::json::parse(ColumnText(stmt, i + 1), nullptr, false);
        if (!list.is_array()) return EIO;
        std::vector<std::wstring> strings;
        for (const auto& item : list) {
            if (!item.is_string()) return EIO;
            strings.push_back(Widen(item.get<std::string>()));
        }
        out = RegValue::Multi(std::move(strings));
        return 0;
    }
    case ValueType::Binary: {
        if (storage != SQLITE_BLOB && storage != SQLITE_NULL) return EIO;
        const auto* data = static_cast<const uint8_t*>(sqlite3_column_blob(stmt, i + 1));
        const auto size = static_cast<size_t>(sqlite3_column_bytes(stmt, i + 1));
        out = RegValue::Bytes(data != nullptr ? std::vector<uint8_t>(data, data + size) : std::vector<uint8_t>());
        return 0;
    }
    }
    return EIO;
}

bool KnownType(ValueType type)
{
    return type == ValueType::Dword || type == ValueType::String || type == ValueType::MultiString || type == ValueType::Binary;
}

// ---- the registry -----------------------------------------------------------

class RegistryStore final : public Registry {
public:
    explicit RegistryStore(const RegistryPaths& paths) : currentUser_(paths.currentUser), localMachine_(paths.localMachine) {}

    bool KeyExists(Hive hive, const std::wstring& key) override
    {
        return Guard([&] {
            const auto parts = SplitKey(key);
            return Db(hive).Read([&](sqlite3* db) {
                sqlite3_int64 id = kRootKey;
                return FindKey(hive, db, parts, id);
            });
        });
    }

    bool CreateKey(Hive hive, const std::wstring& key) override
    {
        return Guard([&] {
            const auto parts = SplitKey(key);
            return Db(hive).Write(true, [&](sqlite3*) {
                sqlite3_int64 id = kRootKey;
                return MakeKey(hive, parts, id);
            });
        });
    }

    bool DeleteKey(Hive hive, const std::wstring& key) override
    {
        return Guard([&] {
            const auto parts = SplitKey(key);
            if (parts.empty()) return EINVAL;  // a hive's root cannot go
            return Db(hive).Write(false, [&](sqlite3* db) {
                sqlite3_int64 id = kRootKey;
                if (const int err = FindKey(hive, db, parts, id); err != 0) return err;
                // The key, every key below it and all their values.
                int err = Run(hive, "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION ALL SELECT k.id FROM keys k JOIN tree t ON k.parent = t.id)"
                                    " DELETE FROM vals WHERE key IN tree", id);
                if (err == 0)
                    err = Run(hive, "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION ALL SELECT k.id FROM keys k JOIN tree t ON k.parent = t.id)"
                                    " DELETE FROM keys WHERE id IN tree", id);
                return err;
            });
        });
    }

    std::optional<RegValue> QueryValue(Hive hive, const std::wstring& key, const std::wstring& name) override
    {
        std::optional<RegValue> result;
        Guard([&] {
            const auto parts = SplitKey(key);
            return Db(hive).Read([&](sqlite3* db) {
                sqlite3_int64 id = kRootKey;
                if (const int err = FindKey(hive, db, parts, id); err != 0) return err;
                if (db == nullptr) return ENOENT;
                int err = 0;
                sqlite3_stmt* stmt = Db(hive).Prepare("SELECT type, data FROM vals WHERE key = ?1 AND fold = ?2", err);
                if (stmt == nullptr) return err;
                Statement s(stmt);
                s.Bind(1, id);
                s.Bind(2, Fold(name));
                const int rc = s.Step();
                if (rc == SQLITE_DONE) return ENOENT;
                if (rc != SQLITE_ROW) return ErrnoFromSqlite(db, rc);
                RegValue value;
                if (const int decodeErr = DecodeValue(stmt, 0, value); decodeErr != 0) return decodeErr;
                result = std::move(value);
                return 0;
            });
        });
        return result;
    }

    bool SetValue(Hive hive, const std::wstring& key, const std::wstring& name, const RegValue& value) override
    {
        return Guard([&] {
            if (!KnownType(value.type)) return EINVAL;
            const auto parts = SplitKey(key);
            return Db(hive).Write(true, [&](sqlite3* db) {
                sqlite3_int64 id = kRootKey;
                if (const int err = MakeKey(hive, parts, id); err != 0) return err;
                int err = 0;
                sqlite3_stmt* stmt = Db(hive).Prepare(
                    "INSERT INTO vals(key, name, fold, type, data) VALUES(?1, ?2, ?3, ?4, ?5)"
                    " ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data", err);
                if (stmt == nullptr) return err;
                Statement s(stmt);
                s.Bind(1, id);
                s.Bind(2, Narrow(name));
                s.Bind(3, Fold(name));
                s.Bind(4, static_cast<sqlite3_int64>(value.type));
                if (const int rc = BindValue(stmt, 5, value); rc != SQLITE_OK) return ErrnoFromSqlite(db, rc);
                const int rc = s.Step();
                return rc == SQLITE_DONE ? 0 : ErrnoFromSqlite(db, rc);
            });
        });
    }

    bool DeleteValue(Hive hive, const std::wstring& key, const std::wstring& name) override
    {
        return Guard([&] {
            const auto parts = SplitKey(key);
            return Db(hive).Write(false, [&](sqlite3* db) {
                sqlite3_int64 id = kRootKey;
                if (const int err = FindKey(hive, db, parts, id); err != 0) return err;
                int err = 0;
                sqlite3_stmt* stmt = Db(hive).Prepare("DELETE FROM vals WHERE key = ?1 AND fold = ?2", err);
                if (stmt == nullptr) return err;
                Statement s(stmt);
                s.Bind(1, id);
                s.Bind(2, Fold(name));
                const int rc = s.Step();
                if (rc != SQLITE_DONE) return ErrnoFromSqlite(db, rc);
                return sqlite3_changes(db) > 0 ? 0 : ENOENT;
            });
        });
    }

    std::optional<std::vector<std::wstring>> EnumSubKeys(Hive hive, const std::wstring& key) override
    {
        std::optional<std::vector<std::wstring>> result;
        Guard([&] {
            const auto parts = SplitKey(key);
            return Db(hive).Read([&](sqlite3* db) {
                sqlite3_int64 id = kRootKey;
                if (const int err = FindKey(hive, db, parts, id); err != 0) return err;
                std::vector<std::wstring> names;
                if (db != nullptr) {
                    int err = 0;
                    sqlite3_stmt* stmt = Db(hive).Prepare("SELECT name FROM keys WHERE parent = ?1 ORDER BY id", err);
                    if (stmt == nullptr) return err;
                    Statement s(stmt);
                    s.Bind(1, id);
                    int rc = SQLITE_ROW;
                    while ((rc = s.Step()) == SQLITE_ROW) names.push_back(Widen(ColumnText(stmt, 0)));
                    if (rc != SQLITE_DONE) return ErrnoFromSqlite(db, rc);
                }
                result = std::move(names);
                return 0;
            });
        });
        return result;
    }

    std::optional<std::vector<std::pair<std::wstring, RegValue>>> EnumValues(Hive hive, const std::wstring& key) override
    {
        std::optional<std::vector<std::pair<std::wstring, RegValue>>> result;
        Guard([&] {
            const auto parts = SplitKey(key);
            return Db(hive).Read([&](sqlite3* db) {
                sqlite3_int64 id = kRootKey;
                if (const int err = FindKey(hive, db, parts, id); err != 0) return err;
                std::vector<std::pair<std::wstring, RegValue>> values;
                if (db != nullptr) {
                    int err = 0;
                    sqlite3_stmt* stmt = Db(hive).Prepare("SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY id", err);
                    if (stmt == nullptr) return err;
                    Statement s(stmt);
                    s.Bind(1, id);
                    int rc = SQLITE_ROW;
                    while ((rc = s.Step()) == SQLITE_ROW) {
                        RegValue value;
                        if (const int decodeErr = DecodeValue(stmt, 1, value); decodeErr != 0) return decodeErr;
                        values.emplace_back(Widen(ColumnText(stmt, 0)), std::move(value));
                    }
                    if (rc != SQLITE_DONE) return ErrnoFromSqlite(db, rc);
                }
                result = std::move(values);
                return 0;
            });
        });
        return result;
    }

    bool Flush(Hive hive) override
    {
        return Guard([&] { return Db(hive).Flush(); });
    }

private:
    HiveDb& Db(Hive hive) { return hive == Hive::CurrentUser ? currentUser_ : localMachine_; }

    // Runs fn (returning an errno, 0 for success) so that no exception leaves the
    // store; sets the last error on failure.
    template <class Fn>
    static bool Guard(Fn fn)
    {
        int err = 0;
        try {
            err = fn();
        } catch (const std::bad_alloc&) {
            err = ENOMEM;
        } catch (const std::exception&) {
            err = EIO;
        }
        if (err != 0) return Fail(static_cast<uint32_t>(err));
        SetLastError(kErrorSuccess);
        return true;
    }

    // Walks parts from the root; ENOENT when a part is missing. A null db is an
    // empty hive, where only the root exists.
    int FindKey(Hive hive, sqlite3* db, const std::vector<std::wstring>& parts, sqlite3_int64& id)
    {
        id = kRootKey;
        if (parts.empty()) return 0;
        if (db == nullptr) return ENOENT;
        int err = 0;
        sqlite3_stmt* stmt = Db(hive).Prepare("SELECT id FROM keys WHERE parent = ?1 AND fold = ?2", err);
        if (stmt == nullptr) return err;
        for (const auto& part : parts) {
            Statement s(stmt);
            s.Bind(1, id);
            s.Bind(2, Fold(part));
            const int rc = s.Step();
            if (rc == SQLITE_DONE) return ENOENT;
            if (rc != SQLITE_ROW) return ErrnoFromSqlite(db, rc);
            id = sqlite3_column_int64(stmt, 0);
        }
        return 0;
    }

    // Finds parts from the root, creating the missing ones.
    int MakeKey(Hive hive, const std::vector<std::wstring>& parts, sqlite3_int64& id)
    {
        id = kRootKey;
        int err = 0;
        sqlite3_stmt* find = Db(hive).Prepare("SELECT id FROM keys WHERE parent = ?1 AND fold = ?2", err);
        sqlite3_stmt* insert = find != nullptr ? Db(hive).Prepare("INSERT INTO keys(parent, name, fold) VALUES(?1, ?2, ?3)", err) : nullptr;
        if (insert == nullptr) return err;
        sqlite3* db = sqlite3_db_handle(insert);
        for (const auto& part : parts) {
            const std::string folded = Fold(part);
            Statement f(find);
            f.Bind(1, id);
            f.Bind(2, folded);
            int rc = f.Step();
            if (rc == SQLITE_ROW) {
                id = sqlite3_column_int64(find, 0);
                continue;
            }
            if (rc != SQLITE_DONE) return ErrnoFromSqlite(db, rc);
            Statement s(insert);
            s.Bind(1, id);
            s.Bind(2, Narrow(part));
            s.Bind(3, folded);
            if ((rc = s.Step()) != SQLITE_DONE) return ErrnoFromSqlite(db, rc);
            id = sqlite3_last_insert_rowid(db);
        }
        return 0;
    }

    int Run(Hive hive, const char* sql, sqlite3_int64 id)
    {
        int err = 0;
        sqlite3_stmt* stmt = Db(hive).Prepare(sql, err);
        if (stmt == nullptr) return err;
        Statement s(stmt);
        s.Bind(1, id);
        const int rc = s.Step();
        return rc == SQLITE_DONE ? 0 : ErrnoFromSqlite(sqlite3_db_handle(stmt), rc);
    }

    HiveDb currentUser_;
    HiveDb localMachine_;
};

std::string HomeDirectory()
{
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') return home;
    struct passwd entry {};
    struct passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr && found->pw_dir != nullptr)
        return found->pw_dir;
    return {};
}

}  // namespace

RegistryPaths DefaultRegistryPaths()
{
    RegistryPaths paths;
    // A relative XDG_CONFIG_HOME is invalid by the base-directory rules and ignored.
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && config[0] == '/') {
        paths.currentUser = std::string(config) + "/kestrun/user.db";
    } else if (const std::string home = HomeDirectory(); !home.empty()) {
        paths.currentUser = home + "/.config/kestrun/user.db";
    } else {
        paths.currentUser = ":memory:";  // nowhere to keep it: options last for this run only
    }
    const char* machine = std::getenv("KESTRUN_MACHINE_DIR");
    paths.localMachine = std::string(machine != nullptr && machine[0] != '\0' ? machine : "/var/lib/kestrun") + "/machine.db";
    return paths;
}

std::unique_ptr<Registry> CreateRegistryStore(const RegistryPaths& paths)
{
    return std::make_unique<RegistryStore>(paths);
}

}  // namespace kestrun::platform
