#include "ui/framework/RealTimeDocument.h"

#include "device/SamplingCycle.h"

RealTimeDocument::RealTimeDocument(MonitorState& state, SamplingCycle* cycle)
    : m_core(std::make_unique<CVornDoc>(state)), m_cycle(cycle) {}

RealTimeDocument::~RealTimeDocument() {
    if (m_cycle) m_cycle->releaseDocument(m_core.get());
}

bool RealTimeDocument::OnNewDocument() { return m_core->OnNewDocument(); }

bool RealTimeDocument::OnCloseDocument() { return m_core->OnCloseDocument(); }
