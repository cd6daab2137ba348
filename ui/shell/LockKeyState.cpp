#include "ui/shell/LockKeyState.h"

#include <QGuiApplication>

#if defined(KELVO_HAVE_X11)
#include <QtGui/qguiapplication_platform.h>
#include <X11/XKBlib.h>
#endif

LockKeyState readLockKeyState() {
    LockKeyState keys;
#if defined(KELVO_HAVE_X11)
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = x11 ? x11->display() : nullptr;
    if (!display) return keys;
    auto indicator = [display](const char* name) {
        Bool on = False;
        const Atom atom = XInternAtom(display, name, True);
        if (atom == None) return false;
        if (!XkbGetNamedIndicator(display, atom, nullptr, &on, nullptr, nullptr)) return false;
        return on != False;
    };
    keys.caps = indicator("Caps Lock");
    keys.num = indicator("Num Lock");
    keys.scroll = indicator("Scroll Lock");
#endif
    return keys;
}
