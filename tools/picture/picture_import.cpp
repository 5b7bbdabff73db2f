#include "tools/picture/picture_import.h"


#include <algorithm>
#include <cmath>

#include "blitter/sprite.h"
#include "machine/palette.h"

namespace {

struct Pixel {
  float r, g, b, a;  // premultiplied, sRGB-encoded 0..1 while scaling
};

float srgb_to_linear(float c) { return c <= 0.04045f ? c / 12.92f : std::pow((c + 0.055f) / 1.055f, 2.4f); }

struct Lab {
  float l, a, b;
};

// OKLab of a linear RGB colour (Ottosson's matrices).
Lab oklab(float r, float g, float b) {
  const float l = std::cbrt(0.4122214708f * r + 0.5363325363f * g + 0.0514459929f * b);
  const float m = std::cbrt(0.2119034982f * r + 0.6806995451f * g + 0.1073969566f * b);
  const float s = std::cbrt(0.0883024619f * r + 0.2817188376f * g + 0.6299787005f * b);
  return {0.2104542553f * l + 0.7936177850f * m - 0.0040720468f * s,
          1.9779984951f * l - 2.4285922050f * m + 0.4505937099f * s,
          0.0259040371f * l + 0.7827717662f * m - 0.8086757660f * s};
}

// One axis of the resampling: `count` output samples from `size` input
// samples spread over them. Each output sample is a weighted sum of inputs.
struct Tap {
  int   index;
  float weight;
};

std::vector<std::vector<Tap>> taps(int size, int count) {
  std::vector<std::vector<Tap>> out(static_cast<size_t>(count));
  const double scale = double(size) / count;  // input samples per output sample
  for (int o = 0; o < count; ++o) {
    std::vector<Tap>& t = out[size_t(o)];
    if (scale >= 1.0) {
      // Area averaging: each input sample weighs by how much of it the
      // output sample's footprint covers.
      const double from = o * scale, to = (o + 1) * scale;
      double total = 0;
      for (int i = int(std::floor(from)); i < int(std::ceil(to)) && i < size; ++i) {
        const double w = std::min(to, i + 1.0) - std::max(from, double(i));
        if (w > 0) t.push_back({i, float(w)}), total += w;
      }
      for (Tap& tap : t) tap.weight = float(tap.weight / total);
    } else {
      // Bilinear: the two input samples around the output sample's centre.
      const double at = std::clamp((o + 0.5) * scale - 0.5, 0.0, double(size - 1));
      const int i = int(at);
      const float f = float(at - i);
      t.push_back({i, 1 - f});
      if (i + 1 < size) t.push_back({i + 1, f});
    }
  }
  return out;
}

// Scales premultiplied pixels from w x h to cw x ch, separably.
std::vector<Pixel> resample(const std::vector<Pixel>& in, int w, int h, int cw, int ch) {
  const auto across = taps(w, cw), down = taps(h, ch);
  std::vector<Pixel> rows(size_t(cw) * size_t(h)), out(size_t(cw) * size_t(ch));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < cw; ++x) {
      Pixel sum{0, 0, 0, 0};
      for (const Tap& t : across[size_t(x)]) {
        const Pixel& p = in[size_t(y) * size_t(w) + size_t(t.index)];
        sum = {sum.r + p.r * t.weight, sum.g + p.g * t.weight, sum.b + p.b * t.weight, sum.a + p.a * t.weight};
      }
      rows[size_t(y) * size_t(cw) + size_t(x)] = sum;
    }
  for (int y = 0; y < ch; ++y)
    for (int x = 0; x < cw; ++x) {
      Pixel sum{0, 0, 0, 0};
      for (const Tap& t : down[size_t(y)]) {
        const Pixel& p = rows[size_t(t.index) * size_t(cw) + size_t(x)];
        sum = {sum.r + p.r * t.weight, sum.g + p.g * t.weight, sum.b + p.b * t.weight, sum.a + p.a * t.weight};
      }
      out[size_t(y) * size_t(cw) + size_t(x)] = sum;
    }
  return out;
}

}  // namespace

void picture_value_colour(uint32_t value, uint32_t variant, uint8_t rgb[3]) {
  uint8_t palette[256][3];
  palette_compute(palette);
  const uint8_t* c = palette[colour_encode(COLOUR_MODE_LUMA, value & 15, variant & 15)];
  // 0..63 to 0..255 as the host display widens them: the six bits repeated.
  rgb[0] = uint8_t(c[0] << 2 | c[0] >> 4);
  rgb[1] = uint8_t(c[1] << 2 | c[1] >> 4);
  rgb[2] = uint8_t(c[2] << 2 | c[2] >> 4);
}

