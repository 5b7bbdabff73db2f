#include "host/gif.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int DELAY_PER_FRAME = 2;     // hundredths of a second: 50 frames per second
constexpr int LONGEST_DELAY = 65535;   // the field is 16 bits
constexpr int LARGEST_SIDE = 65535;    // so are the sizes

// LZW over 8-bit pixels: codes start 9 bits wide after the clear code (256)
// and the end code (257), widen as the table fills, and at 4096 entries the
// table starts again behind a clear code.
constexpr uint32_t CLEAR_CODE = 256, END_CODE = 257, FIRST_FREE = 258, TABLE_SIZE = 4096;
constexpr int      FIRST_BITS = 9, MOST_BITS = 12;
constexpr uint32_t HASH_SIZE = 8192;   // twice the table: short probe runs

void put16(std::vector<uint8_t>& out, int value) {
  out.push_back(uint8_t(value & 0xFF));
  out.push_back(uint8_t(value >> 8 & 0xFF));
}

// The code stream, packed least significant bit first into sub-blocks of at
// most 255 bytes, each behind its length.
struct LzwStream {
  std::vector<uint8_t>& out;
  uint8_t               block[255] = {};
  int                   block_length = 0;
  uint32_t              bits = 0;       // not yet whole bytes
  int                   bit_count = 0;
  int                   width = FIRST_BITS;
  uint32_t              next = FIRST_FREE;
  bool                  cleared = false;  // a clear code went out: back to 9 bits
  uint32_t*             keys = nullptr;             // HASH_SIZE: prefix << 8 | pixel, plus one; 0: empty
  uint16_t*             codes = nullptr;            // HASH_SIZE: the entry's code

  void byte(uint8_t b) {
    block[block_length++] = b;
    if (block_length == 255) flush_block();
  }
  void flush_block() {
    if (!block_length) return;
    out.push_back(uint8_t(block_length));
    out.insert(out.end(), block, block + block_length);
    block_length = 0;
  }
  // A code goes out at the width the decoder reads it with: the decoder adds
  // an entry a code later than the encoder, so the width follows `next` as
  // it was before this step's entry.
  void put(uint32_t code) {
    bits |= code << bit_count;
    bit_count += width;
    for (; bit_count >= 8; bit_count -= 8, bits >>= 8) byte(uint8_t(bits & 0xFF));
    if (cleared) {
      width = FIRST_BITS;
      cleared = false;
    } else if (next > (1u << width) - 1 && width < MOST_BITS) {
      ++width;
    }
  }
  void clear_table() {
    std::memset(keys, 0, HASH_SIZE * sizeof *keys);
    next = FIRST_FREE;
    cleared = true;
    put(CLEAR_CODE);
  }
  void finish() {
    if (bit_count > 0) byte(uint8_t(bits & 0xFF));
    flush_block();
    out.push_back(0);  // the empty sub-block ends the image's data
  }
};

// Appends the image data of `w` x `h` pixels that `pixel(x, y)` gives.
template <typename Pixel>
void put_lzw(GifWriter& gif, int w, int h, Pixel pixel) {
  gif.bytes.push_back(8);  // the smallest code size: 8-bit pixels
  gif.lzw_keys.resize(HASH_SIZE);
  gif.lzw_codes.resize(HASH_SIZE);
  LzwStream s{.out = gif.bytes, .keys = gif.lzw_keys.data(), .codes = gif.lzw_codes.data()};
  s.clear_table();
  uint32_t prefix = pixel(0, 0);
  for (int y = 0; y < h; ++y)
    for (int x = y ? 0 : 1; x < w; ++x) {
      const uint32_t c = pixel(x, y), key = (prefix << 8 | c) + 1;
      uint32_t i = (key * 2654435761u) >> 19;  // 13 bits: HASH_SIZE
      while (s.keys[i] && s.keys[i] != key) i = (i + 1) & (HASH_SIZE - 1);
      if (s.keys[i]) {
        prefix = s.codes[i];
        continue;
      }
      s.put(prefix);
      if (s.next < TABLE_SIZE) {
        s.keys[i] = key;
        s.codes[i] = uint16_t(s.next++);
      } else {
        s.clear_table();
      }
      prefix = c;
    }
  s.put(prefix);
  s.put(END_CODE);
  s.finish();
}

