#include "platform/linux/LinuxDesktop.h"

#include "platform/LastError.h"
#include "platform/linux/LinuxPlatform.h"
#include "platform/linux/X11Actions.h"
#include "platform/linux/X11Batch.h"
#include "platform/linux/X11Text.h"

#ifdef KESTRUN_HAVE_XRES
#include <xcb/res.h>
#endif

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <unordered_map>

namespace kestrun::platform::linux_backend {

namespace {

constexpr size_t kNoSlot = SIZE_MAX;
constexpr uint32_t kMaxListUnits = 1u << 16;

bool Contains(const std::vector<xcb_atom_t>& atoms, xcb_atom_t atom)
{
    return std::find(atoms.begin(), atoms.end(), atom) != atoms.end();
}

}  // namespace

LinuxDesktop::~LinuxDesktop()
{
    cache_.reset();  // it refers to the session
}

X11Session* LinuxDesktop::Session()
{
    if (session_ && !session_->Healthy()) {  // the server went away: start again on the next call
        cache_.reset();
        session_.reset();
        lastCheck_ = XCB_NONE;
        lastEnumerated_.clear();
        Fail(EPIPE);
        return nullptr;
    }
    if (!session_) {
        session_ = X11Session::Open();  // tried again on the next call after a failure
        if (session_) cache_ = std::make_unique<X11WindowCache>(*session_);
    }
    return session_.get();
}

X11WindowRecord* LinuxDesktop::Record(WindowId window)
{
    if (Session() == nullptr) return nullptr;
    if (window == 0 || window > UINT32_MAX) {
        Fail(EINVAL);
        return nullptr;
    }
    const auto w = static_cast<xcb_window_t>(window);
    // Events that have arrived mark what changed; only that is read again.
    cache_->DrainEvents();
    X11WindowRecord* r = cache_->Get(w);
    if (r == nullptr) Fail(ESRCH);
    return r;
}

void LinuxDesktop::Changed(xcb_window_t window)
{
    cache_->DrainEvents();
    if (X11WindowRecord* r = cache_->Find(window)) r->fresh = r->iconFresh = false;
}

bool LinuxDesktop::Done(int error) { return error == 0 ? true : Fail(ErrnoFromXError(error)); }

LinuxDesktop::RootState LinuxDesktop::ReadRoot(bool withTree)
{
    X11Session& s = *session_;
    const X11Atoms& a = s.atoms();
    X11Batch batch(s);
    const size_t check = batch.Property(s.root(), a.netSupportingWmCheck, XCB_ATOM_WINDOW, 1);
    const size_t guess = lastCheck_ != XCB_NONE ? batch.Property(lastCheck_, a.netSupportingWmCheck, XCB_ATOM_WINDOW, 1) : kNoSlot;
    const size_t stacking = batch.Property(s.root(), a.netClientListStacking, XCB_ATOM_WINDOW, kMaxListUnits);
    const size_t list = batch.Property(s.root(), a.netClientList, XCB_ATOM_WINDOW, kMaxListUnits);
    const size_t tree = withTree ? batch.Tree(s.root()) : kNoSlot;
    batch.Wait();
    cache_->DrainEvents();

    RootState state;
    const auto checkValue = batch.CardinalsAt(check);
    const xcb_window_t checkWindow = checkValue && !checkValue->empty() ? checkValue->front() : XCB_NONE;
    if (checkWindow != XCB_NONE) {
        std::optional<std::vector<uint32_t>> self;
        if (checkWindow == lastCheck_ && guess != kNoSlot) {
            self = batch.CardinalsAt(guess);
        } else {  // a manager we have not seen before
            X11Batch verify(s);
            const size_t slot = verify.Property(checkWindow, a.netSupportingWmCheck, XCB_ATOM_WINDOW, 1);
            verify.Wait();
            self = verify.CardinalsAt(slot);
        }
        state.hasManager = self && !self->empty() && self->front() == checkWindow;
    }
    lastCheck_ = checkWindow;

    std::optional<std::vector<uint32_t>> clients;
    if (state.hasManager) {
        clients = batch.CardinalsAt(stacking);
        if (!clients) clients = batch.CardinalsAt(list);
    }
    if (clients) state.bottomToTop.assign(clients->begin(), clients->end());
    else if (tree != kNoSlot) state.bottomToTop = batch.ChildrenAt(tree);
    state.hasManager = state.hasManager && clients.has_value();
    return state;
}

void LinuxDesktop::ResolveClients(const std::vector<xcb_window_t>& frames)
{
    if (frames.empty()) return;
    X11Session& s = *session_;
    struct Probe {
        xcb_window_t frame;
        xcb_window_t window;
    };
    std::unordered_map<xcb_window_t, xcb_window_t> clientOf;
    std::vector<Probe> level;
    for (const xcb_window_t f : frames) level.push_back({f, f});
    for (int depth = 0; depth < 2 && !level.empty(); ++depth) {
        X11Batch trees(s);
        std::vector<size_t> treeSlots;
        for (const Probe& p : level) treeSlots.push_back(trees.Tree(p.window));
        trees.Wait();
        std::vector<Probe> children;
        for (size_t i = 0; i < level.size(); ++i)
            for (const xcb_window_t child : trees.ChildrenAt(treeSlots[i])) children.push_back({level[i].frame, child});
        if (children.empty()) break;
        X11Batch states(s);
        std::vector<size_t> stateSlots;
        for (const Probe& p : children) stateSlots.push_back(states.Property(p.window, s.atoms().wmState, s.atoms().wmState, 2));
        states.Wait();
        for (size_t i = 0; i < children.size(); ++i) {
            const auto state = states.CardinalsAt(stateSlots[i]);
            if (state && !state->empty()) clientOf.try_emplace(children[i].frame, children[i].window);
        }
        level.clear();
        for (const Probe& p : children)
            if (!clientOf.contains(p.frame)) level.push_back(p);
    }
    for (const xcb_window_t f : frames) {
        if (X11WindowRecord* r = cache_->Find(f)) {
            const auto it = clientOf.find(f);
            r->client = it != clientOf.end() ? it->second : f;
            r->clientResolved = true;
        }
    }
    cache_->DrainEvents();
}

bool LinuxDesktop::IsTaskCandidate(const X11WindowRecord& r) const
{
    // Docks, the desktop window and windows that ask to stay off task lists
    // are not tasks, though they may be visible, titled and unowned.
    const X11Atoms& a = session_->atoms();
    if (r.overrideRedirect || r.inputOnly) return false;
    if (Contains(r.types, a.netWmWindowTypeDesktop) || Contains(r.types, a.netWmWindowTypeDock)) return false;
    return !Contains(r.states, a.netWmStateSkipTaskbar);
}

std::vector<WindowId> LinuxDesktop::EnumWindows()
{
    if (Session() == nullptr) return {};
    const RootState root = ReadRoot(true);
    std::vector<xcb_window_t> clients;
    cache_->Update(root.bottomToTop);
    if (root.hasManager) {
        clients = root.bottomToTop;
    } else {
        // Without EWMH the root's children are the clients, or a manager's frames around them.
        std::vector<xcb_window_t> frames;
        for (const xcb_window_t w : root.bottomToTop) {
            X11WindowRecord* r = cache_->Find(w);
            if (r == nullptr || r->overrideRedirect || r->clientResolved) continue;
            if (r->wmState) {
                r->client = w;
                r->clientResolved = true;
            } else {
                frames.push_back(w);
            }
        }
        ResolveClients(frames);
        for (const xcb_window_t w : root.bottomToTop)
            if (const X11WindowRecord* r = cache_->Find(w); r != nullptr && !r->overrideRedirect)
                clients.push_back(r->clientResolved ? r->client : w);
        cache_->Update(clients);  // the clients found inside frames
    }

    for (const xcb_window_t w : lastEnumerated_)
        if (X11WindowRecord* r = cache_->Find(w)) r->topLevel = false;
    lastEnumerated_.clear();
    std::vector<WindowId> topmostFirst;
    for (auto it = clients.rbegin(); it != clients.rend(); ++it) {
        X11WindowRecord* r = cache_->Find(*it);
        if (r == nullptr || !IsTaskCandidate(*r) || r->topLevel) continue;  // gone, not a task, or listed twice
        r->topLevel = true;
        lastEnumerated_.push_back(*it);
        topmostFirst.push_back(*it);
    }
    return topmostFirst;
}

bool LinuxDesktop::Exists(WindowId window)
{
    X11Session* s = Session();
    if (s == nullptr) return false;
    if (window == 0 || window > UINT32_MAX) return Fail(EINVAL);
    X11Batch batch(*s);
    const size_t slot = batch.Attributes(static_cast<xcb_window_t>(window));
    batch.Wait();
    cache_->DrainEvents();  // a long wait for a window to close keeps the queue short
    if (const int error = batch.ErrorAt(slot); error != 0) {
        cache_->Erase(static_cast<xcb_window_t>(window));
        return Fail(ErrnoFromXError(error));
    }
    return true;
}

std::wstring LinuxDesktop::GetTitle(WindowId window)
{
    const X11WindowRecord* r = Record(window);
    return r == nullptr ? std::wstring() : r->title;
}

bool LinuxDesktop::IsVisible(WindowId window)
{
    const X11WindowRecord* r = Record(window);
    if (r == nullptr) return false;
    // A manager's word first: normal or minimised is a task; withdrawn is not.
    if (r->wmState) return *r->wmState == kNormalState || *r->wmState == kIconicState;
    return r->mapState != XCB_MAP_STATE_UNMAPPED;
}

WindowId LinuxDesktop::GetParent(WindowId window)
{
    const X11WindowRecord* r = Record(window);
    if (r == nullptr || r->topLevel) return 0;
    // A top-level window's X parent is the root or a manager's frame, neither
    // of which is a parent window to the user.
    X11Session& s = *session_;
    X11Batch batch(s);
    const size_t tree = batch.Tree(r->id);
    batch.Wait();
    const xcb_query_tree_reply_t* reply = batch.TreeAt(tree);
    if (reply == nullptr) {
        Fail(ESRCH);
        return 0;
    }
    const xcb_window_t parent = reply->parent;
    if (parent == XCB_NONE || parent == s.root()) return 0;
    // A managed client sits in a frame, a child of the root: no parent to the user either.
    if (r->wmState && TopLevelOf(parent) == parent) return 0;
    return parent;
}

WindowId LinuxDesktop::GetOwner(WindowId window)
{
    const X11WindowRecord* r = Record(window);
    if (r == nullptr || !r->transientFor) return 0;
    // Transient for None or the root: for the whole window group, owned all the same.
    const xcb_window_t owner = *r->transientFor;
    return owner == XCB_NONE ? session_->root() : owner;
}

uint32_t LinuxDesktop::GetProcessId(WindowId window)
{
    X11WindowRecord* r = Record(window);
    if (r == nullptr) return 0;
    // _NET_WM_PID is what the client says about itself: a number of this
    // machine's process table only when the client runs here.
    if (r->claimedPid > 0 && r->claimedPid <= INT_MAX && !r->clientMachine.empty() &&
        r->clientMachine == session_->hostName())
        return r->claimedPid;
    if (r->serverPid != 0) return r->serverPid;
#ifdef KESTRUN_HAVE_XRES
    // The server knows the peer of every local connection.
    X11Session& s = *session_;
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(s.connection(), &xcb_res_id);
    if (extension != nullptr && extension->present) {
        xcb_res_client_id_spec_t spec{r->id, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
        const auto cookie = s.Sent(xcb_res_query_client_ids(s.connection(), 1, &spec));
        s.WillWait();
        xcb_res_query_client_ids_reply_t* reply = xcb_res_query_client_ids_reply(s.connection(), cookie, nullptr);
        if (reply != nullptr) {
            for (auto it = xcb_res_query_client_ids_ids_iterator(reply); it.rem > 0; xcb_res_client_id_value_next(&it))
                if ((it.data->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) != 0 && it.data->length >= 4)
                    r->serverPid = *xcb_res_client_id_value_value(it.data);
            std::free(reply);
        }
    }
    if (r->serverPid != 0) return r->serverPid;
#endif
    Fail(ESRCH);
    return 0;
}

std::optional<Image> LinuxDesktop::GetSmallIcon(WindowId window, int side)
{
    const X11WindowRecord* r = Record(window);
    if (r == nullptr) return std::nullopt;
    if (side <= 0) {
        Fail(EINVAL);
        return std::nullopt;
    }
    if (!r->iconFresh || r->iconSide != side) {
        // A task list asks for the icons of its new rows one after another:
        // the first question reads them all.
        std::vector<xcb_window_t> wanted = {r->id};
        for (const xcb_window_t w : lastEnumerated_) {
            const X11WindowRecord* other = cache_->Find(w);
            if (w != r->id && other != nullptr && !other->title.empty() && !other->transientFor) wanted.push_back(w);
        }
        cache_->UpdateIcons(wanted, side);
        r = cache_->Find(static_cast<xcb_window_t>(window));
        if (r == nullptr) {
            Fail(ESRCH);
            return std::nullopt;
        }
    }
    if (!r->icon) Fail(ENOENT);
    return r->icon;
}

WindowId LinuxDesktop::GetForeground()
{
    if (Session() == nullptr) return 0;
    X11Session& s = *session_;
    if (HasManager()) {
        X11Batch batch(s);
        const size_t active = batch.Property(s.root(), s.atoms().netActiveWindow, XCB_ATOM_WINDOW, 1);
        batch.Wait();
        const auto value = batch.CardinalsAt(active);
        return value && !value->empty() ? value->front() : 0;
    }
    const auto cookie = s.Sent(xcb_get_input_focus(s.connection()));
    s.WillWait();
    xcb_get_input_focus_reply_t* reply = xcb_get_input_focus_reply(s.connection(), cookie, nullptr);
    const xcb_window_t focus = reply != nullptr ? reply->focus : XCB_NONE;
    std::free(reply);
    if (focus == XCB_NONE || focus == XCB_INPUT_FOCUS_POINTER_ROOT || focus == s.root()) return 0;
    const xcb_window_t top = TopLevelOf(focus);
    X11WindowRecord* r = top != XCB_NONE ? cache_->Get(top) : nullptr;
    if (r == nullptr) return 0;
    if (!r->clientResolved) {
        if (r->wmState) {
            r->client = top;
            r->clientResolved = true;
        } else {
            ResolveClients({top});
        }
    }
    r = cache_->Find(top);
    return r != nullptr && r->clientResolved ? r->client : top;
}

xcb_window_t LinuxDesktop::TopLevelOf(xcb_window_t window)
{
    for (int depth = 0; depth < 64; ++depth) {
        X11Batch batch(*session_);
        const size_t slot = batch.Tree(window);
        batch.Wait();
        const xcb_query_tree_reply_t* reply = batch.TreeAt(slot);
        if (reply == nullptr) return XCB_NONE;
        if (reply->parent == reply->root || reply->parent == XCB_NONE) return window;
        window = reply->parent;
    }
    return XCB_NONE;
}

void LinuxDesktop::Forget()
{
    if (cache_) cache_->Clear();
    lastEnumerated_.clear();
}

std::optional<WindowId> LinuxDesktop::FindWindowByTitle(const std::wstring& title)
{
    if (Session() == nullptr) return std::nullopt;
    X11Session& s = *session_;
    const X11Atoms& a = s.atoms();
    // Managed windows first, then every child of the root (a window its
    // client has hidden is withdrawn and back there, unmapped), then the
    // windows inside each of those (a manager's frames hold their clients).
    X11Batch lists(s);
    const size_t managed = lists.Property(s.root(), a.netClientList, XCB_ATOM_WINDOW, kMaxListUnits);
    const size_t tree = lists.Tree(s.root());
    lists.Wait();
    std::vector<xcb_window_t> candidates;
    if (const auto list = lists.CardinalsAt(managed)) candidates.assign(list->begin(), list->end());
    std::vector<xcb_window_t> topLevel = lists.ChildrenAt(tree);
    std::reverse(topLevel.begin(), topLevel.end());
    for (int depth = 0; depth < 2; ++depth) {
        candidates.insert(candidates.end(), topLevel.begin(), topLevel.end());
        X11Batch batch(s);
        std::vector<std::array<size_t, 3>> slots;  // _NET_WM_NAME, WM_NAME, children
        for (const xcb_window_t w : candidates)
            slots.push_back({batch.Property(w, a.netWmName, a.utf8String, 1u << 14),
                             batch.Property(w, a.wmName, XCB_GET_PROPERTY_TYPE_ANY, 1u << 14), kNoSlot});
        if (depth == 0)
            for (size_t i = candidates.size() - topLevel.size(); i < candidates.size(); ++i) slots[i][2] = batch.Tree(candidates[i]);
        batch.Wait();
        std::vector<xcb_window_t> inner;
        for (size_t i = 0; i < candidates.size(); ++i) {
            xcb_atom_t type = XCB_ATOM_NONE;
            const auto wmName = batch.BytesAt(slots[i][1], &type);
            if (DecodeTitle(s, batch.BytesAt(slots[i][0]), wmName, type) == title) {
                cache_->DrainEvents();
                return candidates[i];
            }
            if (slots[i][2] != kNoSlot) {
                std::vector<xcb_window_t> children = batch.ChildrenAt(slots[i][2]);
                inner.insert(inner.end(), children.rbegin(), children.rend());
            }
        }
        candidates.clear();
        topLevel = std::move(inner);
    }
    cache_->DrainEvents();
    return std::nullopt;
}

bool LinuxDesktop::ShowWindow(WindowId window, ShowCommand command)
{
    X11Session* s = Session();
    if (s == nullptr) return false;
    if (window == 0 || window > UINT32_MAX) return Fail(EINVAL);
    const auto w = static_cast<xcb_window_t>(window);
    int error = 0;
    switch (command) {
    case ShowCommand::Hide: error = Withdraw(*s, w); break;
    case ShowCommand::Minimize: error = Iconify(*s, w); break;
    case ShowCommand::ShowNormal:
    case ShowCommand::Show: error = MapRaised(*s, w, HasManager()); break;
    }
    Changed(w);
    return Done(error);
}

bool LinuxDesktop::SetForeground(WindowId window)
{
    X11Session* s = Session();
    if (s == nullptr) return false;
    if (window == 0 || window > UINT32_MAX) return Fail(EINVAL);
    const auto w = static_cast<xcb_window_t>(window);
    const bool manager = HasManager();
    const xcb_timestamp_t now = s->ServerTime([this](const xcb_generic_event_t& e) { cache_->HandleEvent(e); });
    // The manager decides focus and de-iconifies; without one we map, raise and focus ourselves.
    const int error = manager ? Activate(*s, w, now) : MapRaiseAndFocus(*s, w, now);
    Changed(w);
    return Done(error);
}

bool LinuxDesktop::PostClose(WindowId window)
{
    X11Session* s = Session();
    if (s == nullptr) return false;
    if (window == 0 || window > UINT32_MAX) return Fail(EINVAL);
    const auto w = static_cast<xcb_window_t>(window);
    // Asked now: a program may take or drop the protocol at any time.
    X11Batch batch(*s);
    const size_t protocols = batch.Property(w, s->atoms().wmProtocols, XCB_ATOM_ATOM, 64);
    batch.Wait();
    if (const int error = batch.ErrorAt(protocols); error != 0) return Done(error);
    const auto list = batch.CardinalsAt(protocols).value_or(std::vector<uint32_t>{});
    const bool deletable = Contains(list, s->atoms().wmDeleteWindow);
    const bool manager = !deletable && HasManager();
    if (!deletable && !manager) return Fail(EOPNOTSUPP);  // no polite way to ask
    const xcb_timestamp_t now = s->ServerTime([this](const xcb_generic_event_t& e) { cache_->HandleEvent(e); });
    if (deletable) return Done(SendDeleteWindow(*s, w, now));
    return Done(SendToRoot(*s, w, s->atoms().netCloseWindow, {now, kSourcePager, 0, 0, 0}));
}

std::unique_ptr<Desktop> CreateLinuxDesktop() { return std::make_unique<LinuxDesktop>(); }

}  // namespace kestrun::platform::linux_backend
