// The size bookkeeping every page shares. The tab control gives a page its size;
// the page's controls are laid out for one size at a time, at first the size of
// the page's template. While hidden a page only notes the size changes the view
// tells it of; when it is shown, and whenever its size changes while it is shown,
// its controls move by the difference between the size the page has and the size
// they are laid out for. So the controls always fit the page's real area, however
// the template's size compares with it and whatever sizes came in between.
#pragma once

#include <optional>

namespace kestrun {

// A change of the page's size to lay the controls out for, in pixels.
struct LayoutDelta {
    int dx = 0;
    int dy = 0;
    friend bool operator==(const LayoutDelta&, const LayoutDelta&) = default;
};

class PageResize {
public:
    // The size the controls are laid out for before the page is first shown.
    void SetLayoutSize(int width, int height)
    {
        layoutWidth_ = width;
        layoutHeight_ = height;
    }

    // The view tells of a size change. Returns true when the page is shown and
    // should follow its size now; a hidden page only adds the change up.
    bool Accumulate(int dx, int dy)
    {
        if (shown_) return true;
        pendingDx_ += dx;
        pendingDy_ += dy;
        pending_ = true;
        return false;
    }

    // Marks the page shown, forgets what it was told while hidden, and returns
    // the change to lay the controls out for at the page's size now.
    std::optional<LayoutDelta> Show(int width, int height)
    {
        shown_ = true;
        pending_ = false;
        pendingDx_ = pendingDy_ = 0;
        return Follow(width, height);
    }

    // The page's size while shown: the change to lay the controls out for, or
    // nullopt when they already fit it (or the page is hidden).
    std::optional<LayoutDelta> Follow(int width, int height)
    {
        if (!shown_ || (width == layoutWidth_ && height == layoutHeight_)) return std::nullopt;
        const LayoutDelta delta{width - layoutWidth_, height - layoutHeight_};
        layoutWidth_ = width;
        layoutHeight_ = height;
        return delta;
    }

    void Hide() { shown_ = false; }

    [[nodiscard]] bool shown() const { return shown_; }
    // What the view told while the page was hidden, since it was last shown.
    [[nodiscard]] bool pending() const { return pending_; }
    [[nodiscard]] int pendingDx() const { return pendingDx_; }
    [[nodiscard]] int pendingDy() const { return pendingDy_; }
    [[nodiscard]] int layoutWidth() const { return layoutWidth_; }
    [[nodiscard]] int layoutHeight() const { return layoutHeight_; }

private:
    bool shown_ = false;
    bool pending_ = false;
    int pendingDx_ = 0;
    int pendingDy_ = 0;
    int layoutWidth_ = 0;
    int layoutHeight_ = 0;
};

}  // namespace kestrun
