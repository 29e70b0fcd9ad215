#include "dialogs/core/FileProperties.h"

#include "display/core/Format.h"
#include "display/core/SystemTime.h"

namespace kestrun {

const DetailDialogInfo kFilePropertiesInfo = {140, "IDD_FILEPROPERTIESDLG", L"#fileproperties",
                                              L"This dialog shows the properties of the selected .exe or DLL file.", 0};

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name)
{
    if (folder.empty()) return name;
    const wchar_t separator = folder[0] == L'/' ? L'/' : L'\\';
    return folder.back() == separator ? folder + name : folder + separator + name;
}

std::wstring FileTimeText(const platform::FileTime& time)
{
    const std::optional<SystemTime> calendar = FileTimeToSystemTime(time);
    if (!calendar) return {};
    return Printf(L"%04u/%02u/%02u %02u:%02u:%02u", unsigned{calendar->year}, unsigned{calendar->month}, unsigned{calendar->day},
                  unsigned{calendar->hour}, unsigned{calendar->minute}, unsigned{calendar->second});
}

FileProperties ReadFileProperties(platform::Shell& shell, const std::wstring& location, const std::wstring& fileName)
{
    using namespace platform;
    FileProperties shown;
    shown.caption = fileName + L" Properties";
    shown.location = location;
    const std::wstring path = JoinPath(location, fileName);

    if (const std::optional<FileInfo> info = shell.GetFileInfo(path)) {
        shown.size = Printf(L"%llu bytes", static_cast<unsigned long long>(info->size));  // files of 4 GiB and more too
        shown.created = FileTimeText(info->creation);
        shown.lastChange = FileTimeText(info->lastWrite);
        shown.lastAccess = FileTimeText(info->lastAccess);
        shown.readOnly = (info->attributes & kFileReadOnly) != 0;
        shown.system = (info->attributes & kFileSystem) != 0;
        shown.hidden = (info->attributes & kFileHidden) != 0;
        shown.compressed = (info->attributes & kFileCompressed) != 0;
        shown.inRom = (info->attributes & kFileInRom) != 0;
        shown.romModule = (info->attributes & kFileRomModule) != 0;
    }
    if (const std::optional<VersionInfo> version = shell.GetVersionInfo(path)) {
        auto take = [](std::wstring& field, const std::wstring& value) {
            if (!value.empty()) field = value;
        };
        take(shown.description, version->fileDescription);
        take(shown.version, version->fileVersion);
        take(shown.copyright, version->legalCopyright);
        take(shown.company, version->companyName);
    }
    return shown;
}

}  // namespace kestrun
