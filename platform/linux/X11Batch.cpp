#include "platform/linux/X11Batch.h"

#include <xcb/xcbext.h>

namespace kestrun::platform::linux_backend {

size_t X11Batch::Property(xcb_window_t window, xcb_atom_t property, xcb_atom_t type, uint32_t maxUnits)
{
    const auto cookie = session_.Sent(xcb_get_property(session_.connection(), 0, window, property, type, 0, maxUnits));
    slots_.push_back(Slot{Kind::Property, cookie.sequence, type, nullptr, 0});
    return slots_.size() - 1;
}

size_t X11Batch::Attributes(xcb_window_t window)
{
    const auto cookie = session_.Sent(xcb_get_window_attributes(session_.connection(), window));
    slots_.push_back(Slot{Kind::Attributes, cookie.sequence, XCB_ATOM_NONE, nullptr, 0});
    return slots_.size() - 1;
}

size_t X11Batch::Tree(xcb_window_t window)
{
    const auto cookie = session_.Sent(xcb_query_tree(session_.connection(), window));
    slots_.push_back(Slot{Kind::Tree, cookie.sequence, XCB_ATOM_NONE, nullptr, 0});
    return slots_.size() - 1;
}

void X11Batch::Wait()
{
    if (collected_ == slots_.size()) return;
    session_.WillWait();
    for (; collected_ < slots_.size(); ++collected_) {
        Slot& slot = slots_[collected_];
        xcb_generic_error_t* error = nullptr;
        slot.reply.reset(xcb_wait_for_reply(session_.connection(), slot.sequence, &error));
        if (error != nullptr) {
            slot.error = error->error_code;
            std::free(error);
        } else if (!slot.reply) {
            slot.error = -1;  // the connection broke
        }
    }
}

const xcb_get_property_reply_t* X11Batch::PropertyAt(size_t slot) const
{
    const Slot& s = slots_[slot];
    return s.kind == Kind::Property ? static_cast<const xcb_get_property_reply_t*>(s.reply.get()) : nullptr;
}

const xcb_get_window_attributes_reply_t* X11Batch::AttributesAt(size_t slot) const
{
    const Slot& s = slots_[slot];
    return s.kind == Kind::Attributes ? static_cast<const xcb_get_window_attributes_reply_t*>(s.reply.get()) : nullptr;
}

const xcb_query_tree_reply_t* X11Batch::TreeAt(size_t slot) const
{
    const Slot& s = slots_[slot];
    return s.kind == Kind::Tree ? static_cast<const xcb_query_tree_reply_t*>(s.reply.get()) : nullptr;
}

std::optional<std::string> X11Batch::BytesAt(size_t slot, xcb_atom_t* actualType) const
{
    const xcb_get_property_reply_t* reply = PropertyAt(slot);
    if (reply == nullptr || reply->type == XCB_ATOM_NONE) return std::nullopt;
    if (actualType != nullptr) *actualType = reply->type;
    if (reply->format != 8) return std::nullopt;
    const auto* data = static_cast<const char*>(xcb_get_property_value(reply));
    return std::string(data, static_cast<size_t>(xcb_get_property_value_length(reply)));
}

std::optional<std::vector<uint32_t>> X11Batch::CardinalsAt(size_t slot) const
{
    const xcb_get_property_reply_t* reply = PropertyAt(slot);
    if (reply == nullptr || reply->type == XCB_ATOM_NONE || reply->format != 32) return std::nullopt;
    const xcb_atom_t wanted = slots_[slot].type;
    if (wanted != XCB_GET_PROPERTY_TYPE_ANY && reply->type != wanted) return std::nullopt;
    const auto* items = static_cast<const uint32_t*>(xcb_get_property_value(reply));
    const auto count = static_cast<size_t>(xcb_get_property_value_length(reply)) / 4;
    return std::vector<uint32_t>(items, items + count);
}

std::vector<xcb_window_t> X11Batch::ChildrenAt(size_t slot) const
{
    const xcb_query_tree_reply_t* reply = TreeAt(slot);
    if (reply == nullptr) return {};
    const xcb_window_t* children = xcb_query_tree_children(reply);
    return std::vector<xcb_window_t>(children, children + xcb_query_tree_children_length(reply));
}

}  // namespace kestrun::platform::linux_backend
