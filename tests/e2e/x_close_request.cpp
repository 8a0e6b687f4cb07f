// x_close_request WINDOW: asks an X window to close the way a window manager's close button
// does, with a WM_PROTOCOLS client message carrying WM_DELETE_WINDOW. Under a bare X server
// there is no window manager to send it. Exit status 0 when sent, 3 when the window does not
// take part in that protocol (a window manager would then kill the client instead), 1 or 2 for
// other failures.

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: x_close_request WINDOW-ID\n");
        return 2;
    }
    char* end = nullptr;
    errno = 0;
    const unsigned long id = std::strtoul(argv[1], &end, 0);
    if (errno != 0 || end == argv[1] || *end != '\0' || id == 0) {
        std::fprintf(stderr, "x_close_request: '%s' is not a window id\n", argv[1]);
        return 2;
    }
    ::Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "x_close_request: cannot open the X display\n");
        return 1;
    }
    const Window window = id;
    const Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
    const Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);

    Atom* listed = nullptr;
    int count = 0;
    bool takesPart = false;
    if (XGetWMProtocols(display, window, &listed, &count) != 0) {
        for (int i = 0; i < count; ++i) {
            if (listed[i] == deleteWindow) takesPart = true;
        }
        XFree(listed);
    }
    if (!takesPart) {
        std::fprintf(stderr, "x_close_request: window 0x%lx does not list WM_DELETE_WINDOW\n", id);
        XCloseDisplay(display);
        return 3;
    }

    XEvent event;
    std::memset(&event, 0, sizeof event);
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = protocols;
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(deleteWindow);
    event.xclient.data.l[1] = CurrentTime;
    const Status sent = XSendEvent(display, window, False, NoEventMask, &event);
    XSync(display, False);
    XCloseDisplay(display);
    if (sent == 0) {
        std::fprintf(stderr, "x_close_request: the X server refused the message\n");
        return 1;
    }
    return 0;
}
