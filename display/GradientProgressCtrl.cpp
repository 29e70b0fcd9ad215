#include "display/GradientProgressCtrl.h"

#include "display/MemDC.h"

#include <wx/brush.h>
#include <wx/dcbuffer.h>
#include <wx/gauge.h>
#include <wx/settings.h>

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace kestrun {

CGradientProgressCtrl::CGradientProgressCtrl(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size,
                                             long style)
    : m_backColor(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNFACE)),
      m_textColor(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNTEXT))
{
    // Painted whole on every paint: no background erase.
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    Create(parent, id, pos, size, style);
    Bind(wxEVT_PAINT, &CGradientProgressCtrl::OnPaint, this);
}

wxSize CGradientProgressCtrl::DoGetBestSize() const { return FromDIP(wxSize(50, 40)); }

int CGradientProgressCtrl::SetPos(int pos)
{
    const int previous = std::exchange(m_pos, pos);
    Refresh(false);
    return previous;
}

int CGradientProgressCtrl::SetStep(int step) { return std::exchange(m_step, step); }

void CGradientProgressCtrl::OnPaint(wxPaintEvent&)
{
    wxPaintDC dc(this);
    Draw(dc, wxRect(GetClientSize()));
}

void CGradientProgressCtrl::Draw(wxDC& dc, const wxRect& client)
{
    // A position outside the range is a plain button-face area without text.
    if (m_pos < m_lower || m_pos > m_upper) {
        dc.SetPen(*wxTRANSPARENT_PEN);
        dc.SetBrush(wxBrush(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNFACE)));
        dc.DrawRectangle(client);
        return;
    }

    const bool vertical = HasFlag(wxGA_VERTICAL);
    // The lower bound does not enter the extent: the range is 0..m_upper.
    const int length = vertical ? client.height : client.width;
    const int extent = static_cast<int>(static_cast<double>(m_pos) / m_upper * length);
    FillGradient(dc, client, extent, vertical);

    if (m_showPercent) {
        // Drawn on the target after the off-screen copy, so it is never buffered over.
        const double percent = (m_pos - m_lower) * 100.0 / (m_upper - m_lower);
        dc.SetTextForeground(m_textColor);
        dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
        dc.SetFont(GetFont());
        dc.DrawLabel(wxString::Format("%3.0f%%", percent), client, wxALIGN_CENTER);
    }
}

int CGradientProgressCtrl::BandCount(const wxColour& start, const wxColour& end)
{
    const int dR = end.Red() - start.Red();
    const int dG = end.Green() - start.Green();
    const int dB = end.Blue() - start.Blue();
    if (dR == 0 && dG == 0 && dB == 0) {
        const int largest = std::max({int{start.Red()}, int{start.Green()}, int{start.Blue()}});
        return largest == 0 ? 255 : largest;
    }
    return std::max({std::abs(dR), std::abs(dG), std::abs(dB)});
}

void CGradientProgressCtrl::FillGradient(wxDC& target, const wxRect& client, int filledExtent, bool vertical)
{
    CMemDC dc(target, client);
    dc.SetPen(*wxTRANSPARENT_PEN);

    // With equal colours every band keeps that colour: the steps are 0.
    const int n = BandCount(m_startColor, m_endColor);
    const float sR = static_cast<float>(m_endColor.Red() - m_startColor.Red()) / n;
    const float sG = static_cast<float>(m_endColor.Green() - m_startColor.Green()) / n;
    const float sB = static_cast<float>(m_endColor.Blue() - m_startColor.Blue()) / n;
    const int length = vertical ? client.height : client.width;
    const float size = static_cast<float>(length) / n;
    // Band edges from the low end; the last band ends exactly at the far edge,
    // whatever single-precision rounding says.
    auto edge = [&](int i) { return i >= n ? length : static_cast<int>(i * size); };

    const int W = client.width;
    const int H = client.height;
    for (int i = 0; i < n; ++i) {
        const wxColour colour(static_cast<unsigned char>(static_cast<int>(m_startColor.Red() + i * sR) & 0xFF),
                              static_cast<unsigned char>(static_cast<int>(m_startColor.Green() + i * sG) & 0xFF),
                              static_cast<unsigned char>(static_cast<int>(m_startColor.Blue() + i * sB) & 0xFF));
        dc.SetBrush(wxBrush(colour));
        const int from = edge(i);
        const int to = edge(i + 1);
        if (vertical) {
            // Bands counted upward from the bottom edge.
            const int top = H - to;
            dc.DrawRectangle(client.x, client.y + top, W, to - from);
            if (top <= H - filledExtent) {
                dc.SetBrush(wxBrush(m_backColor));
                dc.DrawRectangle(client.x, client.y, W, top);
                break;
            }
        } else {
            dc.DrawRectangle(client.x + from, client.y, to - from, H);
            if (to > filledExtent) {
                dc.SetBrush(wxBrush(m_backColor));
                dc.DrawRectangle(client.x + to, client.y, W - to, H);
                break;
            }
        }
    }
}

}  // namespace kestrun
