#include "display/core/Format.h"

#include "display/core/MessageBox.h"
#include "platform/Platform.h"

#include <cwchar>

namespace kestrun {

std::wstring FormatErrorMessage(const std::wstring& text, uint32_t code, const std::wstring& systemText)
{
    // Only the first line of the system text; a tab is not a line end.
    size_t end = 0;
    while (end < systemText.size() && (systemText[end] >= 32 || systemText[end] == L'\t')) ++end;
    while (end > 0 && (systemText[end - 1] == L'.' || systemText[end - 1] <= 32)) --end;
    std::wstring message = text;
    message += L"\nError: ";
    message += std::to_wstring(static_cast<int32_t>(code));  // the top bit set prints negative
    message += L" (";
    message.append(systemText, 0, end);
    message += L")";
    return message;
}

void ShowError(const std::wstring& text)
{
    const uint32_t code = platform::GetLastError();  // before any other call
    MessageBox(FormatErrorMessage(text, code, platform::LastErrorText()), kMbOk);
}

std::wstring FormatSize(uint64_t bytes)
{
    constexpr uint64_t kKilo = 1024;
    constexpr uint64_t kMega = 1024 * 1024;
    if (bytes < kKilo) return Printf(L"%llu", static_cast<unsigned long long>(bytes));
    if (bytes < kMega) return Printf(L"%llu kB", static_cast<unsigned long long>(bytes / kKilo));
    if (bytes % kMega == 0) return Printf(L"%llu MB", static_cast<unsigned long long>(bytes / kMega));
    return Printf(L"%.2f MB", static_cast<double>(bytes) / static_cast<double>(kMega));
}

std::wstring FormatMilliseconds(uint32_t ms)
{
    return Printf(L"%u:%02u:%02u.%03u", ms / 3600000u, (ms / 60000u) % 60u, (ms / 1000u) % 60u, ms % 1000u);
}

uint64_t FileTimeToMilliseconds(const platform::FileTime& time) { return time.Value() / 10000u; }

uint32_t FileTimeDifference(const platform::FileTime& older, const platform::FileTime& newer)
{
    if (newer.Value() < older.Value()) return 0;
    return static_cast<uint32_t>(newer.Value() - older.Value());
}

std::wstring DirectoryOf(const std::wstring& path)
{
    const wchar_t separator = (!path.empty() && path[0] == L'/') ? L'/' : L'\\';
    const size_t last = path.rfind(separator);
    return last == std::wstring::npos ? std::wstring() : path.substr(0, last);
}

std::wstring GetProcessDirectory(platform::ToolHelp& toolHelp, uint32_t processId)
{
    auto process = toolHelp.OpenProcess(processId);
    if (!process) return {};
    const std::optional<std::wstring> path = process->ModuleFileName();
    if (!path) return Printf(L"Err#%lu", static_cast<unsigned long>(platform::GetLastError()));
    return DirectoryOf(*path);
}

}  // namespace kestrun
