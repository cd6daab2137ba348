#pragma once

#include <string>

// Section [mqtt] of kelvo.ini, as plain values.
struct PublishSettings {
    bool enabled = false;
    std::string host = "localhost";
    int port = 1883;
    std::string username;
    std::string password;
    bool tls = false;         // TLS even without a CA file of our own: the system's trust store
    std::string tlsCaFile;    // a CA certificate file; set, it turns TLS on
    std::string tlsCertFile;  // client certificate and its key, for brokers that ask for one
    std::string tlsKeyFile;
    std::string prefix = "kelvo";
    // The base of every discovery unique_id and of the device's identifier: chosen once and
    // kept in kelvo.ini, so that editing the prefix never turns the entities into new ones.
    std::string nodeId = "kelvo";
    bool discovery = true;
    std::string discoveryPrefix = "homeassistant";
    bool allowSwitching = false;

    bool usesTls() const { return tls || !tlsCaFile.empty(); }
};
