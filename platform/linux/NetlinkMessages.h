// Walking the messages of one netlink datagram, every length checked against
// what was received: a malformed or truncated message is never read past its end.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

namespace kestrun::platform::linux_backend {

// Which messages of a datagram belong to the dump being read.
struct DumpIdentity {
    uint32_t sequence = 0;
    uint32_t portId = 0;  // the socket's netlink port id
};

enum class DatagramResult {
    More,    // the dump goes on in the next datagram
    Done,    // NLMSG_DONE seen
    Failed,  // error set: the kernel's answer (NLMSG_ERROR, a failed NLMSG_DONE) or EBADMSG
};

struct DatagramOutcome {
    DatagramResult result = DatagramResult::More;
    uint32_t error = 0;        // errno value when Failed
    bool interrupted = false;  // a message carried NLM_F_DUMP_INTR: the dump is inconsistent
};

// Walks the messages of one datagram of a dump answer. Messages of other dumps
// (an earlier one given up half-read) are skipped; every message of this dump whose
// type is messageType is handed whole (header included) to onMessage. A header
// whose length runs short of a header or past the datagram fails with EBADMSG.
DatagramOutcome WalkDumpDatagram(std::span<const uint8_t> datagram, const DumpIdentity& dump, uint16_t messageType,
                                 const std::function<void(std::span<const uint8_t>)>& onMessage);

}  // namespace kestrun::platform::linux_backend
