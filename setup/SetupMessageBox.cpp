#include "setup/SetupMessageBox.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <vector>

namespace kestrun::setup {

namespace {

// An unanswered box gives up after this long, so an unattended terminal
// session never holds the package tool for ever.
constexpr auto kBoxTimeout = std::chrono::minutes(2);
constexpr int kWrapColumns = 60;
constexpr int kMargin = 16;
constexpr int kIconSize = 32;
constexpr int kButtonWidth = 80;
constexpr int kButtonHeight = 26;

// A real box is shown only where it cannot stall an unattended installation:
// KESTRUN_SETUP_DIALOG=1 asks for it and =0 forbids it; otherwise it needs a
// terminal on standard input and no DEBIAN_FRONTEND=noninteractive. A display
// ($DISPLAY that answers) is needed in every case.
bool SomeoneCanAnswer()
{
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || display[0] == '\0') return false;
    if (const char* ask = std::getenv("KESTRUN_SETUP_DIALOG"); ask != nullptr && ask[0] != '\0') return std::strcmp(ask, "1") == 0;
    if (const char* frontend = std::getenv("DEBIAN_FRONTEND"); frontend != nullptr && std::strcmp(frontend, "noninteractive") == 0) return false;
    return isatty(STDIN_FILENO) == 1;
}

std::vector<std::string> Wrap(const std::string& text)
{
    std::vector<std::string> lines;
    std::string line;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(' ', start);
        if (end == std::string::npos) end = text.size();
        const std::string word = text.substr(start, end - start);
        if (!line.empty() && line.size() + 1 + word.size() > kWrapColumns) {
            lines.push_back(line);
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
        start = end + 1;
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

int g_xErrors = 0;

// Xlib's own handler ends the process; a bad parent window id must not.
int CountXError(Display*, XErrorEvent*)
{
    ++g_xErrors;
    return 0;
}

unsigned long NamedColour(Display* display, const char* name, unsigned long fallback)
{
    XColor exact{};
    XColor screen{};
    if (XAllocNamedColor(display, DefaultColormap(display, DefaultScreen(display)), name, &screen, &exact) != 0) return screen.pixel;
    return fallback;
}

class X11Box {
public:
    X11Box(Display* display, XFontStruct* font, const std::string& caption, const std::string& text, unsigned style)
        : display_(display), font_(font), lines_(Wrap(text)), icon_((style & 0xF0) != 0)
    {
        const int screen = DefaultScreen(display_);
        lineHeight_ = font_->ascent + font_->descent + 2;
        int textWidth = 0;
        for (const auto& line : lines_) textWidth = std::max(textWidth, XTextWidth(font_, line.c_str(), static_cast<int>(line.size())));
        textLeft_ = kMargin + (icon_ ? kIconSize + kMargin : 0);
        width_ = std::max(textLeft_ + textWidth + kMargin, kButtonWidth + 2 * kMargin);
        const int textHeight = std::max(static_cast<int>(lines_.size()) * lineHeight_, icon_ ? kIconSize : 0);
        height_ = kMargin + textHeight + kMargin + kButtonHeight + kMargin;
        button_ = {static_cast<short>((width_ - kButtonWidth) / 2), static_cast<short>(height_ - kMargin - kButtonHeight),
                   static_cast<unsigned short>(kButtonWidth), static_cast<unsigned short>(kButtonHeight)};

        black_ = BlackPixel(display_, screen);
        white_ = WhitePixel(display_, screen);
        blue_ = NamedColour(display_, "RoyalBlue", black_);
        face_ = NamedColour(display_, "gray85", white_);
        const int x = std::max(0, (DisplayWidth(display_, screen) - width_) / 2);
        const int y = std::max(0, (DisplayHeight(display_, screen) - height_) / 2);
        window_ = XCreateSimpleWindow(display_, RootWindow(display_, screen), x, y, static_cast<unsigned>(width_), static_cast<unsigned>(height_), 1, black_, white_);
        XStoreName(display_, window_, caption.c_str());
        const Atom utf8 = XInternAtom(display_, "UTF8_STRING", False);
        XChangeProperty(display_, window_, XInternAtom(display_, "_NET_WM_NAME", False), utf8, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(caption.c_str()), static_cast<int>(caption.size()));
        const Atom dialog = XInternAtom(display_, "_NET_WM_WINDOW_TYPE_DIALOG", False);
        XChangeProperty(display_, window_, XInternAtom(display_, "_NET_WM_WINDOW_TYPE", False), XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&dialog), 1);
        deleteWindow_ = XInternAtom(display_, "WM_DELETE_WINDOW", False);
        XSetWMProtocols(display_, window_, &deleteWindow_, 1);
        XSizeHints* hints = XAllocSizeHints();
        if (hints != nullptr) {
            hints->flags = PPosition | PMinSize | PMaxSize;
            hints->x = x;
            hints->y = y;
            hints->min_width = hints->max_width = width_;
            hints->min_height = hints->max_height = height_;
            XSetWMNormalHints(display_, window_, hints);
            XFree(hints);
        }
        XSelectInput(display_, window_, ExposureMask | KeyPressMask | ButtonPressMask | StructureNotifyMask);
        gc_ = XCreateGC(display_, window_, 0, nullptr);
        XSetFont(display_, gc_, font_->fid);
    }

    ~X11Box()
    {
        XFreeGC(display_, gc_);
        XDestroyWindow(display_, window_);
        XFlush(display_);
    }

    X11Box(const X11Box&) = delete;
    X11Box& operator=(const X11Box&) = delete;

    void SetOwner(Window owner) { XSetTransientForHint(display_, window_, owner); }

    // Shows the box until OK, Return, Escape or the window's close button, or the timeout.
    void Run()
    {
        XMapRaised(display_, window_);
        XFlush(display_);
        const auto deadline = std::chrono::steady_clock::now() + kBoxTimeout;
        bool done = false;
        while (!done) {
            while (!done && XPending(display_) > 0) {
                XEvent event{};
                XNextEvent(display_, &event);
                done = Handle(event);
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
            if (done || left <= 0) break;
            pollfd connection{ConnectionNumber(display_), POLLIN, 0};
            if (poll(&connection, 1, static_cast<int>(std::min<long long>(left, 1000))) < 0) break;
            if ((connection.revents & (POLLHUP | POLLERR)) != 0) break;
        }
    }

private:
    bool Handle(const XEvent& event)
    {
        switch (event.type) {
        case Expose:
            if (event.xexpose.count == 0) Draw();
            return false;
        case KeyPress: {
            XKeyEvent key = event.xkey;
            const KeySym sym = XLookupKeysym(&key, 0);
            return sym == XK_Return || sym == XK_KP_Enter || sym == XK_Escape || sym == XK_space;
        }
        case ButtonPress:
            return event.xbutton.x >= button_.x && event.xbutton.x < button_.x + button_.width &&
                   event.xbutton.y >= button_.y && event.xbutton.y < button_.y + button_.height;
        case ClientMessage: return static_cast<Atom>(event.xclient.data.l[0]) == deleteWindow_;
        case DestroyNotify: return true;
        default: return false;
        }
    }

    void Draw()
    {
        XClearWindow(display_, window_);
        if (icon_) {  // the information sign: a blue disc with a white "i"
            XSetForeground(display_, gc_, blue_);
            XFillArc(display_, window_, gc_, kMargin, kMargin, kIconSize, kIconSize, 0, 360 * 64);
            XSetForeground(display_, gc_, white_);
            const int w = XTextWidth(font_, "i", 1);
            XDrawString(display_, window_, gc_, kMargin + (kIconSize - w) / 2, kMargin + (kIconSize + font_->ascent) / 2, "i", 1);
        }
        XSetForeground(display_, gc_, black_);
        int y = kMargin + font_->ascent;
        for (const auto& line : lines_) {
            XDrawString(display_, window_, gc_, textLeft_, y, line.c_str(), static_cast<int>(line.size()));
            y += lineHeight_;
        }
        XSetForeground(display_, gc_, face_);
        XFillRectangle(display_, window_, gc_, button_.x, button_.y, button_.width, button_.height);
        XSetForeground(display_, gc_, black_);
        XDrawRectangle(display_, window_, gc_, button_.x, button_.y, button_.width, button_.height);
        const int w = XTextWidth(font_, "OK", 2);
        XDrawString(display_, window_, gc_, button_.x + (kButtonWidth - w) / 2, button_.y + (kButtonHeight + font_->ascent - font_->descent) / 2, "OK", 2);
    }

    Display* display_;
    XFontStruct* font_;
    std::vector<std::string> lines_;
    bool icon_;
    int lineHeight_ = 0;
    int textLeft_ = 0;
    int width_ = 0;
    int height_ = 0;
    XRectangle button_{};
    unsigned long black_ = 0;
    unsigned long white_ = 0;
    unsigned long blue_ = 0;
    unsigned long face_ = 0;
    Window window_ = 0;
    Atom deleteWindow_ = 0;
    GC gc_ = nullptr;
};

void ShowX11Box(uint64_t parentWindow, const std::string& caption, const std::string& text, unsigned style)
{
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return;  // no display after all: standard error said it
    const auto previous = XSetErrorHandler(CountXError);
    XFontStruct* font = XLoadQueryFont(display, "fixed");
    if (font != nullptr) {
        X11Box box(display, font, caption, text, style);
        if (parentWindow != 0) box.SetOwner(static_cast<Window>(parentWindow));
        box.Run();
        XFreeFont(display, font);
    } else {
        ReportFailure("showing the message box", "the X server has no \"fixed\" font");
    }
    XSync(display, False);
    XSetErrorHandler(previous);
    XCloseDisplay(display);
}

}  // namespace

void ShowMessageBox(uint64_t parentWindow, const std::string& caption, const std::string& text, unsigned style) noexcept
{
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    std::fflush(stderr);
    if (!SomeoneCanAnswer()) return;
    try {
        ShowX11Box(parentWindow, caption, text, style);
    } catch (const std::exception& e) {
        ReportFailure("showing the message box", e.what());
    }
}

void ReportFailure(const char* what, const char* reason) noexcept
{
    std::fprintf(stderr, "pellora: %s failed: %s\n", what, reason);
}

}  // namespace kestrun::setup
