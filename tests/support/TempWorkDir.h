#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

// A fresh directory made the working directory for one test, where the program keeps its
// files; the previous working directory comes back afterwards.
class TempWorkDir {
public:
    TempWorkDir() : m_previous(std::filesystem::current_path()) {
        char name[] = "/tmp/kelvo-app-XXXXXX";
        m_dir = ::mkdtemp(name);
        std::filesystem::current_path(m_dir);
    }
    ~TempWorkDir() {
        std::error_code ignored;
        std::filesystem::current_path(m_previous, ignored);
        std::filesystem::remove_all(m_dir, ignored);
    }
    const std::string& path() const { return m_dir; }
    std::string file(const std::string& name) const { return m_dir + "/" + name; }

private:
    std::filesystem::path m_previous;
    std::string m_dir;
};
