#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Drives the windows of a program on an X server as a user would: finds its top-level
// windows, presses keys, clicks at a point of a window and asks the window manager's close
// (WM_DELETE_WINDOW). Events go through XSendEvent, so neither a window manager nor the XTEST
// extension is needed.
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

    // The key named as X names it ("Return", "F4", "p"), pressed and released while these
    // modifiers are held.
    enum Modifier : unsigned { kShift = 1u << 0, kControl = 1u << 2, kAlt = 1u << 3 };
    void pressKey(unsigned long window, const char* keyName, unsigned modifiers = 0);
    void pressReturn(unsigned long window);
    // Gives the window the keyboard, as a window manager does when the user clicks into it;
    // a program's window shortcuts answer only in its active window.
    void focus(unsigned long window);
    // The left button pressed and released at (x, y) within the window.
    void click(unsigned long window, int x, int y);
    void requestClose(unsigned long window);

    struct Size {
        int width = 0;
        int height = 0;
    };
    Size sizeOf(unsigned long window);
    // The text of a top-level window's _NET_WM_NAME; nullopt when it has none.
    std::optional<std::string> netWmName(unsigned long window);
    // The window's pixels as 0xRRGGBB, row by row; empty when they cannot be read.
    std::vector<uint32_t> capture(unsigned long window, Size& size);

private:
    std::string titleOf(unsigned long window);
    void* m_display = nullptr;  // Display*
};
