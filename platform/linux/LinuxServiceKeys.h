// The settings keys of the Linux services, made from what the last enumeration
// saw: one subkey per unit or script, named after it, whose "DisplayName" is the
// unit's Description (an init script's Short-Description), whose "Description"
// is the summary of the Debian package owning its program, and whose "Order" is
// an init script's start order. The machine hive is not involved: it is root's.
#pragma once

#include "platform/Services.h"
#include "platform/linux/DpkgIndex.h"
#include "platform/linux/ServiceSource.h"

#include <memory>
#include <unordered_map>

namespace kestrun::platform::linux_backend {

class LinuxServiceKeys final : public ServiceKeys {
public:
    explicit LinuxServiceKeys(std::shared_ptr<DpkgIndex> packages) : packages_(std::move(packages)) {}

    void Update(const std::vector<LinuxService>& services);

    std::optional<std::vector<std::wstring>> SubKeys() override { return names_; }
    std::optional<std::wstring> NamedPrefix(const std::wstring& subKey) override;
    std::optional<std::wstring> String(const std::wstring& subKey, const std::wstring& name) override;
    std::optional<uint32_t> Number(const std::wstring& subKey, const std::wstring& name) override;

private:
    struct Settings {
        std::wstring displayName;
        std::wstring program;
        std::optional<uint32_t> order;
    };
    const Settings* Find(const std::wstring& subKey) const;

    std::shared_ptr<DpkgIndex> packages_;
    std::vector<std::wstring> names_;
    std::unordered_map<std::wstring, Settings> settings_;
};

}  // namespace kestrun::platform::linux_backend
