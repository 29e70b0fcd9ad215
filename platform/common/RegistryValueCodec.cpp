#include "platform/common/RegistryValueCodec.h"

#include "platform/Types.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <vector>

namespace kestrun::platform::hive {

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

}  // namespace kestrun::platform::hive
