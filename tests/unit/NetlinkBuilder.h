// Builds netlink datagrams byte by byte for the parser tests: well-formed ones the
// way the kernel lays them out, and damaged ones by writing lengths directly.
#pragma once

#include <linux/netlink.h>
#include <linux/rtnetlink.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace kestrun::test_support {

class NetlinkBuilder {
public:
    // Starts a message; End() writes its length.
    NetlinkBuilder& Begin(uint16_t type, uint32_t sequence, uint32_t portId, uint16_t flags = NLM_F_MULTI)
    {
        start_ = bytes_.size();
        nlmsghdr header{};
        header.nlmsg_type = type;
        header.nlmsg_flags = flags;
        header.nlmsg_seq = sequence;
        header.nlmsg_pid = portId;
        Append(&header, sizeof header);
        return *this;
    }
    NetlinkBuilder& Info(int32_t index, uint32_t flags, uint16_t hardwareType = 1)
    {
        ifinfomsg info{};
        info.ifi_index = index;
        info.ifi_flags = flags;
        info.ifi_type = hardwareType;
        Append(&info, sizeof info);
        return *this;
    }
    NetlinkBuilder& Attribute(uint16_t type, const void* data, size_t length)
    {
        rtattr attribute{};
        attribute.rta_len = static_cast<unsigned short>(RTA_LENGTH(length));
        attribute.rta_type = type;
        Append(&attribute, sizeof attribute);
        Append(data, length);
        Pad();
        return *this;
    }
    NetlinkBuilder& Text(uint16_t type, const std::string& text) { return Attribute(type, text.c_str(), text.size() + 1); }
    template <class T>
    NetlinkBuilder& Scalar(uint16_t type, T value) { return Attribute(type, &value, sizeof value); }
    // An error field after the header, as NLMSG_ERROR and NLMSG_DONE carry it.
    NetlinkBuilder& ErrorField(int32_t error)
    {
        Append(&error, sizeof error);
        return *this;
    }
    NetlinkBuilder& Raw(const std::vector<uint8_t>& raw)
    {
        bytes_.insert(bytes_.end(), raw.begin(), raw.end());
        return *this;
    }
    NetlinkBuilder& End()
    {
        const auto length = static_cast<uint32_t>(bytes_.size() - start_);
        std::memcpy(bytes_.data() + start_, &length, sizeof length);
        Pad();
        return *this;
    }
    // Overwrites the current message's length field.
    NetlinkBuilder& SetLength(uint32_t length)
    {
        std::memcpy(bytes_.data() + start_, &length, sizeof length);
        return *this;
    }
    NetlinkBuilder& Done(uint32_t sequence, uint32_t portId, int32_t error = 0)
    {
        return Begin(NLMSG_DONE, sequence, portId).ErrorField(error).End();
    }

    [[nodiscard]] const std::vector<uint8_t>& bytes() const { return bytes_; }
    [[nodiscard]] size_t messageStart() const { return start_; }

private:
    void Append(const void* data, size_t length)
    {
        const auto* p = static_cast<const uint8_t*>(data);
        bytes_.insert(bytes_.end(), p, p + length);
    }
    void Pad() { bytes_.resize(NLMSG_ALIGN(bytes_.size()), 0); }

    std::vector<uint8_t> bytes_;
    size_t start_ = 0;
};

}  // namespace kestrun::test_support
