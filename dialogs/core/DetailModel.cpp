#include "dialogs/core/DetailModel.h"

#include "display/core/Format.h"

namespace kestrun {

namespace {
constexpr size_t kNameLimit = 259;  // the dialog keeps a name of 260 characters with its terminator
}

void DetailModel::SetProcess(uint32_t processId, const std::wstring& name)
{
    processId_ = processId;
    processName_ = name.substr(0, kNameLimit);
}

bool DetailModel::OnTimer(int timerId)
{
    if (timerId == 0 || timerId == 1) {
        if (!controls_.AutoRefreshChecked()) return false;
        return Refresh(RefreshMode::kUpdate);
    }
    if (timerId == kDetailTickRebuild) return Refresh(RefreshMode::kRebuild);
    return Refresh(RefreshMode::kUpdate);
}

void DetailModel::FinishDetail(const wchar_t* titleFormat, size_t rows)
{
    controls_.SetCaption(DetailTitle(titleFormat, processName_, rows));
    controls_.AllowAutoRefresh(rows <= kAutoRefreshRowLimit);
}

std::wstring DetailTitle(const wchar_t* format, const std::wstring& name, size_t rows)
{
    return Printf(format, name.c_str(), static_cast<unsigned>(rows), rows == 1 ? L"" : L"s");
}

}  // namespace kestrun
