// The base of the six tab pages: a panel loaded from its XRC template, told by
// the view when it is shown, hidden, resized and when to refresh. The tab control
// sizes the page window; the base lays the page's controls out for the size the
// page really has whenever it is shown or that size changes while it is shown.
#pragma once

#include "pages/core/PageResize.h"

#include <wx/event.h>
#include <wx/panel.h>

namespace kestrun {

// The refresh tick the view posts to the visible page; GetInt() is the timer id:
// 1 for the update timer, 2 for the Refresh command.
wxDECLARE_EVENT(EVT_PAGE_TIMER, wxCommandEvent);

class CPageBase : public wxPanel {
public:
    CPageBase() = default;

    // Loads the page's template (an XRC panel) as a child of parent. A template
    // that cannot be loaded leaves an empty page window.
    bool CreatePage(wxWindow* parent, const wxString& templateName);

    // Called after the view has shown the page: refresh and return true.
    virtual bool OnShowPage() = 0;
    // Called before the view hides the page.
    virtual bool OnHidePage() = 0;

    // The view's notice that the page's size changed by (dx, dy) pixels. Hidden
    // pages only add it up; a shown page lays its controls out for its size.
    void Resize(int dx, int dy);

    [[nodiscard]] bool IsPageShown() const { return m_resize.shown(); }
    [[nodiscard]] const PageResize& resizeState() const { return m_resize; }

    // Posts the refresh tick with the given timer id.
    void PostTimer(int timerId);

protected:
    // Marks the page shown and lays its controls out for the size it has now,
    // which takes in every change since they were last laid out.
    void BeginShow();
    void EndShow() { m_resize.Hide(); }

    // Moves and grows the page's controls for a size change of (dx, dy): the
    // difference between the page's size and the size they were laid out for.
    virtual void LayoutControls(int dx, int dy);
    // The refresh tick: refresh the page's content.
    virtual void OnTimerTick(int timerId) = 0;

    // Helpers for LayoutControls: grow a control, or move it down. The page's own
    // window is the tab control's to size: growing it is left to the tab control.
    void Grow(wxWindow* control, int dx, int dy);
    void MoveDown(wxWindow* control, int dy);

private:
    void OnPageTimer(wxCommandEvent& event);
    void OnPageSize(wxSizeEvent& event);
    // Lays the controls out for the page's size, if it differs from theirs.
    void FollowSize();

    PageResize m_resize;
};

}  // namespace kestrun
