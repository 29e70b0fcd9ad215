#include "display/MemDC.h"

namespace kestrun {

namespace {
wxRect ClipBox(const wxDC& target)
{
    wxCoord x = 0;
    wxCoord y = 0;
    wxCoord width = 0;
    wxCoord height = 0;
    target.GetClippingBox(&x, &y, &width, &height);
    return {x, y, width, height};
}
}  // namespace

CMemDC::CMemDC(wxDC& target) : wxMemoryDC(&target), m_target(target), m_rect(ClipBox(target)) { Init(); }

CMemDC::CMemDC(wxDC& target, const wxRect& area)
    : wxMemoryDC(&target), m_target(target), m_rect(ClipBox(target).Intersect(area))
{
    Init();
}

void CMemDC::Init()
{
    // A bitmap cannot be empty; an empty area still gets one pixel that is never copied.
    m_bitmap.Create(wxMax(m_rect.width, 1), wxMax(m_rect.height, 1), m_target);
    SelectObject(m_bitmap);
    // The covered area's top-left corner is the bitmap's origin, so drawing uses
    // the target's coordinates.
    SetDeviceOrigin(-m_rect.x, -m_rect.y);
}

CMemDC::~CMemDC()
{
    if (!m_rect.IsEmpty())
        m_target.Blit(m_rect.x, m_rect.y, m_rect.width, m_rect.height, this, m_rect.x, m_rect.y, wxCOPY);
    SelectObject(wxNullBitmap);
}

}  // namespace kestrun
