// What a refresh of a task list costs the X connection, and windows that go
// while the service is reading them.
#include "X11Fixture.h"
#include "TestClient.h"

#include <cerrno>

namespace kestrun::platform::linux_backend {
namespace {

// One refresh as a task list makes it: the list, then every window's
// visibility, parent, owner and title, and the icon of each task.
X11Counters Refresh(LinuxDesktop& desktop, std::vector<std::wstring>* titles = nullptr)
{
    const X11Counters before = desktop.session()->counters();
    for (const WindowId w : desktop.EnumWindows()) {
        if (!desktop.IsVisible(w) || desktop.GetParent(w) != 0 || desktop.GetOwner(w) != 0) continue;
        const std::wstring title = desktop.GetTitle(w);
        if (title.empty()) continue;
        desktop.GetSmallIcon(w, 16);
        if (titles != nullptr) titles->push_back(title);
    }
    const X11Counters after = desktop.session()->counters();
    return {after.requests - before.requests, after.roundTrips - before.roundTrips};
}

class X11DesktopCost : public X11Desktop {
protected:
    // A fresh service and a client with `count` titled windows with icons.
    void Open(int count)
    {
        desktop_ = std::make_unique<LinuxDesktop>();
        ASSERT_TRUE(desktop_->Available());
        client_ = std::make_unique<testing::X11TestClient>();
        for (int i = 0; i < count; ++i)
            ASSERT_NE(client_->Make("w" + std::to_string(i), "title=Window%20" + std::to_string(i) + " icon=16:3366CC"), 0u);
    }
    std::unique_ptr<testing::X11TestClient> client_;
};

TEST_F(X11DesktopCost, ARefreshWaitsForTheServerABoundedNumberOfTimes)
{
    X11Counters first[2], steady[2];
    const int sizes[2] = {5, 50};
    for (int k = 0; k < 2; ++k) {
        Open(sizes[k]);
        std::vector<std::wstring> titles;
        first[k] = Refresh(*desktop_, &titles);
        EXPECT_EQ(titles.size(), static_cast<size_t>(sizes[k]));
        steady[k] = Refresh(*desktop_);
    }
    // New windows are read together, whatever their number.
    EXPECT_LE(first[1].roundTrips, 6u);
    EXPECT_EQ(first[1].roundTrips, first[0].roundTrips);
    EXPECT_GT(first[1].requests, first[0].requests) << "every window is read once";
    // Nothing changed: the root's lists and no window read again.
    EXPECT_EQ(steady[1].roundTrips, 1u);
    EXPECT_EQ(steady[1].requests, steady[0].requests);
    EXPECT_LE(steady[1].requests, 5u);
}

TEST_F(X11DesktopCost, OnlyChangedWindowsAreReadAgain)
{
    Open(50);
    Refresh(*desktop_);
    for (int i = 0; i < 10; ++i) ASSERT_EQ(client_->Ask("title w" + std::to_string(i) + " Renamed%20" + std::to_string(i)), "ok");
    std::vector<std::wstring> titles;
    const X11Counters cost = Refresh(*desktop_, &titles);
    EXPECT_EQ(std::count_if(titles.begin(), titles.end(), [](const std::wstring& t) { return t.rfind(L"Renamed", 0) == 0; }), 10);
    EXPECT_LE(cost.roundTrips, 2u);
    const X11Counters steady = Refresh(*desktop_);
    EXPECT_LT(steady.requests, cost.requests);

    // Forgotten windows are read afresh.
    desktop_->Forget();
    titles.clear();
    const X11Counters again = Refresh(*desktop_, &titles);
    EXPECT_EQ(titles.size(), 50u);
    EXPECT_GT(again.requests, cost.requests);
}

TEST_F(X11DesktopCost, AWindowThatGoesWhileItIsReadIsLeftOut)
{
    Open(3);
    const uint64_t base = desktop_->session()->counters().roundTrips;
    // The root's lists come first; the windows are read in the next round trip.
    desktop_->session()->SetBeforeWait([&](uint64_t roundTrips) {
        if (roundTrips == base + 1) client_->Ask("destroy w1");
    });
    const auto listed = desktop_->EnumWindows();
    desktop_->session()->SetBeforeWait(nullptr);
    std::vector<std::wstring> titles;
    for (const WindowId w : listed) titles.push_back(desktop_->GetTitle(w));
    EXPECT_EQ(std::count(titles.begin(), titles.end(), L"Window 1"), 0);
    EXPECT_EQ(std::count(titles.begin(), titles.end(), L"Window 0"), 1);
    EXPECT_EQ(std::count(titles.begin(), titles.end(), L"Window 2"), 1);

    // Gone between the list and the question about its icon.
    const WindowId w2 = listed.front();  // the newest, on top
    ASSERT_EQ(desktop_->GetTitle(w2), L"Window 2");
    ASSERT_EQ(client_->Ask("destroy w2"), "ok");
    SetLastError(0);
    EXPECT_FALSE(desktop_->GetSmallIcon(w2, 16).has_value());
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ESRCH));
    EXPECT_TRUE(desktop_->session()->Healthy());
    EXPECT_LE(Refresh(*desktop_).roundTrips, 2u) << "the list, and the icon of the window left";
    EXPECT_EQ(Refresh(*desktop_).roundTrips, 1u) << "and then a quiet one";
}

}  // namespace
}  // namespace kestrun::platform::linux_backend
