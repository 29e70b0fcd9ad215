// The Devices page without its window: one row per active device (matched by
// its legacy name, case-insensitively) with its driver, load order, interrupt,
// I/O and memory base, power state and registry key; the registry key is read
// when a device is first seen, the power state on every refresh. Deactivate
// unloads the selected device after a warning.
#pragma once

#include "display/core/ListColumn.h"
#include "display/core/RowKeeper.h"
#include "platform/Platform.h"

#include <cstdint>
#include <optional>
#include <string>

namespace kestrun {

// Power state of a device that cannot be queried.
inline constexpr int kPowerUnknown = -1;

struct DeviceRow : RowRecord {
    int32_t power = kPowerUnknown;  // 0..4 (D0..D4), other values as reported, -1 when it cannot be queried
    uint64_t handle = 0;            // the device manager's handle, for Deactivate
    std::wstring key;               // the legacy name folded to lower case: the row's key
    std::wstring name;              // the legacy name, "COM1:"
    std::wstring module;
    uint32_t order = 0;
    uint32_t irq = 0;  // 0: none
    uint32_t sysIntr = 0;
    uint64_t ioBase = 0;  // parsed from the first base; sorts the column
    std::wstring ioBaseText;
    uint64_t memBase = 0;
    std::wstring memBaseText;
    std::wstring registryKey;
};

enum DeviceColumn : int {
    kColDeviceName,
    kColModule,
    kColOrder,
    kColIrq,
    kColIoBase,
    kColMemBase,
    kColPowerState,
    kColRegistryKey,
    kDeviceColumnCount
};

struct DeviceRowTraits {
    using Record = DeviceRow;
    using Key = std::wstring;
    static constexpr size_t kColumns = kDeviceColumnCount;
    static Key KeyOf(const DeviceRow& row) { return row.key; }
    // The eight columns: titles, alignments, widths, cell texts and orders.
    static const ColumnTable<DeviceRow, kColumns>& Columns();
};

// "D0 (Full On)" .. "D4 (Off)", "(N/A)" for -1, "%d (?]" for any other value.
std::wstring PowerStateText(int power);

class DevicesModel {
public:
    DevicesModel(platform::Platform& platform, ListView& list);

    // Creates the eight columns in the list.
    void InsertColumns();

    // One refresh of every row. False (after an error box) when the device
    // search cannot start; the list then keeps its rows. A refresh started while
    // another is showing a box is skipped.
    bool Refresh();

    // A header click: toggles or selects the sort column, then sorts.
    void ClickHeader(int column);
    // Sorts all rows when a sort order is set.
    void SortIfOrdered();

    // Deactivate on the selected row, with its question and error boxes.
    void Deactivate();

    // The driver whose file properties a double click shows: the selected row's
    // module; nullopt when no row is selected or its module is empty.
    [[nodiscard]] std::optional<std::wstring> ModuleToShow() const;

    [[nodiscard]] bool HasSelection() const { return rows_.Selected() != nullptr; }
    [[nodiscard]] const DeviceRow* Selected() const { return rows_.Selected(); }
    void Select(const DeviceRow& row) { rows_.Select(row); }
    [[nodiscard]] int sortOrder() const { return rows_.sortOrder(); }
    [[nodiscard]] int sortColumn() const { return rows_.sortColumn(); }
    [[nodiscard]] size_t rowCount() const { return rows_.size(); }
    // Releases every row record (the window is going).
    void Clear() { rows_.Clear(); }

private:
    platform::Platform& platform_;
    RowKeeper<DeviceRowTraits> rows_;
};

}  // namespace kestrun
