#include "ui/realtime/RealTimeDocument.h"

#include "core/acquisition/Recorder.h"

RealTimeDocument::RealTimeDocument(Recorder& recorder, std::function<void()> opened)
    : m_recorder(recorder), m_opened(std::move(opened)) {}

bool RealTimeDocument::onNewDocument() {
    m_recorder.openRecording();
    if (m_opened) m_opened();
    return true;
}

bool RealTimeDocument::onCloseDocument() { return m_recorder.closeRecording(); }
