// The UTC clock: the system time read in UTC, to the second.
#ifndef ZQ_PLATFORM_CLOCK_H
#define ZQ_PLATFORM_CLOCK_H

namespace zq {

struct UtcTime {
    int year;
    int month;  // 1..12
    int day;    // 1..31
    int hour;
    int minute;
    int second;  // 0..59 (milliseconds dropped)
};

UtcTime UtcNow();

}  // namespace zq

#endif  // ZQ_PLATFORM_CLOCK_H
