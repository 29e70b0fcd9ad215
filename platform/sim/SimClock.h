// The simulated device's clock: uptime in milliseconds, the tick count shown
// from it, and the wall-clock time of boot. A manual clock moves only when told
// to; a real clock follows the steady clock from when it was set.
#pragma once

#include "platform/sim/SimProfile.h"

#include <chrono>
#include <cstdint>

namespace kestrun::platform::sim {

class SimClock {
public:
    SimClock(uint64_t uptimeMs, uint64_t bootTime) : uptimeMs_(uptimeMs), bootTime_(bootTime) {}

    [[nodiscard]] ClockMode mode() const { return mode_; }
    // Switches the mode; a real clock counts from now, at the current uptime.
    void SetMode(ClockMode mode);
    [[nodiscard]] uint64_t uptimeMs() const { return uptimeMs_; }
    [[nodiscard]] uint64_t bootTime() const { return bootTime_; }  // file time
    // The tick count (milliseconds, wraps modulo 2^32) at the current uptime.
    [[nodiscard]] uint32_t Tick() const { return static_cast<uint32_t>(uptimeMs_) + tickOffset_; }
    // Moves the tick count without moving the uptime.
    void SetTick(uint32_t tick) { tickOffset_ = tick - static_cast<uint32_t>(uptimeMs_); }
    void Advance(uint64_t milliseconds) { uptimeMs_ += milliseconds; }
    // Real clock: moves the uptime up to real time and returns the milliseconds
    // it moved; a manual clock does not move (0). Walks ask at every step, so the
    // manual case is answered here.
    uint64_t CatchUp() { return mode_ == ClockMode::Real ? CatchUpReal() : 0; }

private:
    uint64_t CatchUpReal();

    ClockMode mode_ = ClockMode::Manual;
    uint64_t uptimeMs_ = 0;
    uint32_t tickOffset_ = 0;  // tick = uptime + offset (mod 2^32)
    uint64_t bootTime_ = 0;
    std::chrono::steady_clock::time_point realBase_;
    uint64_t realBaseUptime_ = 0;
};

}  // namespace kestrun::platform::sim
