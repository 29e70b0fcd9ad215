#include "display/UsageHistoryCtrl.h"

#include <wx/dcclient.h>
#include <wx/graphics.h>
#include <wx/log.h>
#include <wx/pen.h>
#include <wx/settings.h>

#include <algorithm>
#include <cmath>
#include <new>

namespace kestrun {

namespace {
const wxColour kGridColour(192, 192, 192);
const wxColour kCurveColour(0, 255, 0);
}  // namespace

CUsageHistoryCtrl::CUsageHistoryCtrl(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size,
                                     long style, int sampleCount)
{
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    Create(parent, id, pos, size, style);
    Bind(wxEVT_PAINT, &CUsageHistoryCtrl::OnPaint, this);

    if (sampleCount <= 0) sampleCount = wxSystemSettings::GetMetric(wxSYS_SCREEN_X, this);
    if (sampleCount <= 0) return;  // no screen to size the ring by: the control stays inert
    try {
        m_samples.assign(static_cast<size_t>(sampleCount), 0.0);
        m_sampleCount = sampleCount;
        m_valid = true;
    } catch (const std::bad_alloc&) {
        wxLogDebug("usage history: no memory for %d samples", sampleCount);
    }
}

wxSize CUsageHistoryCtrl::DoGetBestSize() const { return FromDIP(wxSize(200, 40)); }

bool CUsageHistoryCtrl::Changed()
{
    Refresh(false);
    return true;
}

bool CUsageHistoryCtrl::AddValue(double value)
{
    if (!m_valid) return false;
    if (++m_newest >= m_sampleCount) m_newest = 0;
    m_samples[static_cast<size_t>(m_newest)] = value;
    return Changed();
}

bool CUsageHistoryCtrl::SetLabelWidth(int width)
{
    if (!m_valid) return false;
    m_labelWidth = width;
    return Changed();
}

bool CUsageHistoryCtrl::SetLabelCount(int count)
{
    if (!m_valid) return false;
    m_labelCount = std::clamp(count, 0, kMaxLabels);
    return Changed();
}

bool CUsageHistoryCtrl::SetMaxValue(double value)
{
    if (!m_valid) return false;
    m_maxValue = value;
    return Changed();
}

double CUsageHistoryCtrl::Sample(int age) const
{
    if (!m_valid) return 0.0;
    int index = (m_newest - age) % m_sampleCount;
    if (index < 0) index += m_sampleCount;
    return m_samples[static_cast<size_t>(index)];
}

void CUsageHistoryCtrl::OnPaint(wxPaintEvent& event)
{
    if (!m_valid) {
        event.Skip();
        return;
    }
    wxPaintDC dc(this);
    Draw(dc, wxRect(GetClientSize()));
}

std::vector<int> CUsageHistoryCtrl::GridRows(int height)
{
    const int bands = height >= 80 ? 10 : (height >= 20 ? 4 : 1);
    const int step = height / bands;
    int rest = height % bands;
    const int every = rest != 0 ? bands / rest : 0;
    std::vector<int> rows;
    int y = 0;
    for (int k = 1; k < bands; ++k) {
        y += step;
        if (rest != 0 && k % every == 0) {
            ++y;
            --rest;
        }
        rows.push_back(y);
    }
    return rows;
}

std::vector<int> CUsageHistoryCtrl::GridColumns(int labelWidth, int width)
{
    std::vector<int> columns;
    const int count = (width - labelWidth) / kGridSpacing;
    for (int k = 1; k <= count; ++k) columns.push_back(labelWidth + kGridSpacing * k);
    return columns;
}

std::vector<wxPoint> CUsageHistoryCtrl::CurvePoints(int width, int height)
{
    std::vector<wxPoint> points;
    if (!m_valid || m_maxValue == 0.0) return points;  // no curve, and the peak stays

    const int plot = height - 2;
    m_peakValue = 0.0;
    int x = width - 2;
    int i = m_newest;
    do {
        const double v = m_samples[static_cast<size_t>(i)];
        if (v > m_peakValue) m_peakValue = v;
        const double scaled = plot / m_maxValue * v;
        // Above full scale the curve stays on the top plot row; below zero (or not a
        // number) it lies on the row under the client area.
        int h = 0;
        if (scaled >= plot)
            h = plot;
        else if (scaled > 0.0)
            h = static_cast<int>(scaled);
        points.emplace_back(x, height - h);
        x -= kSampleSpacing;
        i = i == 0 ? m_sampleCount - 1 : i - 1;
    } while (x >= m_labelWidth);
    return points;
}

void CUsageHistoryCtrl::Draw(wxDC& dc, const wxRect& client)
{
    const int W = client.width;
    const int H = client.height;
    // Exact pixels: lines on whole pixels, no blending.
    if (wxGraphicsContext* gc = dc.GetGraphicsContext()) gc->SetAntialiasMode(wxANTIALIAS_NONE);

    // Background and label strip.
    const wxColour face = wxSystemSettings::GetColour(wxSYS_COLOUR_BTNFACE);
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.SetBrush(wxBrush(face));
    dc.DrawRectangle(0, 0, W, H);
    if (m_labelWidth > 0) dc.DrawRectangle(0, 0, m_labelWidth, H);
    dc.SetTextForeground(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNTEXT));
    dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
    dc.SetFont(GetFont());
    const int lineHeight = m_labelCount != 0 ? H / m_labelCount : 0;
    for (int i = 0; i < m_labelCount; ++i)
        dc.DrawLabel(m_labels[static_cast<size_t>(i)], wxRect(0, i * lineHeight, m_labelWidth, lineHeight),
                     wxALIGN_CENTER);
    if (m_labelCount != 0) {
        dc.SetPen(*wxWHITE_PEN);
        dc.DrawLine(m_labelWidth, 0, m_labelWidth, H);
    }

    // Grid: fixed, it does not move as the samples scroll.
    wxPen gridPen(kGridColour, 1);
    gridPen.SetCap(wxCAP_BUTT);
    dc.SetPen(gridPen);
    for (int y : GridRows(H)) dc.DrawLine(m_labelWidth, y, W, y);
    for (int x : GridColumns(m_labelWidth, W)) dc.DrawLine(x, H, x, 0);

    // Curve.
    const std::vector<wxPoint> points = CurvePoints(W, H);
    if (points.size() >= 2) {
        // Square ends, so that the newest sample's own pixel is drawn too.
        wxPen curvePen(kCurveColour, 1);
        curvePen.SetCap(wxCAP_PROJECTING);
        dc.SetPen(curvePen);
        dc.DrawLines(static_cast<int>(points.size()), points.data());
    }
    dc.SetPen(wxNullPen);
}

}  // namespace kestrun
