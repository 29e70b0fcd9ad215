// Version strings of a file on Linux: a Windows executable's from its own
// version resource; any other file's (an ELF program or library) from the
// Debian package that owns it.
#pragma once

#include "platform/Shell.h"
#include "platform/linux/DpkgIndex.h"

#include <optional>
#include <string>

namespace kestrun::platform::linux_backend {

// Files larger than this are not read for a version resource.
inline constexpr size_t kMaxVersionedFile = size_t{64} << 20;

// docRoot holds each package's copyright file (/usr/share/doc/PKG/copyright).
// nullopt (last error set) when the file has no version strings.
std::optional<VersionInfo> ReadFileVersion(const std::string& path, DpkgIndex* packages, const std::string& docRoot);

// The package's version strings: its summary, version, maintainer and the first
// copyright line of its copyright file.
VersionInfo PackageVersion(const DpkgPackage& package, const std::string& docRoot);

}  // namespace kestrun::platform::linux_backend
