#include "platform/linux/NetlinkMessages.h"

#include <linux/netlink.h>

#include <cerrno>
#include <cstring>

namespace kestrun::platform::linux_backend {

namespace {

DatagramOutcome Failure(uint32_t error, bool interrupted)
{
    return {DatagramResult::Failed, error, interrupted};
}

// The error number an NLMSG_ERROR or NLMSG_DONE message carries after its header
// (negative errno, 0 for success); false when the message is too short to hold it.
bool ReadErrorField(std::span<const uint8_t> message, int32_t& error)
{
    if (message.size() < NLMSG_HDRLEN + sizeof(int32_t)) return false;
    std::memcpy(&error, message.data() + NLMSG_HDRLEN, sizeof error);
    return true;
}

uint32_t ErrnoOf(int32_t kernelError)
{
    // The kernel sends -errno; anything else is not an error number we could show.
    if (kernelError < 0 && kernelError > -4096) return static_cast<uint32_t>(-kernelError);
    return EBADMSG;
}

}  // namespace

DatagramOutcome WalkDumpDatagram(std::span<const uint8_t> datagram, const DumpIdentity& dump, uint16_t messageType,
                                 const std::function<void(std::span<const uint8_t>)>& onMessage)
{
    DatagramOutcome outcome;
    size_t offset = 0;
    while (datagram.size() - offset >= sizeof(nlmsghdr)) {
        nlmsghdr header;
        std::memcpy(&header, datagram.data() + offset, sizeof header);
        const size_t left = datagram.size() - offset;
        if (header.nlmsg_len < sizeof(nlmsghdr) || header.nlmsg_len > left) return Failure(EBADMSG, outcome.interrupted);
        const std::span<const uint8_t> message = datagram.subspan(offset, header.nlmsg_len);
        // The next message starts at the aligned end; the padding of the last one may be missing.
        const size_t advance = NLMSG_ALIGN(header.nlmsg_len);
        offset = advance < left ? offset + advance : datagram.size();

        if (header.nlmsg_seq != dump.sequence || header.nlmsg_pid != dump.portId) continue;
        if ((header.nlmsg_flags & NLM_F_DUMP_INTR) != 0) outcome.interrupted = true;

        if (header.nlmsg_type == NLMSG_DONE) {
            int32_t error = 0;
            // An old kernel's NLMSG_DONE may carry no error field at all: that is success.
            if (ReadErrorField(message, error) && error != 0) return Failure(ErrnoOf(error), outcome.interrupted);
            outcome.result = DatagramResult::Done;
            return outcome;
        }
        if (header.nlmsg_type == NLMSG_ERROR) {
            int32_t error = 0;
            if (!ReadErrorField(message, error)) return Failure(EBADMSG, outcome.interrupted);
            if (error == 0) continue;  // an acknowledgement
            return Failure(ErrnoOf(error), outcome.interrupted);
        }
        if (header.nlmsg_type == messageType) onMessage(message);
    }
    // Bytes left over that cannot hold a header: the datagram was cut short.
    if (offset != datagram.size()) return Failure(EBADMSG, outcome.interrupted);
    return outcome;
}

}  // namespace kestrun::platform::linux_backend
