// The X11 desktop service without a window manager, against real windows:
// made here with Xlib, or by the tests' own client program in a process of its own.
#include "X11Fixture.h"
#include "TestClient.h"

#include <cerrno>
#include <cstdlib>

namespace kestrun::platform::linux_backend {
namespace {

// --- No display --------------------------------------------------------------------------

TEST(DesktopWithoutDisplay, EveryCallFailsQuietly)
{
    for (const char* value : {static_cast<const char*>(nullptr), ":999"}) {
        const char* old = std::getenv("DISPLAY");
        const std::string saved = old != nullptr ? old : "";
        if (value != nullptr) setenv("DISPLAY", value, 1);
        else unsetenv("DISPLAY");
        auto desktop = CreateLinuxDesktop();
        SetLastError(0);
        EXPECT_FALSE(desktop->Available());
        EXPECT_NE(GetLastError(), 0u);
        EXPECT_TRUE(desktop->EnumWindows().empty());
        EXPECT_FALSE(desktop->FindWindowByTitle(L"Dravik Task Manager").has_value());
        EXPECT_FALSE(desktop->ShowWindow(0x400001, ShowCommand::ShowNormal));
        EXPECT_FALSE(desktop->SetForeground(0x400001));
        EXPECT_EQ(desktop->GetForeground(), 0u);
        if (old != nullptr) setenv("DISPLAY", saved.c_str(), 1);
    }
}

// --- Without a window manager ----------------------------------------------------------------

TEST_F(X11Desktop, FindsTheExactTitleOnly)
{
    MakeWindow("Dravik Task Manager 2");
    MakeWindow("Dravik Task");
    MakeWindow("dravik task manager");
    const Window wanted = MakeWindow("");
    SetLatin1Name(wanted, "Dravik Task Manager");  // an old client: WM_NAME only

    ASSERT_TRUE(desktop_->Available());
    const auto found = desktop_->FindWindowByTitle(L"Dravik Task Manager");
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(*found, wanted);
    EXPECT_FALSE(desktop_->FindWindowByTitle(L"Dravik").has_value());
    EXPECT_FALSE(desktop_->FindWindowByTitle(L"Dravik Task Manager 3").has_value());
}

TEST_F(X11Desktop, FindsAHiddenWindowAndShowsItAgain)
{
    const Window w = MakeWindow("Dravik Task Manager", /*map=*/false);
    const auto found = desktop_->FindWindowByTitle(L"Dravik Task Manager");
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(*found, w);
    EXPECT_FALSE(desktop_->IsVisible(w));

    ASSERT_TRUE(desktop_->ShowWindow(w, ShowCommand::ShowNormal));
    EXPECT_EQ(MapState(w), IsViewable);
    EXPECT_TRUE(desktop_->IsVisible(w));

    ASSERT_TRUE(desktop_->ShowWindow(w, ShowCommand::Hide));
    EXPECT_EQ(MapState(w), IsUnmapped);
    EXPECT_FALSE(desktop_->IsVisible(w));
    EXPECT_EQ(desktop_->FindWindowByTitle(L"Dravik Task Manager"), std::optional<WindowId>(w));
}

TEST_F(X11Desktop, TitlesDecodeUtf8AndLatin1)
{
    const Window utf8 = MakeWindow("Z\xC3\xA4hler \xE2\x9C\x93");
    const Window latin1 = MakeWindow("");
    SetLatin1Name(latin1, "Caf\xE9");
    EXPECT_EQ(desktop_->GetTitle(utf8), L"Z\u00e4hler \u2713");
    EXPECT_EQ(desktop_->GetTitle(latin1), L"Caf\u00e9");

    // An old client that stores its title as compound text.
    const Window compound = MakeWindow("");
    char text[] = "Gr\xC3\xBC\xC3\x9F" "e";
    char* list[] = {text};
    XTextProperty property{};
    ASSERT_EQ(Xutf8TextListToTextProperty(display_, list, 1, XCompoundTextStyle, &property), Success);
    XSetWMName(display_, compound, &property);
    XFree(property.value);
    XSync(display_, False);
    EXPECT_EQ(desktop_->GetTitle(compound), L"Gr\u00fc\u00dfe");
    EXPECT_EQ(desktop_->FindWindowByTitle(L"Caf\u00e9"), std::optional<WindowId>(latin1));
}

TEST_F(X11Desktop, EnumeratesTopLevelWindowsTopmostFirst)
{
    const Window a = MakeWindow("A");
    const Window b = MakeWindow("B");
    const Window hidden = MakeWindow("hidden", /*map=*/false);
    const Window menu = MakeWindow("menu", true, /*override=*/true);
    const Window skipped = MakeWindow("", false);
    SetCardinals(skipped, "_NET_WM_STATE", XA_ATOM, {static_cast<long>(A("_NET_WM_STATE_SKIP_TASKBAR"))});
    XMapWindow(display_, skipped);
    XRaiseWindow(display_, a);
    XSync(display_, False);

    // Without a manager every child of the root that is no menu or tooltip is
    // a top-level window; an unmapped one is listed and not visible.
    const std::vector<Window> mine = {a, b, hidden, menu, skipped};
    EXPECT_EQ(Ours(desktop_->EnumWindows(), mine), (std::vector<WindowId>{a, hidden, b}));
    EXPECT_TRUE(desktop_->IsVisible(a));
    EXPECT_FALSE(desktop_->IsVisible(hidden));
    XRaiseWindow(display_, b);
    XSync(display_, False);
    EXPECT_EQ(Ours(desktop_->EnumWindows(), mine), (std::vector<WindowId>{b, a, hidden}));
    EXPECT_EQ(desktop_->GetParent(a), 0u);
}

TEST_F(X11Desktop, ForegroundWithoutAManagerIsTheInputFocus)
{
    const Window a = MakeWindow("A");
    const Window b = MakeWindow("B");
    XSync(display_, False);
    ASSERT_TRUE(desktop_->SetForeground(a));
    Window focus = None;
    int revert = 0;
    XGetInputFocus(display_, &focus, &revert);
    EXPECT_EQ(focus, a);
    EXPECT_EQ(desktop_->GetForeground(), a);
    ASSERT_TRUE(desktop_->SetForeground(b));
    EXPECT_EQ(desktop_->GetForeground(), b);
}

TEST_F(X11Desktop, PostCloseSendsDeleteWindowToAWindowThatAsksForIt)
{
    const Window polite = MakeWindow("polite");
    Atom deleteWindow = A("WM_DELETE_WINDOW");
    XSetWMProtocols(display_, polite, &deleteWindow, 1);
    XSync(display_, False);
    ASSERT_TRUE(desktop_->PostClose(polite));

    XEvent event{};
    const bool received = WaitFor([&] {
        while (XCheckTypedWindowEvent(display_, polite, ClientMessage, &event))
            if (event.xclient.message_type == A("WM_PROTOCOLS")) return true;
        return false;
    });
    ASSERT_TRUE(received);
    EXPECT_EQ(static_cast<Atom>(event.xclient.data.l[0]), deleteWindow);

    // Nobody to ask for a window that takes no close request.
    const Window plain = MakeWindow("plain");
    SetLastError(0);
    EXPECT_FALSE(desktop_->PostClose(plain));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EOPNOTSUPP));
}

