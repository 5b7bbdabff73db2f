// The desktop host on a real X server (its test command starts a private
// Xvfb): a window mode, the palette as the host library holds it, the
// picture stretched onto the screen, the keys by code, the timer, memory
// bitmaps, the error number and the window's title. The close button and
// the sound are the desktop end-to-end test's.
#include <allegro.h>
#include <gtest/gtest.h>
#include <xalleg.h>

#include "host/host.h"

TEST(DesktopHost, ShowsThePictureStretchedThroughThePaletteAndReadsKeysByCode) {
  ASSERT_EQ(host_start(), -1) << host_error();
  ASSERT_NE(host_errno(), nullptr);
  ASSERT_EQ(host_set_mode(0, 640, 480), -1) << host_error();
  EXPECT_STREQ(host_error(), "");
  EXPECT_EQ(SCREEN_W * 1000 + SCREEN_H, 640480);
  EXPECT_EQ(getpixel(screen, 5, 5), 0) << "a new mode starts black";
  host_set_title("Orvalin test");
  char* title = nullptr;
  XSync(_xwin.display, False);
  XFetchName(_xwin.display, _xwin.wm_window, &title);
  EXPECT_STREQ(title, "Orvalin test");
  XFree(title);

  uint8_t colours[256][3];
  for (int c = 0; c < 256; ++c) colours[c][0] = c & 63, colours[c][1] = c >> 2, colours[c][2] = 63 - (c & 63);
  host_set_palette(colours);
  PALETTE palette;
  get_palette(palette);
  for (int c : {0, 1, 77, 200, 255})
    EXPECT_EQ(palette[c].r * 10000 + palette[c].g * 100 + palette[c].b,
              colours[c][0] * 10000 + colours[c][1] * 100 + colours[c][2]) << c;

  HostBitmap* picture = host_bitmap_create(320, 240);
  ASSERT_NE(picture, nullptr);
  host_bitmap_clear(picture, 0x11);
  for (int y = 0; y < 240; y += 7) picture->line[y][(y * 3) % 320] = uint8_t(y);
  host_present(picture);
  int wrong = 0;
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x) wrong += getpixel(screen, x, y) != picture->line[y / 2][x / 2];
  EXPECT_EQ(wrong, 0) << "each pixel shown as 2 x 2";
  host_bitmap_destroy(picture);
  host_bitmap_destroy(nullptr);

  for (int code : {int(HOST_KEY_A), int(HOST_KEY_SPACE), int(HOST_KEY_CAPSLOCK)}) {
    key[code] = 1;
    EXPECT_EQ(host_key_held(code), -1) << code;
    key[code] = 0;
    EXPECT_EQ(host_key_held(code), 0) << code;
  }
  EXPECT_EQ(host_key_held(0) | host_key_held(HOST_KEY_COUNT) | host_key_held(-1), 0);

  const uint32_t ticks = host_ticks();
  while (host_ticks() - ticks < 3) host_rest(1);  // the timer thread runs
  EXPECT_EQ(host_close_requested(), 0);
}

// The desktop host's own entry runs the tests, as it runs any program.
int program_main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
