#include "ui/shell/KelvoIni.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QSettings>
#include <cstdio>
#include <random>

#include "core/publish/PublishPayloads.h"

namespace {

std::string text(const QSettings& ini, const char* key, const std::string& fallback) {
    return ini.value(QLatin1String(key), QString::fromStdString(fallback)).toString().toStdString();
}

bool flag(const QSettings& ini, const char* key, bool fallback) {
    const QString value = ini.value(QLatin1String(key)).toString().trimmed().toLower();
    if (value == QLatin1String("true") || value == QLatin1String("1")) return true;
    if (value == QLatin1String("false") || value == QLatin1String("0")) return false;
    return fallback;
}

int number(const QSettings& ini, const char* key, int fallback, int lowest, int highest) {
    bool ok = false;
    const int value = ini.value(QLatin1String(key)).toString().trimmed().toInt(&ok);
    return ok && value >= lowest && value <= highest ? value : fallback;
}

QString qtext(const std::string& value) { return QString::fromStdString(value); }

// "kelvo_" and six random hex digits: two Kelvos on one broker never share entities.
std::string newNodeId() {
    std::random_device random;
    char id[16];
    std::snprintf(id, sizeof id, "kelvo_%06x", static_cast<unsigned>(random() & 0xffffff));
    return id;
}

}  // namespace

KelvoIni loadKelvoIni(const QString& path) {
    KelvoIni settings;
    if (!QFile::exists(path)) {
        settings.mqtt.nodeId = newNodeId();
        settings.nodeIdChosen = true;
        return settings;
    }
    const QSettings ini(path, QSettings::IniFormat);
    const KelvoIni defaults;

    settings.link.reconnect = flag(ini, "link/reconnect", defaults.link.reconnect);

    ArchiveSettings& archive = settings.archive;
    archive.enabled = flag(ini, "archive/enabled", defaults.archive.enabled);
    archive.file = text(ini, "archive/file", defaults.archive.file);
    if (archive.file.empty()) archive.file = defaults.archive.file;
    archive.keepDays = number(ini, "archive/keep_days", defaults.archive.keepDays, 0, 1000000);

    PublishSettings& mqtt = settings.mqtt;
    const PublishSettings& standard = defaults.mqtt;
    mqtt.enabled = flag(ini, "mqtt/enabled", standard.enabled);
    mqtt.host = text(ini, "mqtt/host", standard.host);
    mqtt.port = number(ini, "mqtt/port", standard.port, 1, 65535);
    mqtt.username = text(ini, "mqtt/username", standard.username);
    mqtt.password = text(ini, "mqtt/password", standard.password);
    mqtt.tls = flag(ini, "mqtt/tls", standard.tls);
    mqtt.tlsCaFile = text(ini, "mqtt/tls_ca_file", standard.tlsCaFile);
    mqtt.tlsCertFile = text(ini, "mqtt/tls_cert_file", standard.tlsCertFile);
    mqtt.tlsKeyFile = text(ini, "mqtt/tls_key_file", standard.tlsKeyFile);
    mqtt.prefix = text(ini, "mqtt/prefix", standard.prefix);
    if (mqtt.prefix.empty()) mqtt.prefix = standard.prefix;
    // A file from before node ids were kept: the id its prefix gave, so the entities a home
    // automation already knows stay the same ones.
    if (ini.contains(QStringLiteral("mqtt/node_id"))) {
        mqtt.nodeId = publish::nodeId(text(ini, "mqtt/node_id", mqtt.nodeId));
    } else {
        mqtt.nodeId = ini.contains(QStringLiteral("mqtt/prefix")) ? publish::nodeId(mqtt.prefix)
                                                                  : newNodeId();
        settings.nodeIdChosen = true;
    }
    mqtt.discovery = flag(ini, "mqtt/discovery", standard.discovery);
    mqtt.discoveryPrefix = text(ini, "mqtt/discovery_prefix", standard.discoveryPrefix);
    if (mqtt.discoveryPrefix.empty()) mqtt.discoveryPrefix = standard.discoveryPrefix;
    mqtt.allowSwitching = flag(ini, "mqtt/allow_switching", standard.allowSwitching);
    return settings;
}

bool saveKelvoIni(const QString& path, const KelvoIni& settings) {
    // Created owner-only before anything is written; the settings object then replaces it
    // through a temporary file that takes over these permissions.
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    const bool ownerOnly = ::fchmod(fd, 0600) == 0;
    ::close(fd);
    if (!ownerOnly) return false;

    QSettings ini(path, QSettings::IniFormat);
    ini.setValue(QStringLiteral("link/reconnect"), settings.link.reconnect);

    const ArchiveSettings& archive = settings.archive;
    ini.setValue(QStringLiteral("archive/enabled"), archive.enabled);
    ini.setValue(QStringLiteral("archive/file"), qtext(archive.file));
    ini.setValue(QStringLiteral("archive/keep_days"), archive.keepDays);

    const PublishSettings& mqtt = settings.mqtt;
    ini.setValue(QStringLiteral("mqtt/enabled"), mqtt.enabled);
    ini.setValue(QStringLiteral("mqtt/host"), qtext(mqtt.host));
    ini.setValue(QStringLiteral("mqtt/port"), mqtt.port);
    ini.setValue(QStringLiteral("mqtt/username"), qtext(mqtt.username));
    ini.setValue(QStringLiteral("mqtt/password"), qtext(mqtt.password));
    ini.setValue(QStringLiteral("mqtt/tls"), mqtt.tls);
    ini.setValue(QStringLiteral("mqtt/tls_ca_file"), qtext(mqtt.tlsCaFile));
    ini.setValue(QStringLiteral("mqtt/tls_cert_file"), qtext(mqtt.tlsCertFile));
    ini.setValue(QStringLiteral("mqtt/tls_key_file"), qtext(mqtt.tlsKeyFile));
    ini.setValue(QStringLiteral("mqtt/prefix"), qtext(mqtt.prefix));
    ini.setValue(QStringLiteral("mqtt/node_id"), qtext(mqtt.nodeId));
    ini.setValue(QStringLiteral("mqtt/discovery"), mqtt.discovery);
    ini.setValue(QStringLiteral("mqtt/discovery_prefix"), qtext(mqtt.discoveryPrefix));
    ini.setValue(QStringLiteral("mqtt/allow_switching"), mqtt.allowSwitching);
    ini.sync();
    if (ini.status() != QSettings::NoError) return false;
    return QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
}
