// The simulated device's top-level windows.
#include "platform/LastError.h"
#include "platform/sim/SimBackend.h"

#include <cerrno>

namespace kestrun::platform::sim {

Image MakeSimIcon(uint32_t color, int side)
{
    Image icon;
    icon.width = icon.height = side;
    const auto n = static_cast<size_t>(side);
    icon.pixels.assign(n * n, color);
    for (size_t i = 0; i < n; ++i) {
        icon.pixels[i] = icon.pixels[(n - 1) * n + i] = 0xFF202020u;
        icon.pixels[i * n] = icon.pixels[i * n + n - 1] = 0xFF202020u;
    }
    return icon;
}

namespace {

class SimDesktop final : public Desktop {
public:
    explicit SimDesktop(SimDevice& device) : device_(device) {}

    bool Available() override { return !device_.Fails(SimCall::Desktop); }

    std::vector<WindowId> EnumWindows() override
    {
        if (device_.Fails(SimCall::EnumWindows)) return {};
        std::vector<WindowId> ids;
        ids.reserve(device_.windows().size());
        for (const SimWindow& window : device_.windows()) ids.push_back(window.id);
        return ids;
    }

    // Each look counts against a window that closes after a number of them.
    bool Exists(WindowId window) override
    {
        if (device_.PollWindow(window)) return true;
        return Fail(ENOENT);
    }

    std::wstring GetTitle(WindowId window) override
    {
        const SimWindow* w = Find(window);
        return w == nullptr ? std::wstring() : w->title;
    }

    bool IsVisible(WindowId window) override
    {
        const SimWindow* w = Find(window);
        return w != nullptr && w->visible;
    }

    WindowId GetParent(WindowId window) override
    {
        const SimWindow* w = Find(window);
        return w == nullptr ? 0 : w->parent;
    }

    WindowId GetOwner(WindowId window) override
    {
        const SimWindow* w = Find(window);
        return w == nullptr ? 0 : w->owner;
    }

    uint32_t GetProcessId(WindowId window) override
    {
        const SimWindow* w = Find(window);
        return w == nullptr ? 0 : w->processId;
    }

    std::optional<Image> GetSmallIcon(WindowId window, int side) override
    {
        const SimWindow* w = Find(window);
        if (w == nullptr) return std::nullopt;
        if (!w->iconColor || side <= 0) { Fail(ENOENT); return std::nullopt; }
        return MakeSimIcon(*w->iconColor, side);
    }

    WindowId GetForeground() override { return device_.foreground(); }

    // The device's own program has its window among the others; the
    // toolkit's window is not on this desktop.
    void SetOwnMainWindow(WindowId window) override { toolkitWindow_ = window; }
    WindowId OwnMainWindow() override
    {
        const WindowId own = device_.OwnWindow();
        return own != 0 ? own : toolkitWindow_;
    }
    void Forget() override {}

    std::optional<WindowId> FindWindowByTitle(const std::wstring& title) override
    {
        for (const SimWindow& window : device_.windows())
            if (window.title == title) return window.id;
        return std::nullopt;
    }

    bool ShowWindow(WindowId window, ShowCommand command) override
    {
        if (device_.Fails(SimCall::ShowWindow)) return false;
        SimWindow* w = Find(window);
        if (w == nullptr) return false;
        switch (command) {
        case ShowCommand::Hide: w->visible = false; break;
        case ShowCommand::ShowNormal: w->visible = true; w->minimized = false; break;
        case ShowCommand::Show: w->visible = true; break;
        case ShowCommand::Minimize: w->visible = true; w->minimized = true; break;
        }
        return true;
    }

    // The lowest bit of the id may be set (bring the window with its owned windows); ids are even.
    bool SetForeground(WindowId window) override
    {
        if (device_.Fails(SimCall::SetForeground)) return false;
        return device_.BringToFront(window & ~WindowId{1});
    }

    bool PostClose(WindowId window) override
    {
        if (device_.Fails(SimCall::PostClose)) return false;
        return device_.RequestClose(window);
    }

private:
    SimWindow* Find(WindowId window)
    {
        SimWindow* w = device_.FindWindow(window);
        if (w == nullptr) Fail(ENOENT);
        return w;
    }

    SimDevice& device_;
    WindowId toolkitWindow_ = 0;
};

}  // namespace

std::unique_ptr<Desktop> CreateSimDesktop(SimDevice& device) { return std::make_unique<SimDesktop>(device); }

}  // namespace kestrun::platform::sim
