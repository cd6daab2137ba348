#include "ui/realtime/RealTimeDocument.h"

#include "core/acquisition/SamplingCycle.h"

RealTimeDocument::RealTimeDocument(MonitorState& state, SamplingCycle* cycle)
    : m_recording(std::make_unique<RecordingDocument>(state)), m_cycle(cycle) {}

RealTimeDocument::~RealTimeDocument() {
    if (m_cycle) m_cycle->releaseDocument(m_recording.get());
}

bool RealTimeDocument::onNewDocument() { return m_recording->onNewDocument(); }

bool RealTimeDocument::onCloseDocument() { return m_recording->onCloseDocument(); }
