// One RTM_NEWLINK message of rtnetlink: what the interface table reads of a link,
// and the operational status the table shows for it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace kestrun::platform::linux_backend {

// The fields of IFLA_STATS64 the table uses.
struct LinkCounters {
    uint64_t rxPackets = 0;
    uint64_t txPackets = 0;
    uint64_t rxBytes = 0;
    uint64_t txBytes = 0;
    uint64_t rxErrors = 0;
    uint64_t txErrors = 0;
    uint64_t rxDropped = 0;
    uint64_t txDropped = 0;
    uint64_t multicast = 0;  // received only
};

struct LinkMessage {
    uint32_t index = 0;
    uint16_t hardwareType = 0;  // ARPHRD_*
    uint32_t flags = 0;         // IFF_*
    uint8_t operState = 0;      // IF_OPER_*; IF_OPER_UNKNOWN when the message has none
    uint32_t mtu = 0;
    // Views into the message, without the terminating NUL.
    std::string_view name;   // IFLA_IFNAME
    std::string_view alias;  // IFLA_IFALIAS
    bool hasCounters = false;
    LinkCounters counters;
};

// Reads a whole netlink message (header included) holding an ifinfomsg and its
// attributes. nullopt when it is not a well-formed link message: a header length
// beyond the bytes given, no room for the ifinfomsg, or an attribute whose length
// runs short of its own header or past the message. Nothing is read past either end.
std::optional<LinkMessage> ParseLinkMessage(std::span<const uint8_t> message);

// The six status codes of the table: not up 0; not present 1; down or lower layer
// down 2; dormant or testing 3; up 5; unknown 5 when running (loopback) and else 4.
uint32_t LinkOperStatus(const LinkMessage& link);

}  // namespace kestrun::platform::linux_backend
