// The Debian package database as an index from installed paths to the package
// that owns them, with what the status file says of each package. Built once,
// on the first question, and shared by everything that asks who owns a file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kestrun::platform::linux_backend {

struct DpkgPackage {
    std::string name;        // as dpkg names it: "bash", "libc6:amd64"
    std::string version;
    std::string maintainer;
    std::string summary;     // the first line of Description
};

class DpkgIndex {
public:
    explicit DpkgIndex(std::string root = "/var/lib/dpkg");
    DpkgIndex(const DpkgIndex&) = delete;
    DpkgIndex& operator=(const DpkgIndex&) = delete;

    // The package owning path, or null. The lists name files as packaged, so on
    // a merged-/usr system /usr/bin/bash is found as /bin/bash and the other way
    // round; a symbolic link is also tried as the file it points at.
    const DpkgPackage* OwnerOf(const std::string& path);

    // Number of paths indexed (0 when the database cannot be read); builds the index.
    size_t PathCount();

private:
    void Build();
    void ReadStatus();
    void ReadLists();
    const DpkgPackage* Lookup(std::string_view path) const;

    std::string root_;
    bool built_ = false;
    std::vector<DpkgPackage> packages_;
    std::unordered_map<std::string, uint32_t> packageByName_;   // "name" and "name:arch"
    std::vector<std::unique_ptr<char[]>> lists_;                  // the list files' text, which the keys point into
    std::unordered_map<std::string_view, uint32_t> owner_;       // path -> package
};

}  // namespace kestrun::platform::linux_backend
