#include "platform/linux/LinuxServiceKeys.h"

#include "platform/LastError.h"
#include "platform/Types.h"

#include <cerrno>
#include <cwctype>

namespace kestrun::platform::linux_backend {

namespace {
bool SameName(const std::wstring& a, const wchar_t* b)
{
    size_t i = 0;
    for (; i < a.size() && b[i] != L'\0'; ++i)
        if (std::towlower(a[i]) != std::towlower(b[i])) return false;
    return i == a.size() && b[i] == L'\0';
}
}  // namespace

void LinuxServiceKeys::Update(const std::vector<LinuxService>& services)
{
    names_.clear();
    settings_.clear();
    names_.reserve(services.size());
    settings_.reserve(services.size());
    for (const LinuxService& service : services) {
        names_.push_back(service.entry.prefix);
        settings_[service.entry.prefix] = {service.displayName, service.entry.dllPath, service.order};
    }
}

const LinuxServiceKeys::Settings* LinuxServiceKeys::Find(const std::wstring& subKey) const
{
    const auto found = settings_.find(subKey);
    if (found != settings_.end()) return &found->second;
    Fail(ENOENT);
    return nullptr;
}

std::optional<std::wstring> LinuxServiceKeys::NamedPrefix(const std::wstring& subKey)
{
    if (Find(subKey) == nullptr) return std::nullopt;
    return subKey;
}

std::optional<std::wstring> LinuxServiceKeys::String(const std::wstring& subKey, const std::wstring& name)
{
    const Settings* settings = Find(subKey);
    if (settings == nullptr) return std::nullopt;
    if (SameName(name, L"DisplayName") && !settings->displayName.empty()) return settings->displayName;
    if (SameName(name, L"Description") && packages_) {
        if (const DpkgPackage* package = packages_->OwnerOf(Narrow(settings->program)); package != nullptr && !package->summary.empty())
            return Widen(package->summary);
    }
    Fail(ENOENT);
    return std::nullopt;
}

std::optional<uint32_t> LinuxServiceKeys::Number(const std::wstring& subKey, const std::wstring& name)
{
    const Settings* settings = Find(subKey);
    if (settings == nullptr) return std::nullopt;
    if (SameName(name, L"Order") && settings->order) return settings->order;
    Fail(ENOENT);
    return std::nullopt;
}

}  // namespace kestrun::platform::linux_backend
