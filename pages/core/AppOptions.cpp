#include "pages/core/AppOptions.h"

namespace kestrun {

namespace {
bool ReadOption(platform::Registry& registry, const wchar_t* name, uint32_t defaultValue)
{
    const auto value = registry.QueryValue(platform::Hive::CurrentUser, kOptionsKey, name);
    uint32_t number = defaultValue;
    if (value) number = value->type == platform::ValueType::Dword ? value->dword : 0;
    return number == 1;
}

bool WriteOption(platform::Registry& registry, const wchar_t* name, bool value)
{
    return registry.SetValue(platform::Hive::CurrentUser, kOptionsKey, name, platform::RegValue::Dword(value ? 1 : 0));
}
}  // namespace

AppOptions AppOptions::Load(platform::Registry& registry)
{
    AppOptions options;
    options.AlwaysOnTop = ReadOption(registry, L"AlwaysOnTop", 1);
    options.HideWhenMinimized = ReadOption(registry, L"HideWhenMinimized", 1);
    options.MinimizeAfterProgramSwitch = ReadOption(registry, L"MinimizeAfterProgramSwitch", 1);
    options.AutoScale = ReadOption(registry, L"AutoScale", 0);
    return options;
}

bool AppOptions::Save(platform::Registry& registry) const
{
    bool ok = WriteOption(registry, L"AlwaysOnTop", AlwaysOnTop);
    ok = WriteOption(registry, L"HideWhenMinimized", HideWhenMinimized) && ok;
    ok = WriteOption(registry, L"MinimizeAfterProgramSwitch", MinimizeAfterProgramSwitch) && ok;
    ok = WriteOption(registry, L"AutoScale", AutoScale) && ok;
    return ok;
}

}  // namespace kestrun
