// Checked reading of profile JSON: each helper reads one field, and the first
// problem found is kept as "path: what" (later ones are ignored).
#pragma once

#include "platform/Registry.h"
#include "platform/sim/SimProfile.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

namespace kestrun::platform::sim {

class Reader {
public:
    using json = nlohmann::ordered_json;

    [[nodiscard]] bool ok() const { return error_.empty(); }
    [[nodiscard]] const std::string& error() const { return error_; }
    void Error(const std::string& path, const std::string& what);

    // j must be an object whose keys are all in allowed.
    bool Object(const json& j, const std::string& path, std::initializer_list<const char*> allowed);
    bool Object(const json& j, const std::string& path, std::span<const char* const> allowed);
    // Calls fn for every element of the array parent[key] (absent: none).
    void Each(const json& parent, const char* key, const std::string& path, const std::function<void(const json&, const std::string&)>& fn);

    // Each returns true when the field is present and valid (and then sets out).
    // Numbers may be written as JSON numbers, "0x..." hexadecimal or sizes "64K", "32M".
    bool Number(const json& j, const char* key, const std::string& path, uint64_t& out, uint64_t min = 0, uint64_t max = UINT64_MAX);
    bool Signed(const json& j, const char* key, const std::string& path, int32_t& out, int32_t min, int32_t max);
    bool Id(const json& j, const char* key, const std::string& path, uint32_t& out);
    bool Text(const json& j, const char* key, const std::string& path, std::wstring& out);
    bool RequiredText(const json& j, const char* key, const std::string& path, std::wstring& out);
    bool Flag(const json& j, const char* key, const std::string& path, bool& out);
    // A share of one processor: percent 0..100, fractions allowed; out in hundredths of a percent.
    bool Load(const json& j, const char* key, const std::string& path, uint32_t& out);
    // "fixed|free|moveable|big|decommit" or a number.
    bool HeapFlags(const json& j, const char* key, const std::string& path, uint32_t& out);
    // ["readOnly", "hidden", "system", "directory", "archive", "compressed", "inRom", "romModule"] or a number.
    bool Attributes(const json& j, const char* key, const std::string& path, uint32_t& out);
    // "YYYY-MM-DD HH:MM:SS" (device local time) or a file time number.
    bool Time(const json& j, const char* key, const std::string& path, uint64_t& out);
    // number: DWORD; string: string; array of strings: multi-string;
    // {"dword": n} | {"string": s} | {"multi": [...]} | {"binary": "hex"}.
    std::optional<RegValue> Value(const json& v, const std::string& path);

private:
    std::optional<uint64_t> ParseNumber(const json& v) const;
    std::string error_;
};

// One element of the profile's lists, as the lists and the events that add
// one later hold it; false after an error (kept in r). A thread or block with a
// count or repeat gives that many.
void ReadVersion(Reader& r, const Reader::json& j, const std::string& path, std::optional<VersionInfo>& out);
bool ReadModuleSpec(Reader& r, const Reader::json& j, const std::string& path, ModuleSpec& out);
bool ReadThreadSpec(Reader& r, const Reader::json& j, const std::string& path, std::vector<ThreadSpec>& out);
bool ReadHeapBlockSpec(Reader& r, const Reader::json& j, const std::string& path, std::vector<HeapBlockSpec>& out);
bool ReadWindowSpec(Reader& r, const Reader::json& j, const std::string& path, WindowSpec& out);
// moduleNames: the lower-case names of the modules a process may load.
bool ReadProcessSpec(Reader& r, const Reader::json& j, const std::string& path, const std::set<std::wstring>& moduleNames, ProcessSpec& out);
bool ReadServiceSpec(Reader& r, const Reader::json& j, const std::string& path, ServiceSpec& out);
bool ReadDeviceSpec(Reader& r, const Reader::json& j, const std::string& path, DeviceSpec& out);
bool ReadInterfaceSpec(Reader& r, const Reader::json& j, const std::string& path, InterfaceSpec& out);

// The profile's "failures" and "events"; the processes, modules and other
// things the events name must be in the profile or added by an event.
void ReadFailures(Reader& r, const Reader::json& root, SimProfile& profile);
void ReadEvents(Reader& r, const Reader::json& root, SimProfile& profile);

// "#RRGGBB" -> 0xFFRRGGBB.
bool ParseColor(const std::wstring& text, uint32_t& color);
// nlohmann's "[json.exception.parse_error.101] parse error at line 3, ..." without the bracketed tag.
std::string StripExceptionPrefix(const std::string& what);
// Adds generated programs with their threads, heap entries and modules.
void AppendGeneratedPrograms(SimProfile& profile, uint32_t processes, uint32_t threadsPerProcess, uint32_t heapEntriesPerProcess);

}  // namespace kestrun::platform::sim
