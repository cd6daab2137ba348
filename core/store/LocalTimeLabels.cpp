#include "core/store/LocalTimeLabels.h"

#include <cstring>
#include <ctime>

#include "core/store/DecimalText.h"

namespace {

constexpr int64_t kDaySeconds = 86400;

int secondOfDay(const struct tm& local) {
    return local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
}

// strftime's "%Y" has no padding; four digits cover every year the fast path takes.
bool fourDigitYear(const struct tm& local) {
    return local.tm_year >= 1000 - 1900 && local.tm_year <= 9999 - 1900;
}

char* writeDate(char* p, const struct tm& local) {
    p = writeUnsigned(p, static_cast<uint64_t>(local.tm_year + 1900), 4);
    *p++ = '-';
    p = writeTwoDigits(p, local.tm_mon + 1);
    *p++ = '-';
    p = writeTwoDigits(p, local.tm_mday);
    *p++ = ' ';
    return p;
}

char* writeClock(char* p, int hour, int minute, int second) {
    p = writeTwoDigits(p, hour);
    *p++ = '-';
    p = writeTwoDigits(p, minute);
    *p++ = '-';
    return writeTwoDigits(p, second);
}

}  // namespace

char* LocalTimeLabels::writeOnce(char* p, int64_t seconds) {
    const time_t t = static_cast<time_t>(seconds);
    struct tm local {};
    if (localtime_r(&t, &local) == nullptr) return writeSigned(p, seconds);
    if (fourDigitYear(local)) {
        p = writeDate(p, local);
        return writeClock(p, local.tm_hour, local.tm_min, local.tm_sec);
    }
    const size_t n = std::strftime(p, kMaxLength, "%Y-%m-%d %H-%M-%S", &local);
    return n > 0 ? p + n : writeSigned(p, seconds);
}

char* LocalTimeLabels::write(char* p, int64_t seconds) {
    if ((seconds < m_spanStart || seconds >= m_spanEnd) && !startSpan(seconds)) {
        return writeOnce(p, seconds);
    }
    std::memcpy(p, m_date, sizeof m_date);
    p += sizeof m_date;
    const int s = m_startSecondOfDay + static_cast<int>(seconds - m_spanStart);
    return writeClock(p, s / 3600, s / 60 % 60, s % 60);
}

// Whether `seconds` has the label the span predicts for it.
bool LocalTimeLabels::follows(int64_t seconds) const {
    const time_t t = static_cast<time_t>(seconds);
    struct tm local {};
    return localtime_r(&t, &local) != nullptr && local.tm_mday == m_day &&
           local.tm_mon == m_month && local.tm_year == m_year &&
           secondOfDay(local) == m_startSecondOfDay + (seconds - m_spanStart);
}

// A span from `seconds` to the end of its local day, or to the first second where the offset
// changes before that: found by halving, about 17 conversions on the rare day that has one.
bool LocalTimeLabels::startSpan(int64_t seconds) {
    m_spanEnd = m_spanStart;
    const time_t t = static_cast<time_t>(seconds);
    struct tm local {};
    if (localtime_r(&t, &local) == nullptr || !fourDigitYear(local) || local.tm_sec > 59) {
        return false;
    }
    m_spanStart = seconds;
    m_startSecondOfDay = secondOfDay(local);
    m_year = local.tm_year, m_month = local.tm_mon, m_day = local.tm_mday;
    int64_t last = seconds + (kDaySeconds - 1 - m_startSecondOfDay);  // 23:59:59 if nothing moves
    if (!follows(last)) {
        int64_t good = seconds;
        while (last - good > 1) {
            const int64_t middle = good + (last - good) / 2;
            (follows(middle) ? good : last) = middle;
        }
        last = good;
    }
    writeDate(m_date, local);
    m_spanEnd = last + 1;
    return true;
}