TEST_F(X11Desktop, ProcessIdIsTrustedFromLocalClientsAndAskedOfTheServerOtherwise)
{
    char host[256] = {};
    ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
    const Window bare = MakeWindow("bare");
    const Window local = MakeWindow("local");
    SetCardinals(local, "_NET_WM_PID", XA_CARDINAL, {4242});
    SetMachine(local, host);
    const Window remote = MakeWindow("remote");
    SetCardinals(remote, "_NET_WM_PID", XA_CARDINAL, {4242});
    SetMachine(remote, "elsewhere.invalid");

    EXPECT_EQ(desktop_->GetProcessId(local), 4242u);
#ifdef KESTRUN_HAVE_XRES
    // The windows were made over this process's connection.
    EXPECT_EQ(desktop_->GetProcessId(bare), static_cast<uint32_t>(getpid()));
    EXPECT_EQ(desktop_->GetProcessId(remote), static_cast<uint32_t>(getpid()));
#else
    EXPECT_NE(desktop_->GetProcessId(remote), 4242u);
    (void)bare;
#endif
}

TEST_F(X11Desktop, SmallIconIsTheEntryNearestSixteen)
{
    auto entry = [](long side, long argb) {
        std::vector<long> data = {side, side};
        data.insert(data.end(), static_cast<size_t>(side * side), argb);
        return data;
    };
    auto join = [](std::vector<std::vector<long>> parts) {
        std::vector<long> all;
        for (auto& p : parts) all.insert(all.end(), p.begin(), p.end());
        return all;
    };
    const Window w = MakeWindow("iconic");
    SetCardinals(w, "_NET_WM_ICON", XA_CARDINAL,
                 join({entry(32, 0xFF0000FF), entry(16, 0xFF00FF00), entry(48, 0xFFFF0000)}));
    auto icon = desktop_->GetSmallIcon(w, 16);
    ASSERT_TRUE(icon.has_value());
    EXPECT_EQ(icon->width, 16);
    EXPECT_EQ(icon->height, 16);
    ASSERT_EQ(icon->pixels.size(), 256u);
    EXPECT_EQ(icon->pixels.front(), 0xFF00FF00u);
    EXPECT_EQ(icon->pixels.back(), 0xFF00FF00u);

    // Equally near above and below: the larger one.
    SetCardinals(w, "_NET_WM_ICON", XA_CARDINAL, join({entry(8, 0x11111111), entry(24, 0x22222222)}));
    icon = desktop_->GetSmallIcon(w, 16);
    ASSERT_TRUE(icon.has_value());
    EXPECT_EQ(icon->width, 16) << "scaled to the size asked for";
    EXPECT_EQ(icon->pixels[8 * 16 + 8], 0x22222222u);

    // Only a larger entry: scaled down, each pixel the average of the four it covers.
    std::vector<long> split = {32, 32};
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) split.push_back(x < 16 ? 0xFFFF0000 : (x % 2 == 0 ? 0xFF0000FF : 0x000000FF));
    SetCardinals(w, "_NET_WM_ICON", XA_CARDINAL, split);
    icon = desktop_->GetSmallIcon(w, 16);
    ASSERT_TRUE(icon.has_value());
    ASSERT_EQ(icon->width, 16);
    EXPECT_EQ(icon->pixels[0], 0xFFFF0000u);
    EXPECT_EQ(icon->pixels[15], 0x800000FFu) << "half covered by transparent pixels: half opaque, colour kept";

    // A wide entry keeps its shape, centred.
    std::vector<long> wide = {32, 16};
    wide.insert(wide.end(), 32 * 16, 0xFF00FF00);
    SetCardinals(w, "_NET_WM_ICON", XA_CARDINAL, wide);
    icon = desktop_->GetSmallIcon(w, 16);
    ASSERT_TRUE(icon.has_value());
    EXPECT_EQ(icon->pixels[0], 0u) << "the row above the picture is transparent";
    EXPECT_EQ(icon->pixels[8 * 16], 0xFF00FF00u);

    // Claims more pixels than it carries.
    SetCardinals(w, "_NET_WM_ICON", XA_CARDINAL, {64, 64, 1, 2, 3});
    EXPECT_FALSE(desktop_->GetSmallIcon(w, 16).has_value());
    XDeleteProperty(display_, w, A("_NET_WM_ICON"));
    XSync(display_, False);
    EXPECT_FALSE(desktop_->GetSmallIcon(w, 16).has_value());
}

