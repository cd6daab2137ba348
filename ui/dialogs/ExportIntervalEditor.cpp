#include "ui/dialogs/ExportIntervalEditor.h"

#include <algorithm>

ExportIntervalEditor::ExportIntervalEditor(uint32_t interval) {
    m_value[Hours] = static_cast<int>(interval / 3600);
    m_value[Minutes] = static_cast<int>(interval % 3600 / 60);
    m_value[Seconds] = static_cast<int>(interval % 60);
    for (Field f : {Hours, Minutes, Seconds}) {
        m_position[f] = std::clamp(m_value[f], 0, rangeMax(f));
    }
}

void ExportIntervalEditor::step(Field field, int delta) {
    if (!m_enabled[field]) return;
    const int v = m_position[field] + delta;
    switch (field) {
        case Hours:
            stepHours(v);
            break;
        case Minutes:
            stepMinutes(v);
            break;
        case Seconds:
            stepSeconds(v);
            break;
    }
    // The spin itself moves after the notification, from wherever the handler left it.
    m_position[field] = std::clamp(m_position[field] + delta, 0, rangeMax(field));
}

void ExportIntervalEditor::stepHours(int v) {
    m_value[Hours] = v;
    if (v < 0) {
        m_value[Hours] = 0;
        if (m_value[Minutes] == 0 && m_value[Seconds] < 10) {
            m_value[Seconds] = 10;
            m_position[Seconds] = 10;
        }
    } else if (v > 24) {
        m_value[Hours] = 24;
    }
    const bool fullDay = m_value[Hours] == 24;
    if (fullDay) {
        m_value[Minutes] = 0;
        m_value[Seconds] = 0;
        m_position[Minutes] = 0;
        m_position[Seconds] = 0;
    }
    m_enabled[Minutes] = !fullDay;
    m_enabled[Seconds] = !fullDay;
}

void ExportIntervalEditor::stepMinutes(int v) {
    m_value[Minutes] = v;
    if (v < 0) {
        m_value[Minutes] = 0;
        if (m_value[Hours] == 0 && m_value[Seconds] < 10) {
            m_value[Seconds] = 10;
            m_position[Seconds] = 10;
        }
    } else if (v > 59) {
        m_value[Minutes] = 59;
    }
}

void ExportIntervalEditor::stepSeconds(int v) {
    if (m_value[Hours] != 0 || m_value[Minutes] != 0) {
        m_value[Seconds] = std::clamp(v, 0, 59);
    } else if (v < 10) {
        // One above 10, so the spin's own step down lands it on 10 again.
        m_value[Seconds] = 10;
        m_position[Seconds] = 11;
    } else {
        m_value[Seconds] = std::min(v, 59);
    }
}

bool ExportIntervalEditor::acceptable() const {
    return !(m_value[Hours] == 0 && m_value[Minutes] == 0 &&
             m_value[Seconds] < static_cast<int>(kMinimumInterval));
}

uint32_t ExportIntervalEditor::interval() const {
    // Hours from a stored interval reach 1,193,046: past int once multiplied, within 32 bits.
    return static_cast<uint32_t>(m_value[Hours]) * 3600 +
           static_cast<uint32_t>(m_value[Minutes]) * 60 + static_cast<uint32_t>(m_value[Seconds]);
}
