// The twelve load icons of the notification area, drawn in code: a black 16 x 16
// square with a grey sunken frame around a column 10 pixels wide of 11 rows;
// unlit rows are a dark green dotted pattern, lit rows solid bright green. The
// icon of load index i has its bottom i rows lit.
#pragma once

#include "platform/Types.h"

#include <vector>

namespace kestrun {

inline constexpr int kLoadIconSize = 16;
inline constexpr int kLoadIconRows = 11;

// Geometry of the column (inclusive pixel coordinates).
inline constexpr int kLoadColumnLeft = 3;
inline constexpr int kLoadColumnRight = 12;   // 10 pixels wide
inline constexpr int kLoadColumnTop = 3;
inline constexpr int kLoadColumnBottom = 13;  // 11 rows of one pixel

// 0xAARRGGBB colours of the icons.
inline constexpr uint32_t kLoadIconBlack = 0xFF000000u;
inline constexpr uint32_t kLoadIconShadow = 0xFF808080u;     // frame, top and left
inline constexpr uint32_t kLoadIconHighlight = 0xFFC0C0C0u;  // frame, bottom and right
inline constexpr uint32_t kLoadIconUnlit = 0xFF008000u;
inline constexpr uint32_t kLoadIconLit = 0xFF00FF00u;

// The icon of load index 0..11 (indexes outside are taken as 0).
platform::Image DrawLoadIcon(int index);

// The square sizes panels ask status items for: whole multiples of the art
// (16, 32, 48, 64) and the panel sizes between them (22, 24), which get the
// 16-pixel art centred on a transparent square rather than a blurred scaling.
inline constexpr int kLoadIconPanelSizes[] = {16, 22, 24, 32, 48, 64};

// The icon of load index at size pixels square (sizes up to 16 give the 16-pixel art).
platform::Image DrawLoadIconAt(int index, int size);
// The icon of load index in every panel size.
std::vector<platform::Image> DrawLoadIconSizes(int index);

}  // namespace kestrun
