// The Network page without its window: one row per interface of the table
// (loopback, index 1, never listed), its counters as totals and as changes since
// the previous refresh, its usage in percent of the link speed, and the LAN usage
// sample the history graph takes on every tick, shown or hidden.
#pragma once

#include "display/core/ListColumn.h"
#include "display/core/RowKeeper.h"
#include "platform/Platform.h"

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

namespace kestrun {

// One list row. Counters hold what the table gives: 32-bit values that wrap on
// the device, 64-bit ones where the system keeps them.
struct InterfaceRow : RowRecord {
    uint32_t index = 0;  // the row's identity
    uint32_t status = 0;
    uint64_t speed = 0;  // bit/s
    uint64_t bytesIn = 0;
    uint64_t bytesOut = 0;
    uint64_t bytesTotal = 0;
    uint64_t bytesPerInterval = 0;
    uint64_t unicastsTotal = 0;
    uint64_t unicastsPerInterval = 0;
    uint64_t nonUnicastsTotal = 0;
    uint64_t nonUnicastsPerInterval = 0;
    uint64_t discardedTotal = 0;
    uint64_t discardedPerInterval = 0;
    uint64_t errorsTotal = 0;
    uint64_t errorsPerInterval = 0;
    double usage = 0.0;  // percent, at the last refresh
    std::wstring name;   // at most kInterfaceNameLength characters
};

inline constexpr size_t kInterfaceNameLength = 128;

enum NetworkColumn : int {
    kNetName,
    kNetStatus,
    kNetSpeed,
    kNetUsage,
    kNetBytesSent,
    kNetBytesRecv,
    kNetBytesPerInterval,
    kNetBytes,
    kNetUnicastsPerInterval,
    kNetUnicasts,
    kNetNonUnicastsPerInterval,
    kNetNonUnicasts,
    kNetDiscardedPerInterval,
    kNetDiscarded,
    kNetErrorsPerInterval,
    kNetErrors,
    kNetworkColumnCount
};

struct InterfaceRowTraits {
    using Record = InterfaceRow;
    using Key = uint32_t;
    static constexpr size_t kColumns = kNetworkColumnCount;
    static Key KeyOf(const InterfaceRow& row) { return row.index; }
    // The sixteen columns: titles, alignments, widths, cell texts and orders.
    static const ColumnTable<InterfaceRow, kColumns>& Columns();
};

// The cell texts of the status, speed and usage columns.
std::wstring InterfaceStatusText(uint32_t status);
std::wstring InterfaceSpeedText(uint64_t speed);
std::wstring InterfaceUsageText(double usage);

// Usage of a link in percent: bytes moved over milliseconds against its speed in
// bit/s, limited to 100; 0 when no time passed or the speed is unknown. bits is
// bytes x 8 as the table's counters hold it (wrapped to their width).
double InterfaceUsage(uint64_t bits, uint32_t milliseconds, uint64_t speed);

// The full scale of the history graph and the texts of its top and middle labels.
struct HistoryScale {
    double fullScale = 100.0;
    std::wstring top;     // label line 0
    std::wstring middle;  // label line 2
};

// Off: 100. On, from the largest sample the graph shows: 1 up to 1, else the first
// of 2, 5, 10, 25, 50, 100 that is not below it.
double HistoryFullScale(double peak, bool autoScale);
HistoryScale ScaleFor(double fullScale);

// The table's first buffer: a count field and 31 rows.
inline constexpr uint32_t kInitialIfTableBytes = 26664;
// The device follows the table's first 30 rows while the page is hidden.
inline constexpr size_t kHiddenRowLimit = 30;

class NetworkModel {
public:
    NetworkModel(platform::Platform& platform, ListView& list);

    // Creates the sixteen columns in the list.
    void InsertColumns();

    // The page shown: reads the table, updates every row and computes the sample.
    // False (after an error box) when the table cannot be read: the rows stay, the
    // sample and the previous tick are unchanged.
    bool RefreshList();
    // The page hidden: computes the sample only. False (after an error box) when
    // the table cannot be read; the history then takes no sample.
    bool CalcHiddenUsage();

    // The LAN usage sample of the last computation, in percent.
    [[nodiscard]] double usage() const { return usage_; }

    // The history's scale for a peak; nullopt when it is the one the graph has.
    std::optional<HistoryScale> Rescale(double peak, bool autoScale);
    // The scale a new graph starts with, which becomes the current one.
    HistoryScale InitialScale(bool autoScale);
    [[nodiscard]] double fullScale() const { return fullScale_; }

    void ToggleSelectedInterfaceOnly() { selectedOnly_ = !selectedOnly_; }
    [[nodiscard]] bool selectedInterfaceOnly() const { return selectedOnly_; }
    [[nodiscard]] uint32_t selectedIndex() const { return selectedIndex_; }
    // "LAN Usage History", or "%.32s LAN Usage History" with the selected
    // interface's name in the selected-interface mode.
    [[nodiscard]] std::wstring HistoryTitle() const;

    void ClickHeader(int column) { rows_.ClickHeader(column); }
    void SortIfOrdered() { rows_.SortIfOrdered(); }
    [[nodiscard]] int sortOrder() const { return rows_.sortOrder(); }
    [[nodiscard]] int sortColumn() const { return rows_.sortColumn(); }
    [[nodiscard]] size_t rowCount() const { return rows_.size(); }
    [[nodiscard]] const InterfaceRow* RecordAt(int row) const { return rows_.RecordAt(row); }
    // Releases every row record (the window is going).
    void Clear() { rows_.Clear(); }

private:
    // A sample in progress: the sum of the usages that count and what it is divided by.
    struct Sample {
        double sum = 0.0;
        double selected = 0.0;
        size_t divisor = 0;
    };
    struct Previous {
        uint64_t bytes = 0;   // in + out at the last computation
        uint32_t pass = 0;    // the computation that last saw the interface
    };

    bool ReadInterfaceTable();
    void StartSample(Sample& sample);
    // The usage of one table row against its previous total, which it then replaces;
    // counts into the sample unless takesPart is false.
    double TakeUsage(const platform::InterfaceRow& row, bool takesPart, uint32_t elapsed, Sample& sample);
    void FinishSample(const Sample& sample, uint32_t tick);
    void UpdateRow(const platform::InterfaceRow& entry, double usage);
    std::wstring NameOf(const platform::InterfaceRow& entry);
    void ReadSelection();
    [[nodiscard]] uint64_t Wrap(uint64_t value) const { return value & counterMask_; }

    platform::Platform& platform_;
    RowKeeper<InterfaceRowTraits> rows_;
    platform::InterfaceTableBuffer table_;  // kept between reads, grown when the table asks for more
    uint64_t counterMask_;
    bool hostTable_;  // many virtual interfaces: average over the working ones, follow every row when hidden
    // One store of previous totals for both paths, so that a rate after the page
    // is shown or hidden is taken over the same interval as every other.
    std::unordered_map<uint32_t, Previous> previous_;
    uint32_t pass_ = 0;
    std::optional<uint32_t> previousTick_;
    double usage_ = 0.0;
    double fullScale_ = 100.0;
    uint32_t selectedIndex_ = 0;  // 0: none
    std::wstring selectedName_;
    bool selectedOnly_ = false;
    bool reporting_ = false;  // an error box of this page is open: later ticks skip the table
};

}  // namespace kestrun
