// The picture builder: raw encoding, the logo's and the title's keys and
// placement, and the beach's dithered, deterministic drawing.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tools/picture/picture.h"

namespace {

const std::string BOLD_PATH = std::string(QUADRILLO_FONT_DIR) + "/DejaVuSans-Bold.ttf";
const char* BOLD = BOLD_PATH.c_str();

// Bounding box of the pixels that are not `background`.
struct Box {
  int left = 1 << 20, right = -1, top = 1 << 20, bottom = -1;
};

Box ink_box(const Picture& p, uint8_t background) {
  Box box;
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x)
      if (p.pixels[size_t(y * p.width + x)] != background) {
        box.left = std::min(box.left, x);
        box.right = std::max(box.right, x);
        box.top = std::min(box.top, y);
        box.bottom = std::max(box.bottom, y);
      }
  return box;
}

}  // namespace

TEST(PictureRaw, ValueGoesToTheTopNibbleAndTheTitleIsInverted) {
  Picture p{3, 1, {0, 7, 15}};
  EXPECT_EQ(picture_raw(p, 0), (std::vector<uint8_t>{0x00, 0x77, 0xFF}));
  EXPECT_EQ(picture_raw(p, -1), (std::vector<uint8_t>{0xFF, 0x88, 0x00}));
}

TEST(PictureLogo, LettersOnTheKeyCentredAcrossTheScreen) {
  Picture logo;
  std::string error;
  ASSERT_EQ(picture_logo(BOLD, logo, error), -1) << error;
  ASSERT_EQ(logo.width, LOGO_WIDTH);
  ASSERT_EQ(logo.height, LOGO_HEIGHT);
  Box box = ink_box(logo, 15);
  EXPECT_GT(box.right - box.left, 260) << "the name spans most of the width";
  EXPECT_NEAR((box.left + box.right) / 2.0, 160.0, 4.0);
  EXPECT_GE(box.top, 0);
  EXPECT_GT(box.bottom - box.top, 28) << "tall letters";
  // Dark outlined letters that stand out from the white fill they tumble on.
  int dark = int(std::count_if(logo.pixels.begin(), logo.pixels.end(), [](uint8_t p) { return p <= 3; }));
  EXPECT_GT(dark, 1500);
  EXPECT_EQ(picture_logo("/nonexistent.ttf", logo, error), 0);
}

TEST(PictureTitle, BrightLettersOnTransparentBlack) {
  Picture title;
  std::string error;
  ASSERT_EQ(picture_title(BOLD, title, error), -1) << error;
  ASSERT_EQ(title.pixels.size(), size_t(TITLE_WIDTH * TITLE_HEIGHT));
  Box box = ink_box(title, 0);
  EXPECT_GT(box.right - box.left, 170);
  EXPECT_NEAR((box.left + box.right) / 2.0, (TITLE_WIDTH - 1) / 2.0, 3.0);
  EXPECT_GE(box.top, 0);
  EXPECT_LE(box.bottom, TITLE_HEIGHT - 1);
  int bright = int(std::count_if(title.pixels.begin(), title.pixels.end(), [](uint8_t p) { return p >= 12; }));
  EXPECT_GT(bright, 600);
}

TEST(PictureBeach, DitheredDeterministicAndFramed) {
  Picture a, b;
  picture_beach(a);
  picture_beach(b);
  ASSERT_EQ(a.pixels.size(), size_t(BEACH_WIDTH * BEACH_HEIGHT));
  EXPECT_EQ(a.pixels, b.pixels) << "rebuilds are byte-identical";
  // A smooth sky gradient comes out as a mix of neighbouring greys, not bands:
  // along one sky row, at least two levels alternate.
  int changes = 0;
  for (int x = 141; x < 319; ++x) changes += a.pixels[size_t(40 * BEACH_WIDTH + x)] != a.pixels[size_t(40 * BEACH_WIDTH + x + 1)];
  EXPECT_GT(changes, 10);
  // A light frame around the board's well.
  for (int y = BOARD_TOP; y <= BOARD_BOTTOM; y += 17) {
    EXPECT_GT(a.pixels[size_t(y * BEACH_WIDTH + BOARD_LEFT - 1)], a.pixels[size_t(y * BEACH_WIDTH + BOARD_LEFT)]);
    EXPECT_GT(a.pixels[size_t(y * BEACH_WIDTH + BOARD_RIGHT + 1)], a.pixels[size_t(y * BEACH_WIDTH + BOARD_RIGHT)]);
  }
}
