// Name patterns of the device search: '*' stands for any run of characters,
// '?' for any one; letters compare case-insensitively.
#pragma once

#include <string>

namespace kestrun::platform {

bool MatchesWildcard(const std::wstring& pattern, const std::wstring& text);

}  // namespace kestrun::platform
