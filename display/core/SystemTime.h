// File times as calendar fields, without a time-zone conversion.
#pragma once

#include "platform/Types.h"

#include <cstdint>
#include <optional>

namespace kestrun {

struct SystemTime {
    uint16_t year = 0;
    uint16_t month = 0;  // 1..12
    uint16_t dayOfWeek = 0;  // 0 Sunday .. 6 Saturday
    uint16_t day = 0;    // 1..31
    uint16_t hour = 0;
    uint16_t minute = 0;
    uint16_t second = 0;
    uint16_t milliseconds = 0;
};

// The calendar fields of a file time (100 ns units since 1601-01-01 00:00, the
// proleptic Gregorian calendar). nullopt, with the last error EINVAL, for a time
// at or beyond 2^63 units, which names no calendar date.
std::optional<SystemTime> FileTimeToSystemTime(const platform::FileTime& time);

}  // namespace kestrun
