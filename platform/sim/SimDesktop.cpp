// The simulated device's top-level windows.
#include "platform/LastError.h"
#include "platform/sim/SimBackend.h"

#include <cerrno>

namespace kestrun::platform::sim {

namespace {

// A 16 x 16 icon: the window's colour inside a dark frame.
Image MakeIcon(uint32_t color)
{
    Image icon;
    icon.width = 16;
    icon.height = 16;
    icon.pixels.assign(16 * 16, color);
    for (int i = 0; i < 16; ++i) {
        icon.pixels[static_cast<size_t>(i)] = icon.pixels[static_cast<size_t>(15 * 16 + i)] = 0xFF202020u;
        icon.pixels[static_cast<size_t>(i * 16)] = icon.pixels[static_cast<size_t>(i * 16 + 15)] = 0xFF202020u;
    }
    return icon;
}

class SimDesktop final : public Desktop {
public:
    explicit SimDesktop(SimDevice& device) : device_(device) {}

    bool Available() override { return !device_.Fails(SimCall::Desktop); }

    std::vector<WindowId> EnumWindows() override
    {
        std::vector<WindowId> ids;
        ids.reserve(device_.windows().size());
        for (const SimWindow& window : device_.windows()) ids.push_back(window.id);
        return ids;
    }

    bool Exists(WindowId window) override { return device_.FindWindow(window) != nullptr; }

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

    std::optional<Image> GetSmallIcon(WindowId window) override
    {
        const SimWindow* w = Find(window);
        if (w == nullptr || !w->iconColor) return std::nullopt;
        return MakeIcon(*w->iconColor);
    }

    WindowId GetForeground() override { return device_.foreground(); }

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
};

}  // namespace

std::unique_ptr<Desktop> CreateSimDesktop(SimDevice& device) { return std::make_unique<SimDesktop>(device); }

}  // namespace kestrun::platform::sim
