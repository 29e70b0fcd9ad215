// The shell on Linux: file attributes and times through statx, and the help
// viewer, which is the desktop's browser opened at an anchor of the help page.
#include "platform/common/PathName.h"
#include "platform/linux/DpkgIndex.h"
#include "platform/linux/FileVersion.h"
#include "platform/linux/LinuxPlatform.h"
#include "platform/linux/HtmlViewer.h"
#include "platform/linux/RuntimeDir.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace kestrun::platform::linux_backend {

namespace {

FileTime ToFileTime(const statx_timestamp& t)
{
    const int64_t value = static_cast<int64_t>(kUnixEpochAsFileTime) + static_cast<int64_t>(t.tv_sec) * 10000000LL + t.tv_nsec / 100;
    return FileTime::FromValue(value > 0 ? static_cast<uint64_t>(value) : 0);  // nothing before 1601
}

std::string BaseName(const std::string& path)
{
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
    return std::string(FileNameOf(trimmed));
}

bool StartsWithElfMagic(const std::string& path)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return false;
    unsigned char magic[4] = {};
    const ssize_t n = read(fd, magic, sizeof magic);
    close(fd);
    return n == 4 && magic[0] == 0x7F && magic[1] == 'E' && magic[2] == 'L' && magic[3] == 'F';
}

// Percent-encodes every byte but the unreserved ones and those in keep, so the
// URI is safe inside an HTML attribute and a JavaScript string as well.
std::string PercentEncode(const std::string& text, std::string_view keep)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char c : text) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
            c == '_' || c == '~' || keep.find(static_cast<char>(c)) != std::string_view::npos) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 15]);
        }
    }
    return out;
}

std::optional<std::string> AbsolutePath(const std::string& path)
{
    if (!path.empty() && path[0] == '/') return path;
    char* cwd = getcwd(nullptr, 0);
    if (cwd == nullptr) return std::nullopt;
    std::string result = std::string(cwd) + "/" + path;
    free(cwd);
    return result;
}

// file:///abs/path#anchor; the anchor given with or without its '#'.
std::optional<std::string> HelpUri(const std::wstring& helpFile, const std::wstring& anchor)
{
    const auto path = AbsolutePath(Narrow(helpFile));
    if (!path) return std::nullopt;
    std::string uri = "file://" + PercentEncode(*path, "/");
    std::string fragment = Narrow(anchor);
    if (!fragment.empty() && fragment[0] == '#') fragment.erase(0, 1);
    if (!fragment.empty()) uri += "#" + PercentEncode(fragment, "");
    return uri;
}

bool WriteFileAtomically(const std::string& path, const std::string& content)
{
    std::string temp = path + ".XXXXXX";
    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return false;
    size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : EIO;
            close(fd);
            unlink(temp.c_str());
            errno = error;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    if (close(fd) != 0 || rename(temp.c_str(), path.c_str()) != 0) {
        const int error = errno;
        unlink(temp.c_str());
        errno = error;
        return false;
    }
    return true;
}

// xdg-open drops the #anchor of a file:// URI, so it opens a page of our own
// that moves on to the URI with its anchor. One page per URI: two requests
// in quick succession must not overwrite each other's page.
std::optional<std::string> WriteRedirectPage(const std::string& uri)
{
    uint64_t hash = 14695981039346656037ull;
    for (const char c : uri) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    char name[48];
    snprintf(name, sizeof name, "/kestrun-help-%016llx.html", static_cast<unsigned long long>(hash));
    const std::string html = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">\n"
                             "<meta http-equiv=\"refresh\" content=\"0;url=" + uri + "\">\n"
                             "<script>location.replace(\"" + uri + "\");</script>\n"
                             "<title>Kestrun help</title></head>\n"
                             "<body><a href=\"" + uri + "\">Kestrun help</a></body></html>\n";
    // A $XDG_RUNTIME_DIR that refuses files leaves the per-user folder.
    if (const auto dir = PrivateRuntimeDirectory(); dir && WriteFileAtomically(*dir + name, html)) return *dir + name;
    if (const auto dir = FallbackRuntimeDirectory(); dir && WriteFileAtomically(*dir + name, html)) return *dir + name;
    return std::nullopt;
}

// Starts program with args, detached: /bin/sh puts it in the background and
// exits at once, and that shell is reaped here, so the viewer becomes the
// init process's child and no zombie of ours is left. Descriptors above 2 are
// closed in the child (the instance lock among them).
bool SpawnDetached(const std::string& program, const std::vector<std::string>& args)
{
    std::vector<std::string> argvStrings = {"sh", "-c", "\"$0\" \"$@\" </dev/null &", program};
    argvStrings.insert(argvStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& s : argvStrings) argv.push_back(s.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);  // not in our terminal's job control

    pid_t pid = 0;
    const int rc = posix_spawn(&pid, "/bin/sh", &actions, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return Fail(static_cast<uint32_t>(rc));

    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno == EINTR) continue;
        if (errno == ECHILD) return true;  // reaped already (SIGCHLD ignored): it did start
        return FailWithErrno();
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return Fail(ECHILD);
    return true;
}

class LinuxShell final : public Shell {
public:
    LinuxShell(std::shared_ptr<DpkgIndex> packages, std::string docRoot)
        : packages_(std::move(packages)), docRoot_(std::move(docRoot))
    {
    }

