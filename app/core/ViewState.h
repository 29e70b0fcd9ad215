// The tab view's bookkeeping that does not need a window: the update timer's
// speed, the accepted client sizes and keyboard tab cycling.
#pragma once

#include <optional>

namespace kestrun {

// Starts and stops the view's timer 1.
class UpdateTimer {
public:
    virtual ~UpdateTimer() = default;
    // Returns false when the timer cannot be set.
    virtual bool Start(int intervalMs) = 0;
    virtual void Stop() = 0;
};

enum class UpdateSpeed { Normal = 2000, Fast = 500, Slow = 4000, Stopped = 0 };

class UpdateTimerState {
public:
    explicit UpdateTimerState(UpdateTimer& timer) : timer_(timer) {}

    // Sets timer 1 to the initial Normal interval; false when it cannot be set.
    bool Start();
    // Changes the speed. Choosing the current speed changes nothing. Returns false
    // when the timer could not be set (the interval is taken all the same).
    bool SetSpeed(UpdateSpeed speed);

    [[nodiscard]] int interval() const { return interval_; }
    [[nodiscard]] bool running() const { return timerId_ != 0; }

private:
    UpdateTimer& timer_;
    int interval_ = static_cast<int>(UpdateSpeed::Normal);
    unsigned timerId_ = 0;  // 1 while timer 1 is set, 0 when setting failed or it was stopped
};

// Which size changes the view acts on, and the change each page is told of.
struct SizeAction {
    bool first = false;   // the first accepted size: place and show the current page
    bool shrink = false;  // the first size is narrow: shrink every page first
    int dx = 0;           // the change every page is told of: for a later size the change
                          // since the last accepted one; for the first, the shrink or the widening
    int dy = 0;
};

class ViewSizeTracker {
public:
    // Pixel thresholds of the classic screen, scaled to the desktop's dialog units.
    explicit ViewSizeTracker(double scaleX = 1.0, double scaleY = 1.0);

    // The window opened wider than the classic one the page templates fill (so
    // that every tab title fits): the first size then grows the pages by the
    // difference, as a later size change would. 0: it opened at the classic width.
    void SetClassicWidth(int width) { classicWidth_ = width; }

    // A client size of the view. nullopt: nothing to do (too small, minimised,
    // or unchanged). Ignored sizes are not remembered.
    std::optional<SizeAction> OnSize(bool minimized, int cx, int cy);

    // Whether a size has been accepted yet (the first one shows the current page).
    [[nodiscard]] bool accepted() const { return !firstPending_; }
    [[nodiscard]] int minWidth() const { return minWidth_; }
    [[nodiscard]] int minHeight() const { return minHeight_; }
    [[nodiscard]] int narrowWidth() const { return narrowWidth_; }
    [[nodiscard]] int shrinkDx() const { return shrinkDx_; }
    [[nodiscard]] int shrinkDy() const { return shrinkDy_; }

private:
    int minWidth_;
    int minHeight_;
    int narrowWidth_;
    int shrinkDx_;
    int shrinkDy_;
    int classicWidth_ = 0;
    bool firstPending_ = true;
    int lastWidth_ = 0;
    int lastHeight_ = 0;
};

// The tab Ctrl+Tab (or Ctrl+Shift+Tab, backwards) selects, wrapping both ways.
int NextTab(int current, int count, bool backwards);

}  // namespace kestrun
