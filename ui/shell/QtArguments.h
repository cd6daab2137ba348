#pragma once

// The command line handed to QApplication: the program's name alone. Kelvo takes no
// arguments, and Qt's own options (-reverse, -style, -stylesheet, -qwindowgeometry, ...)
// must not act either; what the environment sets (QT_QPA_PLATFORM, DISPLAY) still does.
// QApplication keeps references to both, so this object must outlive it.
class QtArguments {
public:
    // argv as main received it; its first entry, when there is one, names the program.
    explicit QtArguments(char** argv) : m_argv{argv && argv[0] ? argv[0] : m_name, nullptr} {}
    QtArguments(const QtArguments&) = delete;
    QtArguments& operator=(const QtArguments&) = delete;

    int& argc() { return m_argc; }
    char** argv() { return m_argv; }

private:
    char m_name[6] = "kelvo";
    int m_argc = 1;
    char* m_argv[2];
};
