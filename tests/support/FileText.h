#pragma once

#include <fstream>
#include <iterator>
#include <string>

// A file's bytes as a string ("" when it cannot be read), and a file made of `text`.
inline std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeFileText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}
