#include "platform/linux/X11WindowCache.h"

#include "platform/linux/X11Batch.h"
#include "platform/linux/X11Icon.h"
#include "platform/linux/X11Text.h"

#include <algorithm>
#include <array>

namespace kestrun::platform::linux_backend {

namespace {

constexpr uint32_t kWatchMask = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
constexpr uint32_t kMaxIconUnits = 1u << 22;  // 16 MiB: far beyond any real icon list
constexpr uint32_t kMaxTextUnits = 1u << 14;  // 64 KiB of title

// The slots of one window's read, in the order they are queued.
struct ReadSlots {
    size_t attributes, wmState, netWmName, wmName, transientFor, types, states, pid, machine, protocols;
};

ReadSlots QueueRead(X11Batch& batch, const X11Atoms& a, xcb_window_t w)
{
    ReadSlots s{};
    s.attributes = batch.Attributes(w);
    s.wmState = batch.Property(w, a.wmState, a.wmState, 2);
    s.netWmName = batch.Property(w, a.netWmName, a.utf8String, kMaxTextUnits);
    s.wmName = batch.Property(w, a.wmName, XCB_GET_PROPERTY_TYPE_ANY, kMaxTextUnits);
    s.transientFor = batch.Property(w, a.wmTransientFor, XCB_ATOM_WINDOW, 1);
    s.types = batch.Property(w, a.netWmWindowType, XCB_ATOM_ATOM, 64);
    s.states = batch.Property(w, a.netWmState, XCB_ATOM_ATOM, 64);
    s.pid = batch.Property(w, a.netWmPid, XCB_ATOM_CARDINAL, 1);
    s.machine = batch.Property(w, a.wmClientMachine, XCB_GET_PROPERTY_TYPE_ANY, 256);
    s.protocols = batch.Property(w, a.wmProtocols, XCB_ATOM_ATOM, 64);
    return s;
}

// False when the window is gone.
bool Fill(const X11Session& session, const X11Batch& batch, const ReadSlots& s, X11WindowRecord& r)
{
    const xcb_get_window_attributes_reply_t* attributes = batch.AttributesAt(s.attributes);
    if (attributes == nullptr) return false;
    const X11Atoms& a = session.atoms();
    r.readSequence = batch.SequenceAt(s.attributes);
    r.fresh = true;
    r.overrideRedirect = attributes->override_redirect != 0;
    r.inputOnly = attributes->_class == XCB_WINDOW_CLASS_INPUT_ONLY;
    r.mapState = attributes->map_state;
    const auto wmState = batch.CardinalsAt(s.wmState);
    r.wmState = wmState && !wmState->empty() ? std::optional<uint32_t>(wmState->front()) : std::nullopt;
    xcb_atom_t nameType = XCB_ATOM_NONE;
    const auto wmName = batch.BytesAt(s.wmName, &nameType);
    r.title = DecodeTitle(session, batch.BytesAt(s.netWmName), wmName, nameType);
    const auto transient = batch.CardinalsAt(s.transientFor);
    r.transientFor = transient && !transient->empty() ? std::optional<xcb_window_t>(transient->front()) : std::nullopt;
    r.types = batch.CardinalsAt(s.types).value_or(std::vector<uint32_t>{});
    r.states = batch.CardinalsAt(s.states).value_or(std::vector<uint32_t>{});
    const auto pid = batch.CardinalsAt(s.pid);
    r.claimedPid = pid && !pid->empty() ? pid->front() : 0;
    r.clientMachine = FirstString(batch.BytesAt(s.machine).value_or(std::string()));
    const auto protocols = batch.CardinalsAt(s.protocols).value_or(std::vector<uint32_t>{});
    r.deletable = std::find(protocols.begin(), protocols.end(), a.wmDeleteWindow) != protocols.end();
    return true;
}

}  // namespace

void X11WindowCache::Update(const std::vector<xcb_window_t>& windows)
{
    X11Batch batch(session_);
    std::vector<std::pair<xcb_window_t, ReadSlots>> reads;
    for (const xcb_window_t w : windows) {
        X11WindowRecord& r = records_[w];
        if (r.fresh) continue;
        r.id = w;
        if (!r.watched) {
            // Before the reads, so that every change after them is reported.
            session_.Sent(xcb_change_window_attributes(session_.connection(), w, XCB_CW_EVENT_MASK, &kWatchMask));
            r.watched = true;
        }
        reads.emplace_back(w, QueueRead(batch, session_.atoms(), w));
    }
    batch.Wait();
    for (const auto& [w, slots] : reads) {
        auto it = records_.find(w);
        if (it == records_.end()) continue;  // listed twice
        if (!Fill(session_, batch, slots, it->second)) records_.erase(it);  // gone before we asked
    }
    DrainEvents();
}

X11WindowRecord* X11WindowCache::Get(xcb_window_t window)
{
    if (window == XCB_NONE) return nullptr;
    if (X11WindowRecord* r = Find(window); r != nullptr && r->fresh) return r;
    Update({window});
    return Find(window);
}

X11WindowRecord* X11WindowCache::Find(xcb_window_t window)
{
    const auto it = records_.find(window);
    return it == records_.end() ? nullptr : &it->second;
}

void X11WindowCache::UpdateIcons(const std::vector<xcb_window_t>& windows, int side)
{
    X11Batch batch(session_);
    std::vector<std::pair<xcb_window_t, size_t>> reads;
    for (const xcb_window_t w : windows) {
        const X11WindowRecord* r = Find(w);
        if (r == nullptr || (r->iconFresh && r->iconSide == side)) continue;
        reads.emplace_back(w, batch.Property(w, session_.atoms().netWmIcon, XCB_ATOM_CARDINAL, kMaxIconUnits));
    }
    batch.Wait();
    for (const auto& [w, slot] : reads) {
        X11WindowRecord* r = Find(w);
        if (r == nullptr) continue;
        if (batch.ErrorAt(slot) != 0) {
            records_.erase(w);
            continue;
        }
        const auto data = batch.CardinalsAt(slot);
        r->icon = data ? SmallIconFromNetWmIcon(*data, side) : std::nullopt;
        r->iconSide = side;
        r->iconSequence = batch.SequenceAt(slot);
        r->iconFresh = true;
    }
    DrainEvents();
}

void X11WindowCache::HandleEvent(const xcb_generic_event_t& event)
{
    const X11Atoms& a = session_.atoms();
    switch (event.response_type & 0x7F) {
    case 0: {  // an error of a request nobody waits for: a window watched just as it went
        const auto& error = reinterpret_cast<const xcb_generic_error_t&>(event);
        if (error.error_code == XCB_WINDOW) records_.erase(error.resource_id);
        break;
    }
    case XCB_PROPERTY_NOTIFY: {
        const auto& e = reinterpret_cast<const xcb_property_notify_event_t&>(event);
        X11WindowRecord* r = Find(e.window);
        if (r == nullptr) break;
        const std::array<xcb_atom_t, 9> read = {a.wmState,   a.netWmName, a.wmName,          a.wmTransientFor, a.netWmWindowType,
                                                a.netWmState, a.netWmPid, a.wmClientMachine, a.wmProtocols};
        if (e.atom == a.netWmIcon) {
            if (SentAfterRead(event.full_sequence, r->iconSequence)) r->iconFresh = false;
        } else if (std::find(read.begin(), read.end(), e.atom) != read.end()) {
            if (SentAfterRead(event.full_sequence, r->readSequence)) r->fresh = false;
        }
        break;
    }
    case XCB_DESTROY_NOTIFY:
        records_.erase(reinterpret_cast<const xcb_destroy_notify_event_t&>(event).window);
        break;
    case XCB_MAP_NOTIFY:
    case XCB_UNMAP_NOTIFY: {
        // Both events keep the window in the same place of their layout.
        const xcb_window_t w = reinterpret_cast<const xcb_map_notify_event_t&>(event).window;
        if (X11WindowRecord* r = Find(w); r != nullptr && SentAfterRead(event.full_sequence, r->readSequence))
            r->fresh = false;
        break;
    }
    case XCB_REPARENT_NOTIFY: {
        const xcb_window_t w = reinterpret_cast<const xcb_reparent_notify_event_t&>(event).window;
        if (X11WindowRecord* r = Find(w)) r->fresh = false;
        ForgetClients();
        break;
    }
    default: break;
    }
}

void X11WindowCache::DrainEvents()
{
    session_.DrainEvents([this](const xcb_generic_event_t& event) { HandleEvent(event); });
}

void X11WindowCache::Clear()
{
    constexpr uint32_t kNoEvents = 0;
    for (const auto& [w, r] : records_)
        if (r.watched) session_.Sent(xcb_change_window_attributes(session_.connection(), w, XCB_CW_EVENT_MASK, &kNoEvents));
    xcb_flush(session_.connection());
    records_.clear();
    // Events already on their way are of windows no longer known: they are dropped as they come.
}

void X11WindowCache::ForgetClients()
{
    for (auto& [w, r] : records_) r.clientResolved = false;
}

}  // namespace kestrun::platform::linux_backend
