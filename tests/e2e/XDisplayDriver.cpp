#include "XDisplayDriver.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

static_assert(XDisplayDriver::kShift == ShiftMask && XDisplayDriver::kControl == ControlMask &&
              XDisplayDriver::kAlt == Mod1Mask);

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

std::optional<std::string> XDisplayDriver::netWmName(unsigned long window) {
    Display* d = dpy(m_display);
    const Atom netName = XInternAtom(d, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, window, netName, 0, 1024, False, utf8, &type, &format, &items, &after,
                           &data) != Success ||
        type == None)
        return std::nullopt;
    std::string name;
    if (data) {
        name.assign(reinterpret_cast<char*>(data), items);
        XFree(data);
    }
    return name;
}

std::string XDisplayDriver::titleOf(unsigned long window) {
    // The UTF-8 title first, the old WM_NAME as a fallback.
    if (std::optional<std::string> name = netWmName(window)) return *name;
    std::string title;
    char* name = nullptr;
    if (XFetchName(dpy(m_display), window, &name) && name) {
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

void XDisplayDriver::pressKey(unsigned long window, const char* keyName, unsigned modifiers) {
    Display* d = dpy(m_display);
    XKeyEvent key{};
    key.display = d;
    key.window = window;
    key.root = DefaultRootWindow(d);
    key.subwindow = None;
    key.time = CurrentTime;
    key.x = key.y = key.x_root = key.y_root = 1;
    key.same_screen = True;
    key.state = modifiers;
    key.keycode = XKeysymToKeycode(d, XStringToKeysym(keyName));
    key.type = KeyPress;
    XSendEvent(d, window, True, KeyPressMask, reinterpret_cast<XEvent*>(&key));
    key.type = KeyRelease;
    XSendEvent(d, window, True, KeyReleaseMask, reinterpret_cast<XEvent*>(&key));
    XFlush(d);
}

void XDisplayDriver::focus(unsigned long window) {
    XSetInputFocus(dpy(m_display), window, RevertToParent, CurrentTime);
    XFlush(dpy(m_display));
}

void XDisplayDriver::pressReturn(unsigned long window) { pressKey(window, "Return"); }

namespace {

// A pointer event at (x, y) of `window`; motion and button events share these fields.
template <typename Event>
Event pointerEvent(Display* d, Window window, int x, int y, int rootX, int rootY) {
    Event event{};
    event.display = d;
    event.window = window;
    event.root = DefaultRootWindow(d);
    event.time = CurrentTime;
    event.x = x;
    event.y = y;
    event.x_root = rootX;
    event.y_root = rootY;
    event.same_screen = True;
    return event;
}

}  // namespace

void XDisplayDriver::click(unsigned long window, int x, int y) {
    Display* d = dpy(m_display);
    int rootX = 0, rootY = 0;
    Window child = None;
    XTranslateCoordinates(d, window, DefaultRootWindow(d), x, y, &rootX, &rootY, &child);
    // The pointer moves there first: a button reacts to a press only while it is hovered.
    auto motion = pointerEvent<XMotionEvent>(d, window, x, y, rootX, rootY);
    motion.type = MotionNotify;
    XSendEvent(d, window, True, PointerMotionMask, reinterpret_cast<XEvent*>(&motion));
    auto button = pointerEvent<XButtonEvent>(d, window, x, y, rootX, rootY);
    button.button = Button1;
    button.type = ButtonPress;
    XSendEvent(d, window, True, ButtonPressMask, reinterpret_cast<XEvent*>(&button));
    button.type = ButtonRelease;
    button.state = Button1Mask;
    XSendEvent(d, window, True, ButtonReleaseMask, reinterpret_cast<XEvent*>(&button));
    XFlush(d);
}

XDisplayDriver::Size XDisplayDriver::sizeOf(unsigned long window) {
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(dpy(m_display), window, &attributes)) return {};
    return {attributes.width, attributes.height};
}

std::vector<uint32_t> XDisplayDriver::capture(unsigned long window, Size& size) {
    Display* d = dpy(m_display);
    size = sizeOf(window);
    std::vector<uint32_t> pixels;
    if (size.width <= 0 || size.height <= 0) return pixels;
    XImage* image = XGetImage(d, window, 0, 0, static_cast<unsigned>(size.width),
                              static_cast<unsigned>(size.height), AllPlanes, ZPixmap);
    if (!image) return pixels;
    pixels.reserve(static_cast<size_t>(size.width) * static_cast<size_t>(size.height));
    for (int y = 0; y < size.height; ++y)
        for (int x = 0; x < size.width; ++x)
            pixels.push_back(static_cast<uint32_t>(XGetPixel(image, x, y)) & 0xFFFFFFu);
    XDestroyImage(image);
    return pixels;
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
