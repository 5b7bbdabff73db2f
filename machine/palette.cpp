// The fixed palette: the full-range YCbCr to RGB conversion of JFIF (BT.601
// coefficients) applied to every colour byte. The arithmetic runs in single
// precision through a studio-range detour (luma x 219/256 + 16, chroma x 0.875
// + 128) that cancels out again; every component lands at least 0.002 away
// from a whole number before truncation, so any precision gives these entries.
#include "machine/palette.h"

#include "host/host.h"
#include "machine/palette_internal.h"

namespace {

constexpr float LUMA_SCALE_219  = 219.0f;
constexpr float LUMA_SCALE_256  = 0.00390625f;  // 1 / 256
constexpr float LUMA_OFFSET     = 16.0f;
constexpr float LUMA_NORMALISE  = 0.0045662098564207553864f;  // 1 / 219
constexpr float CHROMA_SCALE    = 0.875f;                     // 224 / 256
constexpr float CHROMA_OFFSET   = 128.0f;
constexpr float V_INTO_R        = 0.0062589300796389579773f;  // 1.402 / 224
constexpr float U_INTO_G        = 0.0015363199636340141296f;  // 0.344136 / 224
constexpr float V_INTO_G        = 0.003188109956681728363f;   // 0.714136 / 224
constexpr float U_INTO_B        = 0.0079107098281383514404f;  // 1.772 / 224
constexpr float OUTPUT_SCALE    = 63.0f;

uint8_t to_component(float x) {
  if (x > 1.0f) x = 1.0f;
  if (x < 0.0f) x = 0.0f;
  return static_cast<uint8_t>(x * OUTPUT_SCALE);  // truncates towards zero
}

}  // namespace

void palette_compute(uint8_t palette[256][3]) {
  for (int n = 255; n >= 0; --n) {
    // Luma in 1/256 steps, chroma codes centred on 2 in 1/256 steps of 64.
    float luma = float(n & 0xF0);
    float u = float(((n >> 2) & 3) - 2) * 64.0f;
    float v = float((n & 3) - 2) * 64.0f;
    float y_studio = luma * LUMA_SCALE_219 * LUMA_SCALE_256 + LUMA_OFFSET;
    float u_studio = u * CHROMA_SCALE + CHROMA_OFFSET;
    float v_studio = v * CHROMA_SCALE + CHROMA_OFFSET;
    float y = (y_studio - LUMA_OFFSET) * LUMA_NORMALISE;
    float cu = u_studio - CHROMA_OFFSET;
    float cv = v_studio - CHROMA_OFFSET;
    uint8_t* entry = palette[colour_from_offset(uint8_t(n))];
    entry[0] = to_component(y + V_INTO_R * cv);
    entry[1] = to_component(y - U_INTO_G * cu - V_INTO_G * cv);
    entry[2] = to_component(y + U_INTO_B * cu);
  }
}

void palette_build() {
  uint8_t palette[256][3];
  palette_compute(palette);
  host_set_palette(palette);
}
