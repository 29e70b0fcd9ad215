// The network interface table.
#pragma once

#include <cstdint>
#include <optional>
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
    uint32_t type = 0;
    uint32_t mtu = 0;
    uint64_t speed = 0;  // bits per second, 0 when unknown
    uint32_t operStatus = kIfNonOperational;
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

class InterfaceTable {
public:
    virtual ~InterfaceTable() = default;
    // nullopt (last error set) when the table cannot be read.
    virtual std::optional<std::vector<InterfaceRow>> GetIfTable() = 0;
    // Adapter name of an interface index; empty when unknown.
    virtual std::wstring GetAdapterName(uint32_t index) = 0;
};

}  // namespace kestrun::platform
