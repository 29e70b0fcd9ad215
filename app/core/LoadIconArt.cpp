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

}  // namespace kestrun
