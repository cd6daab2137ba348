#pragma once

#include <memory>

#include "store/CVornDoc.h"
#include "ui/framework/CDocument.h"

struct MonitorState;

// The real-time window kind's document: the framework side of the core's CVornDoc, which
// holds the 24-hour sample store and reads and writes dast.data.
class RealTimeDocument : public CDocument {
    Q_OBJECT
public:
    explicit RealTimeDocument(MonitorState& state);
    ~RealTimeDocument() override;  // the core document closes an open link

    bool OnNewDocument() override;    // loads dast.data and fills the offline gap
    bool OnCloseDocument() override;  // saves dast.data; refuses while a tick runs

    CVornDoc& core() { return *m_core; }

private:
    std::unique_ptr<CVornDoc> m_core;
};
