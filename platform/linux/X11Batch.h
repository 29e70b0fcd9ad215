// Reads of several windows sent together: every request goes out first, then
// the program waits once and collects the answers. A window that is gone by the
// time the server reaches its request answers with an error for that request
// alone; the others are unaffected.
#pragma once

#include "platform/linux/X11Session.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kestrun::platform::linux_backend {

struct FreeReply {
    void operator()(void* reply) const { std::free(reply); }
};

class X11Batch {
public:
    explicit X11Batch(X11Session& session) : session_(session) {}
    X11Batch(const X11Batch&) = delete;
    X11Batch& operator=(const X11Batch&) = delete;

    // Each call queues one request and returns its slot.
    size_t Property(xcb_window_t window, xcb_atom_t property, xcb_atom_t type, uint32_t maxUnits = 1u << 16);
    size_t Attributes(xcb_window_t window);
    size_t Tree(xcb_window_t window);

    // Waits once for every answer; nothing to wait for costs no round trip.
    void Wait();

    [[nodiscard]] bool empty() const { return slots_.empty(); }
    // The sequence number of a slot's request: events the server sent after
    // reading this request carry it or a later one.
    [[nodiscard]] uint32_t SequenceAt(size_t slot) const { return slots_[slot].sequence; }
    // The X error of the slot's request; 0 when it was answered.
    [[nodiscard]] int ErrorAt(size_t slot) const { return slots_[slot].error; }

    // Answers; null when the request failed.
    [[nodiscard]] const xcb_get_property_reply_t* PropertyAt(size_t slot) const;
    [[nodiscard]] const xcb_get_window_attributes_reply_t* AttributesAt(size_t slot) const;
    [[nodiscard]] const xcb_query_tree_reply_t* TreeAt(size_t slot) const;

    // A property's 8-bit content, or its 32-bit items; nullopt when the property
    // is missing, of another type (unless AnyPropertyType was asked) or format.
    [[nodiscard]] std::optional<std::string> BytesAt(size_t slot, xcb_atom_t* actualType = nullptr) const;
    [[nodiscard]] std::optional<std::vector<uint32_t>> CardinalsAt(size_t slot) const;
    [[nodiscard]] std::vector<xcb_window_t> ChildrenAt(size_t slot) const;  // bottom to top

private:
    enum class Kind { Property, Attributes, Tree };
    struct Slot {
        Kind kind;
        uint32_t sequence;
        xcb_atom_t type = XCB_ATOM_NONE;  // a property read: the type asked for
        std::unique_ptr<void, FreeReply> reply;
        int error = 0;
    };
    X11Session& session_;
    std::vector<Slot> slots_;
    size_t collected_ = 0;
};

}  // namespace kestrun::platform::linux_backend