// Writes one image: a graphics control extension with `delay` and the
// rectangle of `pixels` that differs from what is shown (all of it at first).
void put_image(GifWriter& gif, const std::vector<uint8_t>& pixels, int delay) {
  GifRect r{0, 0, gif.width, gif.height};
  if (!gif.first) {
    std::vector<const uint8_t*> rows(size_t(gif.height));
    for (int y = 0; y < gif.height; ++y) rows[size_t(y)] = &pixels[size_t(y * gif.width)];
    r = gif_changes(rows.data(), gif.shown.data(), gif.width, gif.height);
    if (!r.w) r = GifRect{0, 0, 1, 1};  // only a longer delay
  }
  std::vector<uint8_t>& out = gif.bytes;
  // Disposal 1 (leave in place): later rectangles draw over this picture.
  const uint8_t control[] = {0x21, 0xF9, 4, 1 << 2};
  out.insert(out.end(), control, control + 4);
  put16(out, delay);
  out.push_back(0);  // no transparent colour
  out.push_back(0);
  const int s = gif.scale, w = r.w * s, h = r.h * s;
  out.push_back(0x2C);
  put16(out, r.x * s);
  put16(out, r.y * s);
  put16(out, w);
  put16(out, h);
  out.push_back(0);  // the global colour table, rows in order
  put_lzw(gif, w, h, [&](int x, int y) { return uint32_t(pixels[size_t((r.y + y / s) * gif.width + r.x + x / s)]); });
  gif.shown = pixels;
  gif.first = false;
}

// Writes the pending picture for `frames` machine frames, split where the
// delay is too long for one image.
void flush(GifWriter& gif, uint64_t frames) {
  uint64_t delay = frames * DELAY_PER_FRAME;
  while (delay > 0) {
    const int part = int(std::min<uint64_t>(delay, LONGEST_DELAY));
    put_image(gif, gif.pending, part);
    delay -= uint64_t(part);
  }
  gif.has_pending = false;
}

}  // namespace

GifRect gif_changes(const uint8_t* const* rows, const uint8_t* before, int width, int height) {
  int left = width, top = height, right = -1, bottom = -1;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if (rows[y][x] != before[size_t(y * width + x)]) {
        left = std::min(left, x), right = std::max(right, x);
        top = std::min(top, y), bottom = std::max(bottom, y);
      }
  return right < 0 ? GifRect{0, 0, 0, 0} : GifRect{left, top, right - left + 1, bottom - top + 1};
}

int gif_open(GifWriter& gif, int width, int height, int scale, const uint8_t palette[256][3]) {
  gif = GifWriter{};
  if (width <= 0 || height <= 0 || scale < 1 || scale > 8 || width * scale > LARGEST_SIDE ||
      height * scale > LARGEST_SIDE)
    return 0;
  gif.width = width, gif.height = height, gif.scale = scale;
  std::vector<uint8_t>& out = gif.bytes;
  const char* signature = "GIF89a";
  out.insert(out.end(), signature, signature + 6);
  put16(out, width * scale);
  put16(out, height * scale);
  out.push_back(0xF7);  // a global table of 256 colours, 8 bits a component
  out.push_back(0);     // background colour
  out.push_back(0);     // square pixels
  // 0..63 to 0..255 as the host display widens them: the six bits repeated.
  for (int c = 0; c < 256; ++c)
    for (int k = 0; k < 3; ++k) out.push_back(uint8_t(palette[c][k] << 2 | palette[c][k] >> 4));
  // The application extension that makes browsers loop the animation:
  // sub-block 1, loop count 0 (for ever).
  const uint8_t loop[] = {0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1, 0, 0, 0};
  out.insert(out.end(), loop, loop + sizeof loop);
  gif.open = true;
  return -1;
}

void gif_add(GifWriter& gif, const uint8_t* pixels, int stride, uint64_t at) {
  if (!gif.open) return;
  std::vector<uint8_t> picture(size_t(gif.width) * size_t(gif.height));
  for (int y = 0; y < gif.height; ++y)
    std::memcpy(&picture[size_t(y * gif.width)], pixels + size_t(y) * size_t(stride), size_t(gif.width));
  gif.last_at = at;
  if (gif.has_pending && picture == gif.pending) return;
  if (gif.has_pending) flush(gif, at > gif.pending_at ? at - gif.pending_at : 1);
  gif.pending.swap(picture);
  gif.pending_at = at;
  gif.has_pending = true;
}

void gif_close(GifWriter& gif) {
  if (!gif.open) return;
  if (gif.has_pending) flush(gif, gif.last_at - gif.pending_at + 1);
  gif.bytes.push_back(0x3B);  // the trailer
  gif.open = false;
}
