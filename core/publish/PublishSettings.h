#pragma once

#include <string>

// Section [mqtt] of kelvo.ini, as plain values.
struct PublishSettings {
    bool enabled = false;
    std::string host = "localhost";
    int port = 1883;
    std::string username;
    std::string password;
    std::string tlsCaFile;  // empty: no TLS
    std::string prefix = "kelvo";
    bool discovery = true;
    std::string discoveryPrefix = "homeassistant";
    bool allowSwitching = false;
};
