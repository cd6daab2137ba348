#include "ui/framework/RealTimeDocument.h"

RealTimeDocument::RealTimeDocument(MonitorState& state)
    : m_core(std::make_unique<CVornDoc>(state)) {}

RealTimeDocument::~RealTimeDocument() = default;

bool RealTimeDocument::OnNewDocument() { return m_core->OnNewDocument(); }

bool RealTimeDocument::OnCloseDocument() { return m_core->OnCloseDocument(); }
