#pragma once

// What a tick recorded, as far as the live readings go.
enum class SampleOrigin {
    Meter,     // a poll of the meter: new readings
    LinkLost,  // the meter's link was lost during the poll: the readings are now zero
    NoLink,    // nothing new: the link was closed already, or the user disconnected mid-poll
};

// What the recorder tells its observer (the windows through the shell's signals, or the
// headless program's log). The recorder calls it on one thread of its own, in order, never
// with a lock of the recorder held, so a slow observer delays only its own later calls; the
// observer reads what it needs through the recorder's snapshots.
class RecorderListener {
public:
    virtual ~RecorderListener() = default;
    // A tick stored one slot of the 24-hour store.
    virtual void onSampleRecorded(SampleOrigin origin) = 0;
    // A poll read the meter: energy tables and live readings are new.
    virtual void onTablesChanged() = 0;
    // The link opened or closed, a probe began or ended, or the next reconnect attempt moved.
    virtual void onLinkChanged() = 0;
};
