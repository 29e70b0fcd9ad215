#include "platform/linux/RtnetlinkSocket.h"

#include "platform/LastError.h"
#include "platform/linux/NetlinkMessages.h"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace kestrun::platform::linux_backend {

namespace {

// How long a dump may keep us waiting for its next datagram. The kernel answers at
// once; this only stops a wedged socket from hanging the program.
constexpr timeval kReceiveTimeout{2, 0};
// Dumps asked again after an inconsistent or overrun answer, before giving up.
constexpr int kDumpAttempts = 4;

}  // namespace

RtnetlinkSocket::~RtnetlinkSocket() { Close(); }

void RtnetlinkSocket::Close()
{
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

bool RtnetlinkSocket::Open()
{
    if (fd_ >= 0) return true;
    const int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0) return FailWithErrno();
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;  // port id 0: the kernel picks one
    socklen_t length = sizeof local;
    if (bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0 ||
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &kReceiveTimeout, sizeof kReceiveTimeout) != 0) {
        const int error = errno;
        close(fd);
        return Fail(static_cast<uint32_t>(error));
    }
    fd_ = fd;
    portId_ = local.nl_pid;
    return true;
}

bool RtnetlinkSocket::SendRequest(uint32_t sequence)
{
    struct {
        nlmsghdr header;
        ifinfomsg info;
    } request{};
    request.header.nlmsg_len = NLMSG_LENGTH(sizeof request.info);
    request.header.nlmsg_type = RTM_GETLINK;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = sequence;
    request.header.nlmsg_pid = portId_;
    request.info.ifi_family = AF_UNSPEC;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    for (;;) {
        const ssize_t sent = sendto(fd_, &request, request.header.nlmsg_len, 0, reinterpret_cast<const sockaddr*>(&kernel),
                                    sizeof kernel);
        if (sent == static_cast<ssize_t>(request.header.nlmsg_len)) return true;
        if (sent < 0 && errno == EINTR) continue;
        return sent < 0 ? FailWithErrno() : Fail(EIO);
    }
}

RtnetlinkSocket::Attempt RtnetlinkSocket::DumpOnce()
{
    if (++sequence_ == 0) sequence_ = 1;
    used_ = 0;
    found_.clear();
    if (!SendRequest(sequence_)) return Attempt::Failed;
    const DumpIdentity dump{sequence_, portId_};
    bool interrupted = false;
    for (;;) {
        if (storage_.size() < used_ + datagramRoom_) storage_.resize(used_ + datagramRoom_);
        sockaddr_nl from{};
        iovec part{storage_.data() + used_, datagramRoom_};
        msghdr message{};
        message.msg_name = &from;
        message.msg_namelen = sizeof from;
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        // MSG_TRUNC: the datagram's real length even when it did not fit.
        const ssize_t received = recvmsg(fd_, &message, MSG_TRUNC);
        if (received < 0) {
            if (errno == EINTR) continue;
            if (errno == ENOBUFS) return Attempt::Retry;  // the socket overran: messages were lost
            if (errno == EAGAIN || errno == EWOULDBLOCK) Fail(ETIMEDOUT);
            else FailWithErrno();
            return Attempt::Failed;
        }
        const auto length = static_cast<size_t>(received);
        if ((message.msg_flags & MSG_TRUNC) != 0 || length > datagramRoom_) {
            datagramRoom_ = std::max(datagramRoom_ * 2, (length + 4095) & ~size_t{4095});
            return Attempt::Retry;
        }
        if (from.nl_pid != 0) continue;  // only the kernel answers dumps

        const std::span<const uint8_t> datagram(storage_.data() + used_, length);
        const DatagramOutcome outcome = WalkDumpDatagram(datagram, dump, RTM_NEWLINK, [&](std::span<const uint8_t> m) {
            found_.emplace_back(static_cast<size_t>(m.data() - storage_.data()), m.size());
        });
        used_ += length;
        interrupted = interrupted || outcome.interrupted;
        if (outcome.result == DatagramResult::Failed) {
            Fail(outcome.error);
            return Attempt::Failed;
        }
        if (outcome.result == DatagramResult::Done) return interrupted ? Attempt::Retry : Attempt::Complete;
    }
}

bool RtnetlinkSocket::DumpLinks(std::vector<std::span<const uint8_t>>& messages)
{
    messages.clear();
    for (int attempt = 0; attempt < kDumpAttempts; ++attempt) {
        if (!Open()) return false;
        const Attempt result = DumpOnce();
        if (result == Attempt::Complete) {
            messages.reserve(found_.size());
            for (const auto& [offset, length] : found_) messages.emplace_back(storage_.data() + offset, length);
            return true;
        }
        // The rest of a dump given up half-read may still be on its way; a fresh socket
        // starts clean (a socket runs one dump at a time, and refuses a second with EBUSY).
        Close();
        if (result == Attempt::Failed) return false;
    }
    return Fail(EAGAIN);
}

}  // namespace kestrun::platform::linux_backend
