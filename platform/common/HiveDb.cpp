#include "platform/common/HiveDb.h"

#include "platform/common/HiveFile.h"
#include "platform/common/HiveStatement.h"
#include "platform/Notice.h"
#include "platform/common/PathName.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <optional>
#include <string_view>

namespace kestrun::platform::hive {

namespace {

constexpr int kApplicationId = 0x4B455352;  // "KESR" in the database header
constexpr int kSchemaVersion = 1;
constexpr int kBusyTimeoutMs = 2000;

// Keys form a tree (the hive root is the implicit key 0); values belong to a key.
// Names keep the case they were created with; fold is the lower-case copy they
// are matched through.
const char* const kSchema =
    "CREATE TABLE keys(id INTEGER PRIMARY KEY, parent INTEGER NOT NULL, name TEXT NOT NULL,"
    " fold TEXT NOT NULL, UNIQUE(parent, fold));"
    "CREATE TABLE vals(id INTEGER PRIMARY KEY, key INTEGER NOT NULL, name TEXT NOT NULL,"
    " fold TEXT NOT NULL, type INTEGER NOT NULL, data BLOB, UNIQUE(key, fold));";

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

}  // namespace

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

int HiveDb::Flush()
{
    if (memory_) return 0;
    const int err = Write(true, [](sqlite3*) { return 0; });
    if (err != 0) return err;
    std::lock_guard lock(mutex_);
    if (JournalMode() == "wal") {
        if (const int walErr = Exec("PRAGMA wal_checkpoint(TRUNCATE)"); walErr != 0) return walErr;
    }
    const std::string dir = ParentFolderOf(path_);
    if (const int syncErr = SyncPath(path_, 0); syncErr != 0) return syncErr;
    if (const int syncErr = SyncPath(dir, O_DIRECTORY); syncErr != 0) return syncErr;
    return SyncPath(ParentFolderOf(dir), O_DIRECTORY);
}

sqlite3_stmt* HiveDb::Prepare(const char* sql, int& err)
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

void HiveDb::Close()
{
    for (auto& [sql, stmt] : statements_) sqlite3_finalize(stmt);
    statements_.clear();
    if (db_ != nullptr) sqlite3_close_v2(db_);
    db_ = nullptr;
}

int HiveDb::Open(bool create)
{
    if (memory_) return db_ != nullptr ? 0 : Connect();
    if (create) {
        if (const int err = EnsureDirectory(ParentFolderOf(path_)); err != 0) return err;
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

int HiveDb::Connect()
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

int HiveDb::Exec(const char* sql)
{
    const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
    return rc == SQLITE_OK ? 0 : ErrnoFromSqlite(db_, rc);
}

sqlite3_int64 HiveDb::QueryInt(const char* sql, int& err)
{
    sqlite3_stmt* stmt = Prepare(sql, err);
    if (stmt == nullptr) return 0;
    HiveStatement s(stmt);
    const int rc = s.Step();
    if (rc != SQLITE_ROW) {
        err = rc == SQLITE_DONE ? EIO : ErrnoFromSqlite(db_, rc);
        return 0;
    }
    return sqlite3_column_int64(stmt, 0);
}

std::string HiveDb::JournalMode()
{
    int err = 0;
    sqlite3_stmt* stmt = Prepare("PRAGMA journal_mode", err);
    if (stmt == nullptr) return {};
    HiveStatement s(stmt);
    if (s.Step() != SQLITE_ROW) return {};
    const auto* text = sqlite3_column_text(stmt, 0);
    return text != nullptr ? reinterpret_cast<const char*>(text) : "";
}

int HiveDb::Begin(bool create, bool& unusable)
{
    unusable = false;
    const int opened = Open(create);
    if (opened == kMissingFile) return ENOENT;
    if (opened != 0) {
        unusable = opened == EISDIR || opened == EINVAL || opened == EIO || opened == EACCES || opened == EPERM;
        return opened;
    }
    if (const int err = Exec("BEGIN IMMEDIATE"); err != 0) {
        unusable = err == EIO;
        return err;
    }
    bool empty = false;
    bool foreign = false;
    int err = Validate(empty, true, foreign);
    if (err == 0 && empty) err = create ? CreateSchema() : ENOENT;
    if (err != 0) {
        unusable = err == EIO || foreign;
        return Finish(err);
    }
    return 0;
}

bool HiveDb::SetAside(int err)
{
    const std::optional<std::string> aside = SetAsideHiveFile(path_);
    if (!aside) return false;
    Notify("the settings file " + path_ + " could not be used (" + std::strerror(err) + "); it was kept as " + *aside +
           " and a new one made in its place");
    return true;
}

int HiveDb::Validate(bool& empty, bool writing, bool& foreign)
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
    foreign = application != kApplicationId;
    if (foreign || version > kSchemaVersion) return ENOTSUP;  // not ours, or newer
    if (version != kSchemaVersion || objects < 2) return EIO;
    // Before writing, make sure no page is damaged: a damaged file is never rewritten.
    if (writing && !memory_) {
        sqlite3_stmt* stmt = Prepare("PRAGMA quick_check(1)", err);
        if (stmt == nullptr) return err;
        HiveStatement s(stmt);
        const int rc = s.Step();
        if (rc != SQLITE_ROW) return ErrnoFromSqlite(db_, rc);
        const auto* text = sqlite3_column_text(stmt, 0);
        if (text == nullptr || std::string_view(reinterpret_cast<const char*>(text)) != "ok") return EIO;
    }
    empty = false;
    return 0;
}

int HiveDb::CreateSchema()
{
    if (const int err = Exec(kSchema); err != 0) return err;
    const std::string pragmas = "PRAGMA application_id=" + std::to_string(kApplicationId) +
                                "; PRAGMA user_version=" + std::to_string(kSchemaVersion) + ";";
    return Exec(pragmas.c_str());
}

int HiveDb::Finish(int err)
{
    if (err == 0) {
        const int rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK) return 0;
        err = ErrnoFromSqlite(db_, rc);
    }
    if (sqlite3_get_autocommit(db_) == 0) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    return err;
}

}  // namespace kestrun::platform::hive
