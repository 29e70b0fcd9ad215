#include "display/core/ListColumn.h"

#include <algorithm>
#include <cwctype>

namespace kestrun {

int CompareNoCase(const std::wstring& a, const std::wstring& b, size_t limit)
{
    const size_t na = std::min(a.size(), limit);
    const size_t nb = std::min(b.size(), limit);
    const size_t n = std::min(na, nb);
    for (size_t i = 0; i < n; ++i) {
        const wint_t ca = std::towlower(static_cast<wint_t>(a[i]));
        const wint_t cb = std::towlower(static_cast<wint_t>(b[i]));
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    return Order(na, nb);
}

std::optional<int> FindColumnByTitle(const std::vector<std::wstring>& titles, const std::wstring& name)
{
    for (size_t i = 0; i < titles.size(); ++i)
        if (titles[i].size() == name.size() && CompareNoCase(titles[i], name) == 0) return static_cast<int>(i);
    return std::nullopt;
}

}  // namespace kestrun
