// A small X11 program for the tests: it makes the windows it is told to on
// standard input, the way other programs make theirs, and answers close
// requests as each window was told to. One command a line; every command is
// answered with one line on standard output once the server has it.
//
//   make KEY [title=UTF8] [latin1=TEXT] [unmapped] [override] [transient=KEY|root|none]
//        [delete|ignore-delete] [icon=SIDE:RRGGBB,...] [nopid] [machine=HOST]   -> "KEY ID"
//   title KEY UTF8            retitle (_NET_WM_NAME)    -> "ok"
//   map KEY | unmap KEY | raise KEY | destroy KEY       -> "ok"
//   closes KEY                close requests received  -> "N"
//   sync                                               -> "ok"
//
// Spaces in texts are written as %20. The program ends at the end of its input.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct ClientWindow {
    Window id = None;
    bool closesOnDelete = false;
    int closeRequests = 0;
};

Display* g_display = nullptr;
std::map<std::string, ClientWindow> g_windows;

Atom A(const char* name) { return XInternAtom(g_display, name, False); }

std::string Unescape(std::string text)
{
    for (size_t at = text.find("%20"); at != std::string::npos; at = text.find("%20", at)) text.replace(at, 3, " ");
    return text;
}

void SetBytes(Window w, Atom property, Atom type, const std::string& bytes)
{
    XChangeProperty(g_display, w, property, type, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
}

void SetLongs(Window w, Atom property, Atom type, const std::vector<long>& values)
{
    XChangeProperty(g_display, w, property, type, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(values.data()), static_cast<int>(values.size()));
}

// "16:FF0000,32:00FF00": square entries of one opaque colour each.
std::vector<long> IconData(const std::string& spec)
{
    std::vector<long> data;
    std::istringstream in(spec);
    std::string entry;
    while (std::getline(in, entry, ',')) {
        const auto colon = entry.find(':');
        const long side = std::stol(entry.substr(0, colon));
        const long argb = static_cast<long>(0xFF000000u | std::stoul(entry.substr(colon + 1), nullptr, 16));
        data.push_back(side);
        data.push_back(side);
        data.insert(data.end(), static_cast<size_t>(side * side), argb);
    }
    return data;
}

std::string Make(std::istringstream& args)
{
    std::string key, option;
    args >> key;
    bool map = true, override = false, pid = true;
    ClientWindow w;
    std::vector<std::string> options;
    while (args >> option) options.push_back(option);
    for (const std::string& o : options) {
        if (o == "unmapped") map = false;
        if (o == "override") override = true;
        if (o == "nopid") pid = false;
    }
    XSetWindowAttributes attributes{};
    attributes.override_redirect = override ? True : False;
    attributes.event_mask = StructureNotifyMask;
    const Window root = DefaultRootWindow(g_display);
    w.id = XCreateWindow(g_display, root, 20, 20, 160, 90, 0, CopyFromParent, InputOutput, CopyFromParent,
                         CWOverrideRedirect | CWEventMask, &attributes);
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    std::string machine = host;
    std::vector<Atom> protocols;
    for (const std::string& o : options) {
        const auto eq = o.find('=');
        const std::string name = o.substr(0, eq), value = eq == std::string::npos ? "" : Unescape(o.substr(eq + 1));
        if (name == "title") SetBytes(w.id, A("_NET_WM_NAME"), A("UTF8_STRING"), value);
        else if (name == "latin1") SetBytes(w.id, XA_WM_NAME, XA_STRING, value);
        else if (name == "icon") SetLongs(w.id, A("_NET_WM_ICON"), XA_CARDINAL, IconData(value));
        else if (name == "machine") machine = value;
        else if (name == "delete" || name == "ignore-delete") {
            protocols.push_back(A("WM_DELETE_WINDOW"));
            w.closesOnDelete = name == "delete";
        } else if (name == "transient") {
            const Window owner = value == "root" ? root : value == "none" ? None : g_windows[value].id;
            SetLongs(w.id, XA_WM_TRANSIENT_FOR, XA_WINDOW, {static_cast<long>(owner)});
        }
    }
    if (!protocols.empty()) XSetWMProtocols(g_display, w.id, protocols.data(), static_cast<int>(protocols.size()));
    SetBytes(w.id, XA_WM_CLIENT_MACHINE, XA_STRING, machine);
    if (pid) SetLongs(w.id, A("_NET_WM_PID"), XA_CARDINAL, {static_cast<long>(getpid())});
    if (map) XMapWindow(g_display, w.id);
    g_windows[key] = w;
    return key + " " + std::to_string(w.id);
}

std::string Run(const std::string& line)
{
    std::istringstream args(line);
    std::string command, key;
    args >> command;
    if (command == "make") return Make(args);
    if (command == "sync") return "ok";
    args >> key;
    const auto it = g_windows.find(key);
    if (it == g_windows.end()) return "unknown " + key;
    const Window w = it->second.id;
    if (command == "title") {
        std::string text;
        args >> text;
        SetBytes(w, A("_NET_WM_NAME"), A("UTF8_STRING"), Unescape(text));
    } else if (command == "map") {
        XMapWindow(g_display, w);
    } else if (command == "unmap") {
        XUnmapWindow(g_display, w);
    } else if (command == "raise") {
        XRaiseWindow(g_display, w);
    } else if (command == "destroy") {
        XDestroyWindow(g_display, w);
        g_windows.erase(it);
    } else if (command == "closes") {
        return std::to_string(it->second.closeRequests);
    } else {
        return "unknown command " + command;
    }
    return "ok";
}

void HandleEvents()
{
    while (XPending(g_display) > 0) {
        XEvent event;
        XNextEvent(g_display, &event);
        if (event.type != ClientMessage || event.xclient.message_type != A("WM_PROTOCOLS") ||
            static_cast<Atom>(event.xclient.data.l[0]) != A("WM_DELETE_WINDOW"))
            continue;
        for (auto it = g_windows.begin(); it != g_windows.end(); ++it) {
            if (it->second.id != event.xclient.window) continue;
            ++it->second.closeRequests;
            if (it->second.closesOnDelete) {
                XDestroyWindow(g_display, it->second.id);
                g_windows.erase(it);
                XFlush(g_display);
            }
            break;
        }
    }
}

}  // namespace

int main()
{
    g_display = XOpenDisplay(nullptr);
    if (g_display == nullptr) {
        std::cerr << "no display\n";
        return 2;
    }
    std::string pending;
    for (;;) {
        pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {ConnectionNumber(g_display), POLLIN, 0}};
        HandleEvents();
        if (poll(fds, 2, -1) < 0) continue;
        if ((fds[0].revents & (POLLIN | POLLHUP)) != 0) {
            char buffer[4096];
            const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
            if (n <= 0) break;
            pending.append(buffer, static_cast<size_t>(n));
            for (auto nl = pending.find('\n'); nl != std::string::npos; nl = pending.find('\n')) {
                const std::string answer = Run(pending.substr(0, nl));
                pending.erase(0, nl + 1);
                XSync(g_display, False);
                std::cout << answer << std::endl;
            }
        }
    }
    XCloseDisplay(g_display);
    return 0;
}