TEST_F(X11Desktop, OwnerIsTheTransientForWindow)
{
    const Window main = MakeWindow("main");
    const Window dialog = MakeWindow("dialog");
    XSetTransientForHint(display_, dialog, main);
    XSync(display_, False);
    EXPECT_EQ(desktop_->GetOwner(dialog), main);
    EXPECT_EQ(desktop_->GetOwner(main), 0u);

    // Transient for the root or for no window: for the whole group, owned all the same.
    for (const Window groupOwner : {root_, Window{None}}) {
        const Window groupDialog = MakeWindow("group dialog");
        SetCardinals(groupDialog, "WM_TRANSIENT_FOR", XA_WINDOW, {static_cast<long>(groupOwner)});
        EXPECT_NE(desktop_->GetOwner(groupDialog), 0u);
    }
}

TEST_F(X11Desktop, AVanishedWindowIsAnErrorNotACrash)
{
    const Window w = MakeWindow("gone soon");
    ASSERT_TRUE(desktop_->Exists(w));
    XDestroyWindow(display_, w);
    XSync(display_, False);

    EXPECT_FALSE(desktop_->Exists(w));
    EXPECT_EQ(desktop_->GetTitle(w), L"");
    EXPECT_FALSE(desktop_->IsVisible(w));
    EXPECT_EQ(desktop_->GetOwner(w), 0u);
    EXPECT_FALSE(desktop_->GetSmallIcon(w, 16).has_value());
    SetLastError(0);
    EXPECT_FALSE(desktop_->ShowWindow(w, ShowCommand::ShowNormal));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ESRCH));
    EXPECT_FALSE(desktop_->SetForeground(w));
    EXPECT_FALSE(desktop_->PostClose(w));
    // The service still works afterwards.
    const Window next = MakeWindow("still here");
    EXPECT_EQ(desktop_->FindWindowByTitle(L"still here"), std::optional<WindowId>(next));
}

// --- Another program's windows ----------------------------------------------------------

