// The interface table on Linux: one RTM_GETLINK dump per read over a socket kept
// open, 64-bit counters from IFLA_STATS64, speeds from sysfs only when a link changed.
#include "platform/LastError.h"
#include "platform/Types.h"
#include "platform/linux/LinkMessage.h"
#include "platform/linux/LinkSpeedCache.h"
#include "platform/linux/LinuxPlatform.h"
#include "platform/linux/RtnetlinkSocket.h"

#include <linux/if.h>
#include <linux/if_arp.h>

#include <algorithm>
#include <cerrno>
#include <new>
#include <span>
#include <vector>

namespace kestrun::platform::linux_backend {

namespace {

// The table's interface types: 6 Ethernet, 24 software loopback, 71 IEEE 802.11, 1 other.
uint32_t InterfaceType(uint16_t hardwareType)
{
    switch (hardwareType) {
    case ARPHRD_ETHER: return 6;
    case ARPHRD_LOOPBACK: return 24;
    case ARPHRD_IEEE80211:
    case ARPHRD_IEEE80211_PRISM:
    case ARPHRD_IEEE80211_RADIOTAP: return 71;
    default: return 1;
    }
}

// Changes whenever the link's state does, so that its speed is read again.
uint32_t StateKey(const LinkMessage& link)
{
    return link.operState | ((link.flags & (IFF_UP | IFF_RUNNING | IFF_LOWER_UP)) << 8);
}

// Interface names are ASCII almost always: copied into the row's own storage,
// which a refresh then reuses; anything else goes through the UTF-8 conversion.
void AssignName(std::wstring& out, std::string_view name)
{
    if (std::all_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        out.assign(name.begin(), name.end());
    else
        out = Widen(std::string(name));
}

class LinuxInterfaces final : public InterfaceTable {
public:
    explicit LinuxInterfaces(const LinuxRoots& roots) : speeds_(roots.sys) {}

    InterfaceTableTraits Traits() const override { return {64, true}; }

    bool AllocateTable(InterfaceTableBuffer& buffer, uint32_t bytes) override
    {
        buffer.rows.clear();
        buffer.size = 0;
        try {
            buffer.rows.reserve(bytes > kIfTableCountBytes ? (bytes - kIfTableCountBytes) / kIfRowBytes : 0);
        } catch (const std::bad_alloc&) {
            return Fail(ENOMEM);
        }
        buffer.size = bytes;
        return true;
    }

    bool GetIfTable(InterfaceTableBuffer& buffer, uint32_t& required) override
    {
        required = buffer.size;
        if (!socket_.DumpLinks(messages_)) return false;
        links_.clear();
        for (const std::span<const uint8_t> message : messages_) {
            std::optional<LinkMessage> link = ParseLinkMessage(message);
            if (!link) return Fail(EBADMSG);
            links_.push_back(*link);
        }
        // A dump walks the kernel's index hash, which is not quite index order beyond 255 links.
        std::sort(links_.begin(), links_.end(), [](const LinkMessage& a, const LinkMessage& b) { return a.index < b.index; });
        required = IfTableBytes(links_.size());
        if (required > buffer.size) return Fail(ENOBUFS);

        speeds_.BeginPass();
        buffer.rows.resize(links_.size());
        for (size_t i = 0; i < links_.size(); ++i) Fill(links_[i], buffer.rows[i]);
        speeds_.Sweep();
        return true;
    }

    std::wstring GetAdapterName(uint32_t index) override
    {
        const std::string_view name = speeds_.NameOf(index);
        if (name.empty()) {
            Fail(ENODEV);
            return {};
        }
        std::wstring out;
        AssignName(out, name);
        return out;
    }

private:
    void Fill(const LinkMessage& link, InterfaceRow& row)
    {
        row.index = link.index;
        AssignName(row.name, link.alias.empty() ? link.name : link.alias);
        row.type = InterfaceType(link.hardwareType);
        row.mtu = link.mtu;
        row.operStatus = LinkOperStatus(link);
        row.speed = speeds_.SpeedOf(link.index, link.name, StateKey(link));
        const LinkCounters& c = link.counters;  // all zero when the message had none
        row.inOctets = c.rxBytes;
        row.outOctets = c.txBytes;
        // Linux counts received multicast packets only: nothing for sent non-unicasts.
        row.inNUcastPkts = c.multicast;
        row.inUcastPkts = c.rxPackets > c.multicast ? c.rxPackets - c.multicast : 0;
        row.outUcastPkts = c.txPackets;
        row.outNUcastPkts = 0;
        row.inDiscards = c.rxDropped;
        row.outDiscards = c.txDropped;
        row.inErrors = c.rxErrors;
        row.outErrors = c.txErrors;
        row.description.clear();
    }

    RtnetlinkSocket socket_;
    LinkSpeedCache speeds_;
    std::vector<std::span<const uint8_t>> messages_;
    std::vector<LinkMessage> links_;
};

}  // namespace

std::unique_ptr<InterfaceTable> CreateLinuxInterfaces(const LinuxRoots& roots)
{
    return std::make_unique<LinuxInterfaces>(roots);
}

}  // namespace kestrun::platform::linux_backend
