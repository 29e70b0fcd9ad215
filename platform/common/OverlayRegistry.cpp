#include "platform/common/OverlayRegistry.h"

#include "platform/LastError.h"

#include <cerrno>

namespace kestrun::platform {

namespace {

class OverlayRegistry final : public Registry {
public:
    OverlayRegistry(std::unique_ptr<Registry> store, std::vector<KeyOverlay> overlays)
        : store_(std::move(store)), overlays_(std::move(overlays))
    {
    }

    bool KeyExists(Hive hive, const std::wstring& key) override
    {
        if (KeySource* source = Owner(hive, key)) return source->KeyExists(key);
        return store_->KeyExists(hive, key);
    }

    bool CreateKey(Hive hive, const std::wstring& key) override
    {
        return Owner(hive, key) != nullptr ? Fail(EACCES) : store_->CreateKey(hive, key);
    }

    bool DeleteKey(Hive hive, const std::wstring& key) override
    {
        return Owner(hive, key) != nullptr ? Fail(EACCES) : store_->DeleteKey(hive, key);
    }

    std::optional<RegValue> QueryValue(Hive hive, const std::wstring& key, const std::wstring& name) override
    {
        if (KeySource* source = Owner(hive, key)) return source->QueryValue(key, name);
        return store_->QueryValue(hive, key, name);
    }

    bool SetValue(Hive hive, const std::wstring& key, const std::wstring& name, const RegValue& value) override
    {
        return Owner(hive, key) != nullptr ? Fail(EACCES) : store_->SetValue(hive, key, name, value);
    }

    bool DeleteValue(Hive hive, const std::wstring& key, const std::wstring& name) override
    {
        return Owner(hive, key) != nullptr ? Fail(EACCES) : store_->DeleteValue(hive, key, name);
    }

    std::optional<std::vector<std::wstring>> EnumSubKeys(Hive hive, const std::wstring& key) override
    {
        // A source's keys stand alone: they have values, no subkeys.
        if (KeySource* source = Owner(hive, key)) {
            if (!source->KeyExists(key)) {
                Fail(ENOENT);
                return std::nullopt;
            }
            return std::vector<std::wstring>{};
        }
        return store_->EnumSubKeys(hive, key);
    }

    std::optional<std::vector<std::pair<std::wstring, RegValue>>> EnumValues(Hive hive, const std::wstring& key) override
    {
        if (KeySource* source = Owner(hive, key)) return source->EnumValues(key);
        return store_->EnumValues(hive, key);
    }

    bool Flush(Hive hive) override { return store_->Flush(hive); }

private:
    KeySource* Owner(Hive hive, const std::wstring& key) const
    {
        for (const KeyOverlay& overlay : overlays_)
            if (overlay.hive == hive && overlay.source->Owns(key)) return overlay.source.get();
        return nullptr;
    }

    std::unique_ptr<Registry> store_;
    std::vector<KeyOverlay> overlays_;
};

}  // namespace

std::unique_ptr<Registry> CreateOverlayRegistry(std::unique_ptr<Registry> store, std::vector<KeyOverlay> overlays)
{
    return std::make_unique<OverlayRegistry>(std::move(store), std::move(overlays));
}

}  // namespace kestrun::platform
