#include "platform/sim/SimProfileReader.h"

#include "platform/Types.h"

#include <cstdio>
#include <cwctype>

namespace kestrun::platform::sim {

namespace {

// Days from 1970-01-01 to the civil date (proleptic Gregorian), negative before.
int64_t DaysSince1970(int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

}  // namespace

void Reader::Error(const std::string& path, const std::string& what)
{
    if (error_.empty()) error_ = path + ": " + what;
}

bool Reader::Object(const json& j, const std::string& path, std::initializer_list<const char*> allowed)
{
    return Object(j, path, std::span<const char* const>(allowed.begin(), allowed.size()));
}

bool Reader::Object(const json& j, const std::string& path, std::span<const char* const> allowed)
{
    if (!j.is_object()) {
        Error(path, "expected an object");
        return false;
    }
    for (const auto& item : j.items()) {
        bool known = false;
        for (const char* name : allowed) known = known || item.key() == name;
        if (!known) {
            Error(path, "unknown field \"" + item.key() + "\"");
            return false;
        }
    }
    return true;
}

void Reader::Each(const json& parent, const char* key, const std::string& path, const std::function<void(const json&, const std::string&)>& fn)
{
    if (!parent.is_object() || !parent.contains(key)) return;
    const json& list = parent[key];
    if (!list.is_array()) {
        Error(path, "expected an array");
        return;
    }
    for (size_t i = 0; i < list.size() && ok(); ++i) fn(list[i], path + "[" + std::to_string(i) + "]");
}

std::optional<uint64_t> Reader::ParseNumber(const json& v) const
{
    if (v.is_number_unsigned()) return v.get<uint64_t>();
    if (v.is_number_integer()) {
        const int64_t n = v.get<int64_t>();
        if (n < 0) return std::nullopt;
        return static_cast<uint64_t>(n);
    }
    if (!v.is_string()) return std::nullopt;
    const std::string text = v.get<std::string>();
    if (text.empty()) return std::nullopt;
    size_t pos = 0;
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        pos = 2;
        base = 16;
    }
    uint64_t value = 0;
    size_t digits = 0;
    for (; pos < text.size(); ++pos, ++digits) {
        const char c = text[pos];
        int d = -1;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else break;
        if (value > (UINT64_MAX - static_cast<uint64_t>(d)) / static_cast<uint64_t>(base)) return std::nullopt;  // too large
        value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
    }
    if (digits == 0) return std::nullopt;
    if (pos == text.size()) return value;
    if (base == 10 && pos + 1 == text.size()) {
        const unsigned shift = text[pos] == 'K' || text[pos] == 'k' ? 10 : text[pos] == 'M' ? 20 : text[pos] == 'G' ? 30 : 0;
        if (shift != 0 && value <= (UINT64_MAX >> shift)) return value << shift;
    }
    return std::nullopt;
}

bool Reader::Number(const json& j, const char* key, const std::string& path, uint64_t& out, uint64_t min, uint64_t max)
{
    if (!j.is_object() || !j.contains(key)) return false;
    const std::optional<uint64_t> value = ParseNumber(j[key]);
    const std::string where = path + "." + key;
    if (!value) {
        Error(where, "expected a non-negative number");
        return false;
    }
    if (*value < min || *value > max) {
        Error(where, std::to_string(*value) + " is outside " + std::to_string(min) + ".." + std::to_string(max));
        return false;
    }
    out = *value;
    return true;
}

bool Reader::Signed(const json& j, const char* key, const std::string& path, int32_t& out, int32_t min, int32_t max)
{
    if (!j.is_object() || !j.contains(key)) return false;
    const json& v = j[key];
    const std::string where = path + "." + key;
    if (!v.is_number_integer()) {
        Error(where, "expected a whole number");
        return false;
    }
    const int64_t n = v.get<int64_t>();
    if (n < min || n > max) {
        Error(where, std::to_string(n) + " is outside " + std::to_string(min) + ".." + std::to_string(max));
        return false;
    }
    out = static_cast<int32_t>(n);
    return true;
}

bool Reader::Id(const json& j, const char* key, const std::string& path, uint32_t& out)
{
    uint64_t value = 0;
    if (!Number(j, key, path, value, 1, 0xFFFFFFFEu)) return false;
    out = static_cast<uint32_t>(value);
    return true;
}

bool Reader::Text(const json& j, const char* key, const std::string& path, std::wstring& out)
{
    if (!j.is_object() || !j.contains(key)) return false;
    if (!j[key].is_string()) {
        Error(path + "." + key, "expected a string");
        return false;
    }
    out = Widen(j[key].get<std::string>());
    return true;
}

bool Reader::RequiredText(const json& j, const char* key, const std::string& path, std::wstring& out)
{
    if (!j.is_object() || !j.contains(key)) {
        Error(path, std::string("missing \"") + key + "\"");
        return false;
    }
    if (!Text(j, key, path, out)) return false;
    if (out.empty()) {
        Error(path + "." + key, "must not be empty");
        return false;
    }
    return true;
}

bool Reader::Flag(const json& j, const char* key, const std::string& path, bool& out)
{
    if (!j.is_object() || !j.contains(key)) return false;
    if (!j[key].is_boolean()) {
        Error(path + "." + key, "expected true or false");
        return false;
    }
    out = j[key].get<bool>();
    return true;
}

bool Reader::Load(const json& j, const char* key, const std::string& path, uint32_t& out)
{
    if (!j.is_object() || !j.contains(key)) return false;
    const json& v = j[key];
    if (!v.is_number() || v.get<double>() < 0 || v.get<double>() > 100) {
        Error(path + "." + key, "expected a percentage 0..100");
        return false;
    }
    out = static_cast<uint32_t>(v.get<double>() * 100 + 0.5);
    return true;
}

bool Reader::HeapFlags(const json& j, const char* key, const std::string& path, uint32_t& out)
{
    if (!j.is_object() || !j.contains(key)) return false;
    const json& v = j[key];
    if (!v.is_string() || v.get<std::string>().rfind("0x", 0) == 0) {
        uint64_t n = 0;
        if (!Number(j, key, path, n, 0, 0xFFFFFFFFu)) return false;
        out = static_cast<uint32_t>(n);
        return true;
    }
    uint32_t flags = 0;
    std::string text = v.get<std::string>() + "|";
    size_t start = 0;
    for (size_t bar = text.find('|'); bar != std::string::npos; start = bar + 1, bar = text.find('|', start)) {
        const std::string word = text.substr(start, bar - start);
        if (word == "fixed") flags |= kHeapFixed;
        else if (word == "free") flags |= kHeapFree;
        else if (word == "moveable") flags |= kHeapMoveable;
        else if (word == "big") flags |= kHeapBig;
        else if (word == "decommit") flags |= kHeapDecommit;
        else {
            Error(path + "." + key, "unknown heap flag \"" + word + "\" (fixed, free, moveable, big, decommit)");
            return false;
        }
    }
    out = flags;
    return true;
}

bool Reader::Attributes(const json& j, const char* key, const std::string& path, uint32_t& out)
{
    if (!j.is_object() || !j.contains(key)) return false;
    const json& v = j[key];
    if (!v.is_array()) {
        uint64_t n = 0;
        if (!Number(j, key, path, n, 0, 0xFFFFFFFFu)) return false;
        out = static_cast<uint32_t>(n);
        return true;
    }
    static const std::pair<const char*, uint32_t> kNames[] = {
        {"readOnly", kFileReadOnly}, {"hidden", kFileHidden}, {"system", kFileSystem}, {"directory", kFileDirectory},
        {"archive", kFileArchive}, {"compressed", kFileCompressed}, {"inRom", kFileInRom}, {"romModule", kFileRomModule}};
    uint32_t flags = 0;
    for (const json& item : v) {
        bool known = false;
        for (const auto& [name, bit] : kNames) {
            if (item.is_string() && item.get<std::string>() == name) {
                flags |= bit;
                known = true;
            }
        }
        if (!known) {
            Error(path + "." + key, "unknown attribute " + item.dump());
            return false;
        }
    }
    out = flags;
    return true;
}

bool Reader::Time(const json& j, const char* key, const std::string& path, uint64_t& out)
{
    if (!j.is_object() || !j.contains(key)) return false;
    const json& v = j[key];
    if (v.is_number_unsigned()) {
        out = v.get<uint64_t>();
        return true;
    }
    unsigned y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    char tail = 0;
    if (!v.is_string() || std::sscanf(v.get<std::string>().c_str(), "%4u-%2u-%2u %2u:%2u:%2u%c", &y, &mo, &d, &h, &mi, &s, &tail) != 6 ||
        y < 1601 || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59) {
        Error(path + "." + key, "expected a time \"YYYY-MM-DD HH:MM:SS\"");
        return false;
    }
    const int64_t seconds = ((DaysSince1970(y, mo, d) * 24 + h) * 60 + mi) * 60 + s;  // negative before 1970
    out = static_cast<uint64_t>(static_cast<int64_t>(kUnixEpochAsFileTime) + seconds * 10000000);
    return true;
}

std::optional<RegValue> Reader::Value(const json& v, const std::string& path)
{
    auto strings = [&](const json& list) -> std::optional<std::vector<std::wstring>> {
        std::vector<std::wstring> out;
        for (const json& item : list) {
            if (!item.is_string()) {
                Error(path, "a string list holds strings only");
                return std::nullopt;
            }
            out.push_back(Widen(item.get<std::string>()));
        }
        return out;
    };
    if (v.is_number()) {
        const std::optional<uint64_t> n = ParseNumber(v);
        if (!n || *n > 0xFFFFFFFFu) {
            Error(path, "a number value must be 0..4294967295");
            return std::nullopt;
        }
        return RegValue::Dword(static_cast<uint32_t>(*n));
    }
    if (v.is_string()) return RegValue::String(Widen(v.get<std::string>()));
    if (v.is_array()) {
        std::optional<std::vector<std::wstring>> list = strings(v);
        if (!list) return std::nullopt;
        return RegValue::Multi(std::move(*list));
    }
    if (v.is_object() && v.size() == 1) {
        const auto first = v.begin();
        const std::string type = first.key();
        const json& data = first.value();
        if (type == "dword") {
            const std::optional<uint64_t> n = ParseNumber(data);
            if (n && *n <= 0xFFFFFFFFu) return RegValue::Dword(static_cast<uint32_t>(*n));
        } else if (type == "string" && data.is_string()) {
            return RegValue::String(Widen(data.get<std::string>()));
        } else if (type == "multi" && data.is_array()) {
            std::optional<std::vector<std::wstring>> list = strings(data);
            if (!list) return std::nullopt;
            return RegValue::Multi(std::move(*list));
        } else if (type == "binary" && data.is_string() && data.get<std::string>().size() % 2 == 0) {
            std::vector<uint8_t> bytes;
            const std::string hex = data.get<std::string>();
            for (size_t i = 0; i < hex.size(); i += 2) {
                const json pair = "0x" + hex.substr(i, 2);
                const std::optional<uint64_t> byte = ParseNumber(pair);
                if (!byte) {
                    Error(path, "binary data must be hexadecimal digits");
                    return std::nullopt;
                }
                bytes.push_back(static_cast<uint8_t>(*byte));
            }
            return RegValue::Bytes(std::move(bytes));
        }
    }
    Error(path, "expected a number, a string, a list of strings or {\"dword\"|\"string\"|\"multi\"|\"binary\": ...}");
    return std::nullopt;
}

bool ParseColor(const std::wstring& text, uint32_t& color)
{
    if (text.size() != 7 || text[0] != L'#') return false;
    uint32_t value = 0;
    for (size_t i = 1; i < 7; ++i) {
        const wchar_t c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(text[i])));
        if (c >= L'0' && c <= L'9') value = value * 16 + static_cast<uint32_t>(c - L'0');
        else if (c >= L'a' && c <= L'f') value = value * 16 + static_cast<uint32_t>(c - L'a' + 10);
        else return false;
    }
    color = 0xFF000000u | value;
    return true;
}

std::string StripExceptionPrefix(const std::string& what)
{
    if (!what.empty() && what[0] == '[') {
        const size_t end = what.find("] ");
        if (end != std::string::npos) return what.substr(end + 2);
    }
    return what;
}

}  // namespace kestrun::platform::sim
