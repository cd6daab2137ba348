#include "XDisplayDriver.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

namespace {

// A window that goes away between the query and the event is not an error for a driver.
int ignoreErrors(Display*, XErrorEvent*) { return 0; }

Display* dpy(void* display) { return static_cast<Display*>(display); }

}  // namespace

XDisplayDriver::~XDisplayDriver() { close(); }

void XDisplayDriver::close() {
    if (m_display) XCloseDisplay(dpy(m_display));
    m_display = nullptr;
}

bool XDisplayDriver::open(const std::string& display) {
    XSetErrorHandler(ignoreErrors);
    m_display = XOpenDisplay(display.c_str());
    return m_display != nullptr;
}

std::string XDisplayDriver::titleOf(unsigned long window) {
    Display* d = dpy(m_display);
    // The UTF-8 title first, the old WM_NAME as a fallback.
    const Atom netName = XInternAtom(d, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    std::string title;
    if (XGetWindowProperty(d, window, netName, 0, 1024, False, utf8, &type, &format, &items, &after,
                           &data) == Success &&
        data) {
        title.assign(reinterpret_cast<char*>(data), items);
        XFree(data);
        return title;
    }
    char* name = nullptr;
    if (XFetchName(d, window, &name) && name) {
        title = name;
        XFree(name);
    }
    return title;
}

std::vector<XDisplayDriver::TopLevel> XDisplayDriver::viewableTopLevels() {
    std::vector<TopLevel> result;
    Display* d = dpy(m_display);
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count)) return result;
    for (unsigned int i = 0; i < count; ++i) {
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(d, children[i], &attributes)) continue;
        if (attributes.map_state != IsViewable || attributes.override_redirect) continue;
        result.push_back({children[i], titleOf(children[i])});
    }
    if (children) XFree(children);
    return result;
}

void XDisplayDriver::pressReturn(unsigned long window) {
    Display* d = dpy(m_display);
    XKeyEvent key{};
    key.display = d;
    key.window = window;
    key.root = DefaultRootWindow(d);
    key.subwindow = None;
    key.time = CurrentTime;
    key.x = key.y = key.x_root = key.y_root = 1;
    key.same_screen = True;
    key.keycode = XKeysymToKeycode(d, XK_Return);
    key.type = KeyPress;
    XSendEvent(d, window, True, KeyPressMask, reinterpret_cast<XEvent*>(&key));
    key.type = KeyRelease;
    XSendEvent(d, window, True, KeyReleaseMask, reinterpret_cast<XEvent*>(&key));
    XFlush(d);
}

void XDisplayDriver::requestClose(unsigned long window) {
    Display* d = dpy(m_display);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(d, window, False, NoEventMask, &event);
    XFlush(d);
}
