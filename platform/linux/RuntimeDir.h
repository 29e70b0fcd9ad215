// A folder for this user's small runtime files (lock files, help redirect pages).
#pragma once

#include <optional>
#include <string>

namespace kestrun::platform::linux_backend {

// $XDG_RUNTIME_DIR when it names a folder; else the fallback below.
// nullopt with errno set on failure.
std::optional<std::string> PrivateRuntimeDirectory();

// $TMPDIR (or /tmp) /kestrun-<uid>, made 0700 and refused (errno EACCES) unless
// it is a real folder owned by this user that nobody else can write to: where
// the runtime files go when $XDG_RUNTIME_DIR is unset, or refuses them.
std::optional<std::string> FallbackRuntimeDirectory();

}  // namespace kestrun::platform::linux_backend
