#include "display/NativeWindow.h"

#include <wx/window.h>

#include <gdk/gdkx.h>
#include <gtk/gtk.h>

namespace kestrun {

platform::WindowId NativeWindowId(wxWindow* window)
{
    if (window == nullptr) return 0;
    GtkWidget* widget = window->GetHandle();
    GdkWindow* native = widget != nullptr ? gtk_widget_get_window(widget) : nullptr;
    if (native == nullptr || !GDK_IS_X11_WINDOW(native)) return 0;
    return static_cast<platform::WindowId>(gdk_x11_window_get_xid(native));
}

}  // namespace kestrun
