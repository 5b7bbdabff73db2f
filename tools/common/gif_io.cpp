#include "tools/common/gif_io.h"

#include <gif_lib.h>

#include <fcntl.h>
#ifdef _WIN32
#include <io.h>
#include <sys/stat.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cstring>

namespace {

constexpr int DELAY_PER_FRAME = 2;     // hundredths of a second: 50 frames per second
constexpr int LONGEST_DELAY = 65535;   // the field is 16 bits

// Writes the application extension that makes browsers loop the animation.
bool put_loop(GifFileType* file) {
  static const uint8_t NAME[] = "NETSCAPE2.0";
  static const uint8_t FOREVER[] = {1, 0, 0};  // sub-block 1: loop count 0
  return EGifPutExtensionLeader(file, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
         EGifPutExtensionBlock(file, 11, NAME) == GIF_OK &&
         EGifPutExtensionBlock(file, 3, FOREVER) == GIF_OK && EGifPutExtensionTrailer(file) == GIF_OK;
}

// Writes one image: a graphics control extension with `delay` and the
// rectangle of `pixels` that differs from what is shown (all of it at first).
bool put_image(GifWriter& gif, const std::vector<uint8_t>& pixels, int delay) {
  int left = 0, top = 0, right = gif.width - 1, bottom = gif.height - 1;
  if (!gif.first) {
    left = gif.width, top = gif.height, right = -1, bottom = -1;
    for (int y = 0; y < gif.height; ++y)
      for (int x = 0; x < gif.width; ++x)
        if (pixels[size_t(y * gif.width + x)] != gif.shown[size_t(y * gif.width + x)]) {
          left = std::min(left, x), right = std::max(right, x);
          top = std::min(top, y), bottom = std::max(bottom, y);
        }
    if (right < 0) left = top = right = bottom = 0;  // only a longer delay
  }
  GraphicsControlBlock control{};
  control.DisposalMode = DISPOSE_DO_NOT;  // later rectangles draw over this picture
  control.DelayTime = delay;
  control.TransparentColor = NO_TRANSPARENT_COLOR;
  GifByteType extension[4];
  const size_t length = EGifGCBToExtension(&control, extension);
  const int s = gif.scale, w = (right - left + 1) * s, h = (bottom - top + 1) * s;
  if (EGifPutExtension(gif.file, GRAPHICS_EXT_FUNC_CODE, int(length), extension) != GIF_OK ||
      EGifPutImageDesc(gif.file, left * s, top * s, w, h, false, nullptr) != GIF_OK)
    return false;
  std::vector<GifPixelType> line(static_cast<size_t>(w));
  for (int y = 0; y < h; ++y) {
    const uint8_t* row = &pixels[size_t((top + y / s) * gif.width)];
    for (int x = 0; x < w; ++x) line[size_t(x)] = row[left + x / s];
    if (EGifPutLine(gif.file, line.data(), w) != GIF_OK) return false;
  }
  gif.shown = pixels;
  gif.first = false;
  return true;
}

// Writes the pending picture for `frames` machine frames, split where the
// delay is too long for one image.
void flush(GifWriter& gif, uint64_t frames) {
  uint64_t delay = frames * DELAY_PER_FRAME;
  while (delay > 0 && !gif.failed) {
    const int part = int(std::min<uint64_t>(delay, LONGEST_DELAY));
    gif.failed = !put_image(gif, gif.pending, part);
    delay -= uint64_t(part);
  }
  gif.has_pending = false;
}

}  // namespace

int gif_open(GifWriter& gif, const char* path, int width, int height, int scale, const uint8_t palette[256][3]) {
  gif = GifWriter{};
  if (width <= 0 || height <= 0 || scale < 1 || scale > 8) return 0;
  // Opened here rather than by EGifOpenFileName, which makes the file
  // readable by its owner only.
#ifdef _WIN32
  const int fd = _open(path, _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
  const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0666);
#endif
  if (fd < 0) return 0;
  int error = 0;
  gif.file = EGifOpenFileHandle(fd, &error);  // closes fd when it fails
  if (!gif.file) return 0;
  gif.width = width, gif.height = height, gif.scale = scale;
  ColorMapObject* map = GifMakeMapObject(256, nullptr);
  for (int c = 0; c < 256; ++c) {
    // 0..63 to 0..255 as the host display widens them: the six bits repeated.
    map->Colors[c].Red = GifByteType(palette[c][0] << 2 | palette[c][0] >> 4);
    map->Colors[c].Green = GifByteType(palette[c][1] << 2 | palette[c][1] >> 4);
    map->Colors[c].Blue = GifByteType(palette[c][2] << 2 | palette[c][2] >> 4);
  }
  EGifSetGifVersion(gif.file, true);
  gif.failed = EGifPutScreenDesc(gif.file, width * scale, height * scale, 8, 0, map) != GIF_OK ||
               !put_loop(gif.file);
  GifFreeMapObject(map);
  return -1;
}

void gif_add(GifWriter& gif, const uint8_t* pixels, int stride, uint64_t at) {
  if (!gif.file || gif.failed) return;
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

int gif_close(GifWriter& gif) {
  if (!gif.file) return 0;
  if (gif.has_pending) flush(gif, gif.last_at - gif.pending_at + 1);
  int error = 0;
  const bool closed = EGifCloseFile(gif.file, &error) == GIF_OK;
  gif.file = nullptr;
  return closed && !gif.failed ? -1 : 0;
}
