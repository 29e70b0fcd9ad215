#include "pages/core/ServiceRegistryLookup.h"

#include <cwctype>

namespace kestrun {

namespace {
bool EqualNoCase(const std::wstring& a, const std::wstring& b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::towlower(static_cast<wint_t>(a[i])) != std::towlower(static_cast<wint_t>(b[i]))) return false;
    return true;
}
}  // namespace

void LookupServiceRegistry(platform::ServiceKeys& keys, const std::wstring& prefix, ServiceSettings& settings)
{
    const std::optional<std::vector<std::wstring>> subKeys = keys.SubKeys();
    if (!subKeys) return;
    for (const std::wstring& subKey : *subKeys) {
        const std::optional<std::wstring> named = keys.NamedPrefix(subKey);
        if (!named || !EqualNoCase(*named, prefix)) continue;
        std::optional<std::wstring> name = keys.String(subKey, L"FriendlyName");
        if (!name) name = keys.String(subKey, L"DisplayName");
        if (name) settings.displayName = std::move(*name);
        if (std::optional<std::wstring> description = keys.String(subKey, L"Description")) settings.description = std::move(*description);
        if (const std::optional<uint32_t> order = keys.Number(subKey, L"Order")) settings.order = *order;
    }
}

}  // namespace kestrun
