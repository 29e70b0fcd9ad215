// The Services page without its window: one row per service of the service
// manager, keyed by its prefix (rows persist across refreshes, only changed
// cells are rewritten, vanished services removed, new ones inserted at the top
// while unsorted), the registry lookup once per new row, the description box,
// the Start and Stop buttons' state, and the three controls.
#pragma once

#include "display/core/ListView.h"
#include "display/core/RowKeeper.h"
#include "platform/Platform.h"

#include <cstdint>
#include <functional>
#include <string>

namespace kestrun {

struct ServiceRow : RowRecord {
    int32_t state = 0;       // the service state code from the enumeration
    uint32_t order = 0;      // registry "Order"; 0 when absent
    std::wstring key;        // the prefix in lower case: rows match case-insensitively
    std::wstring prefix;
    std::wstring module;     // the module's file name, at most kModuleLength characters
    std::wstring modulePath; // the module's full path, for its file properties
    std::wstring displayName;
    std::wstring description;
};

enum ServiceColumn : int {
    kServiceColModule,
    kServiceColState,
    kServiceColOrder,
    kServiceColPrefix,
    kServiceColName,
    kServiceColumnCount
};

// Characters of a module's name a row keeps.
inline constexpr size_t kModuleLength = 49;

struct ServiceRowTraits {
    using Record = ServiceRow;
    using Key = std::wstring;
    static constexpr size_t kColumns = kServiceColumnCount;
    static constexpr Placement kUnsortedPlacement = Placement::kTop;
    static constexpr int kInitialSortColumn = kServiceColOrder;
    static Key KeyOf(const ServiceRow& row) { return row.key; }
    static const ColumnTable<ServiceRow, kColumns>& Columns();
};

// "Off", "Running", "Starting up", "Shutting down", "Unloading", "Uninitialized",
// "Unknown" for the state codes 0 to 5 and -1; empty for any other.
std::wstring ServiceStateText(int32_t state);

// The built-in description of a well-known service module (compared ignoring
// case), "(no description available)" for any other.
std::wstring BuiltInServiceDescription(const std::wstring& module);

class ServicesModel {
public:
    ServicesModel(platform::Platform& platform, ListView& list);

    void InsertColumns() { rows_.InsertColumns(); }

    // One refresh. False (after an error box) when the services cannot be read;
    // the rows then stay as they were. A refresh started while another is
    // showing a box is skipped.
    bool Refresh();

    // A header click: toggles or selects the sort column, then sorts.
    void ClickHeader(int column) { rows_.ClickHeader(column); }
    void SortIfOrdered() { rows_.SortIfOrdered(); }

    // The list's selection changed: a row gained the selected state (selected
    // true) or lost it. Sets the buttons and the description box.
    void SelectionChanged(const ServiceRow* row, bool selected);

    // Start, Stop (after its question) and Refresh configuration of the selected service.
    void Start();
    void Stop();
    void RefreshConfiguration();

    // What the window shows beside the list.
    [[nodiscard]] bool startEnabled() const { return startEnabled_; }
    [[nodiscard]] bool stopEnabled() const { return stopEnabled_; }
    [[nodiscard]] const std::wstring& descriptionText() const { return description_; }

    // Called with true before a service control and with false after it (the window shows the wait cursor).
    void SetBusyHandler(std::function<void(bool)> busy) { busy_ = std::move(busy); }

    [[nodiscard]] const ServiceRow* Selected() const { return rows_.Selected(); }
    [[nodiscard]] ServiceRow* RecordAt(int row) const { return rows_.RecordAt(row); }
    [[nodiscard]] int sortOrder() const { return rows_.sortOrder(); }
    [[nodiscard]] int sortColumn() const { return rows_.sortColumn(); }
    [[nodiscard]] size_t rowCount() const { return rows_.size(); }
    // Releases every row record (the window is going).
    void Clear() { rows_.Clear(); }

private:
    void SetButtons(const ServiceRow* row);
    bool Control(const ServiceRow& row, platform::ServiceControl code);

    platform::Platform& platform_;
    RowKeeper<ServiceRowTraits> rows_;
    bool startEnabled_ = false;
    bool stopEnabled_ = false;
    std::wstring description_;
    std::function<void(bool)> busy_;
    // The error of the enumeration failures since the last success: the same
    // failure again is not shown at every tick.
    bool failing_ = false;
    uint32_t failure_ = 0;
};

}  // namespace kestrun
