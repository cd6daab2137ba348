#pragma once

#include <string>

#include "core/acquisition/LinkSettings.h"
#include "core/archive/ArchiveSettings.h"
#include "core/publish/PublishSettings.h"

// kelvo.ini in the working directory (INI format, as Qt's QSettings writes it): the settings of
// the link, the archive and publishing, read here and handed to the core as plain values, by
// the desktop program and the headless recorder alike. dast.cfg is not touched.
struct KelvoIni {
    LinkSettings link;
    ArchiveSettings archive;
    PublishSettings mqtt;
    // The node id was chosen while loading (the file had none): it is kept from then on, so it
    // belongs in the file at once.
    bool nodeIdChosen = false;
};

// Missing or unreadable file, section or key: its default. Values out of range fall back to
// the default.
KelvoIni loadKelvoIni(const std::string& path);
// Writes every key, and keeps the keys and sections of the file Kelvo does not know. The file
// is replaced whole, crash-safe, and only ever exists with mode 0600: it may hold a password.
// False when it could not be written (or an existing file could not be read).
bool saveKelvoIni(const std::string& path, const KelvoIni& settings);
