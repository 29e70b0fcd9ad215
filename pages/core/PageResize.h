// The size bookkeeping every page shares: while hidden a page only adds up the
// size changes it is told of; when shown it applies their sum once.
#pragma once

namespace kestrun {

class PageResize {
public:
    // Records a size change. Returns true when the page is shown and should lay
    // out its controls for (dx, dy) now.
    bool Accumulate(int dx, int dy)
    {
        if (shown_) return true;
        pendingDx_ += dx;
        pendingDy_ += dy;
        pending_ = true;
        return false;
    }

    // Marks the page shown; returns true with the summed change when one is pending
    // (and forgets it), so that the caller lays its controls out once.
    bool Show(int& dx, int& dy)
    {
        shown_ = true;
        if (!pending_) return false;
        dx = pendingDx_;
        dy = pendingDy_;
        pending_ = false;
        pendingDx_ = pendingDy_ = 0;
        return true;
    }

    void Hide() { shown_ = false; }

    [[nodiscard]] bool shown() const { return shown_; }
    [[nodiscard]] bool pending() const { return pending_; }
    [[nodiscard]] int pendingDx() const { return pendingDx_; }
    [[nodiscard]] int pendingDy() const { return pendingDy_; }

private:
    bool shown_ = false;
    bool pending_ = false;
    int pendingDx_ = 0;
    int pendingDy_ = 0;
};

}  // namespace kestrun
