// A few lines of Xlib for the end-to-end tests: ask a window to close as its
// close button would (a WM_DELETE_WINDOW client message, which a program may
// act on, unlike destroying the window), and read a window's pixels back.
//
//   xwin close <window-id>
//   xwin grab <window-id> <out.ppm>     binary PPM of the window's contents
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int send_close(Display* display, Window window) {
  Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
  Atom delete_window = XInternAtom(display, "WM_DELETE_WINDOW", False);
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = protocols;
  event.xclient.format = 32;
  event.xclient.data.l[0] = long(delete_window);
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, window, False, NoEventMask, &event);
  XSync(display, False);
  return 0;
}

int component(unsigned long pixel, unsigned long mask) {
  if (mask == 0) return 0;
  int shift = 0;
  while (!(mask & 1)) {
    mask >>= 1;
    ++shift;
  }
  return int(((pixel >> shift) & mask) * 255 / mask);
}

int grab(Display* display, Window window, const char* path) {
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(display, window, &attributes)) return 1;
  XImage* image = XGetImage(display, window, 0, 0, unsigned(attributes.width),
                            unsigned(attributes.height), AllPlanes, ZPixmap);
  if (!image) {
    std::fprintf(stderr, "xwin: cannot read window 0x%lx\n", window);
    return 1;
  }
  FILE* out = std::fopen(path, "wb");
  if (!out) {
    std::fprintf(stderr, "xwin: cannot write %s\n", path);
    XDestroyImage(image);
    return 1;
  }
  std::fprintf(out, "P6\n%d %d\n255\n", image->width, image->height);
  for (int y = 0; y < image->height; ++y) {
    for (int x = 0; x < image->width; ++x) {
      unsigned long pixel = XGetPixel(image, x, y);
      unsigned char rgb[3] = {(unsigned char)component(pixel, image->red_mask),
                              (unsigned char)component(pixel, image->green_mask),
                              (unsigned char)component(pixel, image->blue_mask)};
      std::fwrite(rgb, 1, 3, out);
    }
  }
  std::fclose(out);
  XDestroyImage(image);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || (std::strcmp(argv[1], "grab") == 0 && argc < 4)) {
    std::fprintf(stderr, "usage: xwin close <window-id> | xwin grab <window-id> <out.ppm>\n");
    return 2;
  }
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "xwin: cannot open display\n");
    return 1;
  }
  Window window = Window(std::strtoul(argv[2], nullptr, 0));
  int result = 2;
  if (std::strcmp(argv[1], "close") == 0) result = send_close(display, window);
  else if (std::strcmp(argv[1], "grab") == 0) result = grab(display, window, argv[3]);
  else std::fprintf(stderr, "xwin: unknown command %s\n", argv[1]);
  XCloseDisplay(display);
  return result;
}
