#include "platform/linux/DpkgIndex.h"

#include "platform/linux/Dir.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrun::platform::linux_backend {

namespace {

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

// The whole file, or empty.
std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The other spelling of a path on a merged-/usr system: /usr/bin/x <-> /bin/x.
std::string MergedUsrTwin(std::string_view path)
{
    for (std::string_view top : {"/bin/", "/sbin/", "/lib/", "/lib32/", "/lib64/", "/libx32/"}) {
        if (StartsWith(path, top)) return "/usr" + std::string(path);
        if (StartsWith(path, "/usr") && StartsWith(path.substr(4), top)) return std::string(path.substr(4));
    }
    return {};
}

}  // namespace

DpkgIndex::DpkgIndex(std::string root) : root_(std::move(root)) {}

void DpkgIndex::Build()
{
    if (built_) return;
    built_ = true;
    ReadStatus();
    ReadLists();
}

// Paragraphs of "Field: value" lines; a continuation line starts with a blank.
void DpkgIndex::ReadStatus()
{
    std::istringstream lines(ReadAll(root_ + "/status"));
    DpkgPackage current;
    std::string architecture;
    bool installed = false;
    const auto finish = [&] {
        if (!current.name.empty() && installed) {
            const auto index = static_cast<uint32_t>(packages_.size());
            packageByName_.emplace(current.name, index);
            if (!architecture.empty()) packageByName_.emplace(current.name + ":" + architecture, index);
            packages_.push_back(std::move(current));
        }
        current = {};
        architecture.clear();
        installed = false;
    };
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty()) {
            finish();
            continue;
        }
        if (line.front() == ' ' || line.front() == '\t') continue;
        const size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        const std::string_view field(line.data(), colon);
        std::string_view value(line);
        value.remove_prefix(colon + 1);
        while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
        if (field == "Package") current.name = std::string(value);
        else if (field == "Version") current.version = std::string(value);
        else if (field == "Maintainer") current.maintainer = std::string(value);
        else if (field == "Description") current.summary = std::string(value);
        else if (field == "Architecture") architecture = std::string(value);
        else if (field == "Status") installed = value.substr(value.rfind(' ') + 1) == "installed";  // "install ok installed"
    }
    finish();
}

// Every info/<package>.list, one path a line. A path that several packages
// list (a folder, mostly) keeps the first owner read.
void DpkgIndex::ReadLists()
{
    const std::string infoDir = root_ + "/info";
    std::vector<std::string> names;
    {
        Dir d(infoDir);
        if (!d.valid()) return;
        while (const dirent* e = d.Next()) {
            const std::string_view name = e->d_name;
            if (name.size() > 5 && name.substr(name.size() - 5) == ".list") names.emplace_back(name);
        }
    }
    owner_.reserve(names.size() * 160);
    for (const std::string& name : names) {
        const std::string package = name.substr(0, name.size() - 5);
        auto known = packageByName_.find(package);
        if (known == packageByName_.end()) known = packageByName_.find(package.substr(0, package.find(':')));
        if (known == packageByName_.end()) continue;  // listed files of a package no longer installed
        const int fd = open((infoDir + "/" + name).c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st{};
        if (fstat(fd, &st) != 0 || st.st_size <= 0) {
            close(fd);
            continue;
        }
        const auto size = static_cast<size_t>(st.st_size);
        auto text = std::make_unique<char[]>(size);
        size_t got = 0;
        while (got < size) {
            const ssize_t n = read(fd, text.get() + got, size - got);
            if (n <= 0) break;
            got += static_cast<size_t>(n);
        }
        close(fd);
        std::string_view rest(text.get(), got);
        while (!rest.empty()) {
            const size_t end = std::min(rest.find('\n'), rest.size());
            const std::string_view path = rest.substr(0, end);
            if (!path.empty() && path != "/.") owner_.emplace(path, known->second);
            rest.remove_prefix(std::min(end + 1, rest.size()));
        }
        lists_.push_back(std::move(text));
    }
}

const DpkgPackage* DpkgIndex::Lookup(std::string_view path) const
{
    const auto found = owner_.find(path);
    if (found != owner_.end()) return &packages_[found->second];
    const std::string twin = MergedUsrTwin(path);
    if (twin.empty()) return nullptr;
    const auto other = owner_.find(twin);
    return other != owner_.end() ? &packages_[other->second] : nullptr;
}

const DpkgPackage* DpkgIndex::OwnerOf(const std::string& path)
{
    Build();
    if (path.empty()) return nullptr;
    if (const DpkgPackage* package = Lookup(path)) return package;
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) == nullptr || path == resolved) return nullptr;
    return Lookup(resolved);
}

size_t DpkgIndex::PathCount()
{
    Build();
    return owner_.size();
}

}  // namespace kestrun::platform::linux_backend
