#include "platform/common/Wildcard.h"

#include <cwctype>

namespace kestrun::platform {

bool MatchesWildcard(const std::wstring& pattern, const std::wstring& text)
{
    auto same = [](wchar_t a, wchar_t b) { return std::towlower(static_cast<wint_t>(a)) == std::towlower(static_cast<wint_t>(b)); };
    // Greedy match that backs up to the last '*' on a mismatch: linear in practice, no recursion.
    size_t pi = 0, ti = 0, starP = std::wstring::npos, starT = 0;
    while (ti < text.size()) {
        if (pi < pattern.size() && (pattern[pi] == L'?' || (pattern[pi] != L'*' && same(pattern[pi], text[ti])))) {
            ++pi;
            ++ti;
        } else if (pi < pattern.size() && pattern[pi] == L'*') {
            starP = pi++;
            starT = ti;
        } else if (starP != std::wstring::npos) {
            pi = starP + 1;
            ti = ++starT;
        } else {
            return false;
        }
    }
    while (pi < pattern.size() && pattern[pi] == L'*') ++pi;
    return pi == pattern.size();
}

}  // namespace kestrun::platform
