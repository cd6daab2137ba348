#pragma once

#include <string>

// Section [archive] of kelvo.ini, as plain values.
struct ArchiveSettings {
    bool enabled = true;
    std::string file = "kelvo-archive.sqlite";  // relative names are in the working directory
    int keepDays = 0;                           // 0 keeps everything
};
