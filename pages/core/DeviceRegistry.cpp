#include "pages/core/DeviceRegistry.h"

#include "display/core/Format.h"

#include <cwchar>
#include <initializer_list>

namespace kestrun {

namespace {

using platform::Hive;
using platform::RegValue;
using platform::ValueType;

// The data of a value of another type as a text buffer would hold it: 16-bit
// little-endian characters up to the first NUL.
std::wstring BytesAsText(const std::vector<uint8_t>& bytes)
{
    std::wstring text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto c = static_cast<wchar_t>(bytes[i] | (bytes[i + 1] << 8));
        if (c == 0) break;
        text.push_back(c);
    }
    return text;
}

// The first of names present in the key.
std::optional<RegValue> FirstOf(platform::Registry& registry, const std::wstring& key, std::initializer_list<const wchar_t*> names)
{
    for (const wchar_t* name : names)
        if (std::optional<RegValue> value = registry.QueryValue(Hive::LocalMachine, key, name)) return value;
    return std::nullopt;
}

void ReadBase(platform::Registry& registry, const std::wstring& key, std::initializer_list<const wchar_t*> names, uint64_t& number,
              std::wstring& text)
{
    number = 0;
    text.clear();
    const std::optional<RegValue> value = FirstOf(registry, key, names);
    if (!value) return;
    switch (value->type) {
    case ValueType::Dword:
        number = value->dword;
        text = Printf(L"%lx", static_cast<unsigned long>(value->dword));
        break;
    case ValueType::String:
        text = value->string;
        number = ParseHexBase(text);
        break;
    case ValueType::MultiString:
        for (size_t i = 0; i < value->multiString.size(); ++i) {
            if (i > 0) text += L',';
            text += value->multiString[i];
        }
        if (!value->multiString.empty()) number = ParseHexBase(value->multiString.front());
        break;
    default:
        text = BytesAsText(value->binary);
        break;
    }
}

}  // namespace

uint64_t ParseHexBase(const std::wstring& text)
{
    size_t i = 0;
    while (i < text.size() && (text[i] == L' ' || text[i] == L'\t' || text[i] == L'\n' || text[i] == L'\r')) ++i;
    if (i + 1 < text.size() && text[i] == L'0' && (text[i + 1] == L'x' || text[i + 1] == L'X')) i += 2;
    uint64_t number = 0;
    for (; i < text.size(); ++i) {
        const wchar_t c = text[i];
        unsigned digit = 0;
        if (c >= L'0' && c <= L'9') digit = static_cast<unsigned>(c - L'0');
        else if (c >= L'a' && c <= L'f') digit = static_cast<unsigned>(c - L'a' + 10);
        else if (c >= L'A' && c <= L'F') digit = static_cast<unsigned>(c - L'A' + 10);
        else break;
        if (number > (UINT64_MAX >> 4)) return UINT64_MAX;  // as strtoul: too large reads as the largest
        number = (number << 4) | digit;
    }
    return number;
}

DeviceRegistryValues ReadDeviceRegistry(platform::Registry& registry, const std::wstring& key)
{
    DeviceRegistryValues values;
    if (key.empty() || !registry.KeyExists(Hive::LocalMachine, key)) return values;

    // A value of an unexpected type reads as empty or 0 rather than as its raw bytes.
    if (const auto dll = registry.QueryValue(Hive::LocalMachine, key, L"Dll"); dll && dll->type == ValueType::String) values.module = dll->string;
    if (const auto order = registry.QueryValue(Hive::LocalMachine, key, L"Order"); order && order->type == ValueType::Dword)
        values.order = order->dword;

    // Only when "IRQ" cannot be read is "InterruptNumber" tried; either counts only as a number.
    if (const auto irq = FirstOf(registry, key, {L"IRQ", L"InterruptNumber"}); irq && irq->type == ValueType::Dword) values.irq = irq->dword;
    if (const auto sysIntr = registry.QueryValue(Hive::LocalMachine, key, L"SysIntr"); sysIntr && sysIntr->type == ValueType::Dword) {
        values.sysIntr = sysIntr->dword;
        // System interrupts 16..31 are the legacy interrupts 0..15.
        if (values.irq == 0 && values.sysIntr - 16u <= 15u) values.irq = values.sysIntr - 16u;
    }

    ReadBase(registry, key, {L"IoBase", L"IoAddr", L"IoBaseAddress", L"IoPort"}, values.ioBase, values.ioBaseText);
    ReadBase(registry, key, {L"MemBase", L"MemAddr"}, values.memBase, values.memBaseText);
    return values;
}

}  // namespace kestrun
