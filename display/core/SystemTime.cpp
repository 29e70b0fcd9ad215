#include "display/core/SystemTime.h"

#include "platform/LastError.h"

#include <cerrno>

namespace kestrun {

namespace {
constexpr uint64_t kUnitsPerMs = 10000;
constexpr uint64_t kMsPerDay = 86400000;
constexpr int64_t kDays1601To1970 = 134774;
}  // namespace

std::optional<SystemTime> FileTimeToSystemTime(const platform::FileTime& time)
{
    const uint64_t value = time.Value();
    if (value >= (uint64_t{1} << 63)) {
        platform::Fail(EINVAL);
        return std::nullopt;
    }
    const uint64_t ms = value / kUnitsPerMs;
    const uint64_t msOfDay = ms % kMsPerDay;
    const int64_t days = static_cast<int64_t>(ms / kMsPerDay);  // since 1601-01-01, a Monday

    // Civil date from days since 1970-01-01 (H. Hinnant's algorithm).
    const int64_t z = days - kDays1601To1970 + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);

    SystemTime out;
    out.year = static_cast<uint16_t>(year);
    out.month = static_cast<uint16_t>(month);
    out.day = static_cast<uint16_t>(day);
    out.dayOfWeek = static_cast<uint16_t>((days + 1) % 7);
    out.hour = static_cast<uint16_t>(msOfDay / 3600000);
    out.minute = static_cast<uint16_t>(msOfDay / 60000 % 60);
    out.second = static_cast<uint16_t>(msOfDay / 1000 % 60);
    out.milliseconds = static_cast<uint16_t>(msOfDay % 1000);
    return out;
}

}  // namespace kestrun
