#include "core/acquisition/Recording.h"

#include <cstring>

#include "core/acquisition/RecorderListener.h"
#include "core/acquisition/RecorderState.h"
#include "core/base/Clock.h"
#include "core/base/CrashSafeFile.h"
#include "core/base/FilePath.h"
#include "core/base/KeptTexts.h"
#include "core/base/MessageSink.h"
#include "core/device/Protocol.h"
#include "core/store/ChannelName.h"
#include "core/store/CsvExport.h"
#include "core/store/DataFile.h"
#include "core/store/SampleRing.h"

Recording::Recording(RecorderState& state)
    : m_state(state), m_store(std::make_unique<SampleStore>()) {
    resetStore(*m_store, state.clock.now());
}

Recording::~Recording() {
    Recording* self = this;
    m_state.currentRecording.compare_exchange_strong(self, nullptr);
    if (m_state.link.isOpen()) m_state.link.closeLink();
}

std::string Recording::dataFilePath() const {
    return pathInDirectory(m_state.config.appDir, "dast.data");
}

bool Recording::open() {
    m_state.running = true;
    m_state.currentRecording = this;
    busy = false;

    // The file is read and checked without the lock; the store is swapped in and the offline
    // gap filled in one locked step, so a tick never lands between the two.
    DayTable days{};
    MonthTable months{};
    auto loaded = std::make_unique<SampleStore>();
    const DataFile::Load result = DataFile::load(dataFilePath(), days, months, *loaded);

    std::lock_guard lock(m_state.dataLock);
    if (result == DataFile::Load::Loaded) {
        m_state.days = days;
        m_state.months = months;
        m_store.swap(loaded);
        ::fillGap(*m_store, m_state.clock.now());
    }
    return true;
}

bool Recording::close() {
    if (busy && !m_state.closing) return false;
    m_state.running = false;
    Recording* self = this;
    m_state.currentRecording.compare_exchange_strong(self, nullptr);
    // A failed save keeps the previous file; no message, and the recording still closes.
    saveDataFile();
    return true;
}

bool Recording::saveDataFile() const {
    std::vector<uint8_t> image;
    {
        std::lock_guard lock(m_state.dataLock);
        image = DataFile::encode(m_state.days, m_state.months, *m_store);
    }
    return writeFileAtomically(dataFilePath(), image);
}

// The tables one poll fills: copies, so that no shared table is written while the line is
// busy.
struct Recording::PolledTables {
    DayTable days;
    MonthTable months;
    ChannelTable live;  // number, power and state as read; names unused
};

bool Recording::recordSample() {
    busy = true;
    if (m_state.link.isOpen()) {
        PolledTables polled;
        poll(polled);
        // An exchange only writes its copy on a valid reply; what it brought is kept even when
        // a later exchange of this poll loses the link and the tick records zeros.
        const bool connected = m_state.link.isOpen();
        MeterSample sample;
        {
            std::lock_guard lock(m_state.dataLock);
            commit(polled, connected);
            if (connected) {
                record();
                m_state.lastGoodSample = m_state.clock.now();
                if (!m_state.sampleSinks.empty()) sample = meterSample();
            }
        }
        if (connected) {
            // After the lock is released: the window that handles it copies under that lock.
            if (m_state.listener) m_state.listener->onTablesChanged();
            notifySinks(&sample, true);
            busy = false;
            return true;
        }
    }

    {
        std::lock_guard lock(m_state.dataLock);
        clearLiveFields();
        record();
    }
    notifySinks(nullptr, false);
    busy = false;
    return false;
}

MeterSample Recording::meterSample() const {
    MeterSample sample;
    // The time the 24-hour store gives the sample just recorded, not the end of the poll: a
    // poll that waited out a missing reply would otherwise share a 5-second slot with the next.
    sample.time =
        int64_t{m_store->startTime} + int64_t{kSamplePeriodSeconds} * (m_store->count - 1);
    for (int k = 0; k < kChannelRecords; ++k) {
        sample.power[k] = static_cast<int32_t>(m_state.live[k].power);
        sample.state[k] = m_state.live[k].state;
        sample.names[k] = channelName(m_state.config.channels[k]);
    }
    sample.days = m_state.days;
    sample.months = m_state.months;
    return sample;
}

