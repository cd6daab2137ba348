#pragma once

#include <string>

#include "core/base/CrashSafeFile.h"
#include "core/base/FilePath.h"

// Section [archive] of kelvo.ini, as plain values.
struct ArchiveSettings {
    bool enabled = true;
    std::string file = "kelvo-archive.sqlite";  // relative names are in the working directory
    int keepDays = 0;                           // 0 keeps everything

    // The file: absolute as given, otherwise in `workingDirectory`.
    std::string path(const std::string& workingDirectory) const {
        if (!file.empty() && file[0] == '/') return file;
        return pathInDirectory(workingDirectory, file);
    }
};
