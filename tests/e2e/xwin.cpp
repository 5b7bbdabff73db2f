// Presses a window's close button as a person would, for test scripts that
// do not use tests/support/desktop.py: a WM_DELETE_WINDOW client message, which
// the program may act on (destroying the window would not ask it).
//
//   xwin close <window-id>
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  Display* display = argc == 3 && std::strcmp(argv[1], "close") == 0 ? XOpenDisplay(nullptr) : nullptr;
  if (!display) {
    std::fprintf(stderr, "usage: xwin close <window-id>, with an X display to reach\n");
    return 2;
  }
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = Window(std::strtoul(argv[2], nullptr, 0));
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, event.xclient.window, False, NoEventMask, &event);
  XCloseDisplay(display);
  return 0;
}
