#pragma once

// Section [link] of kelvo.ini, as plain values.
struct LinkSettings {
    bool reconnect = true;  // try the link again in the background after it was lost
};
