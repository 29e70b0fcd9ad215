// The network interface table.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrun::platform {

enum InterfaceOperStatus : uint32_t {
    kIfNonOperational = 0,
    kIfUnreachable = 1,
    kIfDisconnected = 2,
    kIfConnecting = 3,
    kIfConnected = 4,
    kIfOperational = 5,
};

struct InterfaceRow {
    std::wstring name;
    uint32_t index = 0;  // 1 is the loopback interface
    uint32_t type = 0;   // 6 Ethernet, 24 loopback, 71 wireless, 1 other
    uint32_t mtu = 0;
    uint64_t speed = 0;  // bits per second, 0 when unknown
    uint32_t operStatus = kIfNonOperational;
    // Counters wrap at 2^counterBits of the table's traits.
    uint64_t inOctets = 0;
    uint64_t inUcastPkts = 0;
    uint64_t inNUcastPkts = 0;
    uint64_t inDiscards = 0;
    uint64_t inErrors = 0;
    uint64_t outOctets = 0;
    uint64_t outUcastPkts = 0;
    uint64_t outNUcastPkts = 0;
    uint64_t outDiscards = 0;
    uint64_t outErrors = 0;
    std::wstring description;
};

// Where the device's table and a host's differ, so that the page's arithmetic can follow the table it reads.
struct InterfaceTableTraits {
    // Counters and speeds wrap at 2^counterBits: 32 on the device, 64 where the system keeps 64-bit counters.
    uint32_t counterBits = 32;
    // The table lists a host's virtual interfaces (bridges, veth pairs, tunnels) beside its adapters.
    bool virtualInterfaces = false;
};

// The table as its reader asks for it: a count field, then one fixed-size row per interface.
constexpr uint32_t kIfTableCountBytes = 4;
constexpr uint32_t kIfRowBytes = 860;

constexpr uint32_t IfTableBytes(size_t rows) { return kIfTableCountBytes + static_cast<uint32_t>(rows) * kIfRowBytes; }

// Room for a table, kept by its reader between reads.
struct InterfaceTableBuffer {
    uint32_t size = 0;  // bytes of table the buffer has room for; 0: none
    std::vector<InterfaceRow> rows;
};

class InterfaceTable {
public:
    virtual ~InterfaceTable() = default;

    [[nodiscard]] virtual InterfaceTableTraits Traits() const = 0;

    // Gives buffer room for `bytes` of table, dropping the rows it held; false (last
    // error ENOMEM, buffer empty with size 0) when that memory cannot be had.
    virtual bool AllocateTable(InterfaceTableBuffer& buffer, uint32_t bytes) = 0;
    // Reads the table, in index order, into buffer.rows when it fits in buffer.size bytes.
    // False with the last error set otherwise; required is then the size the table
    // needs (ENOBUFS when that is more than the buffer has), or buffer.size when the
    // table could not be read at all.
    virtual bool GetIfTable(InterfaceTableBuffer& buffer, uint32_t& required) = 0;

    // Adapter name of an interface index; empty (last error set) when unknown.
    virtual std::wstring GetAdapterName(uint32_t index) = 0;
};

}  // namespace kestrun::platform
