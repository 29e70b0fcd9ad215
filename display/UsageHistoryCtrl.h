// A scrolling history of a percentage: a fixed grid, an optional strip of scale
// labels at the left and a green polyline of the most recent samples, the newest
// at the right edge, three pixels apart. The samples live in a ring buffer sized
// once to the screen width, more than the widest graph can show.
#pragma once

#include <wx/control.h>
#include <wx/dc.h>

#include <array>
#include <vector>

namespace kestrun {

class CUsageHistoryCtrl : public wxControl {
public:
    static constexpr int kMaxLabels = 10;
    static constexpr int kSampleSpacing = 3;  // pixels between two samples
    static constexpr int kGridSpacing = 15;   // pixels between two vertical grid lines

    // sampleCount 0: one sample per pixel of the screen's width.
    CUsageHistoryCtrl(wxWindow* parent, wxWindowID id, const wxPoint& pos = wxDefaultPosition,
                      const wxSize& size = wxDefaultSize, long style = wxBORDER_SUNKEN, int sampleCount = 0);

    // Each returns false and does nothing when the control is not valid, else
    // schedules a repaint and returns true.
    bool AddValue(double value);
    bool SetLabelWidth(int width);
    bool SetLabelCount(int count);  // kept within 0..kMaxLabels
    bool SetMaxValue(double value);

    // Paints the whole graph into dc over client, a rectangle at the origin.
    void Draw(wxDC& dc, const wxRect& client);

    // Rows of the horizontal grid lines of a graph height pixels high: the bands'
    // remainder pixels are spread over the lines instead of piled at the bottom.
    static std::vector<int> GridRows(int height);
    // Columns of the vertical grid lines right of the label strip.
    static std::vector<int> GridColumns(int labelWidth, int width);
    // The curve's points, newest first, for a client area width x height; updates
    // m_peakValue from the samples it takes. Empty when the full scale is 0.
    std::vector<wxPoint> CurvePoints(int width, int height);

    [[nodiscard]] bool valid() const { return m_valid; }
    [[nodiscard]] double peakValue() const { return m_peakValue; }
    [[nodiscard]] int sampleCount() const { return m_sampleCount; }
    [[nodiscard]] int newest() const { return m_newest; }
    // The sample `age` places before the newest (0: the newest).
    [[nodiscard]] double Sample(int age) const;

    // Text of the label lines, top to bottom; set directly by the owner.
    std::array<wxString, kMaxLabels> m_labels;

protected:
    wxSize DoGetBestSize() const override;

private:
    void OnPaint(wxPaintEvent& event);
    bool Changed();

    bool m_valid = false;
    int m_labelCount = 0;
    int m_labelWidth = 0;
    int m_newest = 0;
    double m_maxValue = 100.0;
    double m_peakValue = 0.0;
    std::vector<double> m_samples;
    int m_sampleCount = 0;
};

}  // namespace kestrun
