// The animated GIF writer of the machine's tools and of its web page:
// pictures of colour bytes shown through the machine's 256-colour palette,
// each from the machine frame it was presented at until the next picture's
// (2 hundredths of a second a frame, 50 frames per second), looping for ever.
// A picture equal to the one before is not written again: the one before
// lasts longer. A frame that differs is written as the smallest rectangle
// holding its changes, over the picture left in place.
//
// The file is made in memory (GIF89a, LZW of its own: no library), so that
// the browser build makes the same file as the desktop's tools.
#pragma once
#include <cstdint>
#include <vector>

struct GifWriter {
  std::vector<uint8_t> bytes;              // the file so far
  int                  width = 0, height = 0, scale = 1;
  std::vector<uint8_t> shown;              // the last frame written (unscaled)
  std::vector<uint8_t> pending;            // the frame waiting for its length
  uint64_t             pending_at = 0;     // the machine frame it was presented at
  uint64_t             last_at = 0;        // the machine frame of the latest picture
  bool                 has_pending = false;
  bool                 first = true;       // no picture written yet
  bool                 open = false;       // begun and not yet finished
  std::vector<uint32_t> lzw_keys;          // the compressor's table, kept between images
  std::vector<uint16_t> lzw_codes;
};

// A rectangle of a picture; w = h = 0: none.
struct GifRect {
  int x, y, w, h;
};

// The smallest rectangle holding every pixel where the `width` x `height`
// picture of `rows` differs from `before` (rows `width` apart).
GifRect gif_changes(const uint8_t* const* rows, const uint8_t* before, int width, int height);

// Begins a file of `width` x `height` pictures (each pixel drawn `scale` x
// `scale`, 1..8, the whole at most 65535 pixels a side) in `palette`, whose
// components are the machine's 0..63. -1 on success, 0 for sizes it cannot
// hold.
int gif_open(GifWriter& gif, int width, int height, int scale, const uint8_t palette[256][3]);

// Adds a picture (`width` x `height` colour bytes, rows `stride` apart)
// presented at machine frame `at` (later than the picture before).
void gif_add(GifWriter& gif, const uint8_t* pixels, int stride, uint64_t at);

// Writes the last picture, shown for one frame after the latest one added,
// and the file's end: `bytes` then hold the whole file.
void gif_close(GifWriter& gif);
