// The registry store: each hive is one database (HiveDb). Keys form a tree whose
// root is the implicit key 0; names keep the case they were created with and are
// matched through a folded (lower-case) copy.
#include "platform/common/RegistryStore.h"

#include "platform/LastError.h"
#include "platform/Types.h"
#include "platform/common/HiveDb.h"
#include "platform/common/HiveStatement.h"
#include "platform/common/RegistryValueCodec.h"

#include <locale.h>

#include <cerrno>
#include <cwctype>
#include <new>

namespace kestrun::platform {

namespace {

using hive::BindValue;
using hive::ColumnText;
using hive::DecodeValue;
using hive::ErrnoFromSqlite;
using hive::HiveDb;
using hive::HiveStatement;
using hive::KnownType;

constexpr sqlite3_int64 kRootKey = 0;

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

class RegistryStore final : public Registry {
public:
    // Only the current user's options are replaced when damaged; the machine's
    // hive belongs to the package and is never rewritten from a damaged file.
    explicit RegistryStore(const RegistryPaths& paths)
        : currentUser_(paths.currentUser, true), localMachine_(paths.localMachine, false)
    {
    }

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
                return StepValue(hive, "SELECT type, data FROM vals WHERE key = ?1 AND fold = ?2", id, name, [&](sqlite3_stmt* stmt, int rc) {
                    if (rc == SQLITE_DONE) return ENOENT;
                    if (rc != SQLITE_ROW) return ErrnoFromSqlite(db, rc);
                    RegValue value;
                    if (const int decodeErr = DecodeValue(stmt, 0, value); decodeErr != 0) return decodeErr;
                    result = std::move(value);
                    return 0;
                });
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
                HiveStatement s(stmt);
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
                return StepValue(hive, "DELETE FROM vals WHERE key = ?1 AND fold = ?2", id, name, [&](sqlite3_stmt*, int rc) {
                    if (rc != SQLITE_DONE) return ErrnoFromSqlite(db, rc);
                    return sqlite3_changes(db) > 0 ? 0 : ENOENT;
                });
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
                    const int err = EachRow(hive, "SELECT name FROM keys WHERE parent = ?1 ORDER BY id", id, [&](sqlite3_stmt* stmt) {
                        names.push_back(Widen(ColumnText(stmt, 0)));
                        return 0;
                    });
                    if (err != 0) return err;
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
                    const int err = EachRow(hive, "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY id", id, [&](sqlite3_stmt* stmt) {
                        RegValue value;
                        if (const int decodeErr = DecodeValue(stmt, 1, value); decodeErr != 0) return decodeErr;
                        values.emplace_back(Widen(ColumnText(stmt, 0)), std::move(value));
                        return 0;
                    });
                    if (err != 0) return err;
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
            HiveStatement s(stmt);
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
            HiveStatement f(find);
            f.Bind(1, id);
            f.Bind(2, folded);
            int rc = f.Step();
            if (rc == SQLITE_ROW) {
                id = sqlite3_column_int64(find, 0);
                continue;
            }
            if (rc != SQLITE_DONE) return ErrnoFromSqlite(db, rc);
            HiveStatement s(insert);
            s.Bind(1, id);
            s.Bind(2, Narrow(part));
            s.Bind(3, folded);
            if ((rc = s.Step()) != SQLITE_DONE) return ErrnoFromSqlite(db, rc);
            id = sqlite3_last_insert_rowid(db);
        }
        return 0;
    }

    // Runs sql with ?1 the key id and ?2 the folded value name for one step;
    // fn(stmt, rc) reads the outcome while the statement is still borrowed.
    template <class Fn>
    int StepValue(Hive hive, const char* sql, sqlite3_int64 id, const std::wstring& name, Fn fn)
    {
        int err = 0;
        sqlite3_stmt* stmt = Db(hive).Prepare(sql, err);
        if (stmt == nullptr) return err;
        HiveStatement s(stmt);
        s.Bind(1, id);
        s.Bind(2, Fold(name));
        return fn(stmt, s.Step());
    }

    // Runs sql with ?1 the key id, calling fn(stmt) on each row it gives (an
    // errno, 0 to go on).
    template <class Fn>
    int EachRow(Hive hive, const char* sql, sqlite3_int64 id, Fn fn)
    {
        int err = 0;
        sqlite3_stmt* stmt = Db(hive).Prepare(sql, err);
        if (stmt == nullptr) return err;
        HiveStatement s(stmt);
        s.Bind(1, id);
        int rc = SQLITE_ROW;
        while ((rc = s.Step()) == SQLITE_ROW)
            if (const int rowErr = fn(stmt); rowErr != 0) return rowErr;
        return rc == SQLITE_DONE ? 0 : ErrnoFromSqlite(sqlite3_db_handle(stmt), rc);
    }

    // Runs a statement that gives no rows, with ?1 the key id.
    int Run(Hive hive, const char* sql, sqlite3_int64 id)
    {
        return EachRow(hive, sql, id, [](sqlite3_stmt*) { return 0; });
    }

    HiveDb currentUser_;
    HiveDb localMachine_;
};

}  // namespace

std::unique_ptr<Registry> CreateRegistryStore(const RegistryPaths& paths)
{
    return std::make_unique<RegistryStore>(paths);
}

}  // namespace kestrun::platform
