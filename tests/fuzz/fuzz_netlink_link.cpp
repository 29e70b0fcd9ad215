// Fuzz target: the rtnetlink readers of the interface table must accept or reject
// any datagram without reading past it. The input is a sequence number and a port
// id (4 bytes each, the dump the datagram is read for), then the datagram.
#include "platform/linux/LinkMessage.h"
#include "platform/linux/NetlinkMessages.h"

#include <linux/rtnetlink.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

using namespace kestrun::platform::linux_backend;

namespace {

// A view the parser returns must lie inside the message it came from.
void CheckInside(std::string_view text, std::span<const uint8_t> message)
{
    if (text.empty()) return;
    const auto* begin = reinterpret_cast<const char*>(message.data());
    if (text.data() < begin || text.data() + text.size() > begin + message.size()) __builtin_trap();
}

void CheckLink(std::span<const uint8_t> message)
{
    if (const auto link = ParseLinkMessage(message)) {
        CheckInside(link->name, message);
        CheckInside(link->alias, message);
        if (LinkOperStatus(*link) > 5) __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 8) return 0;
    DumpIdentity dump;
    std::memcpy(&dump.sequence, data, 4);
    std::memcpy(&dump.portId, data + 4, 4);
    const std::span<const uint8_t> datagram(data + 8, size - 8);
    const DatagramOutcome outcome = WalkDumpDatagram(datagram, dump, RTM_NEWLINK, [&](std::span<const uint8_t> message) {
        // A message handed on lies inside the datagram.
        if (message.data() < datagram.data() || message.data() + message.size() > datagram.data() + datagram.size())
            __builtin_trap();
        CheckLink(message);
    });
    if (outcome.result == DatagramResult::Failed && outcome.error == 0) __builtin_trap();  // a failure names its error
    CheckLink(datagram);  // the whole datagram read as one message
    return 0;
}