void picture_import(const std::vector<uint8_t>& rgba, int width, int height,
                    const PictureImport& options, Picture& out) {
  const int tw = options.width, th = options.height;
  out = Picture{tw, th, std::vector<uint8_t>(size_t(tw) * size_t(th), 0)};

  // The scaled image's size: the whole image inside the target (borders), or
  // the target inside the image (cropped) with --fill.
  const double sx = double(tw) / width, sy = double(th) / height;
  const double s = options.fill ? std::max(sx, sy) : std::min(sx, sy);
  const int cw = std::max(1, int(std::lround(width * s))), ch = std::max(1, int(std::lround(height * s)));
  const int left = (tw - cw) / 2, top = (th - ch) / 2;  // negative when cropped

  std::vector<Pixel> source(size_t(width) * size_t(height));
  for (size_t i = 0; i < source.size(); ++i) {
    const float a = rgba[4 * i + 3] / 255.0f;
    source[i] = {rgba[4 * i] / 255.0f * a, rgba[4 * i + 1] / 255.0f * a, rgba[4 * i + 2] / 255.0f * a, a};
  }
  const std::vector<Pixel> scaled = resample(source, width, height, cw, ch);

  // The 16 candidates, in linear light and OKLab.
  float linear[16][3];
  Lab lab[16];
  for (uint32_t v = 0; v < 16; ++v) {
    uint8_t rgb[3];
    picture_value_colour(v, options.variant, rgb);
    for (int c = 0; c < 3; ++c) linear[v][c] = srgb_to_linear(rgb[c] / 255.0f);
    lab[v] = oklab(linear[v][0], linear[v][1], linear[v][2]);
  }

  // Floyd-Steinberg: each pixel's error goes 7/16 right, 3/16 down left,
  // 5/16 down and 1/16 down right, in linear light.
  std::vector<float> error(size_t(tw + 2) * 2 * 3, 0.0f);
  auto err = [&](int row, int x) { return &error[(size_t(row & 1) * size_t(tw + 2) + size_t(x + 1)) * 3]; };
  for (int y = 0; y < th; ++y) {
    for (int x = -1; x <= tw; ++x) std::fill(err(y + 1, x), err(y + 1, x) + 3, 0.0f);
    for (int x = 0; x < tw; ++x) {
      const int ix = x - left, iy = y - top;
      Pixel p{0, 0, 0, 0};  // the borders are transparent
      if (ix >= 0 && ix < cw && iy >= 0 && iy < ch) p = scaled[size_t(iy) * size_t(cw) + size_t(ix)];
      uint8_t& value = out.pixels[size_t(y) * size_t(tw) + size_t(x)];
      if (options.key >= 0 && p.a < 0.5f) {
        value = uint8_t(options.key & 15);
        continue;
      }
      // Keyed: the colour itself (un-premultiplied); else laid over black.
      const float unmul = options.key >= 0 && p.a > 0 ? 1.0f / p.a : 1.0f;
      float want[3] = {srgb_to_linear(std::clamp(p.r * unmul, 0.0f, 1.0f)),
                       srgb_to_linear(std::clamp(p.g * unmul, 0.0f, 1.0f)),
                       srgb_to_linear(std::clamp(p.b * unmul, 0.0f, 1.0f))};
      if (options.dither)
        for (int c = 0; c < 3; ++c) want[c] = std::clamp(want[c] + err(y, x)[c], 0.0f, 1.0f);
      const Lab target = oklab(want[0], want[1], want[2]);
      int best = -1;
      float best_distance = 0;
      for (int v = 0; v < 16; ++v) {
        if (v == options.key) continue;
        const float dl = target.l - lab[v].l, da = target.a - lab[v].a, db = target.b - lab[v].b;
        const float d = dl * dl + da * da + db * db;
        if (best < 0 || d < best_distance) best = v, best_distance = d;
      }
      value = uint8_t(best);
      if (!options.dither) continue;
      for (int c = 0; c < 3; ++c) {
        const float e = want[c] - linear[best][c];
        err(y, x + 1)[c] += e * 7 / 16;
        err(y + 1, x - 1)[c] += e * 3 / 16;
        err(y + 1, x)[c] += e * 5 / 16;
        err(y + 1, x + 1)[c] += e * 1 / 16;
      }
    }
  }
}
