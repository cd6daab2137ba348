#pragma once

#include <string>
#include <vector>

// Drives the windows of a program on an X server as a user would: finds its top-level
// windows, presses Return in a dialog and clicks a window's close box (WM_DELETE_WINDOW).
// Events go through XSendEvent, so neither a window manager nor the XTEST extension is
// needed.
class XDisplayDriver {
public:
    ~XDisplayDriver();
    bool open(const std::string& display);  // ":N"
    // Before the server goes away: Xlib ends the whole process when a connection breaks.
    void close();

    struct TopLevel {
        unsigned long id;
        std::string title;
    };
    // Mapped, viewable children of the root window, bottom first.
    std::vector<TopLevel> viewableTopLevels();

    void pressReturn(unsigned long window);
    void requestClose(unsigned long window);

private:
    std::string titleOf(unsigned long window);
    void* m_display = nullptr;  // Display*
};
