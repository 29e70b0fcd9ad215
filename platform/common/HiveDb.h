// One hive of the registry store: a SQLite database file (or ":memory:") with
// the store's schema, opened lazily and again when the file was replaced. Every
// call runs in one transaction. A file that is not a hive of ours, or is damaged,
// is never written: the call fails and the file is left exactly as it was.
#pragma once

#include <sqlite3.h>
#include <sys/types.h>

#include <cerrno>
#include <mutex>
#include <string>
#include <unordered_map>

namespace kestrun::platform::hive {

// The errno that stands for a failed SQLite call (rc) on the connection db
// (which may be null).
int ErrnoFromSqlite(sqlite3* db, int rc);

class HiveDb {
public:
    // setAsideDamaged: a write that finds a damaged or foreign file moves it aside
    // (kept byte for byte, and said so through the platform's notices) and makes
    // a fresh hive in its place, so that the session's changes are not lost.
    HiveDb(std::string path, bool setAsideDamaged)
        : path_(std::move(path)), memory_(path_ == ":memory:"), setAsideDamaged_(setAsideDamaged && !memory_)
    {
    }
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
        bool foreign = false;
        int err = Validate(empty, false, foreign);
        if (err == 0) err = fn(empty ? nullptr : db_);
        return Finish(err);
    }

    // Runs fn(db) in one write transaction. With create, the directory, the file
    // and the schema are made when missing; without, a missing file is ENOENT.
    template <class Fn>
    int Write(bool create, Fn fn)
    {
        std::lock_guard lock(mutex_);
        bool unusable = false;
        int err = Begin(create, unusable);
        if (err != 0 && unusable && create && setAsideDamaged_) {
            Close();
            if (SetAside(err)) err = Begin(create, unusable);
        }
        if (err != 0) return err;
        return Finish(fn(db_));
    }

    // Makes everything committed so far durable: the file, its directory entry
    // (the removal of the rollback journal) and the directory's own entry.
    int Flush();

    // A cached prepared statement; null (with err set) when it cannot be prepared.
    sqlite3_stmt* Prepare(const char* sql, int& err);

private:
    static constexpr int kMissingFile = -1;  // not an errno: the hive file does not exist

    void Close();
    // Opens the hive and starts a write transaction on a valid (or new) hive.
    // unusable: the failure is the file's own (damaged, foreign, a folder, or a
    // file we may not open), which a fresh hive in its place would mend.
    int Begin(bool create, bool& unusable);
    // Moves the unusable file aside and says where; false when it could not.
    bool SetAside(int err);
    // Opens the connection lazily, and again when the file was replaced.
    int Open(bool create);
    int Connect();
    int Exec(const char* sql);
    // One integer from a query; err set on failure.
    sqlite3_int64 QueryInt(const char* sql, int& err);
    std::string JournalMode();
    // Decides whether the open database is a hive of ours (empty=false), a fresh
    // empty file (empty=true) or something we must not touch (an errno).
    // foreign: the file is a database, but not a hive of ours.
    int Validate(bool& empty, bool writing, bool& foreign);
    int CreateSchema();
    // Commits on success, rolls back otherwise; returns the first error.
    int Finish(int err);

    std::string path_;
    bool memory_;
    bool setAsideDamaged_;
    std::mutex mutex_;
    sqlite3* db_ = nullptr;
    dev_t device_ = 0;
    ino_t inode_ = 0;
    std::unordered_map<const char*, sqlite3_stmt*> statements_;
};

}  // namespace kestrun::platform::hive
