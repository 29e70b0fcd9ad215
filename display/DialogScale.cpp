#include "display/DialogScale.h"

#include <wx/window.h>

#include <algorithm>
#include <cmath>

namespace kestrun {

namespace {
constexpr double kClassicUnitX = 1.5;  // one dialog unit of the classic font, in pixels
constexpr double kClassicUnitY = 1.625;
}  // namespace

wxRealPoint ClassicDialogScale(wxWindow* window)
{
    const wxSize unit100 = window->ConvertDialogToPixels(wxSize(100, 100));
    return {unit100.x / (100.0 * kClassicUnitX), unit100.y / (100.0 * kClassicUnitY)};
}

int ScaleClassicWidth(wxWindow* window, int width)
{
    if (width <= 0) return width;
    return std::max(1, static_cast<int>(std::lround(width * ClassicDialogScale(window).x)));
}

}  // namespace kestrun
