#pragma once

#include <cstdint>

// The export interval as hours, minutes and seconds edited with three spin buttons that are
// not linked to their boxes and do not wrap. Each spin keeps its own position; a click is
// handled with the position it had and the step, may reposition any spin, and then the
// clicked spin moves by the step within its range. With hours and minutes at 0 the seconds
// spin cannot be stepped below 10; at 24 hours minutes and seconds are forced to 0 and their
// spins disabled.
class ExportIntervalEditor {
public:
    enum Field { Hours = 0, Minutes = 1, Seconds = 2 };

    static constexpr uint32_t kMinimumInterval = 5;  // one sample of the store

    // Splits an interval in seconds. One outside what the spins produce (only an edited
    // dast.cfg holds one) opens as it is: 90,000 s as 25:0:0 with the hours spin at the end
    // of its range, 3 s as 0:0:3, which OK refuses. An untouched dialog gives the stored
    // interval back.
    explicit ExportIntervalEditor(uint32_t interval);

    // One click of a spin, step +1 (up) or -1 (down). Clicks on a disabled spin do nothing.
    void step(Field field, int delta);

    int value(Field field) const { return m_value[field]; }
    int position(Field field) const { return m_position[field]; }
    bool enabled(Field field) const { return m_enabled[field]; }

    // False below 5 seconds: the export advances at least one sample per row.
    bool acceptable() const;
    uint32_t interval() const;

private:
    void stepHours(int v);
    void stepMinutes(int v);
    void stepSeconds(int v);
    static int rangeMax(Field field) { return field == Hours ? 24 : 59; }

    int m_value[3]{};
    int m_position[3]{};
    bool m_enabled[3]{true, true, true};
};
