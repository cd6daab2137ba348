#pragma once

#include <memory>

#include "core/acquisition/RecordingDocument.h"
#include "ui/framework/Document.h"

class SamplingCycle;
struct MonitorState;

// The real-time window kind's document: the window side of the core's RecordingDocument, which
// holds the 24-hour sample store and reads and writes dast.data.
class RealTimeDocument : public Document {
    Q_OBJECT
public:
    // cycle: the sampling cycle that may be ticking on this document (null in tests that
    // run none).
    explicit RealTimeDocument(MonitorState& state, SamplingCycle* cycle = nullptr);
    // Waits for a tick still running on the core document and keeps later ticks off it
    // before it goes; the core document closes an open link.
    ~RealTimeDocument() override;

    bool onNewDocument() override;    // loads dast.data and fills the offline gap
    bool onCloseDocument() override;  // saves dast.data; refuses while a tick runs

    RecordingDocument& recording() { return *m_recording; }
    // The cycle that records into this document; null where none runs.
    SamplingCycle* cycle() const { return m_cycle; }

private:
    std::unique_ptr<RecordingDocument> m_recording;
    SamplingCycle* m_cycle;
};
