#include "app/OutsideShow.h"

#include <wx/toplevel.h>

#include <gdk/gdk.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <X11/Xlib.h>

namespace kestrun {

namespace {
struct Watch {
    wxTopLevelWindow* frame;
    std::function<void()> restore;
};

GdkFilterReturn OnXEvent(GdkXEvent* native, GdkEvent*, gpointer data)
{
    const auto* xevent = static_cast<XEvent*>(native);
    auto* watch = static_cast<Watch*>(data);
    if (xevent->type == MapNotify && !watch->frame->IsShown()) watch->frame->CallAfter(watch->restore);
    return GDK_FILTER_CONTINUE;
}

void StopWatching(gpointer data)
{
    delete static_cast<Watch*>(data);
}
}  // namespace

void WatchForOutsideShow(wxTopLevelWindow* frame, std::function<void()> restore)
{
    GtkWidget* widget = frame->GetHandle();
    if (widget == nullptr) return;
    GdkWindow* window = gtk_widget_get_window(widget);
    if (window == nullptr || !GDK_IS_X11_WINDOW(window)) return;
    auto* watch = new Watch{frame, std::move(restore)};
    gdk_window_add_filter(window, &OnXEvent, watch);
    // The watch goes with the widget.
    g_object_set_data_full(G_OBJECT(widget), "kestrun-outside-show", watch, &StopWatching);
}

}  // namespace kestrun
