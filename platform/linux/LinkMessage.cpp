#include "platform/linux/LinkMessage.h"

#include "platform/Interfaces.h"

#include <linux/if.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>

#include <cstring>

namespace kestrun::platform::linux_backend {

namespace {

std::string_view TextOf(std::span<const uint8_t> payload)
{
    const char* text = reinterpret_cast<const char*>(payload.data());
    // Up to the first NUL; a text the kernel did not terminate ends with its attribute.
    return {text, strnlen(text, payload.size())};
}

// IFLA_STATS64 is a struct rtnl_link_stats64; the table needs its first nine
// counters, which every kernel since the attribute appeared has sent.
bool ReadCounters(std::span<const uint8_t> payload, LinkCounters& counters)
{
    uint64_t values[9];
    if (payload.size() < sizeof values) return false;
    std::memcpy(values, payload.data(), sizeof values);  // attributes are only 4-byte aligned
    counters = {values[0], values[1], values[2], values[3], values[4],
                values[5], values[6], values[7], values[8]};
    return true;
}

template <class T>
bool ReadScalar(std::span<const uint8_t> payload, T& out)
{
    if (payload.size() < sizeof out) return false;
    std::memcpy(&out, payload.data(), sizeof out);
    return true;
}

}  // namespace

std::optional<LinkMessage> ParseLinkMessage(std::span<const uint8_t> message)
{
    nlmsghdr header;
    if (message.size() < sizeof header) return std::nullopt;
    std::memcpy(&header, message.data(), sizeof header);
    if (header.nlmsg_len > message.size()) return std::nullopt;
    const size_t end = header.nlmsg_len;
    const size_t attributes = NLMSG_HDRLEN + NLMSG_ALIGN(sizeof(ifinfomsg));
    if (end < NLMSG_HDRLEN + sizeof(ifinfomsg)) return std::nullopt;

    ifinfomsg info;
    std::memcpy(&info, message.data() + NLMSG_HDRLEN, sizeof info);
    LinkMessage link;
    link.index = static_cast<uint32_t>(info.ifi_index);
    link.hardwareType = info.ifi_type;
    link.flags = info.ifi_flags;
    link.operState = IF_OPER_UNKNOWN;

    size_t offset = attributes < end ? attributes : end;
    while (end - offset >= sizeof(rtattr)) {
        rtattr attribute;
        std::memcpy(&attribute, message.data() + offset, sizeof attribute);
        const size_t left = end - offset;
        if (attribute.rta_len < sizeof(rtattr) || attribute.rta_len > left) return std::nullopt;
        const std::span<const uint8_t> payload = message.subspan(offset + RTA_LENGTH(0), attribute.rta_len - RTA_LENGTH(0));
        const size_t advance = RTA_ALIGN(attribute.rta_len);
        offset = advance < left ? offset + advance : end;

        switch (attribute.rta_type & NLA_TYPE_MASK) {
        case IFLA_IFNAME: link.name = TextOf(payload); break;
        case IFLA_IFALIAS: link.alias = TextOf(payload); break;
        case IFLA_OPERSTATE: ReadScalar(payload, link.operState); break;
        case IFLA_MTU: ReadScalar(payload, link.mtu); break;
        case IFLA_STATS64: link.hasCounters = ReadCounters(payload, link.counters); break;
        default: break;
        }
    }
    // One to three bytes after the last attribute cannot be one: the message was cut.
    if (offset != end) return std::nullopt;
    return link;
}

uint32_t LinkOperStatus(const LinkMessage& link)
{
    if ((link.flags & IFF_UP) == 0) return kIfNonOperational;
    switch (link.operState) {
    case IF_OPER_NOTPRESENT: return kIfUnreachable;
    case IF_OPER_DOWN:
    case IF_OPER_LOWERLAYERDOWN: return kIfDisconnected;
    case IF_OPER_DORMANT:
    case IF_OPER_TESTING: return kIfConnecting;
    case IF_OPER_UP: return kIfOperational;
    default:  // IF_OPER_UNKNOWN, and states newer than this code
        return (link.flags & IFF_RUNNING) != 0 ? kIfOperational : kIfConnected;
    }
}

}  // namespace kestrun::platform::linux_backend
