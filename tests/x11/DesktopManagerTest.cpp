// The X11 desktop service under a window manager (openbox): EWMH lists,
// activation, minimising and polite closing as a manager carries them out.
#include "X11Fixture.h"
#include "TestClient.h"

namespace kestrun::platform::linux_backend {
namespace {

TEST_F(X11DesktopWithManager, ListsManagedWindowsInTheManagersStackingOrder)
{
    const Window a = MakeWindow("A");
    const Window b = MakeWindow("B");
    ASSERT_TRUE(WaitFor([&] { return Managed(a) && Managed(b); }));
    ASSERT_TRUE(desktop_->SetForeground(a));
    ASSERT_TRUE(WaitFor([&] { return desktop_->GetForeground() == a; }));
    EXPECT_TRUE(WaitFor([&] { return Ours(desktop_->EnumWindows(), {a, b}) == std::vector<WindowId>{a, b}; }));
    ASSERT_TRUE(desktop_->SetForeground(b));
    EXPECT_TRUE(WaitFor([&] { return desktop_->GetForeground() == b; }));
    EXPECT_TRUE(WaitFor([&] { return Ours(desktop_->EnumWindows(), {a, b}) == std::vector<WindowId>{b, a}; }));
}

TEST_F(X11DesktopWithManager, HiddenWindowIsFoundShownAndBroughtToTheFront)
{
    const Window other = MakeWindow("Another program");
    const Window w = MakeWindow("Dravik Task Manager");
    ASSERT_TRUE(WaitFor([&] { return Managed(w) && Managed(other); }));

    ASSERT_TRUE(desktop_->ShowWindow(w, ShowCommand::Hide));
    ASSERT_TRUE(WaitFor([&] { return !desktop_->IsVisible(w) && !Managed(w); }));
    ASSERT_TRUE(desktop_->SetForeground(other));
    ASSERT_TRUE(WaitFor([&] { return desktop_->GetForeground() == other; }));

    // What a second copy of the program does.
    const auto found = desktop_->FindWindowByTitle(L"Dravik Task Manager");
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(*found, w);
    ASSERT_TRUE(desktop_->ShowWindow(*found, ShowCommand::ShowNormal));
    ASSERT_TRUE(desktop_->SetForeground(*found));
    EXPECT_TRUE(WaitFor([&] { return desktop_->IsVisible(w) && WmState(w) == NormalState; }));
    EXPECT_TRUE(WaitFor([&] {
        desktop_->SetForeground(w);  // the manager may still be mapping it when first asked
        return desktop_->GetForeground() == w;
    }));
}

TEST_F(X11DesktopWithManager, MinimisedWindowStaysATaskAndIsRestored)
{
    const Window w = MakeWindow("minimise me");
    ASSERT_TRUE(WaitFor([&] { return WmState(w) == NormalState; }));
    ASSERT_TRUE(desktop_->ShowWindow(w, ShowCommand::Minimize));
    ASSERT_TRUE(WaitFor([&] { return WmState(w) == IconicState; }));
    EXPECT_TRUE(desktop_->IsVisible(w));
    EXPECT_TRUE(Managed(w));
    ASSERT_TRUE(desktop_->ShowWindow(w, ShowCommand::ShowNormal));
    EXPECT_TRUE(WaitFor([&] { return WmState(w) == NormalState && MapState(w) == IsViewable; }));
}

Window ActiveWindow(Display* display, Window root)
{
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    XGetWindowProperty(display, root, XInternAtom(display, "_NET_ACTIVE_WINDOW", False), 0, 1, False, XA_WINDOW,
                       &type, &format, &count, &after, &data);
    const Window active = data != nullptr && count > 0 ? static_cast<Window>(reinterpret_cast<long*>(data)[0]) : None;
    if (data != nullptr) XFree(data);
    return active;
}

TEST_F(X11DesktopWithManager, AnotherProgramsManagedWindowsInStackingOrder)
{
    testing::X11TestClient client;
    const WindowId main = client.Make("main", "title=Editor delete");
    const WindowId dialog = client.Make("dialog", "title=Find transient=main");
    const WindowId menu = client.Make("menu", "title=Menu override");
    const WindowId hidden = client.Make("hidden", "title=Hidden unmapped");
    const WindowId viewer = client.Make("viewer", "title=Viewer");
    ASSERT_TRUE(WaitFor([&] { return Managed(main) && Managed(dialog) && Managed(viewer); }));
    const auto listed = desktop_->EnumWindows();
    EXPECT_EQ(std::count(listed.begin(), listed.end(), menu), 0) << "a menu is never managed";
    EXPECT_EQ(std::count(listed.begin(), listed.end(), hidden), 0) << "nor a window never mapped";
    EXPECT_EQ(desktop_->GetOwner(dialog), main);
    EXPECT_EQ(desktop_->GetParent(main), 0u) << "the manager's frame is no parent";
    EXPECT_EQ(desktop_->GetProcessId(viewer), static_cast<uint32_t>(client.pid()));

    ASSERT_TRUE(desktop_->SetForeground(main));
    EXPECT_TRUE(WaitFor([&] { return Ours(desktop_->EnumWindows(), {main, viewer}) == std::vector<WindowId>{main, viewer}; }));
    ASSERT_TRUE(desktop_->SetForeground(viewer));
    EXPECT_TRUE(WaitFor([&] { return Ours(desktop_->EnumWindows(), {main, viewer}) == std::vector<WindowId>{viewer, main}; }));
}

TEST_F(X11DesktopWithManager, SwitchingToAMinimisedWindowRestoresAndActivatesIt)
{
    testing::X11TestClient client;
    const WindowId a = client.Make("a", "title=A");
    const WindowId b = client.Make("b", "title=B");
    ASSERT_TRUE(WaitFor([&] { return WmState(a) == NormalState && WmState(b) == NormalState; }));
    ASSERT_TRUE(desktop_->ShowWindow(a, ShowCommand::Minimize));
    ASSERT_TRUE(WaitFor([&] { return WmState(a) == IconicState; }));
    EXPECT_TRUE(desktop_->IsVisible(a)) << "a minimised program is still a task";

    ASSERT_TRUE(desktop_->SetForeground(a));
    EXPECT_TRUE(WaitFor([&] { return WmState(a) == NormalState && ActiveWindow(display_, root_) == a; }));
    EXPECT_EQ(desktop_->GetForeground(), a);
}

TEST_F(X11DesktopWithManager, PoliteCloseWithoutDeleteWindowGoesThroughTheManager)
{
    testing::X11TestClient polite;
    testing::X11TestClient plain;
    const WindowId p = polite.Make("p", "title=Polite delete");
    const WindowId q = plain.Make("q", "title=Plain");
    ASSERT_TRUE(WaitFor([&] { return Managed(p) && Managed(q); }));

    ASSERT_TRUE(desktop_->PostClose(p));
    EXPECT_TRUE(WaitFor([&] { return !desktop_->Exists(p); }));
    EXPECT_TRUE(polite.Running()) << "the program closed its window itself";

    // _NET_CLOSE_WINDOW: openbox ends a client that cannot be asked.
    ASSERT_TRUE(desktop_->PostClose(q));
    EXPECT_TRUE(WaitFor([&] { return !desktop_->Exists(q); }));
}

}  // namespace
}  // namespace kestrun::platform::linux_backend
