// Icons at the size a list shows them.
#pragma once

#include "platform/Types.h"

namespace kestrun::platform {

// The image fitted into side x side pixels, its aspect kept and centred on a
// transparent ground. Each target pixel is the area-weighted average of the
// source pixels it covers, colours weighted by their opacity, so downscaling
// keeps thin shapes and transparent edges do not darken.
Image ScaleToSquare(const Image& source, int side);

}  // namespace kestrun::platform
