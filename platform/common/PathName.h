// The parts of a POSIX path, as text: no file system is asked.
#pragma once

#include <string>
#include <string_view>

namespace kestrun::platform {

// What follows the last '/' (all of the path when it has none).
std::string_view FileNameOf(std::string_view path);

// The folder a path lies in: what comes before its last '/', "/" for a path
// right below the root, "." for a name without a folder.
std::string ParentFolderOf(const std::string& path);

}  // namespace kestrun::platform
