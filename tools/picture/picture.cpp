// Picture builder: lettering through the glyph rasteriser, scenery from
// simple shapes and hashed value noise, all quantised to 16 levels with an
// 8 x 8 ordered dither so that gradients do not band.
#include "tools/picture/picture.h"

#include <algorithm>
#include <cmath>

#include "tools/data_files/glyph_raster.h"

namespace {

// Floating-point picture: luma 0..15 (or coverage 0..1) per pixel.
struct Canvas {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<float> v;
  float at(int32_t x, int32_t y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return 0.0f;
    return v[size_t(y * width + x)];
  }
  float& ref(int32_t x, int32_t y) { return v[size_t(y * width + x)]; }
};

Canvas canvas_make(int32_t width, int32_t height, float fill) {
  Canvas c;
  c.width = width;
  c.height = height;
  c.v.assign(size_t(width) * size_t(height), fill);
  return c;
}

// 8 x 8 Bayer matrix: thresholds 0..63 spread so that any level of a smooth
// gradient becomes an even pattern of the two nearest greys.
constexpr uint8_t BAYER[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
    {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
    {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21}};

uint8_t dither(float luma, int32_t x, int32_t y) {
  float threshold = (float(BAYER[y & 7][x & 7]) + 0.5f) / 64.0f;
  int32_t q = int32_t(std::floor(luma + threshold - 0.5f + 0.5f));
  // floor(luma + threshold) with threshold in (0, 1): a luma of 7.25 gives 8
  // on a quarter of the pixels and 7 on the rest.
  return uint8_t(std::clamp(q, 0, 15));
}

// Text set in one line with extra spacing between letters; `ink_*` are the
// bounds of the pixels that carry coverage, relative to the pen start on the
// baseline.
struct TextLayout {
  int32_t ink_left = 1 << 30, ink_right = -(1 << 30), ink_top = 1 << 30, ink_bottom = -(1 << 30);
};

// Stamps (or only measures, when `mask` is null) `text` at pen (x, baseline).
TextLayout text_set(RasterFont& font, const char* text, int32_t tracking, Canvas* mask, int32_t x,
                    int32_t baseline) {
  TextLayout layout;
  int32_t pen = x * 64;  // 26.6
  for (const char* p = text; *p; ++p) {
    RasterGlyph g;
    if (raster_glyph(font, uint8_t(*p), g) != -1) continue;
    int32_t gx = ((pen + 32) >> 6) + g.left;
    int32_t gy = baseline - g.top;
    for (int32_t row = 0; row < g.height; ++row)
      for (int32_t col = 0; col < g.width; ++col) {
        uint8_t c = g.coverage[size_t(row * g.width + col)];
        if (c == 0) continue;
        layout.ink_left = std::min(layout.ink_left, gx + col - x);
        layout.ink_right = std::max(layout.ink_right, gx + col - x + 1);
        layout.ink_top = std::min(layout.ink_top, gy + row - baseline);
        layout.ink_bottom = std::max(layout.ink_bottom, gy + row - baseline + 1);
        if (mask && gx + col >= 0 && gy + row >= 0 && gx + col < mask->width && gy + row < mask->height) {
          float& m = mask->ref(gx + col, gy + row);
          m = std::max(m, float(c) / 255.0f);
        }
      }
    pen += g.advance + tracking * 64;
    if (p[1]) pen += raster_kerning(font, uint8_t(p[0]), uint8_t(p[1]));
  }
  return layout;
}

// Lettering fitted into a box: the largest size whose ink is at most
// `max_height` tall and, with `tracking` chosen to fill it, `max_width` wide.
// Returns the coverage mask of the picture's size, the ink centred in the box
// (x0, y0, max_width, max_height), and the ink's top and bottom rows.
int letter_fit(const char* font_path, const char* text, int32_t width, int32_t height, int32_t x0, int32_t y0,
               int32_t max_width, int32_t max_height, int32_t max_tracking, Canvas& mask, int32_t& top,
               int32_t& bottom, std::string& error) {
  for (int32_t size = 96; size >= 6; --size) {
    RasterFont font{};
    if (raster_font_open(font, font_path, size) != -1) {
      raster_font_close(font);
      error = std::string("cannot read font ") + font_path;
      return 0;
    }
    TextLayout plain = text_set(font, text, 0, nullptr, 0, 0);
    int32_t ink_w = plain.ink_right - plain.ink_left, ink_h = plain.ink_bottom - plain.ink_top;
    if (ink_h > max_height || ink_w > max_width) {
      raster_font_close(font);
      continue;
    }
    int32_t gaps = int32_t(std::char_traits<char>::length(text)) - 1;
    int32_t tracking = gaps > 0 ? std::min(max_tracking, (max_width - ink_w) / gaps) : 0;
    TextLayout set = text_set(font, text, tracking, nullptr, 0, 0);
    int32_t set_w = set.ink_right - set.ink_left;
    int32_t pen_x = x0 + (max_width - set_w) / 2 - set.ink_left;
    int32_t baseline = y0 + (max_height - ink_h) / 2 - set.ink_top;
    mask = canvas_make(width, height, 0.0f);
    text_set(font, text, tracking, &mask, pen_x, baseline);
    top = baseline + set.ink_top;
    bottom = baseline + set.ink_bottom;
    raster_font_close(font);
    return -1;
  }
  error = "text does not fit at any size";
  return 0;
}

// Grows a coverage mask by `radius` pixels, anti-aliased at the rim.
Canvas dilate(const Canvas& mask, float radius) {
  Canvas out = canvas_make(mask.width, mask.height, 0.0f);
  int32_t r = int32_t(std::ceil(radius));
  for (int32_t y = 0; y < mask.height; ++y)
    for (int32_t x = 0; x < mask.width; ++x) {
      float best = 0.0f;
      for (int32_t dy = -r; dy <= r; ++dy)
        for (int32_t dx = -r; dx <= r; ++dx) {
          float weight = std::clamp(radius + 0.5f - std::sqrt(float(dx * dx + dy * dy)), 0.0f, 1.0f);
          best = std::max(best, mask.at(x + dx, y + dy) * weight);
        }
      out.ref(x, y) = best;
    }
  return out;
}

Canvas shift(const Canvas& mask, int32_t dx, int32_t dy) {
  Canvas out = canvas_make(mask.width, mask.height, 0.0f);
  for (int32_t y = 0; y < mask.height; ++y)
    for (int32_t x = 0; x < mask.width; ++x) out.ref(x, y) = mask.at(x - dx, y - dy);
  return out;
}

float lerp(float a, float b, float t) { return a + (b - a) * t; }

// Deterministic value noise: a hash of the lattice point, smoothly blended.
float hash01(int32_t x, int32_t y, uint32_t seed) {
  uint32_t h = uint32_t(x) * 374761393u + uint32_t(y) * 668265263u + seed * 2246822519u;
  h = (h ^ (h >> 13)) * 1274126177u;
  h ^= h >> 16;
  return float(h & 0xFFFFFF) / float(0xFFFFFF);
}

float noise(float x, float y, uint32_t seed) {
  int32_t ix = int32_t(std::floor(x)), iy = int32_t(std::floor(y));
  float fx = x - float(ix), fy = y - float(iy);
  fx = fx * fx * (3.0f - 2.0f * fx);
  fy = fy * fy * (3.0f - 2.0f * fy);
  float a = lerp(hash01(ix, iy, seed), hash01(ix + 1, iy, seed), fx);
  float b = lerp(hash01(ix, iy + 1, seed), hash01(ix + 1, iy + 1, seed), fx);
  return lerp(a, b, fy);
}

float fbm(float x, float y, uint32_t seed) {
  float sum = 0.0f, amp = 0.5f;
  for (int octave = 0; octave < 4; ++octave) {
    sum += amp * noise(x, y, seed + uint32_t(octave));
    x *= 2.0f;
    y *= 2.0f;
    amp *= 0.5f;
  }
  return sum;
}

// Paints an anti-aliased disc of coverage into a silhouette mask.
void stamp_disc(Canvas& mask, float cx, float cy, float radius) {
  int32_t x0 = int32_t(std::floor(cx - radius - 1)), x1 = int32_t(std::ceil(cx + radius + 1));
  int32_t y0 = int32_t(std::floor(cy - radius - 1)), y1 = int32_t(std::ceil(cy + radius + 1));
  for (int32_t y = std::max(0, y0); y <= std::min(mask.height - 1, y1); ++y)
    for (int32_t x = std::max(0, x0); x <= std::min(mask.width - 1, x1); ++x) {
      float d = std::sqrt((float(x) + 0.5f - cx) * (float(x) + 0.5f - cx) + (float(y) + 0.5f - cy) * (float(y) + 0.5f - cy));
      float c = std::clamp(radius + 0.5f - d, 0.0f, 1.0f);
      mask.ref(x, y) = std::max(mask.ref(x, y), c);
    }
}

// A tapering stroke along a quadratic curve from p0 through control p1 to p2.
void stroke(Canvas& mask, float x0, float y0, float x1, float y1, float x2, float y2, float r0, float r2) {
  for (int step = 0; step <= 160; ++step) {
    float t = float(step) / 160.0f, u = 1.0f - t;
    float x = u * u * x0 + 2 * u * t * x1 + t * t * x2;
    float y = u * u * y0 + 2 * u * t * y1 + t * t * y2;
    stamp_disc(mask, x, y, lerp(r0, r2, t));
  }
}

// Palm tree silhouette: a leaning trunk and drooping fronds with leaflets.
void draw_palm(Canvas& mask, float base_x, float base_y, float top_x, float top_y) {
  stroke(mask, base_x, base_y, base_x - 4.0f, (base_y + top_y) * 0.5f, top_x, top_y, 4.5f, 2.2f);
  // (direction x, direction y, length) of each frond
  const float fronds[][3] = {{-1.0f, -0.35f, 46}, {-0.75f, -0.9f, 34}, {-0.1f, -1.0f, 26}, {0.6f, -0.8f, 32},
                             {1.0f, -0.2f, 40},   {-0.9f, 0.25f, 38},  {0.85f, 0.35f, 34}};
  for (const auto& f : fronds) {
    float ex = top_x + f[0] * f[2], ey = top_y + f[1] * f[2] * 0.6f + f[2] * 0.35f;
    float cx = top_x + f[0] * f[2] * 0.55f, cy = top_y + f[1] * f[2] * 0.75f - 6.0f;
    stroke(mask, top_x, top_y, cx, cy, ex, ey, 1.8f, 0.4f);
    for (int leaf = 2; leaf < 14; ++leaf) {  // leaflets hanging from the frond
      float t = float(leaf) / 14.0f, u = 1.0f - t;
      float x = u * u * top_x + 2 * u * t * cx + t * t * ex;
      float y = u * u * top_y + 2 * u * t * cy + t * t * ey;
      float len = 7.0f * (1.0f - t * 0.6f);
      stroke(mask, x, y, x + f[0] * 2.0f, y + len * 0.5f, x + f[0] * 3.0f - 1.0f, y + len, 0.8f, 0.3f);
    }
  }
}

}  // namespace

int picture_logo(const char* font_path, Picture& out, std::string& error) {
  Canvas mask;
  int32_t top = 0, bottom = 0;
  if (letter_fit(font_path, "ORVALIN", LOGO_WIDTH, LOGO_HEIGHT, 8, 2, 300, 35, 14, mask, top, bottom, error) != -1)
    return 0;
  Canvas outline = dilate(mask, 1.5f);
  Canvas shadow = dilate(shift(mask, 3, 3), 1.5f);
  out = Picture{LOGO_WIDTH, LOGO_HEIGHT, std::vector<uint8_t>(size_t(LOGO_WIDTH * LOGO_HEIGHT))};
  float span = float(bottom - top);
  for (int32_t y = 0; y < LOGO_HEIGHT; ++y)
    for (int32_t x = 0; x < LOGO_WIDTH; ++x) {
      // Chrome: a sky half darkening upwards and a ground half, split by a
      // sharp horizon a little above the middle of the letters.
      float t = std::clamp((float(y) + 0.5f - float(top)) / span, 0.0f, 1.0f);
      float fill = t < 0.5f ? 2.0f + 10.5f * std::pow(t / 0.5f, 1.4f) : 1.0f + 8.0f * (t - 0.5f) / 0.5f;
      float luma = 15.0f;
      luma = lerp(luma, 11.0f, shadow.at(x, y));
      luma = lerp(luma, 0.0f, outline.at(x, y));
      luma = lerp(luma, fill, mask.at(x, y));
      uint8_t q = dither(luma, x, y);
      // 15 is the logo's transparent key: only the untouched background keeps it
      bool touched = shadow.at(x, y) > 0.02f || outline.at(x, y) > 0.02f;
      out.pixels[size_t(y * LOGO_WIDTH + x)] = touched ? std::min<uint8_t>(q, 14) : 15;
    }
  return -1;
}

int picture_title(const char* font_path, Picture& out, std::string& error) {
  Canvas mask;
  int32_t top = 0, bottom = 0;
  if (letter_fit(font_path, "QUADRILLO", TITLE_WIDTH, TITLE_HEIGHT, 1, 0, 192, 25, 4, mask, top, bottom, error) != -1)
    return 0;
  Canvas shadow = shift(mask, 1, 1);
  out = Picture{TITLE_WIDTH, TITLE_HEIGHT, std::vector<uint8_t>(size_t(TITLE_WIDTH * TITLE_HEIGHT))};
  float span = float(bottom - top);
  for (int32_t y = 0; y < TITLE_HEIGHT; ++y)
    for (int32_t x = 0; x < TITLE_WIDTH; ++x) {
      float t = std::clamp((float(y) + 0.5f - float(top)) / span, 0.0f, 1.0f);
      float fill = t < 0.5f ? 15.0f - 3.0f * (t / 0.5f) : 8.0f + 6.0f * (t - 0.5f) / 0.5f;
      float m = mask.at(x, y), s = shadow.at(x, y) * (1.0f - m);
      // Over the black fill the letters' own coverage is their brightness;
      // the shadow is a dim rim (luma 4) on the lower right.
      float luma = fill * m + 4.0f * s;
      uint8_t q = (m + s) > 0.03f ? std::max<uint8_t>(dither(luma, x, y), 1) : 0;
      out.pixels[size_t(y * TITLE_WIDTH + x)] = q;
    }
  return -1;
}

void picture_beach(Picture& out) {
  // The horizon lies below the "GAME OVER" line (y 107..128) and the sun sets
  // right of it, so that the message stands on a calm, darker sky.
  const float horizon = 146.0f;
  const float sun_x = 258.0f, sun_y = 145.0f, sun_r = 22.0f;
  Canvas palm = canvas_make(BEACH_WIDTH, BEACH_HEIGHT, 0.0f);
  draw_palm(palm, 309.0f, 240.0f, 294.0f, 150.0f);
  Canvas boat = canvas_make(BEACH_WIDTH, BEACH_HEIGHT, 0.0f);
  for (int32_t i = 0; i <= 12; ++i) {  // a small sail on the horizon
    float y = horizon - 14.0f + float(i);
    stamp_disc(boat, 166.0f + float(i) * 0.28f, y, 0.3f + float(i) * 0.28f);
  }
  stroke(boat, 161.0f, horizon - 1.0f, 166.0f, horizon + 0.5f, 172.0f, horizon - 1.0f, 1.0f, 1.0f);

  out = Picture{BEACH_WIDTH, BEACH_HEIGHT, std::vector<uint8_t>(size_t(BEACH_WIDTH * BEACH_HEIGHT))};
  for (int32_t y = 0; y < BEACH_HEIGHT; ++y)
    for (int32_t x = 0; x < BEACH_WIDTH; ++x) {
      float fx = float(x) + 0.5f, fy = float(y) + 0.5f;
      float luma;
      float shore = 192.0f + 2.5f * std::sin(fx / 23.0f) + 1.5f * std::sin(fx / 9.1f + 1.0f);
      float sun_d = std::sqrt((fx - sun_x) * (fx - sun_x) + (fy - sun_y) * (fy - sun_y));
      if (fy < horizon) {
        // Sky: dark at the top, where the score is printed, brightening to the
        // horizon and around the setting sun; a few long, faint clouds.
        float t = fy / horizon;
        luma = 2.0f + 7.0f * std::pow(t, 2.2f) + 4.0f * std::exp(-sun_d / 30.0f);
        float cloud = fbm(fx / 70.0f, fy / 9.0f, 7u) - 0.5f;
        float band = std::exp(-std::pow((fy - 96.0f) / 20.0f, 2.0f));
        luma += 2.0f * std::max(0.0f, cloud) * band;
        if (sun_d < sun_r) {
          // The sun, cut by bands that thicken towards the horizon.
          float from_top = fy - (sun_y - sun_r);
          float depth = from_top / sun_r;  // 0 at the top of the sun, 1 at the horizon
          bool gap = depth > 0.35f && std::fmod(from_top, 5.0f) < (depth - 0.25f) * 3.0f;
          luma = gap ? luma : 14.6f;
        }
      } else if (fy < shore) {
        // Sea: darker than the sky, with wave lines and the sun's glitter path.
        float t = (fy - horizon) / (shore - horizon);
        luma = 7.0f - 2.0f * t;
        float wave = std::sin(fx / (6.0f + 10.0f * t) + fy * 1.7f + 3.0f * noise(fx / 40.0f, fy / 3.0f, 3u));
        luma += 0.7f * wave;
        float path = std::exp(-std::pow((fx - sun_x) / (8.0f + 40.0f * t), 2.0f));
        float glint = noise(fx / (2.0f + 5.0f * t), fy * 1.3f, 5u);
        if (glint > 0.62f) luma += 7.5f * path * (glint - 0.62f) / 0.38f + 0.8f * path;
        luma += 1.2f * path;
        // Foam where the waves break on the shore.
        float foam = std::exp(-(shore - fy) / 2.2f);
        luma = lerp(luma, 13.0f, foam * (0.7f + 0.3f * noise(fx / 3.0f, fy / 2.0f, 9u)));
      } else {
        // Sand: wet and darker at the waterline, then dry, with fine grain.
        float t = (fy - shore) / (float(BEACH_HEIGHT) - shore);
        luma = 7.5f + 3.5f * std::min(1.0f, t * 3.0f) + 0.6f * t;
        luma += 0.9f * (noise(fx / 1.3f, fy / 1.3f, 11u) - 0.5f);
        luma += 0.6f * std::sin(fx / 5.0f + 4.0f * noise(fx / 30.0f, fy / 10.0f, 13u) + fy * 0.9f) *
                std::clamp((t - 0.2f) * 2.0f, 0.0f, 1.0f);
      }
      luma = lerp(luma, 1.0f, palm.at(x, y));
      luma = lerp(luma, 1.5f, boat.at(x, y));
      // The board's well: a dark glass panel with a thin light frame, so the
      // falling blocks (drawn bright) stand out wherever they are.
      bool inside = x >= BOARD_LEFT && x <= BOARD_RIGHT && y >= BOARD_TOP && y <= BOARD_BOTTOM;
      bool frame = (x == BOARD_LEFT - 1 || x == BOARD_RIGHT + 1) && y >= BOARD_TOP - 1 && y <= BOARD_BOTTOM + 1;
      frame = frame || ((y == BOARD_TOP - 1 || y == BOARD_BOTTOM + 1) && x >= BOARD_LEFT - 1 && x <= BOARD_RIGHT + 1);
      if (inside) luma = 0.3f + luma * 0.22f;
      if (frame) luma = 9.0f;
      out.pixels[size_t(y * BEACH_WIDTH + x)] = dither(luma, x, y);
    }
}

std::vector<uint8_t> picture_raw(const Picture& picture, int inverted) {
  std::vector<uint8_t> raw(picture.pixels.size());
  for (size_t i = 0; i < raw.size(); ++i) {
    uint8_t value = inverted ? uint8_t(15 - picture.pixels[i]) : picture.pixels[i];
    raw[i] = uint8_t(value << 4 | value);
  }
  return raw;
}
