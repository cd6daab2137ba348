#pragma once

#include <memory>

#include "store/CVornDoc.h"
#include "ui/framework/CDocument.h"

class SamplingCycle;
struct MonitorState;

// The real-time window kind's document: the framework side of the core's CVornDoc, which
// holds the 24-hour sample store and reads and writes dast.data.
class RealTimeDocument : public CDocument {
    Q_OBJECT
public:
    // cycle: the sampling cycle that may be ticking on this document (null in tests that
    // run none).
    explicit RealTimeDocument(MonitorState& state, SamplingCycle* cycle = nullptr);
    // Waits for a tick still running on the core document and keeps later ticks off it
    // before it goes; the core document closes an open link.
    ~RealTimeDocument() override;

    bool OnNewDocument() override;    // loads dast.data and fills the offline gap
    bool OnCloseDocument() override;  // saves dast.data; refuses while a tick runs

    CVornDoc& core() { return *m_core; }

private:
    std::unique_ptr<CVornDoc> m_core;
    SamplingCycle* m_cycle;
};
