// Value types shared by every platform service.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrun::platform {

// A count of 100-nanosecond units, stored as two 32-bit halves, low half first.
struct FileTime {
    uint32_t low = 0;
    uint32_t high = 0;

    [[nodiscard]] uint64_t Value() const { return (uint64_t{high} << 32) | low; }
    static FileTime FromValue(uint64_t v) { return {static_cast<uint32_t>(v), static_cast<uint32_t>(v >> 32)}; }
    friend bool operator==(const FileTime& a, const FileTime& b) { return a.Value() == b.Value(); }
};

// 1601-01-01, where file times count from, to 1970-01-01, the Unix epoch: 134,774
// days in 100 ns units.
constexpr uint64_t kUnixEpochAsFileTime = 116444736000000000ull;

// Compares two file times: -1, 0 or 1.
inline int CompareFileTime(const FileTime& a, const FileTime& b)
{
    return a.Value() < b.Value() ? -1 : (a.Value() > b.Value() ? 1 : 0);
}

// Thread priority levels: 0 time-critical ... 3 normal ... 7 idle.
constexpr int kThreadPriorityTimeCritical = 0;
constexpr int kThreadPriorityHighest = 1;
constexpr int kThreadPriorityNormal = 3;
constexpr int kThreadPriorityIdle = 7;
constexpr int kThreadPriorityError = 0x7FFFFFFF;

// Opaque identifier of a top-level window (an X11 window id on Linux).
using WindowId = uint64_t;

// A small ARGB image (0xAARRGGBB per pixel, row-major).
struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
};

// UTF-8 <-> wide conversions used at every boundary with the outside world.
std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& wide);

}  // namespace kestrun::platform
