// The shell: file attributes and times, version strings, the help viewer.
#pragma once

#include "platform/Types.h"

#include <memory>
#include <optional>
#include <string>

namespace kestrun::platform {

enum FileAttributeFlags : uint32_t {
    kFileReadOnly = 0x1,
    kFileHidden = 0x2,
    kFileSystem = 0x4,
    kFileDirectory = 0x10,
    kFileArchive = 0x20,
    kFileCompressed = 0x800,
    kFileInRom = 0x40,
    kFileRomModule = 0x2000,
};

struct FileInfo {
    uint32_t attributes = 0;  // FileAttributeFlags
    FileTime creation;
    FileTime lastAccess;
    FileTime lastWrite;
    uint64_t size = 0;
};

struct VersionInfo {
    std::wstring fileDescription;
    std::wstring fileVersion;
    std::wstring companyName;
    std::wstring legalCopyright;
    std::wstring productName;
    std::wstring productVersion;
};

// Where the shell finds the icon the desktop shows for an executable file. The
// window program installs one (it needs the toolkit's icon theme); without one
// no file has an icon and lists show their default.
class FileIconSource {
public:
    virtual ~FileIconSource() = default;
    // side x side pixels; nullopt when the desktop knows no icon for the file.
    virtual std::optional<Image> SmallIconFor(const std::string& path, int side) = 0;
};

// The process-wide source (null: none); installing replaces the one before.
void InstallFileIconSource(std::unique_ptr<FileIconSource> source);
FileIconSource* InstalledFileIconSource();

class Shell {
public:
    virtual ~Shell() = default;

    // nullopt (last error set) when the file's attributes cannot be read.
    virtual std::optional<FileInfo> GetFileInfo(const std::wstring& path) = 0;
    virtual std::optional<VersionInfo> GetVersionInfo(const std::wstring& path) = 0;
    // The small icon the desktop shows for an executable file, side x side
    // pixels; nullopt (last error set) when there is none.
    virtual std::optional<Image> GetFileSmallIcon(const std::wstring& path, int side) = 0;

    // The help viewer: available when it can be started at all.
    virtual bool HelpViewerAvailable() = 0;
    // Opens helpFile at anchor ("#processes", or empty); does not wait.
    virtual bool StartHelpViewer(const std::wstring& helpFile, const std::wstring& anchor) = 0;
};

}  // namespace kestrun::platform
