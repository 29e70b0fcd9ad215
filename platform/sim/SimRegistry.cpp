// The registry of the simulated device. The local machine hive is the device's
// (in memory). The current user hive is the user's store, so options persist as
// on Linux, except the keys the device seeds there (such as the adapter name
// mappings), which stay in memory and never reach the store.
#include "platform/LastError.h"
#include "platform/sim/SimBackend.h"

#include <algorithm>
#include <cerrno>

namespace kestrun::platform::sim {

namespace {

class SimRegistry final : public Registry {
public:
    SimRegistry(SimDevice& device, std::unique_ptr<Registry> userStore)
        : device_(device), userStore_(std::move(userStore)) {}

    bool KeyExists(Hive hive, const std::wstring& key) override
    {
        if (device_.Fails(SimCall::Registry)) return false;
        switch (Route(hive, key)) {
        case Where::Device: return HiveOf(hive).KeyExists(key);
        case Where::Above: return true;
        case Where::User: break;
        }
        return userStore_ ? userStore_->KeyExists(hive, key) : userMemory_.KeyExists(key);
    }

    bool CreateKey(Hive hive, const std::wstring& key) override
    {
        if (device_.Fails(SimCall::Registry)) return false;
        if (Route(hive, key) == Where::Device) return HiveOf(hive).CreateKey(key);
        return userStore_ ? userStore_->CreateKey(hive, key) : userMemory_.CreateKey(key);
    }

    bool DeleteKey(Hive hive, const std::wstring& key) override
    {
        if (device_.Fails(SimCall::Registry)) return false;
        if (Route(hive, key) == Where::Device) return HiveOf(hive).DeleteKey(key);
        return userStore_ ? userStore_->DeleteKey(hive, key) : userMemory_.DeleteKey(key);
    }

    std::optional<RegValue> QueryValue(Hive hive, const std::wstring& key, const std::wstring& name) override
    {
        if (device_.Fails(SimCall::Registry)) return std::nullopt;
        if (Route(hive, key) == Where::Device) return HiveOf(hive).QueryValue(key, name);
        return userStore_ ? userStore_->QueryValue(hive, key, name) : userMemory_.QueryValue(key, name);
    }

    bool SetValue(Hive hive, const std::wstring& key, const std::wstring& name, const RegValue& value) override
    {
        if (device_.Fails(SimCall::Registry)) return false;
        if (Route(hive, key) == Where::Device) return HiveOf(hive).SetValue(key, name, value);
        return userStore_ ? userStore_->SetValue(hive, key, name, value) : userMemory_.SetValue(key, name, value);
    }

    bool DeleteValue(Hive hive, const std::wstring& key, const std::wstring& name) override
    {
        if (device_.Fails(SimCall::Registry)) return false;
        if (Route(hive, key) == Where::Device) return HiveOf(hive).DeleteValue(key, name);
        return userStore_ ? userStore_->DeleteValue(hive, key, name) : userMemory_.DeleteValue(key, name);
    }

    std::optional<std::vector<std::wstring>> EnumSubKeys(Hive hive, const std::wstring& key) override
    {
        if (device_.Fails(SimCall::Registry)) return std::nullopt;
        const Where where = Route(hive, key);
        if (where == Where::Device) return HiveOf(hive).EnumSubKeys(key);
        std::optional<std::vector<std::wstring>> names = userStore_ ? userStore_->EnumSubKeys(hive, key) : userMemory_.EnumSubKeys(key);
        if (where == Where::User) return names;
        // A key above the device's own keys: the user's subkeys and the device's together.
        std::vector<std::wstring> merged = names.value_or(std::vector<std::wstring>{});
        for (const std::wstring& name : device_.userOverlay().EnumSubKeys(key).value_or(std::vector<std::wstring>{})) {
            const bool known = std::any_of(merged.begin(), merged.end(), [&](const std::wstring& m) { return Lower(m) == Lower(name); });
            if (!known) merged.push_back(name);
        }
        return merged;
    }

    std::optional<std::vector<std::pair<std::wstring, RegValue>>> EnumValues(Hive hive, const std::wstring& key) override
    {
        if (device_.Fails(SimCall::Registry)) return std::nullopt;
        if (Route(hive, key) == Where::Device) return HiveOf(hive).EnumValues(key);
        return userStore_ ? userStore_->EnumValues(hive, key) : userMemory_.EnumValues(key);
    }

    bool Flush(Hive hive) override
    {
        if (device_.Fails(SimCall::Registry)) return false;
        if (hive == Hive::CurrentUser && userStore_) return userStore_->Flush(hive);
        return true;  // memory is as durable as it gets here
    }

private:
    enum class Where { Device, Above, User };

    // Local machine keys are the device's; current user keys are the device's
    // when they lie at or under one of its seeded keys.
    Where Route(Hive hive, const std::wstring& key) const
    {
        if (hive == Hive::LocalMachine) return Where::Device;
        const std::wstring wanted = Lower(Normal(key));
        bool above = false;
        for (const std::wstring& rootKey : device_.userOverlayRoots()) {
            const std::wstring root = Lower(rootKey);
            if (wanted == root || (wanted.size() > root.size() && wanted.compare(0, root.size(), root) == 0 && wanted[root.size()] == L'\\'))
                return Where::Device;
            if (wanted.empty() || (root.size() > wanted.size() && root.compare(0, wanted.size(), wanted) == 0 && root[wanted.size()] == L'\\'))
                above = true;
        }
        return above ? Where::Above : Where::User;
    }

    static std::wstring Normal(const std::wstring& key)
    {
        std::wstring out;
        for (const std::wstring& part : SplitKey(key)) {
            if (!out.empty()) out += L'\\';
            out += part;
        }
        return out;
    }

    SimHive& HiveOf(Hive hive) { return hive == Hive::LocalMachine ? device_.localMachine() : device_.userOverlay(); }

    SimDevice& device_;
    std::unique_ptr<Registry> userStore_;
    SimHive userMemory_;  // the current user hive when there is no store
};

}  // namespace

std::unique_ptr<Registry> CreateSimRegistry(SimDevice& device, std::unique_ptr<Registry> userStore)
{
    return std::make_unique<SimRegistry>(device, std::move(userStore));
}

}  // namespace kestrun::platform::sim
