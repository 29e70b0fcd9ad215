#include "platform/common/RegistryServiceKeys.h"

#include <string>

namespace kestrun::platform {

namespace {

constexpr wchar_t kServicesKey[] = L"Services";

class RegistryServiceKeys final : public ServiceKeys {
public:
    explicit RegistryServiceKeys(Registry& registry) : registry_(registry) {}

    std::optional<std::vector<std::wstring>> SubKeys() override
    {
        return registry_.EnumSubKeys(Hive::LocalMachine, kServicesKey);
    }

    // A key names its service by a prefix and an index, as the device file "HTP0:".
    std::optional<std::wstring> NamedPrefix(const std::wstring& subKey) override
    {
        const std::optional<std::wstring> prefix = String(subKey, L"Prefix");
        if (!prefix) return std::nullopt;
        const std::optional<uint32_t> index = Number(subKey, L"Index");
        if (!index) return std::nullopt;
        return *prefix + std::to_wstring(*index) + L":";
    }

    std::optional<std::wstring> String(const std::wstring& subKey, const std::wstring& name) override
    {
        std::optional<RegValue> value = registry_.QueryValue(Hive::LocalMachine, Path(subKey), name);
        if (!value || value->type != ValueType::String) return std::nullopt;
        return std::move(value->string);
    }

    std::optional<uint32_t> Number(const std::wstring& subKey, const std::wstring& name) override
    {
        const std::optional<RegValue> value = registry_.QueryValue(Hive::LocalMachine, Path(subKey), name);
        if (!value || value->type != ValueType::Dword) return std::nullopt;
        return value->dword;
    }

private:
    static std::wstring Path(const std::wstring& subKey) { return std::wstring(kServicesKey) + L"\\" + subKey; }

    Registry& registry_;
};

}  // namespace

std::unique_ptr<ServiceKeys> CreateRegistryServiceKeys(Registry& registry)
{
    return std::make_unique<RegistryServiceKeys>(registry);
}

}  // namespace kestrun::platform
