// A progress bar drawn as a colour gradient: the filled part runs in bands from
// a start colour at the low end towards an end colour at the high end, the
// unfilled part shows a background colour, and the percentage may be printed
// over it. Vertical when made with wxGA_VERTICAL (read at every paint).
#pragma once

#include <wx/colour.h>
#include <wx/control.h>
#include <wx/dc.h>
#include <wx/gauge.h>

namespace kestrun {

class CGradientProgressCtrl : public wxControl {
public:
    CGradientProgressCtrl(wxWindow* parent, wxWindowID id, const wxPoint& pos = wxDefaultPosition,
                          const wxSize& size = wxDefaultSize, long style = long{wxGA_VERTICAL} | wxBORDER_SIMPLE);

    // Stores the position and repaints; returns the previous position.
    int SetPos(int pos);
    int SetStep(int step);
    [[nodiscard]] int GetPos() const { return m_pos; }
    [[nodiscard]] int GetStep() const { return m_step; }
    [[nodiscard]] int lower() const { return m_lower; }
    [[nodiscard]] int upper() const { return m_upper; }

    // Paints the whole control into dc over client, a rectangle at the origin.
    void Draw(wxDC& dc, const wxRect& client);

    // Paints the bands up to the band that crosses the filled extent (drawn
    // whole) and the background beyond it, off screen, then copies them to dc.
    void FillGradient(wxDC& dc, const wxRect& client, int filledExtent, bool vertical);

    // The band count: the largest colour difference; for equal colours the
    // largest byte of the colour, 255 for black.
    static int BandCount(const wxColour& start, const wxColour& end);

    // Set by the owner before the first paint.
    wxColour m_startColor{255, 0, 0};
    wxColour m_endColor{0, 0, 255};
    wxColour m_backColor;
    wxColour m_textColor;
    bool m_showPercent = false;

protected:
    wxSize DoGetBestSize() const override;

private:
    void OnPaint(wxPaintEvent& event);

    int m_lower = 0;
    int m_upper = 100;  // the range is never changed: always 0..100
    int m_step = 10;
    int m_pos = 0;
};

}  // namespace kestrun
