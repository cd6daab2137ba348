#include "core/store/CsvExport.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "core/store/DecimalText.h"
#include "core/store/SampleRing.h"

namespace {

// Rings written per sample row: the twelve loads, Consumption and Solar; Total and the spare
// device record are not exported.
constexpr int kExportedRings[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 14, 15};

// The longest sample line: label, fourteen ", " and signed 32-bit values, line feed.
constexpr int kLineLength = LocalTimeLabels::kMaxLength + 14 * (2 + 11) + 1;

// Day and month values are 16-bit device counts in 32-bit fields. The month lines print them
// as 32-bit unsigned numbers; the day lines as signed.
void appendSeries(std::string& out, const std::string& label, const int32_t* values, int n,
                  bool asUnsigned) {
    out += label;
    out += "(kwh)";
    for (int i = 0; i < n; ++i) {
        char text[24] = {','};
        char* end = asUnsigned ? writeUnsigned(text + 1, static_cast<uint32_t>(values[i]))
                               : writeSigned(text + 1, values[i]);
        out.append(text, end);
    }
    out += '\n';
}

// ", " and the value zero-padded to six characters, sign included, after the label.
void appendValues(std::string& out, char* line, char* p, const int32_t* power) {
    for (int ring : kExportedRings) {
        *p++ = ',';
        *p++ = ' ';
        const int32_t watts = power[ring];
        if (watts >= 0 && watts < 1000000) {  // nearly every value: three digit pairs
            p = writeTwoDigits(p, watts / 10000);
            p = writeTwoDigits(p, watts / 100 % 100);
            p = writeTwoDigits(p, watts % 100);
        } else {
            p = writeSigned(p, watts, 6);
        }
    }
    *p++ = '\n';
    out.append(line, p);
}

}  // namespace

std::string CsvExport::format(const Source& source) {
    std::string out;
    const SampleStore& store = source.store;
    const int64_t step = std::max<int64_t>(1, source.intervalSeconds / kSamplePeriodSeconds);
    out.reserve(4096 + static_cast<size_t>(store.count / step + 1) * 140);

    for (int b = 0; b < 4; ++b) {
        out += "Day";
        for (int d = 10 * b + 1; d <= 10 * b + 10; ++d) out += "," + std::to_string(d);
        out += '\n';
        appendSeries(out, source.solarName, &source.days.solar[10 * b], 10, false);
        appendSeries(out, source.consumptionName, &source.days.consumption[10 * b], 10, false);
        out += '\n';
    }
    out += "\n\n";
    out += "Month";
    for (int m = 1; m <= kMonths; ++m) out += "," + std::to_string(m);
    out += '\n';
    appendSeries(out, source.solarName, source.months.solar, kMonths, true);
    appendSeries(out, source.consumptionName, source.months.consumption, kMonths, true);
    out += "\n\n\n";
    out += sampleHeader();

    LocalTimeLabels labels;
    int32_t power[kRingCount];
    for (int64_t i = 0; i < store.count; i += step) {
        const int slot = heldSlot(store, i);
        for (int ring = 0; ring < kRingCount; ++ring) power[ring] = store.samples[ring][slot];
        appendSampleLine(out, static_cast<int64_t>(store.startTime) + kSamplePeriodSeconds * i,
                         power, labels);
    }
    return out;
}

const char* CsvExport::sampleHeader() {
    return "Time, Channel 01, Channel 02, Channel 03, Channel 04, Channel 05, Channel 06, "
           "Channel 07, Channel 08, Channel 09, Channel 10, Channel 11, Channel 12, Consumption, "
           "Solar\n";
}

void CsvExport::appendSampleLine(std::string& out, int64_t time, const int32_t* power) {
    char line[kLineLength];
    appendValues(out, line, LocalTimeLabels::writeOnce(line, time), power);
}

void CsvExport::appendSampleLine(std::string& out, int64_t time, const int32_t* power,
                                 LocalTimeLabels& labels) {
    char line[kLineLength];
    appendValues(out, line, labels.write(line, time), power);
}

bool CsvExport::writeFile(const std::string& path, const std::string& text) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    bool ok = true;
    const char* p = text.data();
    size_t left = text.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, std::min<size_t>(left, 1 << 20));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    if (::close(fd) != 0) ok = false;
    return ok;
}
