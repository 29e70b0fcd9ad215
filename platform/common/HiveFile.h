// What the registry store does to a hive's file as a whole.
#pragma once

#include <optional>
#include <string>

namespace kestrun::platform {

// Moves the file at path (with its journal or write-ahead log) to the first free
// name path.damaged, path.damaged.2, ...; returns that name, or nullopt (errno
// set) when it cannot be moved, in which case everything stays where it was.
std::optional<std::string> SetAsideHiveFile(const std::string& path);

}  // namespace kestrun::platform
