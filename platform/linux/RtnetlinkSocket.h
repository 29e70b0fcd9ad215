// One rtnetlink socket, opened once and kept: a dump of the links per call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

namespace kestrun::platform::linux_backend {

class RtnetlinkSocket {
public:
    RtnetlinkSocket() = default;
    ~RtnetlinkSocket();
    RtnetlinkSocket(const RtnetlinkSocket&) = delete;
    RtnetlinkSocket& operator=(const RtnetlinkSocket&) = delete;

    // Opens the socket in the calling thread's network namespace, unless it is open.
    // False (last error set) when it cannot be opened.
    bool Open();
    [[nodiscard]] bool IsOpen() const { return fd_ >= 0; }

    // Asks for every link (RTM_GETLINK, NLM_F_DUMP) and fills messages with the
    // RTM_NEWLINK messages of the answer, each whole, in the order received; they lie
    // in storage the socket keeps until the next dump. A dump the kernel marks as
    // inconsistent (links changed while it ran) or that overran the socket is asked
    // again, a few times. False (last error set) on failure: the socket, the
    // kernel's answer, a malformed datagram (EBADMSG), or no answer (ETIMEDOUT).
    bool DumpLinks(std::vector<std::span<const uint8_t>>& messages);

private:
    enum class Attempt { Complete, Retry, Failed };
    Attempt DumpOnce();
    bool SendRequest(uint32_t sequence);
    void Close();

    int fd_ = -1;
    uint32_t portId_ = 0;
    uint32_t sequence_ = 0;
    std::vector<uint8_t> storage_;  // the received datagrams of the last dump, back to back
    size_t used_ = 0;
    std::vector<std::pair<size_t, size_t>> found_;  // offset and length of each message in storage_
    size_t datagramRoom_ = 32768;   // grows when a datagram did not fit
};

}  // namespace kestrun::platform::linux_backend
