// The Applications page without its window: one row per task window (a
// visible, top-level, unowned, titled window other than the program's own), kept
// across refreshes by window id, with the window's icon; and the three actions
// on the selected task: Switch to, Go to Process and End Task.
#pragma once

#include "display/core/ListColumn.h"
#include "display/core/RowKeeper.h"
#include "platform/Platform.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kestrun {

struct TaskRow : RowRecord {
    platform::WindowId window = 0;
    std::wstring title;  // at most kMaxTitle characters
};

struct TaskRowTraits {
    using Record = TaskRow;
    using Key = platform::WindowId;
    static constexpr size_t kColumns = 1;
    static Key KeyOf(const TaskRow& row) { return row.window; }
    // "Task": the title, ordered without regard to case on its first 99 characters.
    static const ColumnTable<TaskRow, kColumns>& Columns();
};

// A refresh lists at most this many task windows; one more and it fails.
inline constexpr size_t kMaxTaskWindows = 256;
// Titles are read as the list shows them: at most 255 characters.
inline constexpr size_t kMaxTitle = 255;
// End Task waits this many times this long for the window to go before it asks.
inline constexpr int kCloseWaits = 5;
inline constexpr int kCloseWaitMs = 1000;

// The box shown when a task does not close; the old text sent the user back to another system.
inline constexpr wchar_t kNotRespondingText[] =
    L"This program is not responding. It may be busy, waiting for a response from you, or it may have stopped "
    L"running.\n\nSelect Cancel to ignore and return to the desktop.\n\nTo close the program immediately, select OK. "
    L"You will lose any unsaved information in this program.";

// What the window around the model does for it.
struct TasksHost {
    std::function<void()> minimizeOwnWindow;           // before switching, under the option
    std::function<bool()> minimizeAfterSwitch;         // the option's current value
    std::function<void(uint32_t)> goToProcess;         // the Processes page with that process selected
    // Waits ms milliseconds while the window system goes on (the page does not refresh meanwhile).
    std::function<void(int ms)> wait;
};

class TasksModel {
public:
    // iconSide: the list's small-icon size in pixels.
    TasksModel(platform::Platform& platform, ListView& list, int iconSide, TasksHost host);

    void InsertColumns() { rows_.InsertColumns(); }

    // One refresh. False (after an error box) when the task windows cannot be
    // listed; the list keeps its rows. Skipped while End Task waits for a window.
    bool Refresh();

    void ClickHeader(int column) { rows_.ClickHeader(column); }
    void SortIfOrdered() { rows_.SortIfOrdered(); }

    // The three commands on the selected row ("You must first select a task." without one).
    void SwitchTo();
    void GoToProcess();
    void EndTask();

    [[nodiscard]] const TaskRow* Selected() const { return rows_.Selected(); }
    [[nodiscard]] const TaskRow* RecordAt(int row) const { return rows_.RecordAt(row); }
    [[nodiscard]] size_t rowCount() const { return rows_.size(); }
    [[nodiscard]] int sortOrder() const { return rows_.sortOrder(); }
    [[nodiscard]] bool endingTask() const { return endingTask_; }
    void Clear() { rows_.Clear(); }

private:
    // The task windows in stacking order; false when there are more than the list takes.
    bool ListTaskWindows(std::vector<platform::WindowId>& tasks);
    // The window's own icon, else the icon of its program's file; 0 (the default) when neither.
    int IconImage(platform::WindowId window);
    // The selected row; without one, says so and gives null.
    const TaskRow* SelectedOrSay() const;
    // Whether the platform counts the process among its system processes.
    bool IsSystemProcess(uint32_t processId);

    platform::Platform& platform_;
    ListView& list_;
    int iconSide_;
    TasksHost host_;
    RowKeeper<TaskRowTraits> rows_;
    bool endingTask_ = false;
};

}  // namespace kestrun
