// Link speeds from sysfs, read once per interface and again only when its name or
// state changed, so that a refresh reads no file for an interface that stayed as it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace kestrun::platform::linux_backend {

// The text of a sysfs speed file (Mbit/s) in bit/s; 0 when the speed is unknown:
// -1, 4294967295 (what ethtool reports for unknown), 0, empty or not a number.
uint64_t ParseLinkSpeed(std::string_view text);

class LinkSpeedCache {
public:
    explicit LinkSpeedCache(std::string sysRoot) : sysRoot_(std::move(sysRoot)) {}

    // The speed of an interface in bit/s, 0 when unknown or unreadable (a link that
    // is down has none). state is any value that changes with the link's state.
    uint64_t SpeedOf(uint32_t index, std::string_view name, uint32_t state);
    // The kernel's name of an interface asked about since the last sweep; empty when none.
    [[nodiscard]] std::string_view NameOf(uint32_t index) const;

    // Starts a pass over the table: interfaces not asked about in it are forgotten
    // by the Sweep that ends it.
    void BeginPass() { ++pass_; }
    void Sweep();

    [[nodiscard]] size_t fileReads() const { return fileReads_; }

private:
    struct Entry {
        std::string name;
        uint32_t state = 0;
        uint64_t speed = 0;
        uint32_t pass = 0;
    };
    uint64_t ReadSpeed(std::string_view name);

    std::string sysRoot_;
    std::unordered_map<uint32_t, Entry> entries_;
    uint32_t pass_ = 1;
    size_t fileReads_ = 0;
};

}  // namespace kestrun::platform::linux_backend
