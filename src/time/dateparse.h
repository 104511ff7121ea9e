// The date parser below its exports: whether a text was accepted is kept apart from its value.
#ifndef ZQ_TIME_DATEPARSE_H
#define ZQ_TIME_DATEPARSE_H

#include <cstdint>

#include "zqxmlu.h"

namespace zq::date {

struct Parsed {
    bool accepted = false;
    uint64_t value = 0;     // the date value when accepted, never 0
    double fraction = 0.0;  // the fraction of format 23's seconds
};

// Parses `text` in layout `format` (the exports' rules). `shortcut`: the usual texts of formats
// 23 and 24 are read by a shortcut that yields the same fields; false reads every text field by
// field (the fuzz target compares the two).
Parsed ParseText(char* text, int format, ZqLong zoneHours, ZqULong zoneMinutes, bool shortcut);

}  // namespace zq::date

#endif  // ZQ_TIME_DATEPARSE_H
