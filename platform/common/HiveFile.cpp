#include "platform/common/HiveFile.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace kestrun::platform {

namespace {
// rename() that never replaces an existing target; EEXIST when there is one.
int RenameNoReplace(const std::string& from, const std::string& to)
{
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL) return errno;
    // A file system without the flag: look first (nobody else writes our folder).
    if (access(to.c_str(), F_OK) == 0) return EEXIST;
    return rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}
}  // namespace

std::optional<std::string> SetAsideHiveFile(const std::string& path)
{
    constexpr int kMaxNames = 100;
    for (int n = 1; n < kMaxNames; ++n) {
        const std::string target = path + ".damaged" + (n > 1 ? "." + std::to_string(n) : std::string());
        const int err = RenameNoReplace(path, target);
        if (err == EEXIST) continue;
        if (err != 0) {
            errno = err;
            return std::nullopt;
        }
        // A journal left beside a fresh hive would be played back into it.
        for (const char* suffix : {"-journal", "-wal"}) {
            if (rename((path + suffix).c_str(), (target + suffix).c_str()) == 0 || errno == ENOENT) continue;
            const int journalErr = errno;
            rename(target.c_str(), path.c_str());  // back as it was: nothing is replaced
            errno = journalErr;
            return std::nullopt;
        }
        unlink((path + "-shm").c_str());  // the log's shared index is rebuilt from the log
        return target;
    }
    errno = EEXIST;
    return std::nullopt;
}

}  // namespace kestrun::platform
