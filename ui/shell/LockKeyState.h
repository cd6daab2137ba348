#pragma once

// The keyboard's lock indicators, for the status bar's CAPS, NUM and SCRL panes. All off
// where the windowing system cannot tell (no X server, offscreen).
struct LockKeyState {
    bool caps = false;
    bool num = false;
    bool scroll = false;
};

LockKeyState readLockKeyState();
