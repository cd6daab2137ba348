#pragma once

// What a tick recorded, as far as the live readings go.
enum class SampleOrigin {
    Meter,     // a poll of the meter: new readings
    LinkLost,  // the meter's link was lost during the poll: the readings are now zero
    NoLink,    // nothing new: the link was closed already, or the user disconnected mid-poll
};

// What the recorder tells its observers (the windows, through the shell's signals). Calls
// come on the recorder's threads, never with a lock of the recorder held; each must return
// at once (a slow listener would delay the next poll), so a window queues the call to its
// own thread and reads what it needs there through the recorder's snapshots.
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
