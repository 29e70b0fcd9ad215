#include "platform/linux/X11Icon.h"

#include "platform/common/ImageScale.h"

#include <climits>
#include <cstdlib>

namespace kestrun::platform::linux_backend {

std::optional<Image> SmallIconFromNetWmIcon(const std::vector<uint32_t>& data, int side)
{
    constexpr uint64_t kMaxSide = 1024;
    std::optional<size_t> best;
    long bestDistance = LONG_MAX;
    uint64_t bestSide = 0;
    size_t at = 0;
    while (at + 2 <= data.size()) {
        const uint64_t w = data[at], h = data[at + 1];
        if (w == 0 || h == 0 || w > kMaxSide || h > kMaxSide || w * h > data.size() - at - 2) break;  // malformed
        const long distance = std::labs(static_cast<long>(w) - side) + std::labs(static_cast<long>(h) - side);
        if (distance < bestDistance || (distance == bestDistance && w > bestSide)) {
            best = at;
            bestDistance = distance;
            bestSide = w;
        }
        at += 2 + static_cast<size_t>(w * h);
    }
    if (!best) return std::nullopt;
    Image entry;
    entry.width = static_cast<int>(data[*best]);
    entry.height = static_cast<int>(data[*best + 1]);
    const auto first = data.begin() + static_cast<std::ptrdiff_t>(*best + 2);
    entry.pixels.assign(first, first + static_cast<std::ptrdiff_t>(entry.width) * entry.height);
    return ScaleToSquare(entry, side);
}

}  // namespace kestrun::platform::linux_backend
