#include "ui/history/MonthNames.h"

#include <ctime>

int localMonth(int64_t secondsSince1970) {
    const std::time_t t = static_cast<std::time_t>(secondsSince1970);
    std::tm local{};
    if (localtime_r(&t, &local) == nullptr) return 0;
    return local.tm_mon;
}

QString monthLabel(int currentMonth, int k) {
    // k runs up to 11 and the month from 0: +24 keeps the dividend positive.
    const int index = ((currentMonth + 24 - k) % 12 + 12) % 12;
    return QString::fromLatin1(kMonthNames[index], 4);
}
