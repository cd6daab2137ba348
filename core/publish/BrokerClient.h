#pragma once

#include <chrono>
#include <string>

#include "core/publish/PublishSettings.h"

struct mosquitto;

// Seconds between the keep-alive pings a client sends while nothing else goes out.
constexpr int kBrokerKeepAliveSeconds = 30;

// "host:port", as the status texts name the broker.
std::string brokerAddress(const PublishSettings& settings);

// A client with the settings' credentials and TLS (certificate and host name always
// verified), handing `owner` to its callbacks; null with the reason in `error`.
mosquitto* newBrokerClient(const PublishSettings& settings, void* owner, std::string& error);

// One connection attempt with `settings`, for the settings dialog's Test Connection: true
// with "Connected to host:port", or false with the broker's or the network's reason.
bool checkBrokerConnection(const PublishSettings& settings, std::string& result,
                           std::chrono::milliseconds timeout = std::chrono::seconds(5));
