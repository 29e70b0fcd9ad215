#include "platform/linux/RuntimeDir.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrun::platform::linux_backend {

std::optional<std::string> PrivateRuntimeDirectory()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/') {
        struct stat st{};
        if (stat(runtime, &st) == 0 && S_ISDIR(st.st_mode)) return std::string(runtime);
    }
    return FallbackRuntimeDirectory();
}

std::optional<std::string> FallbackRuntimeDirectory()
{
    const char* tmp = std::getenv("TMPDIR");
    const std::string base = tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp";
    const std::string dir = base + "/kestrun-" + std::to_string(getuid());
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return std::nullopt;
    // In a shared /tmp someone else may have made it first: a folder (or a
    // symlink) that is not ours alone would let them block or read our files.
    struct stat st{};
    if (lstat(dir.c_str(), &st) != 0) return std::nullopt;
    if (!S_ISDIR(st.st_mode) || st.st_uid != getuid() || (st.st_mode & 077) != 0) {
        errno = EACCES;
        return std::nullopt;
    }
    return dir;
}

}  // namespace kestrun::platform::linux_backend
