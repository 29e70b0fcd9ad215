// An off-screen drawing context over a target DC: drawing goes to a bitmap the
// size of the target's clip box, in the target's own coordinates, and the
// destructor copies the result to the target in one block transfer.
#pragma once

#include <wx/bitmap.h>
#include <wx/dcmemory.h>

namespace kestrun {

class CMemDC : public wxMemoryDC {
public:
    // The target is a reference: there is no DC to draw to without one.
    explicit CMemDC(wxDC& target);
    // Covers only the part of the clip box inside area: on GTK a child window's
    // paint DC may report the whole top-level window as its clip box.
    CMemDC(wxDC& target, const wxRect& area);
    ~CMemDC() override;

    CMemDC(const CMemDC&) = delete;
    CMemDC& operator=(const CMemDC&) = delete;

    // The area covered: the target's clip box.
    [[nodiscard]] const wxRect& rect() const { return m_rect; }

private:
    void Init();

    wxBitmap m_bitmap;
    wxDC& m_target;
    wxRect m_rect;
};

}  // namespace kestrun
