// A prepared statement of a hive's connection, borrowed from the connection's
// cache for one use and reset when the borrower is done.
#pragma once

#include <sqlite3.h>

#include <string>

namespace kestrun::platform::hive {

class HiveStatement {
public:
    explicit HiveStatement(sqlite3_stmt* stmt) : stmt_(stmt) {}
    ~HiveStatement()
    {
        if (stmt_ != nullptr) {
            sqlite3_reset(stmt_);
            sqlite3_clear_bindings(stmt_);
        }
    }
    HiveStatement(const HiveStatement&) = delete;
    HiveStatement& operator=(const HiveStatement&) = delete;

    sqlite3_stmt* get() const { return stmt_; }
    void Bind(int i, sqlite3_int64 v) { sqlite3_bind_int64(stmt_, i, v); }
    void Bind(int i, const std::string& s) { sqlite3_bind_text(stmt_, i, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT); }
    int Step() { return sqlite3_step(stmt_); }

private:
    sqlite3_stmt* stmt_;
};

}  // namespace kestrun::platform::hive
