#include "display/MemDC.h"

namespace kestrun {

CMemDC::CMemDC(wxDC& target) : wxMemoryDC(&target), m_target(target)
{
    wxCoord x = 0;
    wxCoord y = 0;
    wxCoord width = 0;
    wxCoord height = 0;
    target.GetClippingBox(&x, &y, &width, &height);
    m_rect = wxRect(x, y, width, height);
    // A bitmap cannot be empty; a zero clip box still gets one pixel that is never copied.
    m_bitmap.Create(wxMax(width, 1), wxMax(height, 1), target);
    SelectObject(m_bitmap);
    // The clip box's top-left corner is the bitmap's origin, so drawing uses the
    // target's coordinates.
    SetDeviceOrigin(-x, -y);
}

CMemDC::~CMemDC()
{
    if (!m_rect.IsEmpty())
        m_target.Blit(m_rect.x, m_rect.y, m_rect.width, m_rect.height, this, m_rect.x, m_rect.y, wxCOPY);
    SelectObject(wxNullBitmap);
}

}  // namespace kestrun
