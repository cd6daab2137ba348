#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "core/acquisition/RecorderListener.h"
#include "core/store/ChannelRecord.h"
#include "ui/framework/Document.h"

class Recorder;

// The real-time window kind's document: the window side of the recorder's recording. Opening
// it opens the recording (dast.data loaded, the offline gap filled), closing it closes the
// recording (dast.data written), as the real-time window has always done.
class RealTimeDocument : public Document {
    Q_OBJECT
public:
    // opened: what the shell does once the recording is open (it connects); may be empty.
    explicit RealTimeDocument(Recorder& recorder, std::function<void()> opened = {});

    bool onNewDocument() override;    // opens the recording, then `opened`
    bool onCloseDocument() override;  // false while a tick runs: the close is ignored

    Recorder& recorder() const { return m_recorder; }

    // The channel the chart shows: kAllChannels, 0 Total, 1..12, 14, 15.
    uint16_t selectedChannel() const { return m_selectedChannel; }
    void selectChannel(uint16_t channel) { m_selectedChannel = channel; }

    // The shell hands each recorded sample to the document, whose list takes it in.
    void showSample(SampleOrigin origin) { emit sampleRecorded(origin); }

signals:
    void sampleRecorded(SampleOrigin origin);

private:
    Recorder& m_recorder;
    std::function<void()> m_opened;
    uint16_t m_selectedChannel = kAllChannels;
};
