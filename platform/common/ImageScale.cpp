#include "platform/common/ImageScale.h"

#include <algorithm>
#include <cmath>

namespace kestrun::platform {

namespace {

struct Sum {
    double a = 0, r = 0, g = 0, b = 0;  // colours premultiplied by opacity
};

void Add(Sum& sum, uint32_t argb, double weight)
{
    const double a = static_cast<double>(argb >> 24) / 255.0;
    sum.a += a * weight;
    sum.r += static_cast<double>((argb >> 16) & 0xFF) * a * weight;
    sum.g += static_cast<double>((argb >> 8) & 0xFF) * a * weight;
    sum.b += static_cast<double>(argb & 0xFF) * a * weight;
}

uint32_t Channel(double value) { return static_cast<uint32_t>(std::clamp(std::lround(value), 0L, 255L)); }

uint32_t Average(const Sum& sum, double area)
{
    if (sum.a <= 0.0 || area <= 0.0) return 0;
    const double alpha = sum.a / area;
    return Channel(alpha * 255.0) << 24 | Channel(sum.r / sum.a) << 16 | Channel(sum.g / sum.a) << 8 |
           Channel(sum.b / sum.a);
}

}  // namespace

Image ScaleToSquare(const Image& source, int side)
{
    Image out;
    if (side <= 0) return out;
    out.width = out.height = side;
    out.pixels.assign(static_cast<size_t>(side) * static_cast<size_t>(side), 0);
    const int w = source.width, h = source.height;
    if (w <= 0 || h <= 0 || source.pixels.size() < static_cast<size_t>(w) * static_cast<size_t>(h)) return out;
    if (w == side && h == side) return source;

    const double scale = static_cast<double>(side) / std::max(w, h);  // target pixels per source pixel
    const int targetW = std::max(1, static_cast<int>(std::lround(w * scale)));
    const int targetH = std::max(1, static_cast<int>(std::lround(h * scale)));
    const int left = (side - targetW) / 2, top = (side - targetH) / 2;
    const double stepX = static_cast<double>(w) / targetW, stepY = static_cast<double>(h) / targetH;

    for (int ty = 0; ty < targetH; ++ty) {
        const double y0 = ty * stepY, y1 = y0 + stepY;
        for (int tx = 0; tx < targetW; ++tx) {
            const double x0 = tx * stepX, x1 = x0 + stepX;
            Sum sum;
            for (int sy = static_cast<int>(y0); sy < h && sy < y1; ++sy) {
                const double wy = std::min<double>(sy + 1, y1) - std::max<double>(sy, y0);
                for (int sx = static_cast<int>(x0); sx < w && sx < x1; ++sx) {
                    const double wx = std::min<double>(sx + 1, x1) - std::max<double>(sx, x0);
                    Add(sum, source.pixels[static_cast<size_t>(sy) * static_cast<size_t>(w) + static_cast<size_t>(sx)],
                        wx * wy);
                }
            }
            out.pixels[static_cast<size_t>(top + ty) * static_cast<size_t>(side) + static_cast<size_t>(left + tx)] =
                Average(sum, stepX * stepY);
        }
    }
    return out;
}

}  // namespace kestrun::platform
