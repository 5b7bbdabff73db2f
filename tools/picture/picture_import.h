// Any picture in: turns an RGBA image into a picture of 4-bit values for the
// game, as the machine will show it. The game creates its raw pictures in
// colour mode 0 (the pixel value is the colour byte's luma, the palette
// variant it is drawn with supplies the tint bits), so the 16 colours a
// picture can use are those of the values 0..15 in that variant. Each pixel
// becomes the value whose colour is nearest in OKLab (a perceptual colour
// space), with Floyd-Steinberg error diffusion in linear light unless told
// not to. The image is scaled with a filter that does not alias (area
// averaging down, bilinear up) in premultiplied alpha.
#pragma once
#include <cstdint>
#include <vector>

#include "tools/picture/picture.h"

struct PictureImport {
  int32_t  width = 0, height = 0;  // the target size
  uint32_t variant = 10;           // the palette variant the game draws it in
  int32_t  key = -1;               // the key value for transparent pixels; -1: none
  bool     dither = true;          // Floyd-Steinberg error diffusion
  bool     fill = false;           // cover the target (cropping) instead of borders
};

// The colour (0..255 components) of pixel value `value` in `variant`, colour
// mode 0, through the machine's palette as the host shows it.
void picture_value_colour(uint32_t value, uint32_t variant, uint8_t rgb[3]);

// Converts `width` x `height` RGBA pixels (8 bits each, not premultiplied)
// into `out`. The image keeps its aspect: the part of the target it does not
// cover (the borders) is transparent, unless `fill`. Pixels with alpha below
// 128 become the key value when there is one; otherwise every pixel is laid
// over black. Opaque pixels of a keyed picture never take the key value.
void picture_import(const std::vector<uint8_t>& rgba, int width, int height,
                    const PictureImport& options, Picture& out);
