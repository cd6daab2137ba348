#pragma once

#include <string>

// A file of the working directory: the directory and the name joined with one '/'; an empty
// directory means the process's current one (the name alone).
inline std::string pathInDirectory(const std::string& directory, const std::string& name) {
    if (directory.empty()) return name;
    if (directory.back() == '/') return directory + name;
    return directory + "/" + name;
}
