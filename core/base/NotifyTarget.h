#pragma once

// Window messages the core posts to the real-time list, without parameters.
inline constexpr unsigned UM_DATAUPDATED = 0x401;   // WM_USER + 1: a poll succeeded
inline constexpr unsigned UM_SAMPLESTORED = 0x402;  // WM_USER + 2: a tick has been recorded

// A window that may receive posted notifications from the core's threads. The window
// side implements it with posted events; the worker only asks whether the window still
// exists and posts. Both calls are safe from any thread.
class NotifyTarget {
public:
    virtual ~NotifyTarget() = default;
    virtual bool exists() const = 0;
    virtual void post(unsigned message) = 0;
};