    std::optional<FileInfo> GetFileInfo(const std::wstring& path) override
    {
        const std::string narrow = Narrow(path);
        struct statx sx{};
        if (statx(AT_FDCWD, narrow.c_str(), AT_STATX_SYNC_AS_STAT, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) {
            FailWithErrno();
            return std::nullopt;
        }
        FileInfo info;
        struct statvfs vfs{};
        const bool readOnlyMount = statvfs(narrow.c_str(), &vfs) == 0 && (vfs.f_flag & ST_RDONLY) != 0;
        // Write permission by mode, not access(W_OK): root may write to a 0444
        // file, but the file still says it is read-only.
        if ((sx.stx_mode & 0222) == 0 || readOnlyMount || (sx.stx_attributes & STATX_ATTR_IMMUTABLE) != 0)
            info.attributes |= kFileReadOnly;
        const std::string name = BaseName(narrow);
        if (name.size() > 1 && name[0] == '.' && name != "..") info.attributes |= kFileHidden;
        if (S_ISDIR(sx.stx_mode)) info.attributes |= kFileDirectory;
        if ((sx.stx_attributes & STATX_ATTR_COMPRESSED) != 0) info.attributes |= kFileCompressed;
        // A system file is one the system's packages installed.
        if (packages_ != nullptr && packages_->OwnerOf(narrow) != nullptr) info.attributes |= kFileSystem;
        if (readOnlyMount) {
            info.attributes |= kFileInRom;
            if (S_ISREG(sx.stx_mode) && StartsWithElfMagic(narrow)) info.attributes |= kFileRomModule;
        }
        // Files from images often carry a zero birth time: that is no date.
        const bool hasBirth = (sx.stx_mask & STATX_BTIME) != 0 && (sx.stx_btime.tv_sec != 0 || sx.stx_btime.tv_nsec != 0);
        info.lastWrite = ToFileTime(sx.stx_mtime);
        info.lastAccess = ToFileTime(sx.stx_atime);
        info.creation = hasBirth ? ToFileTime(sx.stx_btime) : info.lastWrite;
        info.size = sx.stx_size;
        return info;
    }

    std::optional<VersionInfo> GetVersionInfo(const std::wstring& path) override
    {
        return ReadFileVersion(Narrow(path), packages_.get(), docRoot_);
    }

    // The desktop entry that runs the file names its icon; finding it needs
    // the toolkit's icon theme, so the window program installs the source.
    std::optional<Image> GetFileSmallIcon(const std::wstring& path, int side) override
    {
        FileIconSource* source = InstalledFileIconSource();
        std::optional<Image> icon = source != nullptr ? source->SmallIconFor(Narrow(path), side) : std::nullopt;
        if (!icon) Fail(ENOENT);
        return icon;
    }

    bool HelpViewerAvailable() override
    {
        if (const auto custom = CustomViewer()) return FindProgram(*custom).has_value();
        if (!HasDisplay()) return false;
        return FindProgram("xdg-open").has_value() || FindProgram("gio").has_value();
    }

    bool StartHelpViewer(const std::wstring& helpFile, const std::wstring& anchor) override
    {
        const auto uri = HelpUri(helpFile, anchor);
        if (!uri) return FailWithErrno();

        // A viewer named in the environment gets the whole URI.
        if (const auto custom = CustomViewer()) {
            const auto program = FindProgram(*custom);
            if (!program) return Fail(ENOENT);
            return SpawnDetached(*program, {*uri});
        }
        if (!HasDisplay()) return Fail(ENXIO);  // no desktop to show a browser on
        // The openers start whether or not anything can show the page, and then
        // fail on their own: with nothing to show it, help is not started at all.
        if (!HtmlHandlerExists()) return Fail(ENOENT);
        const bool hasAnchor = uri->find('#') != std::string::npos;
        if (const auto xdgOpen = FindProgram("xdg-open")) {
            if (!hasAnchor) return SpawnDetached(*xdgOpen, {*uri});
            if (const auto page = WriteRedirectPage(*uri)) return SpawnDetached(*xdgOpen, {*page});
            if (!FindProgram("gio")) return FailWithErrno();
        }
        if (const auto gio = FindProgram("gio")) return SpawnDetached(*gio, {"open", *uri});
        return Fail(ENOENT);
    }

private:
    static std::optional<std::string> CustomViewer()
    {
        const char* value = std::getenv("KESTRUN_HELP_VIEWER");
        if (value == nullptr || value[0] == '\0') return std::nullopt;
        return std::string(value);
    }

    static bool HasDisplay()
    {
        const char* x11 = std::getenv("DISPLAY");
        const char* wayland = std::getenv("WAYLAND_DISPLAY");
        return (x11 != nullptr && x11[0] != '\0') || (wayland != nullptr && wayland[0] != '\0');
    }

    std::shared_ptr<DpkgIndex> packages_;  // who installed a file; null: no package database
    std::string docRoot_;                  // the packages' copyright files
};

}  // namespace

std::unique_ptr<Shell> CreateLinuxShell(std::shared_ptr<DpkgIndex> packages, std::string docRoot)
{
    return std::make_unique<LinuxShell>(std::move(packages), std::move(docRoot));
}

}  // namespace kestrun::platform::linux_backend
