// An owned directory stream, opened below a directory handle and closed (with
// the descriptor it reads through) when its owner goes.
#pragma once

#include <dirent.h>
#include <fcntl.h>

#include <string>

namespace kestrun::platform::linux_backend {

class Dir {
public:
    // Opens name (".": the handle's own directory) below the directory handle at,
    // through a descriptor of its own; on failure the object is not valid and
    // errno says why.
    Dir(int at, const char* name);
    // Opens a folder by its path (relative ones to the working directory).
    explicit Dir(const std::string& path) : Dir(AT_FDCWD, path.c_str()) {}
    ~Dir();
    Dir(const Dir&) = delete;
    Dir& operator=(const Dir&) = delete;

    [[nodiscard]] bool valid() const { return dir_ != nullptr; }
    // The descriptor the stream reads through, for reads relative to the directory.
    [[nodiscard]] int fd() const { return ::dirfd(dir_); }
    // The next entry, null at the end; valid until the next call.
    const dirent* Next() { return ::readdir(dir_); }

private:
    DIR* dir_ = nullptr;
};

}  // namespace kestrun::platform::linux_backend
