// The shared texts of numbers, times and folders, and the error box.
#pragma once

#include "platform/Types.h"

#include <cstdint>
#include <cwchar>
#include <string>
#include <vector>

namespace kestrun::platform {
class ToolHelp;
}

namespace kestrun {

// swprintf into a wide string of whatever length the text has; empty when the
// format cannot be applied.
template <typename... Args>
std::wstring Printf(const wchar_t* format, Args... args)
{
    wchar_t buffer[256];
    int n = std::swprintf(buffer, sizeof buffer / sizeof buffer[0], format, args...);
    if (n >= 0) return std::wstring(buffer, static_cast<size_t>(n));
    // swprintf cannot tell a text too long for the buffer from a bad format: grow
    // to a bound no text of ours comes near.
    for (size_t size = 1024; size <= 65536; size *= 4) {
        std::vector<wchar_t> wide(size);
        n = std::swprintf(wide.data(), size, format, args...);
        if (n >= 0) return std::wstring(wide.data(), static_cast<size_t>(n));
    }
    return {};
}

// Shows text, the platform's last error number and its one-line system text in
// a modal box: "%s\nError: %d (%s)".
void ShowError(const std::wstring& text);

// The message ShowError shows, from the caller's text, an error number and the
// system's text for it (cut to its first line, without trailing full stops and blanks).
std::wstring FormatErrorMessage(const std::wstring& text, uint32_t code, const std::wstring& systemText);

// "1023", "1 kB", "1 MB", "1.50 MB".
std::wstring FormatSize(uint64_t bytes);

// "h:mm:ss.mmm", hours not wrapped at 24.
std::wstring FormatMilliseconds(uint32_t ms);

// 100 ns units to whole milliseconds, rounded down.
uint64_t FileTimeToMilliseconds(const platform::FileTime& time);

// newer - older in 100 ns units, low 32 bits (wraps after about 429 s); 0 when newer < older.
uint32_t FileTimeDifference(const platform::FileTime& older, const platform::FileTime& newer);

// Folder of a process's executable without a trailing separator; empty when the
// process cannot be opened or the path has no separator; "Err#%lu" when the path
// cannot be read.
std::wstring GetProcessDirectory(platform::ToolHelp& toolHelp, uint32_t processId);

// The folder part of a path: up to its last separator ('/' for a Linux path, '\' otherwise).
std::wstring DirectoryOf(const std::wstring& path);

}  // namespace kestrun
