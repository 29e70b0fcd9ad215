// What the File properties dialog shows of one file: its folder, the strings
// of its version information, its size and times, and six attributes. Nothing
// here ever fails: what cannot be read is left empty, "n/a" or clear.
#pragma once

#include "dialogs/core/DetailModel.h"
#include "platform/Shell.h"
#include "platform/Types.h"

#include <string>

namespace kestrun {

inline constexpr wchar_t kNotAvailable[] = L"n/a";

struct FileProperties {
    std::wstring caption;  // "NAME Properties"
    std::wstring location;
    std::wstring description = kNotAvailable;
    std::wstring version = kNotAvailable;
    std::wstring copyright = kNotAvailable;
    std::wstring company = kNotAvailable;
    std::wstring size;        // "%llu bytes"
    std::wstring created;     // "%04u/%02u/%02u %02u:%02u:%02u"
    std::wstring lastChange;
    std::wstring lastAccess;
    bool readOnly = false;
    bool system = false;
    bool hidden = false;
    bool compressed = false;
    bool inRom = false;
    bool romModule = false;
};

// The dialog's help.
extern const DetailDialogInfo kFilePropertiesInfo;

// The file's full path: the folder and the name joined with the folder's own
// separator ('/' for a Linux folder, '\' otherwise); the name alone without a folder.
std::wstring JoinPath(const std::wstring& folder, const std::wstring& name);

// A file time as calendar time without a time-zone conversion, to the second;
// empty when it names no date.
std::wstring FileTimeText(const platform::FileTime& time);

// Everything the dialog shows of the file named fileName in the folder location.
FileProperties ReadFileProperties(platform::Shell& shell, const std::wstring& location, const std::wstring& fileName);

}  // namespace kestrun
