// The animated GIF writer of the machine's tools (giflib): pictures of colour
// bytes shown through the machine's 256-colour palette, each from the machine
// frame it was presented at until the next picture's (2 hundredths of a
// second a frame, 50 frames per second), looping for ever. A picture equal to
// the one before is not written again: the one before lasts longer. A frame that differs is written as the smallest
// rectangle holding its changes, over the picture left in place.
#pragma once
#include <cstdint>
#include <vector>

struct GifFileType;

struct GifWriter {
  GifFileType*         file = nullptr;
  int                  width = 0, height = 0, scale = 1;
  std::vector<uint8_t> shown;              // the last frame written (unscaled)
  std::vector<uint8_t> pending;            // the frame waiting for its length
  uint64_t             pending_at = 0;     // the machine frame it was presented at
  uint64_t             last_at = 0;        // the machine frame of the latest picture
  bool                 has_pending = false;
  bool                 first = true;       // nothing written yet
  bool                 failed = false;
};

// Opens `path` for `width` x `height` pictures (each pixel drawn `scale` x
// `scale`, 1..8) in `palette`. -1 on success, 0 on failure.
int gif_open(GifWriter& gif, const char* path, int width, int height, int scale, const uint8_t palette[256][3]);

// Adds a picture (`width` x `height` colour bytes, rows `stride` apart)
// presented at machine frame `at` (later than the picture before).
void gif_add(GifWriter& gif, const uint8_t* pixels, int stride, uint64_t at);

// Writes the last picture, shown for one frame after the latest one added,
// and closes the file. -1 when everything was
// written, 0 otherwise.
int gif_close(GifWriter& gif);
