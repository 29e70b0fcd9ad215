#include "app/core/ViewState.h"

#include <cmath>

namespace kestrun {

bool UpdateTimerState::Start()
{
    timerId_ = timer_.Start(interval_) ? 1 : 0;
    return timerId_ != 0;
}

bool UpdateTimerState::SetSpeed(UpdateSpeed speed)
{
    const int n = static_cast<int>(speed);
    if (interval_ == n) return true;
    if (timerId_ != 0) timer_.Stop();
    timerId_ = 0;
    interval_ = n;
    if (speed == UpdateSpeed::Stopped) return true;
    timerId_ = timer_.Start(n) ? 1 : 0;
    return timerId_ != 0;
}

namespace {
int Scale(int pixels, double factor) { return static_cast<int>(std::lround(pixels * factor)); }
}  // namespace

ViewSizeTracker::ViewSizeTracker(double scaleX, double scaleY)
    : minWidth_(Scale(300, scaleX)),
      minHeight_(Scale(150, scaleY)),
      narrowWidth_(Scale(340, scaleX)),
      shrinkDx_(-Scale(20, scaleX)),
      shrinkDy_(-Scale(50, scaleY))
{
}

std::optional<SizeAction> ViewSizeTracker::OnSize(bool minimized, int cx, int cy)
{
    if (minimized || cx < minWidth_ || cy < minHeight_) return std::nullopt;
    SizeAction action;
    if (firstPending_) {
        firstPending_ = false;
        action.first = true;
        action.shrink = cx < narrowWidth_;
        if (action.shrink) {
            action.dx = shrinkDx_;
            action.dy = shrinkDy_;
        } else if (classicWidth_ > 0 && cx > classicWidth_) {
            action.dx = cx - classicWidth_;
        }
    } else {
        if (cx == lastWidth_ && cy == lastHeight_) return std::nullopt;
        action.dx = cx - lastWidth_;
        action.dy = cy - lastHeight_;
    }
    lastWidth_ = cx;
    lastHeight_ = cy;
    return action;
}

int NextTab(int current, int count, bool backwards)
{
    if (count <= 0) return -1;
    return backwards ? (current + count - 1) % count : (current + 1) % count;
}

}  // namespace kestrun
