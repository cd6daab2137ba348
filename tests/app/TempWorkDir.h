#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

// A fresh temporary directory made the working directory for one test, where the program
// keeps its files; the previous working directory comes back afterwards.
class TempWorkDir {
public:
    TempWorkDir() {
        char tmpl[] = "/tmp/kelvo-app-XXXXXX";
        m_dir = ::mkdtemp(tmpl);
        m_previous = std::filesystem::current_path();
        std::filesystem::current_path(m_dir);
    }
    ~TempWorkDir() {
        std::error_code ec;
        std::filesystem::current_path(m_previous, ec);
        std::filesystem::remove_all(m_dir, ec);
    }
    const std::string& path() const { return m_dir; }
    std::string file(const std::string& name) const { return m_dir + "/" + name; }

private:
    std::string m_dir;
    std::filesystem::path m_previous;
};
