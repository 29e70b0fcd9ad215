#include "platform/linux/FileVersion.h"

#include "platform/LastError.h"
#include "platform/common/PeVersion.h"

#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kestrun::platform::linux_backend {

namespace {

// The whole file, when it is a regular file no larger than the limit.
std::optional<std::vector<uint8_t>> ReadSmallFile(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        FailWithErrno();
        return std::nullopt;
    }
    struct stat st {};
    std::optional<std::vector<uint8_t>> bytes;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<uint64_t>(st.st_size) <= kMaxVersionedFile) {
        bytes.emplace(static_cast<size_t>(st.st_size));
        size_t done = 0;
        while (done < bytes->size()) {
            const ssize_t n = ::read(fd, bytes->data() + done, bytes->size() - done);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        bytes->resize(done);  // a file that shrank meanwhile is what was read
    } else {
        Fail(EFBIG);
    }
    ::close(fd);
    return bytes;
}

std::string Trim(const std::string& text)
{
    const size_t begin = text.find_first_not_of(" \t\r");
    if (begin == std::string::npos) return {};
    const size_t end = text.find_last_not_of(" \t\r");
    return text.substr(begin, end - begin + 1);
}

bool StartsWithNoCase(const std::string& text, const char* prefix)
{
    for (size_t i = 0; prefix[i] != '\0'; ++i) {
        if (i >= text.size()) return false;
        const char a = static_cast<char>(text[i] | 0x20);
        if (a != (prefix[i] | 0x20)) return false;
    }
    return true;
}

}  // namespace

VersionInfo PackageVersion(const DpkgPackage& package, const std::string& docRoot)
{
    VersionInfo info;
    info.fileDescription = Widen(package.summary);
    info.fileVersion = Widen(package.version);
    info.companyName = Widen(package.maintainer);
    const std::string name = package.name.substr(0, package.name.find(':'));  // without its architecture
    info.productName = Widen(name);
    info.productVersion = info.fileVersion;
    std::ifstream copyright(docRoot + "/" + name + "/copyright");
    for (std::string line; std::getline(copyright, line);) {
        const std::string trimmed = Trim(line);
        if (StartsWithNoCase(trimmed, "copyright")) {
            info.legalCopyright = Widen(trimmed);
            break;
        }
    }
    return info;
}

std::optional<VersionInfo> ReadFileVersion(const std::string& path, DpkgIndex* packages, const std::string& docRoot)
{
    const std::optional<std::vector<uint8_t>> bytes = ReadSmallFile(path);
    if (bytes && bytes->size() >= 2 && (*bytes)[0] == 'M' && (*bytes)[1] == 'Z') {
        std::optional<VersionInfo> info = PeVersionInfo(*bytes);
        if (!info) Fail(ENOENT);  // no version resource
        return info;
    }
    if (packages != nullptr) {
        if (const DpkgPackage* owner = packages->OwnerOf(path)) return PackageVersion(*owner, docRoot);
    }
    Fail(ENOENT);
    return std::nullopt;
}

}  // namespace kestrun::platform::linux_backend
