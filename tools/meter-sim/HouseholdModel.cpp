#include "tools/meter-sim/HouseholdModel.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace metersim {

namespace {

constexpr int64_t kSecondsPerDay = 86400;
constexpr int kIntegrationStep = 600;  // seconds; fine enough for whole kWh per day
constexpr double kSolarPeakW = 5200.0;

uint64_t splitMix(uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

int64_t floorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// Days since 1970-01-01 -> civil year, month (1..12), day (1..31).
void civilFromDays(int64_t z, int64_t& year, int& month, int& day) {
    z += 719468;
    const int64_t era = floorDiv(z, 146097);
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = yoe + era * 400 + (month <= 2);
}

int64_t daysFromCivil(int64_t year, int month, int day) {
    year -= month <= 2;
    const int64_t era = floorDiv(year, 400);
    const int64_t yoe = year - era * 400;
    const int64_t doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// 1 at midsummer (about day 172 of the year), -1 at midwinter.
double seasonOf(int64_t day) {
    int64_t year = 0;
    int month = 1, dom = 1;
    civilFromDays(day, year, month, dom);
    const double dayOfYear = static_cast<double>(day - daysFromCivil(year, 1, 1));
    return std::cos(2.0 * std::numbers::pi * (dayOfYear - 172.0) / 365.25);
}

bool within(double hour, double from, double to) { return hour >= from && hour < to; }

uint16_t toWatts(double watts) {
    return static_cast<uint16_t>(std::clamp(std::lround(watts), 0L, 65535L));
}

uint16_t toKwh(double wattHours) {
    return static_cast<uint16_t>(std::clamp(std::floor(wattHours / 1000.0), 0.0, 65535.0));
}

}  // namespace

HouseholdModel::HouseholdModel(uint64_t seed) : m_seed(splitMix(seed)) {}

double HouseholdModel::noise(uint64_t a, uint64_t b) const {
    const uint64_t h = splitMix(m_seed ^ splitMix(a * 0x100000001B3ull + b));
    return static_cast<double>(h >> 11) / 9007199254740992.0;
}

double HouseholdModel::loadPower(int channel, int64_t localSeconds) const {
    const int64_t day = floorDiv(localSeconds, kSecondsPerDay);
    const int second = static_cast<int>(localSeconds - day * kSecondsPerDay);
    const double hour = second / 3600.0;
    const double minute = localSeconds / 60.0;
    const uint64_t ch = static_cast<uint64_t>(channel);
    // Appliances run on cycles whose phase is fixed by the seed.
    auto cycling = [&](double periodMin, double duty) {
        const double phase = std::fmod(minute / periodMin + noise(ch, 1), 1.0);
        return phase < duty;
    };
    const bool weekday = ((day + 3) % 7 + 7) % 7 < 5;  // 1970-01-01 was a Thursday
    const double dayDraw = noise(ch * 1000 + 7, static_cast<uint64_t>(day));

    double watts = 0;
    switch (channel) {
        case 1:  // fridge
            watts = cycling(50, 0.4) ? 115 : 3;
            break;
        case 2:  // freezer
            watts = cycling(70, 0.35) ? 95 : 2;
            break;
        case 3:  // water heater, morning and evening
            watts = (within(hour, 6.0, 7.5) || within(hour, 18.0, 19.5)) && cycling(12, 0.55) ? 2000
                                                                                              : 0;
            break;
        case 4:  // cooker at lunch and dinner, thermostat cycling
            watts = (within(hour, 12.0, 12.75) || within(hour, 18.5, 19.5)) && cycling(4, 0.6)
                        ? 1800
                        : 1;
            break;
        case 5:  // washing machine on some mornings: heating first, then the drum
            if (dayDraw < 0.45 && within(hour, 9.0, 10.5))
                watts = within(hour, 9.0, 9.33) ? 2100 : 450;
            else
                watts = 1;
            break;
        case 6:  // dishwasher every evening
            if (within(hour, 20.5, 21.0))
                watts = 1250;
            else if (within(hour, 21.0, 22.0))
                watts = 85;
            else
                watts = 1;
            break;
        case 7:  // lights
            if (within(hour, 17.0, 23.5))
                watts = 190;
            else if (within(hour, 6.5, 8.0))
                watts = 85;
            else
                watts = 6;
            break;
        case 8:  // television and media
            watts = within(hour, 19.0, 23.0) ? 125 : 8;
            break;
        case 9:  // home office on weekdays
            watts = weekday && within(hour, 8.0, 17.0) ? 160 : 11;
            break;
        case 10: {  // heat pump, busy in winter, idle in summer
            const double demand = std::max(0.0, 0.15 - 0.85 * seasonOf(day));
            watts = cycling(30, 0.6) ? 300 + 1500 * demand : 15;
            if (demand < 0.05) watts = 15;
            break;
        }
        case 11:  // car charger on some nights
            watts = dayDraw < 0.3 && (hour >= 23.0 || hour < 4.0) ? 3600 : 0;
            break;
        case 12:  // network, alarm and standby
            watts = 36;
            break;
        default:
            return 0;
    }
    if (watts <= 0) return 0;
    // Mains voltage and appliance wander: a few per cent per 5-second reading.
    const double wobble = 0.94 + 0.12 * noise(ch, static_cast<uint64_t>(floorDiv(localSeconds, 5)));
    return watts * wobble;
}

double HouseholdModel::unmeteredPower(int64_t localSeconds) const {
    return 120.0 + 60.0 * noise(99, static_cast<uint64_t>(floorDiv(localSeconds, 5)));
}

double HouseholdModel::solarPower(int64_t localSeconds) const {
    const int64_t day = floorDiv(localSeconds, kSecondsPerDay);
    const double hour = static_cast<double>(localSeconds - day * kSecondsPerDay) / 3600.0;
    const double season = seasonOf(day);
    const double daylight = 12.0 + 4.0 * season;  // hours from sunrise to sunset
    const double sunrise = 13.0 - daylight / 2.0;
    const double sinceSunrise = hour - sunrise;
    if (sinceSunrise <= 0 || sinceSunrise >= daylight) return 0;
    const double elevation = std::sin(std::numbers::pi * sinceSunrise / daylight);
    const double strength = 0.55 + 0.45 * season;  // winter sun is low and weak
    const double clearDay = 0.35 + 0.65 * noise(200, static_cast<uint64_t>(day));
    // Passing clouds change over minutes, not seconds.
    const double clouds =
        0.75 + 0.25 * noise(201, static_cast<uint64_t>(floorDiv(localSeconds, 300)));
    return kSolarPeakW * std::pow(elevation, 1.3) * strength * clearDay * clouds;
}

LiveSnapshot HouseholdModel::live(int64_t localSeconds, const SwitchStates& switches) const {
    LiveSnapshot snapshot;
    double loads = 0;
    for (int channel = 1; channel <= kLoadChannels; ++channel) {
        LiveRecord& record = snapshot[channel - 1];
        record.number = static_cast<uint16_t>(channel);
        if (!switches[channel - 1]) {
            record.power = 0;
            record.state = kStateOff;
            continue;
        }
        record.power = toWatts(loadPower(channel, localSeconds));
        record.state = kStateOn;
        loads += record.power;
    }
    snapshot[12] = {13, 0, kStateOn};  // spare input, nothing wired to it
    // The consumption clamp measures the whole house: every load plus what no channel sees.
    snapshot[13] = {14, toWatts(loads + unmeteredPower(localSeconds)), kStateOn};
    snapshot[14] = {15, toWatts(solarPower(localSeconds)), kStateOn};
    return snapshot;
}

HouseholdModel::DayEnergy HouseholdModel::integrate(int64_t day, int untilSecond) const {
    DayEnergy energy;
    const double hoursPerStep = kIntegrationStep / 3600.0;
    for (int start = 0; start < untilSecond; start += kIntegrationStep) {
        const int64_t t = day * kSecondsPerDay + start + kIntegrationStep / 2;
        double watts = unmeteredPower(t);
        for (int channel = 1; channel <= kLoadChannels; ++channel) watts += loadPower(channel, t);
        // The step still running counts only for its elapsed part, so today's count grows
        // smoothly instead of jumping by whole steps.
        const double share =
            std::min(1.0, static_cast<double>(untilSecond - start) / kIntegrationStep);
        energy.consumptionWh += watts * hoursPerStep * share;
        energy.solarWh += solarPower(t) * hoursPerStep * share;
    }
    return energy;
}

const HouseholdModel::DayEnergy& HouseholdModel::fullDay(int64_t day) const {
    auto found = m_dayCache.find(day);
    if (found != m_dayCache.end()) return found->second;
    if (m_dayCache.size() > 2000) m_dayCache.clear();  // a long run must not grow without end
    return m_dayCache.emplace(day, integrate(day, kSecondsPerDay)).first->second;
}

EnergyHistory HouseholdModel::history(int64_t localSeconds, bool solar) const {
    const int64_t today = floorDiv(localSeconds, kSecondsPerDay);
    const int secondOfDay = static_cast<int>(localSeconds - today * kSecondsPerDay);
    auto pick = [solar](const DayEnergy& e) { return solar ? e.solarWh : e.consumptionWh; };
    const double todayWh = pick(integrate(today, secondOfDay));

    EnergyHistory result;
    result.days[0] = toKwh(todayWh);
    for (int i = 1; i < kHistoryDays; ++i) result.days[i] = toKwh(pick(fullDay(today - i)));

    int64_t year = 0;
    int month = 1, dom = 1;
    civilFromDays(today, year, month, dom);
    for (int i = 0; i < kHistoryMonths; ++i) {
        const int64_t first = daysFromCivil(year, month, 1);
        double wh = 0;
        if (i == 0) {
            for (int64_t d = first; d < today; ++d) wh += pick(fullDay(d));
            wh += todayWh;
        } else {
            int nextMonth = month + 1;
            int64_t nextYear = year;
            if (nextMonth > 12) nextMonth = 1, ++nextYear;
            const int64_t end = daysFromCivil(nextYear, nextMonth, 1);
            for (int64_t d = first; d < end; ++d) wh += pick(fullDay(d));
        }
        result.months[i] = toKwh(wh);
        if (--month < 1) month = 12, --year;
    }
    return result;
}

EnergyHistory HouseholdModel::consumptionHistory(int64_t localSeconds) const {
    return history(localSeconds, false);
}

EnergyHistory HouseholdModel::solarHistory(int64_t localSeconds) const {
    return history(localSeconds, true);
}

}  // namespace metersim
