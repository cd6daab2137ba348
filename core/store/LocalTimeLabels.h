#pragma once

#include <cstdint>

// Local-time labels "YYYY-MM-DD HH-MM-SS" (hyphens in the time of day so the text also suits
// file names) for the rows of an export. The calendar date and the zone's offset are worked out
// once per local day, or again where the offset changes inside it (daylight saving, a leap
// second); the rows in between are counted on from there, which is what makes a day of 5-second
// rows cheap. Times may come in any order; rising runs are the fast case.
class LocalTimeLabels {
public:
    // Room a label needs in the buffer given to write().
    static constexpr int kMaxLength = 64;

    // Writes the label of `seconds` at `p` and returns the end; a time without a local date
    // (out of the zone database's range) is written as its decimal number.
    char* write(char* p, int64_t seconds);

    // The same label, converted on its own without anything kept.
    static char* writeOnce(char* p, int64_t seconds);

private:
    bool startSpan(int64_t seconds);
    bool follows(int64_t seconds) const;

    // Every time in [m_spanStart, m_spanEnd) lies on m_date at m_startSecondOfDay plus its
    // distance from m_spanStart; an empty span keeps nothing.
    int64_t m_spanStart = 0;
    int64_t m_spanEnd = 0;
    int m_startSecondOfDay = 0;
    int m_year = 0, m_month = 0, m_day = 0;  // as struct tm holds them
    char m_date[11] = {};                    // "YYYY-MM-DD "
};