// What a task list shows: visible, top-level, unowned, titled.
std::vector<std::wstring> TaskTitles(Desktop& desktop, const std::vector<WindowId>& among)
{
    std::vector<std::wstring> titles;
    for (const WindowId w : desktop.EnumWindows()) {
        if (std::find(among.begin(), among.end(), w) == among.end()) continue;
        if (desktop.IsVisible(w) && desktop.GetParent(w) == 0 && desktop.GetOwner(w) == 0 && !desktop.GetTitle(w).empty())
            titles.push_back(desktop.GetTitle(w));
    }
    return titles;
}

TEST_F(X11Desktop, AnotherProgramsWindowsAreListedAsATaskListNeedsThem)
{
    testing::X11TestClient client;
    std::vector<WindowId> all;
    all.push_back(client.Make("main", "title=Editor delete"));
    all.push_back(client.Make("untitled"));
    all.push_back(client.Make("dialog", "title=Find transient=main"));
    all.push_back(client.Make("menu", "title=Menu override"));
    all.push_back(client.Make("hidden", "title=Hidden unmapped"));
    all.push_back(client.Make("legacy", "latin1=Caf\xE9"));
    all.push_back(client.Make("iconic", "title=Viewer icon=16:00FF00,48:FF0000"));
    ASSERT_EQ(std::count(all.begin(), all.end(), 0u), 0);

    // New windows open on top.
    EXPECT_EQ(TaskTitles(*desktop_, all), (std::vector<std::wstring>{L"Viewer", L"Caf\u00e9", L"Editor"}));
    EXPECT_EQ(desktop_->GetOwner(all[2]), all[0]);
    const auto icon = desktop_->GetSmallIcon(all[6], 16);
    ASSERT_TRUE(icon.has_value());
    EXPECT_EQ(icon->pixels[5 * 16 + 5], 0xFF00FF00u);
    EXPECT_EQ(desktop_->GetProcessId(all[0]), static_cast<uint32_t>(client.pid()));

    // A retitled window keeps its place and shows its new title at the next look.
    ASSERT_EQ(client.Ask("title main Editor%20-%20notes.txt"), "ok");
    ASSERT_EQ(client.Ask("raise legacy"), "ok");
    EXPECT_EQ(TaskTitles(*desktop_, all), (std::vector<std::wstring>{L"Caf\u00e9", L"Viewer", L"Editor - notes.txt"}));
    ASSERT_EQ(client.Ask("map hidden"), "ok");
    EXPECT_EQ(TaskTitles(*desktop_, all),
              (std::vector<std::wstring>{L"Caf\u00e9", L"Viewer", L"Hidden", L"Editor - notes.txt"}));
}

TEST_F(X11Desktop, ProcessIdOfARemoteClientIsTheServersWord)
{
    testing::X11TestClient client;
    const WindowId remote = client.Make("remote", "title=Remote machine=elsewhere.invalid");
    const WindowId silent = client.Make("silent", "title=Silent nopid");
#ifdef KESTRUN_HAVE_XRES
    EXPECT_EQ(desktop_->GetProcessId(remote), static_cast<uint32_t>(client.pid()));
    EXPECT_EQ(desktop_->GetProcessId(silent), static_cast<uint32_t>(client.pid()));
#else
    SetLastError(0);
    EXPECT_EQ(desktop_->GetProcessId(remote), 0u);
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ESRCH));
    (void)silent;
#endif
}

TEST_F(X11Desktop, PoliteCloseAsksEachWindowItsOwnWay)
{
    testing::X11TestClient client;
    const WindowId polite = client.Make("polite", "title=Polite delete");
    const WindowId stubborn = client.Make("stubborn", "title=Stubborn ignore-delete");
    const WindowId plain = client.Make("plain", "title=Plain");

    ASSERT_TRUE(desktop_->PostClose(polite));
    EXPECT_TRUE(WaitFor([&] { return !desktop_->Exists(polite); }));
    SetLastError(0);
    EXPECT_FALSE(desktop_->Exists(polite));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ESRCH));

    ASSERT_TRUE(desktop_->PostClose(stubborn));
    EXPECT_TRUE(WaitFor([&] { return client.Ask("closes stubborn") == "1"; }));
    EXPECT_TRUE(desktop_->Exists(stubborn)) << "asked, and it stays";

    // Nobody to ask for a window that takes no close request, and no manager to do it.
    SetLastError(0);
    EXPECT_FALSE(desktop_->PostClose(plain));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EOPNOTSUPP));
    EXPECT_TRUE(desktop_->Exists(plain));
    EXPECT_TRUE(client.Running());
}

}  // namespace
}  // namespace kestrun::platform::linux_backend
