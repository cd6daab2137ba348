#include "core/publish/BrokerClient.h"

#include <mosquitto.h>

#include <cerrno>
#include <cstring>
#include <mutex>

#include "core/publish/PublishPayloads.h"

namespace {

using Steady = std::chrono::steady_clock;

constexpr const char* kSystemTrustStore = "/etc/ssl/certs";

void initLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

// The reason a client cannot be made with these settings, before any network traffic.
std::string settingsProblem(const PublishSettings& settings) {
    for (const auto& [what, prefix] : {std::pair{"topic prefix", &settings.prefix},
                                       {"discovery prefix", &settings.discoveryPrefix}}) {
        const std::string problem = publish::topicPrefixProblem(*prefix);
        if (!problem.empty()) return std::string(what) + " \"" + *prefix + "\" refused: " + problem;
    }
    if (settings.tlsCertFile.empty() != settings.tlsKeyFile.empty())
        return "a TLS client certificate needs its key file, and a key its certificate";
    return "";
}

}  // namespace

std::string brokerAddress(const PublishSettings& settings) {
    return settings.host + ":" + std::to_string(settings.port);
}

mosquitto* newBrokerClient(const PublishSettings& settings, void* owner, std::string& error) {
    initLibrary();
    error = settingsProblem(settings);
    if (!error.empty()) return nullptr;
    mosquitto* client = mosquitto_new(nullptr, true, owner);
    if (!client) {
        error = "out of memory";
        return nullptr;
    }
    int rc = MOSQ_ERR_SUCCESS;
    if (!settings.username.empty())
        rc = mosquitto_username_pw_set(
            client, settings.username.c_str(),
            settings.password.empty() ? nullptr : settings.password.c_str());
    if (rc == MOSQ_ERR_SUCCESS && settings.usesTls()) {
        auto orNull = [](const std::string& path) { return path.empty() ? nullptr : path.c_str(); };
        rc = mosquitto_tls_set(client, orNull(settings.tlsCaFile),
                               settings.tlsCaFile.empty() ? kSystemTrustStore : nullptr,
                               orNull(settings.tlsCertFile), orNull(settings.tlsKeyFile), nullptr);
        if (rc == MOSQ_ERR_INVAL) {
            error = "a TLS file cannot be read (CA certificate, client certificate or key)";
            mosquitto_destroy(client);
            return nullptr;
        }
        if (rc == MOSQ_ERR_SUCCESS) rc = mosquitto_tls_opts_set(client, 1, nullptr, nullptr);
        if (rc == MOSQ_ERR_SUCCESS) rc = mosquitto_tls_insecure_set(client, false);
    }
    if (rc != MOSQ_ERR_SUCCESS) {
        error = mosquitto_strerror(rc);
        mosquitto_destroy(client);
        return nullptr;
    }
    return client;
}

bool checkBrokerConnection(const PublishSettings& settings, std::string& result,
                           std::chrono::milliseconds timeout) {
    struct Outcome {
        int rc = -1;
        std::string error;  // the library's own words, for TLS failures
    } outcome;
    std::string error;
    mosquitto* client = newBrokerClient(settings, &outcome, error);
    if (!client) {
        result = error;
        return false;
    }
    mosquitto_connect_callback_set(
        client, [](mosquitto*, void* owner, int rc) { static_cast<Outcome*>(owner)->rc = rc; });
    mosquitto_log_callback_set(client, [](mosquitto*, void* owner, int level, const char* text) {
        if (level == MOSQ_LOG_ERR && text) static_cast<Outcome*>(owner)->error = text;
    });
    // Asynchronous: the TCP connect does not block, so a host that never answers (a firewall
    // dropping the packets) is bounded by `timeout` too, not by the system's connect timeout.
    int rc = mosquitto_connect_async(client, settings.host.c_str(), settings.port,
                                     kBrokerKeepAliveSeconds);
    const auto deadline = Steady::now() + timeout;
    while (rc == MOSQ_ERR_SUCCESS && outcome.rc < 0 && Steady::now() < deadline)
        rc = mosquitto_loop(client, 100, 1);
    bool ok = false;
    if (outcome.rc > 0) {  // the broker's own answer, before the error the refusal causes
        result = mosquitto_connack_string(outcome.rc);
    } else if (rc != MOSQ_ERR_SUCCESS) {
        result = rc == MOSQ_ERR_ERRNO ? std::strerror(errno) : mosquitto_strerror(rc);
        if (!outcome.error.empty()) result += ": " + outcome.error;
    } else if (outcome.rc < 0) {
        result = "No answer from " + brokerAddress(settings);
    } else {
        result = "Connected to " + brokerAddress(settings);
        ok = true;
        mosquitto_disconnect(client);
    }
    mosquitto_destroy(client);
    return ok;
}
