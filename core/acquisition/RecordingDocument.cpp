#include "core/acquisition/RecordingDocument.h"

#include <cstring>

#include "core/base/Clock.h"
#include "core/base/MessageSink.h"
#include "core/acquisition/MonitorState.h"
#include "core/base/CrashSafeFile.h"
#include "core/store/CsvExport.h"
#include "core/store/DataFile.h"
#include "core/store/SampleRing.h"

namespace {

std::string recordName(const ChannelRecord& record) {
    return std::string(record.name, strnlen(record.name, sizeof record.name));
}

}  // namespace

RecordingDocument::RecordingDocument(MonitorState& state) : m_state(state), m_store(std::make_unique<SampleStore>()) {
    resetStore(*m_store, state.clock.now());
}

RecordingDocument::~RecordingDocument() {
    RecordingDocument* self = this;
    m_state.currentDoc.compare_exchange_strong(self, nullptr);
    if (m_state.link.isOpen()) m_state.link.closeLink();
}

std::string RecordingDocument::dataFilePath() const { return pathInDir(m_state.config.appDir, "dast.data"); }

bool RecordingDocument::onNewDocument() {
    m_state.running = true;
    m_state.currentDoc = this;
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

bool RecordingDocument::onCloseDocument() {
    if (busy && !m_state.closing) return false;
    m_state.running = false;
    RecordingDocument* self = this;
    m_state.currentDoc.compare_exchange_strong(self, nullptr);
    // A failed save keeps the previous file; no message, and the document still closes.
    saveDataFile();
    return true;
}

bool RecordingDocument::saveDataFile() const {
    std::vector<uint8_t> image;
    {
        std::lock_guard lock(m_state.dataLock);
        image = DataFile::encode(m_state.days, m_state.months, *m_store);
    }
    return writeFileAtomically(dataFilePath(), image);
}

void RecordingDocument::recordSample() {
    busy = true;
    SerialLink& link = m_state.link;

    if (link.isOpen()) {
        // The exchanges take seconds: they fill copies, committed below under the lock.
        DayTable days;
        MonthTable months;
        LiveReading live;
        {
            std::lock_guard lock(m_state.dataLock);
            days = m_state.days;
            months = m_state.months;
            live = m_state.config.channels;
        }
        link.readHistory(days.consumption, months.consumption, 1);
        link.readHistory(days.solar, months.solar, 14);
        link.readLive(live);

        // An exchange only writes its copy on a valid reply; what it brought is kept even when
        // a later exchange of this poll loses the link and the tick records zeros.
        const bool connected = link.isOpen();
        std::shared_ptr<NotifyTarget> listWindow;
        {
            std::lock_guard lock(m_state.dataLock);
            m_state.days = days;
            m_state.months = months;
            if (connected) {
                LiveReading& table = m_state.config.channels;
                uint32_t total = 0;
                for (int k = kFirstLoad; k <= kSolarRecord; ++k) {
                    // Names may have been edited meanwhile: only the live fields come back.
                    table[k].number = live[k].number;
                    table[k].power = live[k].power;
                    table[k].state = live[k].state;
                    m_store->samples[k][m_store->writeIndex] = static_cast<int32_t>(live[k].power);
                    if (k <= kLastLoad) total += live[k].power;
                }
                table[kTotalRecord].power = total;
                m_store->samples[kTotalRecord][m_store->writeIndex] = static_cast<int32_t>(total);
                advanceStore(*m_store, m_state.clock.now());
                listWindow = m_state.listWindow;
            }
        }
        if (connected) {
            if (listWindow) listWindow->post(UM_DATAUPDATED);
            busy = false;
            return;
        }
    }

    {
        std::lock_guard lock(m_state.dataLock);
        LiveReading& table = m_state.config.channels;
        for (int k = kFirstLoad; k <= kSolarRecord; ++k) {
            table[k].power = 0;
            table[k].state = 0;
        }
        table[kTotalRecord].power = 0;
        for (auto& ring : m_store->samples) ring[m_store->writeIndex] = 0;
        advanceStore(*m_store, m_state.clock.now());
    }
    busy = false;
}

void RecordingDocument::fillGap() {
    std::lock_guard lock(m_state.dataLock);
    ::fillGap(*m_store, m_state.clock.now());
}

void RecordingDocument::exportCsv(const std::string& path) {
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
        consumptionName = recordName(m_state.config.channels[kConsumptionRecord]);
        solarName = recordName(m_state.config.channels[kSolarRecord]);
        interval = m_state.config.exportInterval;
    }
    const std::string text =
        CsvExport::format({days, months, consumptionName, solarName, *store, interval});
    if (!CsvExport::writeFile(path, text)) {
        m_state.messages.show("Create file error!");
        return;
    }
    m_state.messages.show("Real time data already export to file:" + path);
}

void RecordingDocument::copyStore(SampleStore& out) const {
    std::lock_guard lock(m_state.dataLock);
    std::memcpy(&out, m_store.get(), sizeof out);
}

std::vector<int32_t> RecordingDocument::lastSamples(int ring, int n) const {
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
