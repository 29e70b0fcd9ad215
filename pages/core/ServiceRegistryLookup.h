// The registry lookup of the Services page: what the settings keys of the
// services say of one service, read once, when its row is created.
#pragma once

#include "platform/Services.h"

#include <cstdint>
#include <string>

namespace kestrun {

struct ServiceSettings {
    std::wstring displayName;  // "FriendlyName", else "DisplayName"
    std::wstring description;  // "Description"
    uint32_t order = 0;        // "Order"
};

// Scans every subkey of "Services" and takes the values of each one that names
// prefix (compared case-insensitively). The scan does not stop at a match, so a
// later matching key overwrites what an earlier one gave; values that are
// missing leave the settings as they were. Nothing is read when "Services"
// cannot be opened.
void LookupServiceRegistry(platform::ServiceKeys& keys, const std::wstring& prefix, ServiceSettings& settings);

}  // namespace kestrun
