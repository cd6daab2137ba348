#pragma once

#include <QString>
#include <cstdint>

// Month entries of the energy history are labelled by name, going back from the current
// month: entry 0 is this month, entry k the month k months before it.
inline constexpr const char* kMonthNames[12] = {"Jan.", "Feb.", "Mar.", "Apr.", "May.", "Jun.",
                                                "Jul.", "Aug.", "Sep.", "Oct.", "Nov.", "Dec."};

// The local calendar month of a time (seconds since 1970-01-01 UTC), 0 = January.
int localMonth(int64_t secondsSince1970);

// Label of the entry k months before `currentMonth` (0 = January), for k >= 0.
QString monthLabel(int currentMonth, int k);