void Recording::notifySinks(const MeterSample* sample, bool open) {
    for (SampleSink* sink : m_state.sampleSinks) {
        if (open != m_sinksSawOpen) sink->onLinkChanged(open);
        if (sample) sink->onMeterSample(*sample);
    }
    m_sinksSawOpen = open;
}

void Recording::poll(PolledTables& polled) {
    {
        std::lock_guard lock(m_state.dataLock);
        polled.days = m_state.days;
        polled.months = m_state.months;
        polled.live = withReadings(m_state.config.channels, m_state.live);
    }
    // The exchanges take seconds; the data lock is never held across them.
    SerialLink& link = m_state.link;
    link.readHistory(polled.days.consumption, polled.months.consumption,
                     protocol::kConsumptionHistory);
    link.readHistory(polled.days.solar, polled.months.solar, protocol::kSolarHistory);
    link.readLive(polled.live);
}

void Recording::commit(const PolledTables& polled, bool connected) {
    m_state.days = polled.days;
    m_state.months = polled.months;
    if (!connected) return;
    uint32_t total = 0;  // watts of the twelve loads; spare, consumption and solar stay out
    for (int k = kFirstLoad; k <= kSolarRecord; ++k) {
        // The record number is a field of dast.cfg that every reading rewrites; the names
        // may have been edited meanwhile and stay.
        m_state.config.channels[k].number = polled.live[k].number;
        m_state.live[k] = {polled.live[k].power, polled.live[k].state};
        if (k <= kLastLoad) total += polled.live[k].power;
    }
    m_state.live[kTotalRecord].power = total;
}

void Recording::clearLiveFields() {
    for (int k = kFirstLoad; k <= kSolarRecord; ++k) m_state.live[k] = {};
    m_state.live[kTotalRecord].power = 0;
}

void Recording::record() {
    // Ring k is the history of record k's power, so a tick stores the power column as it
    // stands after the commit (or after clearLiveFields for a zero sample).
    static_assert(kRingCount == kChannelRecords);
    for (int k = 0; k < kRingCount; ++k) {
        m_store->samples[k][m_store->writeIndex] = static_cast<int32_t>(m_state.live[k].power);
    }
    advanceStore(*m_store, m_state.clock.now());
}

void Recording::exportCsv(const std::string& path) {
    // Copy under the lock, format and write without it: the worker keeps sampling meanwhile.
    auto store = std::make_unique<SampleStore>();
    DayTable days;
    MonthTable months;
    std::string consumptionName;
    std::string solarName;
    uint32_t interval;
    {
        std::lock_guard lock(m_state.dataLock);
        std::memcpy(store.get(), m_store.get(), sizeof *store);
        days = m_state.days;
        months = m_state.months;
        consumptionName = channelName(m_state.config.channels[kConsumptionRecord]);
        solarName = channelName(m_state.config.channels[kSolarRecord]);
        interval = m_state.config.exportInterval;
    }
    const std::string text =
        CsvExport::format({days, months, consumptionName, solarName, *store, interval});
    if (!CsvExport::writeFile(path, text)) {
        m_state.messages.show("Create file error!");
        return;
    }
    m_state.messages.show(kept::kDataExported + path);
}

void Recording::copyStore(SampleStore& out) const {
    std::lock_guard lock(m_state.dataLock);
    std::memcpy(&out, m_store.get(), sizeof out);
}

std::vector<int32_t> Recording::lastSamples(int ring, int n) const {
    std::vector<int32_t> series;
    if (ring < 0 || ring >= kRingCount || n <= 0) return series;
    if (n > kRingSlots) n = kRingSlots;
    series.reserve(static_cast<size_t>(n));
    std::lock_guard lock(m_state.dataLock);
    // The n slots just before writeIndex, oldest first; count is not consulted, so slots never
    // written read as zero.
    const int start = (m_store->writeIndex - n + kRingSlots) % kRingSlots;
    for (int i = 0; i < n; ++i) series.push_back(m_store->samples[ring][(start + i) % kRingSlots]);
    return series;
}
