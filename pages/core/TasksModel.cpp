#include "pages/core/TasksModel.h"

#include "display/core/Format.h"
#include "display/core/MessageBox.h"
#include "pages/core/ProcessesModel.h"

#include <algorithm>
#include <cerrno>
#include <cwctype>
#include <memory>

namespace kestrun {

namespace {

// Titles are compared on their first 99 characters.
constexpr size_t kCompareChars = 99;

std::wstring ToLower(std::wstring text)
{
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    return text;
}

// The file name without its folder (either kind of separator).
std::wstring FileNameOf(const std::wstring& path)
{
    const auto slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// A wait that flags the model busy while End Task runs, so ticks skip the list.
class BusyFlag {
public:
    explicit BusyFlag(bool& flag) : flag_(flag) { flag_ = true; }
    ~BusyFlag() { flag_ = false; }
    BusyFlag(const BusyFlag&) = delete;
    BusyFlag& operator=(const BusyFlag&) = delete;

private:
    bool& flag_;
};

}  // namespace

const ColumnTable<TaskRow, 1>& TaskRowTraits::Columns()
{
    static const ColumnTable<TaskRow, 1> columns = {{
        {L"Task", ColumnAlign::kLeft, 100, [](const TaskRow& r) { return r.title; },
         [](const TaskRow& a, const TaskRow& b) { return CompareNoCase(a.title, b.title, kCompareChars); }},
    }};
    return columns;
}

TasksModel::TasksModel(platform::Platform& platform, ListView& list, int iconSide, TasksHost host)
    : platform_(platform), list_(list), iconSide_(iconSide), host_(std::move(host)), rows_(list)
{
}

bool TasksModel::ListTaskWindows(std::vector<platform::WindowId>& tasks)
{
    platform::Desktop& desktop = platform_.desktop();
    platform::SetLastError(0);
    const std::vector<platform::WindowId> windows = desktop.EnumWindows();
    if (windows.empty() && platform::GetLastError() != 0) return false;
    const platform::WindowId own = desktop.OwnMainWindow();
    for (const platform::WindowId w : windows) {
        // A task: visible, no parent, no owner, not this program, with a title.
        if (!desktop.IsVisible(w) || desktop.GetParent(w) != 0 || desktop.GetOwner(w) != 0) continue;
        if (w == own || desktop.GetTitle(w).empty()) continue;
        if (tasks.size() == kMaxTaskWindows) return platform::Fail(ENOBUFS);  // the list is full
        tasks.push_back(w);
    }
    return true;
}

bool TasksModel::Refresh()
{
    if (endingTask_) return false;
    const auto pass = rows_.BeginRefresh();
    if (!pass) return false;
    std::vector<platform::WindowId> tasks;
    tasks.reserve(kMaxTaskWindows);
    if (!ListTaskWindows(tasks)) {
        ShowError(L"The task windows cannot be enumerated.");
        return false;  // the rows stay as they were
    }
    for (const platform::WindowId w : tasks) {
        std::wstring title = platform_.desktop().GetTitle(w);
        if (title.empty()) continue;  // gone since it was listed: not seen this time
        if (title.size() > kMaxTitle) title.resize(kMaxTitle);
        auto row = rows_.FindOrInsert(w, [&](TaskRow& fresh) {
            fresh.window = w;
            fresh.title = title;
            return IconImage(w);  // looked up only for a window seen for the first time
        });
        if (!row) continue;
        row.Set(row->title, title, 0);
        rows_.Commit(row);
    }
    rows_.FinishRefresh();
    return true;
}

int TasksModel::IconImage(platform::WindowId window)
{
    std::optional<platform::Image> icon = platform_.desktop().GetSmallIcon(window, iconSide_);
    if (!icon) {
        // The icon the desktop shows for the program's file.
        const uint32_t pid = platform_.desktop().GetProcessId(window);
        std::unique_ptr<platform::ProcessHandle> process = pid != 0 ? platform_.toolHelp().OpenProcess(pid) : nullptr;
        const std::optional<std::wstring> file = process ? process->ModuleFileName() : std::nullopt;
        if (file) icon = platform_.shell().GetFileSmallIcon(*file, iconSide_);
    }
    if (!icon) return 0;
    const int image = list_.AddImage(*icon);
    return image > 0 ? image : 0;
}

const TaskRow* TasksModel::SelectedOrSay() const
{
    const TaskRow* row = rows_.Selected();
    if (row == nullptr) MessageBox(L"You must first select a task.", kMbOk);
    return row;
}

void TasksModel::SwitchTo()
{
    const TaskRow* row = SelectedOrSay();
    if (row == nullptr) return;
    const platform::WindowId window = row->window;
    if (host_.minimizeAfterSwitch && host_.minimizeAfterSwitch() && host_.minimizeOwnWindow) host_.minimizeOwnWindow();
    // The desktop brings the window with the windows it owns; X11 ids use every
    // bit, so there is no flag in the id for that.
    if (!platform_.desktop().SetForeground(window)) ShowError(L"The task cannot be brought to the foreground.");
}

void TasksModel::GoToProcess()
{
    const TaskRow* row = SelectedOrSay();
    if (row == nullptr) return;
    const uint32_t pid = platform_.desktop().GetProcessId(row->window);
    if (pid == 0) {
        ShowError(L"The process cannot be accessed.");
        return;
    }
    if (host_.goToProcess) host_.goToProcess(pid);
}

bool TasksModel::IsSystemProcess(uint32_t processId)
{
    platform::ToolHelp& toolHelp = platform_.toolHelp();
    std::optional<platform::Snapshot> snapshot = toolHelp.CreateSnapshot(platform::kSnapProcess | platform::kSnapNoHeaps, 0);
    if (!snapshot) return false;
    const auto it = std::find_if(snapshot->processes.begin(), snapshot->processes.end(),
                                 [processId](const platform::ProcessEntry& p) { return p.processId == processId; });
    const bool system = it != snapshot->processes.end() && it->systemProcess;
    toolHelp.CloseSnapshot(*snapshot);
    return system;
}

void TasksModel::EndTask()
{
    const TaskRow* row = SelectedOrSay();
    if (row == nullptr) return;
    // Copies: the row may go while a box is open.
    const platform::WindowId window = row->window;
    platform::Desktop& desktop = platform_.desktop();
    platform::ToolHelp& toolHelp = platform_.toolHelp();

    // 1-3: the program's name, and the question for a system process.
    const uint32_t pid = desktop.GetProcessId(window);
    std::wstring processName;
    {
        std::unique_ptr<platform::ProcessHandle> process = pid != 0 ? toolHelp.OpenProcess(pid) : nullptr;
        if (!process) {
            ShowError(L"The process cannot be accessed.");
        } else if (const std::optional<std::wstring> file = process->ModuleFileName(); !file) {
            ShowError(L"The file name of the process cannot be read.");
        } else {
            const std::wstring name = ToLower(FileNameOf(*file));
            if (IsSystemProcessName(name) || IsSystemProcess(pid)) {
                const std::wstring title = desktop.GetTitle(window).substr(0, kCompareChars);
                const std::wstring question = Printf(L"Should the program '%ls' be closed now?\nThis task belongs to a "
                                                     L"system process. This action may crash your device!",
                                                     title.c_str());
                if (MessageBox(question, kMbYesNo | kMbDefButton2) != kIdYes) return;
            }
            processName = name;
        }
    }

    // 4-5: the polite request, then up to five one-second waits for the window to go.
    bool exists = false;
    {
        BusyFlag busy(endingTask_);
        desktop.PostClose(window);  // a window nobody can ask stays, and the question below follows
        exists = desktop.Exists(window);
        for (int waits = 0; exists && waits < kCloseWaits; ++waits) {
            if (host_.wait) host_.wait(kCloseWaitMs);
            exists = desktop.Exists(window);
        }
    }
    if (!exists) return;

    // 6-7: not responding; OK ends the process.
    if (MessageBox(kNotRespondingText, kMbOkCancel | kMbIconStop | kMbTopMost, processName) != kIdOk) return;
    std::unique_ptr<platform::ProcessHandle> process = pid != 0 ? toolHelp.OpenProcess(pid) : nullptr;
    if (!process) {
        ShowError(L"The process cannot be accessed.");
        return;
    }
    if (!process->Terminate(-1)) ShowError(L"The process cannot be terminated.");
}

}  // namespace kestrun
