#pragma once

#include <QString>

#include "core/acquisition/LinkSettings.h"
#include "core/archive/ArchiveSettings.h"
#include "core/publish/PublishSettings.h"

// kelvo.ini in the working directory (INI format): the settings of the link, the archive and
// publishing, read here and handed to the core as plain values. dast.cfg is not touched.
struct KelvoIni {
    LinkSettings link;
    ArchiveSettings archive;
    PublishSettings mqtt;
    // The node id was chosen while loading (the file had none): it is kept from then on, so it
    // belongs in the file at once.
    bool nodeIdChosen = false;
};

// Missing file, section or key: its default. Values out of range fall back to the default.
KelvoIni loadKelvoIni(const QString& path);
// Writes every key. The file only ever exists with mode 0600: it may hold a password.
// False when it could not be written.
bool saveKelvoIni(const QString& path, const KelvoIni& settings);
