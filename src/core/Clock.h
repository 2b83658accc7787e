#pragma once

#include <chrono>

#include "core/Date.h"

namespace nudgerly {

// The two clocks a main-thread state object reads: the wall clock for dates the user sees, and a
// steady clock for spans (grace periods, delays) that a change of the system time must not move.
// Tests use a clock that follows a manual main queue's virtual time.
class Clock {
public:
    virtual ~Clock() = default;

    virtual Date now() const = 0;
    virtual std::chrono::steady_clock::time_point steadyNow() const = 0;
};

// The system's clocks.
class SystemClock final : public Clock {
public:
    Date now() const override { return Date::now(); }
    std::chrono::steady_clock::time_point steadyNow() const override { return std::chrono::steady_clock::now(); }
};

}  // namespace nudgerly
