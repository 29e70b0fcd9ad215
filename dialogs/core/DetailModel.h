// The list logic every detail dialog shares (Threads, Heap, Modules): the
// process it shows, what a timer message does, and the step that ends a
// refresh (title, the "Automatic list refresh" box). Each dialog's model
// derives from it with its own rows and refresh.
#pragma once

#include "dialogs/core/DetailControls.h"
#include "display/core/RowKeeper.h"
#include "platform/Platform.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace kestrun {

// What distinguishes one detail dialog's window: its template, help and the
// smallest client height at which its controls still move.
struct DetailDialogInfo {
    int templateId;
    const char* templateName;   // the XRC object
    const wchar_t* anchor;      // in the help page
    const wchar_t* description; // shown when the help viewer cannot be started
    int minimumHeight;          // classic pixels
    // The first fill: false, from the event queue once the dialog shows; true,
    // as the window is made.
    bool refreshAtOnce = false;
};

// The name a detail dialog shows while no process is selected.
inline constexpr wchar_t kNoProcessName[] = L"(none)";

// Above this many rows the list is not refreshed automatically.
inline constexpr size_t kAutoRefreshRowLimit = 100;

// The timer ids a detail dialog receives: the view's update timer (1, or 0)
// refreshes only while the box is checked, 2 (a changed process, the Refresh
// command, the dialog's own first tick) rebuilds, any other updates.
inline constexpr int kDetailTickRebuild = 2;

class DetailModel {
public:
    DetailModel(platform::Platform& platform, DetailControls& controls) : platform_(platform), controls_(controls) {}
    virtual ~DetailModel() = default;
    DetailModel(const DetailModel&) = delete;
    DetailModel& operator=(const DetailModel&) = delete;

    // The process whose details the dialog shows: 0 and "(none)" when none.
    void SetProcess(uint32_t processId, const std::wstring& name);
    [[nodiscard]] uint32_t processId() const { return processId_; }
    [[nodiscard]] const std::wstring& processName() const { return processName_; }

    // A timer message with the given id. False when no refresh ran or it failed.
    bool OnTimer(int timerId);

    // Creates the list's columns.
    virtual void InsertColumns() = 0;
    // One refresh; false (after an error box) when the snapshot failed, or when
    // another refresh of this list is still running.
    virtual bool Refresh(RefreshMode mode) = 0;
    virtual void ClickHeader(int column) = 0;
    [[nodiscard]] virtual size_t rowCount() const = 0;
    [[nodiscard]] virtual int sortOrder() const = 0;
    [[nodiscard]] virtual int sortColumn() const = 0;
    // Releases every row (the window is going).
    virtual void Clear() = 0;

protected:
    // The end of a refresh, after the sweep and the sort: the title from
    // titleFormat (name, row count, "s" unless the count is 1) and the automatic
    // box, disabled above the row limit.
    void FinishDetail(const wchar_t* titleFormat, size_t rows);

    platform::Platform& platform_;
    DetailControls& controls_;

private:
    uint32_t processId_ = 0;
    std::wstring processName_ = kNoProcessName;
};

// A detail model whose rows one row keeper holds: the list's columns, header
// clicks, counts and the release of the rows come from the keeper.
template <class Traits>
class DetailListModel : public DetailModel {
public:
    DetailListModel(platform::Platform& platform, ListView& list, DetailControls& controls)
        : DetailModel(platform, controls), rows_(list)
    {
    }

    void InsertColumns() override { rows_.InsertColumns(); }
    void ClickHeader(int column) override { rows_.ClickHeader(column); }
    [[nodiscard]] size_t rowCount() const override { return rows_.size(); }
    [[nodiscard]] int sortOrder() const override { return rows_.sortOrder(); }
    [[nodiscard]] int sortColumn() const override { return rows_.sortColumn(); }
    void Clear() override { rows_.Clear(); }

protected:
    // The sweep and sort that end a refresh, then the title and the box.
    void FinishList(const wchar_t* titleFormat)
    {
        rows_.FinishRefresh();
        FinishDetail(titleFormat, rows_.size());
    }

    RowKeeper<Traits> rows_;
};

// The title of a detail dialog: format with "%ls", "%u" and "%ls" for the
// name, the row count and the plural suffix.
std::wstring DetailTitle(const wchar_t* format, const std::wstring& name, size_t rows);

}  // namespace kestrun
