#pragma once

#include <QObject>

#include "core/acquisition/RecorderListener.h"

// The recorder's listener as Qt signals. The recorder calls from its own threads; the
// signals reach receivers on the GUI thread queued, so no window ever runs on a core thread.
class RecorderSignals : public QObject, public RecorderListener {
    Q_OBJECT
public:
    using QObject::QObject;

    void onSampleRecorded(SampleOrigin origin) override { emit sampleRecorded(origin); }
    void onTablesChanged() override { emit tablesChanged(); }
    void onLinkChanged() override { emit linkChanged(); }

signals:
    void sampleRecorded(SampleOrigin origin);
    void tablesChanged();
    void linkChanged();
};
