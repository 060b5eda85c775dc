// Asks an X11 window to close the way a window manager's close button does:
// a WM_PROTOCOLS client message carrying WM_DELETE_WINDOW. xdotool has no such
// command (its windowclose destroys the window outright).
//
//   hillcar-send-close WINDOW_ID      (decimal or 0x hex; uses $DISPLAY)
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s WINDOW_ID\n", argv[0]);
        return 2;
    }
    char* end = nullptr;
    unsigned long id = std::strtoul(argv[1], &end, 0);
    if (!end || *end != '\0' || id == 0) {
        std::fprintf(stderr, "%s: bad window id '%s'\n", argv[0], argv[1]);
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "%s: cannot open the display\n", argv[0]);
        return 1;
    }
    XEvent ev = {};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = (Window)id;
    ev.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = (long)XInternAtom(display, "WM_DELETE_WINDOW", False);
    ev.xclient.data.l[1] = CurrentTime;
    Status sent = XSendEvent(display, (Window)id, False, NoEventMask, &ev);
    XSync(display, False);
    XCloseDisplay(display);
    if (!sent) {
        std::fprintf(stderr, "%s: could not send to window 0x%lx\n", argv[0], id);
        return 1;
    }
    return 0;
}
