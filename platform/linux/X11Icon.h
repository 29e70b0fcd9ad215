// _NET_WM_ICON: a list of entries, each its width, its height and width x height
// ARGB pixels, one 32-bit item each.
#pragma once

#include "platform/Types.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace kestrun::platform::linux_backend {

// The entry nearest side x side (a larger one on a tie: it scales down better),
// scaled to side x side. nullopt when the list holds no well-formed entry; a
// malformed entry ends the list.
std::optional<Image> SmallIconFromNetWmIcon(const std::vector<uint32_t>& data, int side);

}  // namespace kestrun::platform::linux_backend
