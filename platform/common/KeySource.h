// Keys whose values are made from something other than a stored hive, such as
// a device's sysfs directory on Linux. A source answers for a part of one hive;
// those keys are read-only.
#pragma once

#include "platform/Registry.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kestrun::platform {

class KeySource {
public:
    virtual ~KeySource() = default;

    // Whether key lies in the part of the hive this source answers for: reads
    // there never reach the store, and writes there fail with EACCES.
    [[nodiscard]] virtual bool Owns(const std::wstring& key) const = 0;
    virtual bool KeyExists(const std::wstring& key) = 0;
    // nullopt (last error set) when the key or the value does not exist.
    virtual std::optional<RegValue> QueryValue(const std::wstring& key, const std::wstring& name) = 0;
    virtual std::optional<std::vector<std::pair<std::wstring, RegValue>>> EnumValues(const std::wstring& key) = 0;
};

}  // namespace kestrun::platform
