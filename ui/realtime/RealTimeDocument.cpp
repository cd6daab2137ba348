#include "ui/realtime/RealTimeDocument.h"

#include "core/acquisition/SamplingCycle.h"

RealTimeDocument::RealTimeDocument(MonitorState& state, SamplingCycle* cycle)
    : m_recording(std::make_unique<RecordingDocument>(state)), m_cycle(cycle) {}

RealTimeDocument::~RealTimeDocument() {
    if (m_cycle) m_cycle->releaseDocument(m_recording.get());
}

bool RealTimeDocument::OnNewDocument() { return m_recording->OnNewDocument(); }

bool RealTimeDocument::OnCloseDocument() { return m_recording->OnCloseDocument(); }
