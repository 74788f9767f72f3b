#include "sim/FileTimes.h"

namespace sim {

namespace {

constexpr std::uint64_t TicksPerSecond = 10'000'000;
constexpr std::int64_t DaysFrom1601To1970 = 134774;

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

}  // namespace

std::uint64_t Ticks(zorvane::FILETIME time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

zorvane::FILETIME FileTimeOf(std::uint64_t ticks) {
    return {static_cast<zorvane::DWORD>(ticks & 0xFFFFFFFFu),
            static_cast<zorvane::DWORD>(ticks >> 32)};
}

zorvane::FILETIME FileTimeOf(const CalendarTime& t) {
    const std::int64_t days =
        DaysFromCivil(t.year, static_cast<unsigned>(t.month), static_cast<unsigned>(t.day)) +
        DaysFrom1601To1970;
    const std::int64_t seconds = days * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
    return FileTimeOf(static_cast<std::uint64_t>(seconds) * TicksPerSecond);
}

CalendarTime CalendarOf(std::uint64_t ticks) {
    const std::int64_t seconds = static_cast<std::int64_t>(ticks / TicksPerSecond);
    std::int64_t z = seconds / 86400 - DaysFrom1601To1970 + 719468;
    const std::int64_t secondOfDay = seconds % 86400;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned day = doy - (153 * mp + 2) / 5 + 1;
    const unsigned month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2);
    return {static_cast<int>(year),
            static_cast<int>(month),
            static_cast<int>(day),
            static_cast<int>(secondOfDay / 3600),
            static_cast<int>(secondOfDay / 60 % 60),
            static_cast<int>(secondOfDay % 60)};
}

}  // namespace sim
