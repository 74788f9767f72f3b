// Conversions between FILETIME (100-ns ticks since 1601-01-01) and calendar dates.
#pragma once

#include <cstdint>

#include "platform/WindowsTypes.h"

namespace sim {

struct CalendarTime {
    int year, month, day, hour, minute, second;
};

std::uint64_t Ticks(zorvane::FILETIME time);
zorvane::FILETIME FileTimeOf(std::uint64_t ticks);
zorvane::FILETIME FileTimeOf(const CalendarTime& time);
CalendarTime CalendarOf(std::uint64_t ticks);

}  // namespace sim
