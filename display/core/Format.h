// The shared texts of numbers, times and folders, and the error box.
#pragma once

#include "platform/Types.h"

#include <cstdint>
#include <string>

namespace kestrun {

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
std::wstring GetProcessDirectory(uint32_t processId);

// The folder part of a path: up to its last separator ('/' for a Linux path, '\' otherwise).
std::wstring DirectoryOf(const std::wstring& path);

}  // namespace kestrun
