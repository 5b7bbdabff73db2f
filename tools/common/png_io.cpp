#include "tools/common/png_io.h"

#include <png.h>

#include <cstdio>

namespace {

// Scales a 0..63 palette component to 0..255 the way the host display does:
// the six bits repeated into the low two.
uint8_t scale_component(unsigned char c) { return uint8_t((c << 2) | (c >> 4)); }

int read_png(const char* path, std::vector<uint8_t>& out, int& width, int& height, png_uint_32 format) {
  out.clear();
  width = height = 0;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  // Reads the chunks up to the image data (IHDR among them), no pixel yet.
  if (!png_image_begin_read_from_file(&image, path)) return 0;
  // libpng's check of the header keeps both within 2^31 - 1: they fit an int.
  width = int(image.width);
  height = int(image.height);
  if (uint64_t(image.width) * image.height > PNG_READ_MAX_PIXELS) {
    png_image_free(&image);
    return 0;
  }
  image.format = format;
  std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) {
    png_image_free(&image);
    return 0;
  }
  out.swap(pixels);
  return -1;
}

int write_png(const char* path, int width, int height, png_uint_32 format, const uint8_t* pixels) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = png_uint_32(width);
  image.height = png_uint_32(height);
  image.format = format;
  return png_image_write_to_file(&image, path, 0, pixels, 0, nullptr) ? -1 : 0;
}

}  // namespace

int png_write_indexed(const char* path, int width, int height, const uint8_t* pixels, int stride,
                      const uint8_t palette[256][3]) {
  return png_write_indexed_scaled(path, width, height, pixels, stride, palette, 1);
}

int png_write_indexed_scaled(const char* path, int width, int height, const uint8_t* pixels,
                             int stride, const uint8_t palette[256][3], int scale) {
  if (width <= 0 || height <= 0 || scale < 1 || scale > 16) return 0;
  const size_t out_width = size_t(width) * size_t(scale);
  std::vector<uint8_t> rgb(out_width * size_t(height) * size_t(scale) * 3);
  for (size_t y = 0; y < size_t(height) * size_t(scale); ++y) {
    for (size_t x = 0; x < out_width; ++x) {
      const uint8_t* c = palette[pixels[y / size_t(scale) * size_t(stride) + x / size_t(scale)]];
      uint8_t* p = &rgb[(y * out_width + x) * 3];
      p[0] = scale_component(c[0]);
      p[1] = scale_component(c[1]);
      p[2] = scale_component(c[2]);
    }
  }
  return write_png(path, int(out_width), height * scale, PNG_FORMAT_RGB, rgb.data());
}

int png_write_grey(const char* path, int width, int height, const uint8_t* levels) {
  if (width <= 0 || height <= 0) return 0;
  return write_png(path, width, height, PNG_FORMAT_GRAY, levels);
}

int png_read_rgba(const char* path, std::vector<uint8_t>& out, int& width, int& height) {
  return read_png(path, out, width, height, PNG_FORMAT_RGBA);
}

int png_read_grey(const char* path, std::vector<uint8_t>& out, int& width, int& height) {
  return read_png(path, out, width, height, PNG_FORMAT_GRAY);
}

int png_read_rgb(const char* path, std::vector<uint8_t>& out, int& width, int& height) {
  return read_png(path, out, width, height, PNG_FORMAT_RGB);
}
