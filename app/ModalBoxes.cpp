#include "app/ModalBoxes.h"

#include <wx/dialog.h>
#include <wx/toplevel.h>

#include <gtk/gtk.h>

namespace kestrun {

namespace {

// A message dialog runs its own loop (gtk_dialog_run) inside whatever opened it,
// so it is always the innermost box.
bool EndMessageDialog()
{
    bool ended = false;
    GList* windows = gtk_window_list_toplevels();
    for (GList* node = windows; node != nullptr && !ended; node = node->next) {
        GtkWindow* window = GTK_WINDOW(node->data);
        if (!GTK_IS_DIALOG(window) || !gtk_window_get_modal(window) || !gtk_widget_get_visible(GTK_WIDGET(window)))
            continue;
        GtkDialog* dialog = GTK_DIALOG(window);
        int answer = GTK_RESPONSE_DELETE_EVENT;
        for (const int safe : {GTK_RESPONSE_NO, GTK_RESPONSE_CANCEL, GTK_RESPONSE_OK}) {
            if (gtk_dialog_get_widget_for_response(dialog, safe) != nullptr) {
                answer = safe;
                break;
            }
        }
        gtk_dialog_response(dialog, answer);
        ended = true;
    }
    g_list_free(windows);
    return ended;
}

// Of the wx dialogs shown modally, the newest is the innermost.
bool EndModalDialog()
{
    wxDialog* newest = nullptr;
    for (wxWindow* window : wxTopLevelWindows) {
        auto* dialog = dynamic_cast<wxDialog*>(window);
        if (dialog != nullptr && dialog->IsModal()) newest = dialog;
    }
    if (newest == nullptr) return false;
    newest->EndModal(wxID_CANCEL);
    return true;
}

}  // namespace

bool EndInnermostModalBox() { return EndMessageDialog() || EndModalDialog(); }

}  // namespace kestrun
