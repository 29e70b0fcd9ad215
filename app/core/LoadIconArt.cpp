#include "app/core/LoadIconArt.h"

namespace kestrun {

platform::Image DrawLoadIcon(int index)
{
    if (index < 0 || index > kLoadIconRows) index = 0;

    platform::Image image;
    image.width = kLoadIconSize;
    image.height = kLoadIconSize;
    image.pixels.assign(kLoadIconSize * kLoadIconSize, kLoadIconBlack);
    auto at = [&image](int x, int y) -> uint32_t& { return image.pixels[static_cast<size_t>(y * kLoadIconSize + x)]; };

    // Sunken frame one pixel outside the column: dark above and left, light below and right.
    const int left = kLoadColumnLeft - 1;
    const int right = kLoadColumnRight + 1;
    const int top = kLoadColumnTop - 1;
    const int bottom = kLoadColumnBottom + 1;
    for (int x = left; x <= right; ++x) {
        at(x, top) = kLoadIconShadow;
        at(x, bottom) = kLoadIconHighlight;
    }
    for (int y = top; y <= bottom; ++y) {
        at(left, y) = kLoadIconShadow;
        at(right, y) = kLoadIconHighlight;
    }
    at(left, bottom) = kLoadIconShadow;
    at(right, top) = kLoadIconShadow;

    // Rows counted from the bottom: the lowest `index` rows are lit.
    for (int row = 0; row < kLoadIconRows; ++row) {
        const int y = kLoadColumnBottom - row;
        for (int x = kLoadColumnLeft; x <= kLoadColumnRight; ++x) {
            if (row < index)
                at(x, y) = kLoadIconLit;
            else
                at(x, y) = ((x + y) % 2 == 0) ? kLoadIconUnlit : kLoadIconBlack;
        }
    }
    return image;
}

platform::Image DrawLoadIconAt(int index, int size)
{
    platform::Image art = DrawLoadIcon(index);
    if (size <= kLoadIconSize) return art;  // no size below the art's own
    platform::Image image;
    image.width = size;
    image.height = size;
    image.pixels.assign(static_cast<size_t>(size) * static_cast<size_t>(size), 0x00000000u);  // transparent
    const int scale = size / kLoadIconSize;  // whole pixels only: the art stays sharp
    const int drawn = kLoadIconSize * scale;
    const int margin = (size - drawn) / 2;
    for (int y = 0; y < drawn; ++y) {
        for (int x = 0; x < drawn; ++x) {
            const uint32_t pixel = art.pixels[static_cast<size_t>((y / scale) * kLoadIconSize + x / scale)];
            image.pixels[static_cast<size_t>((y + margin) * size + x + margin)] = pixel;
        }
    }
    return image;
}

std::vector<platform::Image> DrawLoadIconSizes(int index)
{
    std::vector<platform::Image> sizes;
    for (const int size : kLoadIconPanelSizes) sizes.push_back(DrawLoadIconAt(index, size));
    return sizes;
}

}  // namespace kestrun
