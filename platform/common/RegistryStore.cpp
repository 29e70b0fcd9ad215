// Placeholder until the SQLite store lands.
#include "platform/common/RegistryStore.h"

#include "platform/LastError.h"

#include <cerrno>

namespace kestrun::platform {

namespace {
class NullRegistry final : public Registry {
public:
    bool KeyExists(Hive, const std::wstring&) override { return Fail(ENOSYS); }
    bool CreateKey(Hive, const std::wstring&) override { return Fail(ENOSYS); }
    bool DeleteKey(Hive, const std::wstring&) override { return Fail(ENOSYS); }
    std::optional<RegValue> QueryValue(Hive, const std::wstring&, const std::wstring&) override { Fail(ENOSYS); return std::nullopt; }
    bool SetValue(Hive, const std::wstring&, const std::wstring&, const RegValue&) override { return Fail(ENOSYS); }
    bool DeleteValue(Hive, const std::wstring&, const std::wstring&) override { return Fail(ENOSYS); }
    std::optional<std::vector<std::wstring>> EnumSubKeys(Hive, const std::wstring&) override { Fail(ENOSYS); return std::nullopt; }
    std::optional<std::vector<std::pair<std::wstring, RegValue>>> EnumValues(Hive, const std::wstring&) override { Fail(ENOSYS); return std::nullopt; }
    bool Flush(Hive) override { return Fail(ENOSYS); }
};
}  // namespace

RegistryPaths DefaultRegistryPaths() { return {":memory:", ":memory:"}; }

std::unique_ptr<Registry> CreateRegistryStore(const RegistryPaths&) { return std::make_unique<NullRegistry>(); }

}  // namespace kestrun::platform
