// The registry: two hives of keys holding typed values.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kestrun::platform {

enum class Hive { CurrentUser, LocalMachine };

enum class ValueType : uint32_t {
    String = 1,
    Binary = 3,
    Dword = 4,
    MultiString = 7,
};

struct RegValue {
    ValueType type = ValueType::Dword;
    uint32_t dword = 0;
    std::wstring string;
    std::vector<std::wstring> multiString;
    std::vector<uint8_t> binary;

    static RegValue Dword(uint32_t v) { RegValue r; r.type = ValueType::Dword; r.dword = v; return r; }
    static RegValue String(std::wstring s) { RegValue r; r.type = ValueType::String; r.string = std::move(s); return r; }
    static RegValue Multi(std::vector<std::wstring> m) { RegValue r; r.type = ValueType::MultiString; r.multiString = std::move(m); return r; }
    static RegValue Bytes(std::vector<uint8_t> b) { RegValue r; r.type = ValueType::Binary; r.binary = std::move(b); return r; }
};

// Key paths use backslashes ("Software\\Dravik\\Dravik Task Manager\\Options");
// key and value names compare case-insensitively. Every call is atomic.
class Registry {
public:
    virtual ~Registry() = default;

    virtual bool KeyExists(Hive hive, const std::wstring& key) = 0;
    virtual bool CreateKey(Hive hive, const std::wstring& key) = 0;
    virtual bool DeleteKey(Hive hive, const std::wstring& key) = 0;
    // nullopt (last error set) when the key or value is missing or the hive cannot be read.
    virtual std::optional<RegValue> QueryValue(Hive hive, const std::wstring& key, const std::wstring& name) = 0;
    // Creates the key when needed.
    virtual bool SetValue(Hive hive, const std::wstring& key, const std::wstring& name, const RegValue& value) = 0;
    virtual bool DeleteValue(Hive hive, const std::wstring& key, const std::wstring& name) = 0;
    virtual std::optional<std::vector<std::wstring>> EnumSubKeys(Hive hive, const std::wstring& key) = 0;
    virtual std::optional<std::vector<std::pair<std::wstring, RegValue>>> EnumValues(Hive hive, const std::wstring& key) = 0;
    // Durability barrier: returns only when everything written so far is on stable storage.
    virtual bool Flush(Hive hive) = 0;
};

}  // namespace kestrun::platform
